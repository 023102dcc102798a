#include "platform/sdl/PictureSquares.h"

#include <array>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform::sdl {

namespace {

constexpr Uint32 alphaBits = 0xff000000u;

// The digest takes eight bytes at a time. Each square's share starts with a word
// telling whether its pixels follow or only the one colour of them all, so that no two
// pictures of one size give the same words.
std::uint64_t mixedIn(std::uint64_t digest, std::uint64_t word) noexcept
{
    digest = (digest ^ word) * 0x100000001b3u;
    return digest ^ (digest >> 29);
}
constexpr std::uint64_t oneColourSquare = 0x6f6e65636f6c6f72u, squareOfPixels = 0x706978656c73u;

const Uint32* rowAt(const Uint32* pixels, int pitch, int y) noexcept
{
    return reinterpret_cast<const Uint32*>(reinterpret_cast<const unsigned char*>(pixels) + std::ptrdiff_t(y) * pitch);
}

// Whether the w × h pixels from (x, y) are all of the colour.
bool allOf(const Uint32* pixels, int pitch, int x, int y, int w, int h, Uint32 colour) noexcept
{
#if defined(__SSE2__)
    if (w == PictureSquares::side) {
        const __m128i c = _mm_set1_epi32(static_cast<int>(colour));
        const auto same = [&](const Uint32* p) {
            return _mm_cmpeq_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), c);
        };
        for (int row = y; row < y + h; ++row) {
            const Uint32* p = rowAt(pixels, pitch, row) + x;
            const __m128i all = _mm_and_si128(_mm_and_si128(same(p), same(p + 4)), _mm_and_si128(same(p + 8), same(p + 12)));
            if (_mm_movemask_epi8(all) != 0xffff)
                return false;
        }
        return true;
    }
#endif
    for (int row = y; row < y + h; ++row) {
        const Uint32* p = rowAt(pixels, pitch, row) + x;
        for (int i = 0; i < w; ++i)
            if (p[i] != colour)
                return false;
    }
    return true;
}

// Of the w pixels from p (at most 16), a bit each from the lowest: those opaque, and
// those of the solid colour.
std::pair<unsigned, unsigned> bitsOf(const Uint32* p, int w, Uint32 solidColour) noexcept
{
#if defined(__SSE2__)
    if (w == PictureSquares::side) {
        const __m128i alpha = _mm_set1_epi32(static_cast<int>(alphaBits));
        const __m128i solid = _mm_set1_epi32(static_cast<int>(solidColour));
        __m128i four[4];
        for (int i = 0; i < 4; ++i)
            four[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * i));
        // A compare gives a lane of all ones or none: packed down to a byte each, in order.
        const auto bits = [](const __m128i (&lanes)[4]) {
            return static_cast<unsigned>(_mm_movemask_epi8(
                _mm_packs_epi16(_mm_packs_epi32(lanes[0], lanes[1]), _mm_packs_epi32(lanes[2], lanes[3]))));
        };
        __m128i opaque[4], ofSolid[4];
        for (int i = 0; i < 4; ++i) {
            opaque[i] = _mm_cmpeq_epi32(_mm_and_si128(four[i], alpha), alpha);
            ofSolid[i] = _mm_cmpeq_epi32(four[i], solid);
        }
        return {bits(opaque), bits(ofSolid)};
    }
#endif
    unsigned opaque = 0, ofSolid = 0;
    for (int i = 0; i < w; ++i) {
        opaque |= unsigned((p[i] & alphaBits) == alphaBits) << i;
        ofSolid |= unsigned(p[i] == solidColour) << i;
    }
    return {opaque, ofSolid};
}

// Set bits of a byte, looked up: without the instruction for it, which not every
// processor has, a popcount is a call.
constexpr std::array<unsigned char, 256> bitCounts = [] {
    std::array<unsigned char, 256> counts{};
    for (unsigned i = 1; i < 256; ++i)
        counts[i] = static_cast<unsigned char>(counts[i / 2] + (i & 1));
    return counts;
}();
long bitCount(unsigned sixteen) noexcept
{
    return bitCounts[sixteen & 0xff] + bitCounts[(sixteen >> 8) & 0xff];
}

// The first opaque pixel of the rows, in reading order, if any.
bool firstOpaque(const Uint32* pixels, int pitch, int width, int top, int bottom, Uint32& found) noexcept
{
    for (int y = top; y < bottom; ++y) {
        const Uint32* row = rowAt(pixels, pitch, y);
        int x = 0;
#if defined(__SSE2__)
        const __m128i alpha = _mm_set1_epi32(static_cast<int>(alphaBits));
        for (; x + 4 <= width; x += 4) {
            const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
            if (const int opaque = _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(_mm_and_si128(p, alpha), alpha)))) {
                found = row[x + __builtin_ctz(static_cast<unsigned>(opaque))];
                return true;
            }
        }
#endif
        for (; x < width; ++x)
            if ((row[x] & alphaBits) == alphaBits) {
                found = row[x];
                return true;
            }
    }
    return false;
}

} // namespace

std::vector<SDL_Rect> PictureSquares::drawn(int firstRow, int endRow) const
{
    std::vector<SDL_Rect> rects;
    for (int row = std::max(0, firstRow); row < std::min(down, endRow); ++row)
        for (int column = 0; column < across;) {
            if (at(column, row).kind == Kind::Clear) {
                ++column;
                continue;
            }
            int end = column + 1;
            while (end < across && at(end, row).kind != Kind::Clear)
                ++end;
            const SDL_Rect first = rect(column, row), last = rect(end - 1, row);
            rects.push_back({first.x, first.y, last.x + last.w - first.x, first.h});
            column = end;
        }
    return rects;
}

