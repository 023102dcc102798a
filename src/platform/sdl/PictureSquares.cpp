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

PictureSquares surveySquares(const Uint32* pixels, int width, int height, int pitch, bool withCoverage)
{
    PictureSquares out;
    if (width <= 0 || height <= 0 || !pixels)
        return out;
    constexpr int side = PictureSquares::side;
    out.width = width;
    out.height = height;
    out.across = (width + side - 1) / side;
    out.down = (height + side - 1) / side;
    out.squares.resize(std::size_t(out.across) * std::size_t(out.down));
    std::uint64_t digest = 0x9e3779b97f4a7c15u ^ (std::uint64_t(width) << 32) ^ std::uint64_t(height);

    // Coverage: the solid colour is that of the first opaque pixel in reading order,
    // looked for a row of squares at a time until found.
    const std::size_t words = std::size_t(width + 63) / 64;
    std::vector<std::uint64_t> opaqueBits, solidBits;
    if (withCoverage) {
        opaqueBits.assign(words * std::size_t(height), 0);
        solidBits.assign(words * std::size_t(height), 0);
    }
    bool solidFound = false;
    Uint32 solidColour = 0;
    long opaqueCount = 0, solidCount = 0;

    for (int row = 0; row < out.down; ++row) {
        const int y = row * side, h = std::min(side, height - y);
        if (withCoverage && !solidFound)
            solidFound = firstOpaque(pixels, pitch, width, y, y + h, solidColour);
        for (int column = 0; column < out.across; ++column) {
            const int x = column * side, w = std::min(side, width - x);
            PictureSquares::Square& square = out.squares[std::size_t(row) * std::size_t(out.across) + std::size_t(column)];
            // Bits for pixels x to x + w of a row lie in one word, as squares never straddle one.
            const std::size_t word = std::size_t(x) / 64;
            const int shift = x % 64;
            const Uint32 first = rowAt(pixels, pitch, y)[x];
            if (allOf(pixels, pitch, x, y, w, h, first)) {
                square.colour = first;
                const bool opaque = (first & alphaBits) == alphaBits;
                square.kind = first == 0 ? PictureSquares::Kind::Clear
                              : opaque   ? PictureSquares::Kind::Filled
                                         : PictureSquares::Kind::Mixed;
                if (square.kind == PictureSquares::Kind::Mixed)
                    out.mixedPixels += long(w) * h;
                digest = mixedIn(mixedIn(digest, oneColourSquare), first);
                if (withCoverage && opaque) {
                    const std::uint64_t bits = ((std::uint64_t(1) << w) - 1) << shift;
                    const bool ofSolid = first == solidColour;
                    for (int r = y; r < y + h; ++r) {
                        opaqueBits[std::size_t(r) * words + word] |= bits;
                        if (ofSolid)
                            solidBits[std::size_t(r) * words + word] |= bits;
                    }
                    opaqueCount += long(w) * h;
                    if (ofSolid)
                        solidCount += long(w) * h;
                }
                continue;
            }
            square.kind = PictureSquares::Kind::Mixed;
            square.colour = 0;
            out.mixedPixels += long(w) * h;
            digest = mixedIn(digest, squareOfPixels);
            for (int r = y; r < y + h; ++r) {
                const Uint32* p = rowAt(pixels, pitch, r) + x;
                int i = 0;
                for (; i + 2 <= w; i += 2) {
                    std::uint64_t pair;
                    std::memcpy(&pair, p + i, sizeof pair);
                    digest = mixedIn(digest, pair);
                }
                if (i < w)
                    digest = mixedIn(digest, p[i]);
                if (!withCoverage)
                    continue;
                const auto [opaque, ofColour] = bitsOf(p, w, solidColour);
                // Until the first opaque pixel the solid colour stands clear: of it, only
                // opaque pixels count.
                const unsigned ofSolid = ofColour & opaque;
                opaqueBits[std::size_t(r) * words + word] |= std::uint64_t(opaque) << shift;
                solidBits[std::size_t(r) * words + word] |= std::uint64_t(ofSolid) << shift;
                opaqueCount += bitCount(opaque);
                solidCount += bitCount(ofSolid);
            }
        }
    }
    out.digest = digest == 0 ? 1 : digest;
    if (withCoverage && opaqueCount > 0) {
        // A picture of many colours paints little in any one of them: not worth the memory.
        if (solidCount * 4 < opaqueCount)
            solidBits = {};
        out.coverage = std::make_shared<const Coverage>(width, height, solidColour, std::move(opaqueBits),
                                                        std::move(solidBits));
    }
    return out;
}

} // namespace platform::sdl
