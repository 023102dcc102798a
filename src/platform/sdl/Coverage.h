#pragma once
// Where a picture paints over whatever lies below it: its fully opaque pixels, and
// among them those of its most common opaque colour. A tape roll is one black ring
// over the band; the skin is opaque but for its windows. Between two frames, a change
// below such a picture's opaque pixels cannot show, and a ring that moved still
// paints the same black where both its places are black: damage worked out with this
// leaves out most of the cassette when the tape only wobbles.

#include <SDL.h>

#include <cstdint>
#include <vector>

namespace platform::sdl {

class Coverage {
public:
    // From ARGB pixels (premultiplied or straight: alike where opaque), `pitch` bytes a row.
    Coverage(const Uint32* pixels, int width, int height, int pitch);
    // From bits worked out elsewhere, as the pixels would give them: rows of
    // (width + 63) / 64 words, a bit per pixel from the lowest; no `solid` bits for a
    // picture of many colours, no bits at all for one opaque nowhere.
    Coverage(int width, int height, Uint32 solidColour, std::vector<std::uint64_t> opaque,
             std::vector<std::uint64_t> solid) noexcept;

    // Whether every pixel of the rectangle (the picture's own pixels, within it) is
    // opaque; is opaque in the solid colour.
    bool opaque(const SDL_Rect& r) const noexcept { return answer(opaque_, false, r); }
    bool solid(const SDL_Rect& r) const noexcept { return answer(solid_, true, r); }
    Uint32 solidColour() const noexcept { return solidColour_; }
    // Whether any pixel is opaque at all (otherwise nothing is worth keeping).
    bool anyOpaque() const noexcept { return anyOpaque_; }
    std::size_t bytes() const noexcept;

private:
    bool allSet(const std::vector<std::uint64_t>& bits, const SDL_Rect& r) const noexcept;
    // allSet, remembered for squares of the damage's tiles: the same few hundred are
    // asked about at every frame while the reels turn below a still picture.
    bool answer(const std::vector<std::uint64_t>& bits, bool solid, const SDL_Rect& r) const noexcept;

    static constexpr int rememberedSide = 16;
    struct Remembered {
        int phaseX = 0, phaseY = 0;        // where the squares' grid lies on the picture
        int across = 0;
        std::vector<signed char> opaque, solid;   // per square: -1 not yet asked, else 0 or 1
    };
    mutable std::vector<Remembered> remembered_;

    int width_ = 0, height_ = 0, words_ = 0;
    Uint32 solidColour_ = 0;
    bool anyOpaque_ = false;
    std::vector<std::uint64_t> opaque_, solid_;   // a bit per pixel, rows of `words_` words
};

} // namespace platform::sdl