SquaresSurvey::SquaresSurvey(int width, int height, bool withCoverage)
    : withCoverage_(withCoverage && width > 0 && height > 0),
      digest_(0x9e3779b97f4a7c15u ^ (std::uint64_t(width) << 32) ^ std::uint64_t(height)),
      words_(std::size_t(std::max(width, 0) + 63) / 64)
{
    if (width <= 0 || height <= 0)
        return;
    constexpr int side = PictureSquares::side;
    out_.width = width;
    out_.height = height;
    out_.across = (width + side - 1) / side;
    out_.down = (height + side - 1) / side;
    out_.squares.resize(std::size_t(out_.across) * std::size_t(out_.down));
    if (withCoverage_) {
        opaqueBits_.assign(words_ * std::size_t(height), 0);
        solidBits_.assign(words_ * std::size_t(height), 0);
    }
}

void SquaresSurvey::addRows(const Uint32* pixels, int pitch, int rows)
{
    constexpr int side = PictureSquares::side;
    const int width = out_.width, height = out_.height;
    const std::size_t words = words_;
    rows = std::min(rows, height - nextRow_);
    // Rows of the band by the picture's row number.
    const int firstRow = nextRow_;
    const auto bandRow = [&](int y) { return rowAt(pixels, pitch, y - firstRow); };
    for (int y = firstRow; y < firstRow + rows; y += side) {
        const int row = y / side, h = std::min(side, height - y);
        // Coverage: the solid colour is that of the first opaque pixel in reading order,
        // looked for a row of squares at a time until found.
        if (withCoverage_ && !solidFound_)
            solidFound_ = firstOpaque(bandRow(y), pitch, width, 0, h, solidColour_);
        for (int column = 0; column < out_.across; ++column) {
            const int x = column * side, w = std::min(side, width - x);
            PictureSquares::Square& square = out_.squares[std::size_t(row) * std::size_t(out_.across) + std::size_t(column)];
            // Bits for pixels x to x + w of a row lie in one word, as squares never straddle one.
            const std::size_t word = std::size_t(x) / 64;
            const int shift = x % 64;
            const Uint32 first = bandRow(y)[x];
            if (allOf(bandRow(y), pitch, x, 0, w, h, first)) {
                square.colour = first;
                const bool opaque = (first & alphaBits) == alphaBits;
                square.kind = first == 0 ? PictureSquares::Kind::Clear
                              : opaque   ? PictureSquares::Kind::Filled
                                         : PictureSquares::Kind::Mixed;
                if (square.kind == PictureSquares::Kind::Mixed)
                    out_.mixedPixels += long(w) * h;
                digest_ = mixedIn(mixedIn(digest_, oneColourSquare), first);
                if (withCoverage_ && opaque) {
                    const std::uint64_t bits = ((std::uint64_t(1) << w) - 1) << shift;
                    const bool ofSolid = first == solidColour_;
                    for (int r = y; r < y + h; ++r) {
                        opaqueBits_[std::size_t(r) * words + word] |= bits;
                        if (ofSolid)
                            solidBits_[std::size_t(r) * words + word] |= bits;
                    }
                    opaqueCount_ += long(w) * h;
                    if (ofSolid)
                        solidCount_ += long(w) * h;
                }
                continue;
            }
            square.kind = PictureSquares::Kind::Mixed;
            square.colour = 0;
            out_.mixedPixels += long(w) * h;
            digest_ = mixedIn(digest_, squareOfPixels);
            for (int r = y; r < y + h; ++r) {
                const Uint32* p = bandRow(r) + x;
                int i = 0;
                for (; i + 2 <= w; i += 2) {
                    std::uint64_t pair;
                    std::memcpy(&pair, p + i, sizeof pair);
                    digest_ = mixedIn(digest_, pair);
                }
                if (i < w)
                    digest_ = mixedIn(digest_, p[i]);
                if (!withCoverage_)
                    continue;
                const auto [opaque, ofColour] = bitsOf(p, w, solidColour_);
                // Until the first opaque pixel the solid colour stands clear: of it, only
                // opaque pixels count.
                const unsigned ofSolid = ofColour & opaque;
                opaqueBits_[std::size_t(r) * words + word] |= std::uint64_t(opaque) << shift;
                solidBits_[std::size_t(r) * words + word] |= std::uint64_t(ofSolid) << shift;
                opaqueCount_ += bitCount(opaque);
                solidCount_ += bitCount(ofSolid);
            }
        }
    }
    nextRow_ += rows;
}

PictureSquares SquaresSurvey::finish()
{
    out_.digest = digest_ == 0 ? 1 : digest_;
    if (withCoverage_ && opaqueCount_ > 0) {
        // A picture of many colours paints little in any one of them: not worth the memory.
        if (solidCount_ * 4 < opaqueCount_)
            solidBits_ = {};
        out_.coverage = std::make_shared<const Coverage>(out_.width, out_.height, solidColour_, std::move(opaqueBits_),
                                                         std::move(solidBits_));
    }
    return std::move(out_);
}

PictureSquares surveySquares(const Uint32* pixels, int width, int height, int pitch, bool withCoverage)
{
    SquaresSurvey survey(width, height, withCoverage);
    if (pixels && width > 0 && height > 0)
        survey.addRows(pixels, pitch, height);
    return survey.finish();
}

} // namespace platform::sdl
