#pragma once
// A picture looked at once, square by square (16 pixels a side, cut at its right and
// bottom edges): which squares are clear, which are of one opaque colour and which are
// mixed, a digest of its pixels, and where it is opaque (Coverage). A tape roll drawn
// anew is 600 pixels a side, mostly clear or black: what it is made of is worked out
// in one pass over it, the pixels of its one-colour squares compared and nothing more.

#include "platform/sdl/Coverage.h"

#include <SDL.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

namespace platform::sdl {

struct PictureSquares {
    static constexpr int side = 16;
    enum class Kind : char { Clear, Filled, Mixed };
    struct Square {
        Kind kind = Kind::Clear;
        Uint32 colour = 0;   // of every pixel, when not mixed
    };

    int width = 0, height = 0;
    int across = 0, down = 0;
    std::vector<Square> squares;   // row by row
    long mixedPixels = 0;
    // A digest of the pixels (never 0): two pictures of one size with the same digest
    // are taken to be the same.
    std::uint64_t digest = 1;
    // Where it is opaque, when asked for and it is opaque anywhere.
    std::shared_ptr<const Coverage> coverage;

    const Square& at(int column, int row) const noexcept
    {
        return squares[std::size_t(row) * std::size_t(across) + std::size_t(column)];
    }
    SDL_Rect rect(int column, int row) const noexcept
    {
        return {column * side, row * side, std::min(side, width - column * side), std::min(side, height - row * side)};
    }
    // Rectangles a square high over the squares that are not clear, in the rows of
    // squares from `firstRow` up to `endRow`.
    std::vector<SDL_Rect> drawn(int firstRow, int endRow) const;
};

// Looks at a picture a band of rows at a time, from the top, each band a whole number
// of squares high but the last: for a picture drawn a band at a time.
class SquaresSurvey {
public:
    // With the picture's coverage when `withCoverage`.
    SquaresSurvey(int width, int height, bool withCoverage);
    // The next `rows` ARGB pixels' rows (premultiplied, `pitch` bytes apart).
    void addRows(const Uint32* pixels, int pitch, int rows);
    const PictureSquares& sofar() const noexcept { return out_; }
    // Once every row was looked at.
    PictureSquares finish();

private:
    PictureSquares out_;
    bool withCoverage_;
    int nextRow_ = 0;
    std::uint64_t digest_;
    std::size_t words_;
    std::vector<std::uint64_t> opaqueBits_, solidBits_;
    bool solidFound_ = false;
    Uint32 solidColour_ = 0;
    long opaqueCount_ = 0, solidCount_ = 0;
};

// Looks at the ARGB pixels (premultiplied, rows `pitch` bytes apart), with the
// picture's coverage when `withCoverage`.
PictureSquares surveySquares(const Uint32* pixels, int width, int height, int pitch, bool withCoverage);

} // namespace platform::sdl
