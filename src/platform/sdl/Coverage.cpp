#include "platform/sdl/Coverage.h"

#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <bit>

namespace platform::sdl {

Coverage::Coverage(const Uint32* pixels, int width, int height, int pitch)
    : width_(width), height_(height), words_((width + 63) / 64)
{
    const auto rowOf = [&](int y) {
        return reinterpret_cast<const Uint32*>(reinterpret_cast<const unsigned char*>(pixels) + std::ptrdiff_t(y) * pitch);
    };
    // The solid colour: that of the first opaque pixel met, at the top of a ring or of
    // a filled shape.
    for (int y = 0; y < height && !anyOpaque_; ++y) {
        const Uint32* row = rowOf(y);
        for (int x = 0; x < width && !anyOpaque_; ++x)
            if ((row[x] >> 24) == 0xff) {
                solidColour_ = row[x];
                anyOpaque_ = true;
            }
    }
    if (!anyOpaque_)
        return;
    // Or that of the middle, when more of the picture has it: the black centre of a
    // tape band, whose grooves are of many colours.
    if (const Uint32 middle = rowOf(height / 2)[width / 2]; (middle >> 24) == 0xff && middle != solidColour_) {
        std::size_t ofFirst = 0, ofMiddle = 0;
        for (int y = 0; y < height; ++y) {
            const Uint32* row = rowOf(y);
            for (int x = 0; x < width; ++x) {
                ofFirst += row[x] == solidColour_;
                ofMiddle += row[x] == middle;
            }
        }
        if (ofMiddle > ofFirst)
            solidColour_ = middle;
    }
    const std::size_t words = std::size_t(words_) * std::size_t(height);
    std::size_t opaqueCount = 0, solidCount = 0;
    opaque_.assign(words, 0);
    solid_.assign(words, 0);
    for (int y = 0; y < height; ++y) {
        const Uint32* row = rowOf(y);
        std::uint64_t* opaqueRow = opaque_.data() + std::size_t(y) * std::size_t(words_);
        std::uint64_t* solidRow = solid_.data() + std::size_t(y) * std::size_t(words_);
        int x = 0;
#if defined(__SSE2__)
        // Four pixels at a time: a bit each from comparing their alpha, and their colour.
        const __m128i alphaMask = _mm_set1_epi32(static_cast<int>(0xff000000u));
        const __m128i solid = _mm_set1_epi32(static_cast<int>(solidColour_));
        for (; x + 4 <= width; x += 4) {
            const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
            const auto opaqueBits = static_cast<std::uint64_t>(
                _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(_mm_and_si128(p, alphaMask), alphaMask))));
            const auto solidBits =
                static_cast<std::uint64_t>(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(p, solid))));
            opaqueRow[x >> 6] |= opaqueBits << (x & 63);
            solidRow[x >> 6] |= solidBits << (x & 63);
            // Set bits of four, from a table of sixteen counts in a word: without the
            // instruction for it, which not every processor has, a popcount is a call.
            constexpr std::uint64_t countsOfFour = 0x4332322132212110u;
            opaqueCount += static_cast<std::size_t>((countsOfFour >> (opaqueBits * 4)) & 0xf);
            solidCount += static_cast<std::size_t>((countsOfFour >> (solidBits * 4)) & 0xf);
        }
#endif
        for (; x < width; ++x) {
            const Uint32 p = row[x];
            if ((p >> 24) != 0xff)
                continue;
            const std::uint64_t bit = std::uint64_t(1) << (x & 63);
            opaqueRow[x >> 6] |= bit;
            ++opaqueCount;
            if (p == solidColour_) {
                solidRow[x >> 6] |= bit;
                ++solidCount;
            }
        }
    }
    // A picture of many colours paints little in any one of them: not worth the memory.
    if (solidCount * 8 < opaqueCount) {
        solid_.clear();
        solid_.shrink_to_fit();
    }
}

Coverage::Coverage(int width, int height, Uint32 solidColour, std::vector<std::uint64_t> opaque,
                   std::vector<std::uint64_t> solid) noexcept
    : width_(width), height_(height), words_((width + 63) / 64), solidColour_(solidColour), anyOpaque_(!opaque.empty()),
      opaque_(std::move(opaque)), solid_(std::move(solid))
{
}

std::size_t Coverage::bytes() const noexcept
{
    std::size_t bytes = (opaque_.size() + solid_.size()) * sizeof(std::uint64_t);
    for (const Remembered& r : remembered_)
        bytes += r.opaque.size() + r.solid.size();
    return bytes;
}

bool Coverage::answer(const std::vector<std::uint64_t>& bits, bool solid, const SDL_Rect& r) const noexcept
{
    constexpr int side = rememberedSide;
    if (r.w != side || r.h != side || r.x < 0 || r.y < 0 || r.x + side > width_ || r.y + side > height_
        || bits.empty())
        return allSet(bits, r);
    static_assert((side & (side - 1)) == 0);
    constexpr int shift = std::countr_zero(unsigned(side));
    const int phaseX = r.x & (side - 1), phaseY = r.y & (side - 1);
    auto it = std::find_if(remembered_.begin(), remembered_.end(),
                           [&](const Remembered& m) { return m.phaseX == phaseX && m.phaseY == phaseY; });
    if (it == remembered_.end()) {
        if (remembered_.size() >= 4)   // a picture on the move: not worth remembering
            return allSet(bits, r);
        Remembered m;
        m.phaseX = phaseX;
        m.phaseY = phaseY;
        m.across = (width_ - phaseX) >> shift;
        const std::size_t squares = std::size_t(m.across) * std::size_t((height_ - phaseY) >> shift);
        m.opaque.assign(squares, -1);
        m.solid.assign(solid_.empty() ? 0 : squares, -1);
        remembered_.push_back(std::move(m));
        it = remembered_.end() - 1;
    }
    std::vector<signed char>& known = solid ? it->solid : it->opaque;
    signed char& square = known[std::size_t(r.y >> shift) * std::size_t(it->across) + std::size_t(r.x >> shift)];
    if (square < 0)
        square = allSet(bits, r) ? 1 : 0;
    return square == 1;
}

bool Coverage::allSet(const std::vector<std::uint64_t>& bits, const SDL_Rect& r) const noexcept
{
    if (r.w <= 0 || r.h <= 0)
        return true;
    if (bits.empty())
        return false;
    if (r.x < 0 || r.y < 0 || r.x + r.w > width_ || r.y + r.h > height_)
        return false;
    const int first = r.x >> 6, last = (r.x + r.w - 1) >> 6;
    const std::uint64_t all = ~std::uint64_t(0);
    const std::uint64_t firstMask = all << (r.x & 63);
    const int end = (r.x + r.w) & 63;
    const std::uint64_t lastMask = end == 0 ? all : all >> (64 - end);
    for (int y = r.y; y < r.y + r.h; ++y) {
        const std::uint64_t* row = bits.data() + std::size_t(y) * std::size_t(words_);
        if (first == last) {
            const std::uint64_t mask = firstMask & lastMask;
            if ((row[first] & mask) != mask)
                return false;
            continue;
        }
        if ((row[first] & firstMask) != firstMask || (row[last] & lastMask) != lastMask)
            return false;
        for (int w = first + 1; w < last; ++w)
            if (row[w] != all)
                return false;
    }
    return true;
}

} // namespace platform::sdl
