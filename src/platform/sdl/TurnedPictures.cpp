#include "platform/sdl/TurnedPictures.h"

#include "platform/sdl/CompositorSupport.h"
#include "platform/sdl/TextureFactory.h"

#include <cairo.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <tuple>
#include <vector>

namespace platform::sdl {

using namespace support;

namespace {

// How long a copy turned by a fixed angle is kept unused: the wobble comes back to
// the same tilt within a second.
constexpr Nanoseconds keptUnusedNanoseconds = 2'000'000'000;
// What showed above a piece at a fixed angle is kept this many frames unused, and for
// this many places of the piece at most.
constexpr unsigned long keptShowingFrames = 30;
constexpr std::size_t maxShowingsKept = 4;

} // namespace

void support::unpremultiply(unsigned char* data, int width, int height, int pitch)
{
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<Uint32*>(data + static_cast<std::ptrdiff_t>(y) * pitch);
        for (int x = 0; x < width; ++x) {
            const Uint32 alpha = row[x] >> 24;
            if (alpha != 255 && alpha != 0)
                row[x] = straightPixel(row[x]);
        }
    }
}

namespace {

// Draws the picture turned about its centre, which lands at (centerX, centerY) of
// the clear target, at the given size in pixels.
void paintTurned(cairo_surface_t* target, cairo_surface_t* picture, double width, double height, double degrees,
                 double centerX, double centerY)
{
    cairo_t* cairo = cairo_create(target);
    cairo_translate(cairo, centerX, centerY);
    cairo_rotate(cairo, degrees * std::numbers::pi / 180.0);
    cairo_translate(cairo, -width / 2.0, -height / 2.0);
    cairo_scale(cairo, width / cairo_image_surface_get_width(picture), height / cairo_image_surface_get_height(picture));
    cairo_set_source_surface(cairo, picture, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cairo), CAIRO_FILTER_BILINEAR);
    cairo_paint(cairo);
    cairo_destroy(cairo);
    cairo_surface_flush(target);
}

// One channel pair (0x00ff00ff lanes) of a and b mixed, b by w / 256.
inline Uint32 mixLanes(Uint32 a, Uint32 b, Uint32 w) noexcept
{
    return ((a * (256 - w) + b * w) >> 8) & 0x00ff00ffu;
}

inline Uint32 mix(Uint32 a, Uint32 b, Uint32 w) noexcept
{
    return mixLanes(a & 0x00ff00ffu, b & 0x00ff00ffu, w) | (mixLanes((a >> 8) & 0x00ff00ffu, (b >> 8) & 0x00ff00ffu, w) << 8);
}

#if defined(__SSE2__)
// Two pairs of neighbours (left and right pixel in the low 8 bytes) mixed by the
// weights (0 to 255, of the right and of the lower pair), each channel as mix() does
// it, in one register.
inline Uint32 bilinear(__m128i upperPair, __m128i lowerPair, Uint32 wx, Uint32 wy) noexcept
{
    const __m128i zero = _mm_setzero_si128();
    // Lanes 0-3 weigh the left (upper) pixel by 256 − w, lanes 4-7 the right (lower) by w.
    const __m128i flipLow = _mm_set_epi16(0, 0, 0, 0, -1, -1, -1, -1);
    const __m128i addLow = _mm_set_epi16(0, 0, 0, 0, 257, 257, 257, 257);
    const auto weights = [&](Uint32 w) {
        return _mm_add_epi16(_mm_xor_si128(_mm_set1_epi16(static_cast<short>(w)), flipLow), addLow);
    };
    const auto across = [](__m128i pair, __m128i w) {
        const __m128i weighed = _mm_mullo_epi16(pair, w);
        return _mm_srli_epi16(_mm_add_epi16(weighed, _mm_srli_si128(weighed, 8)), 8);
    };
    const __m128i horizontal = weights(wx);
    const __m128i top = across(_mm_unpacklo_epi8(upperPair, zero), horizontal);
    const __m128i bottom = across(_mm_unpacklo_epi8(lowerPair, zero), horizontal);
    const __m128i both = across(_mm_unpacklo_epi64(top, bottom), weights(wy));
    return static_cast<Uint32>(_mm_cvtsi128_si32(_mm_packus_epi16(both, both)));
}

inline Uint32 bilinear(Uint32 p00, Uint32 p01, Uint32 p10, Uint32 p11, Uint32 wx, Uint32 wy) noexcept
{
    return bilinear(_mm_set_epi32(0, 0, static_cast<int>(p01), static_cast<int>(p00)),
                    _mm_set_epi32(0, 0, static_cast<int>(p11), static_cast<int>(p10)), wx, wy);
}
#else
inline Uint32 bilinear(Uint32 p00, Uint32 p01, Uint32 p10, Uint32 p11, Uint32 wx, Uint32 wy) noexcept
{
    return mix(mix(p00, p01, wx), mix(p10, p11, wx), wy);
}
#endif

// Premultiplied p over the opaque pixel below: p + below × (255 − alpha of p) / 255,
// rounded as 8-bit blending does (exact for a clear or an opaque p).
#if defined(__SSE2__)
inline Uint32 over(Uint32 p, Uint32 below) noexcept
{
    const __m128i channels = _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(below)), _mm_setzero_si128());
    __m128i x = _mm_add_epi16(_mm_mullo_epi16(channels, _mm_set1_epi16(static_cast<short>(255 - (p >> 24)))),
                              _mm_set1_epi16(128));
    x = _mm_srli_epi16(_mm_add_epi16(x, _mm_srli_epi16(x, 8)), 8);
    return p + static_cast<Uint32>(_mm_cvtsi128_si32(_mm_packus_epi16(x, x)));
}
#else
inline Uint32 over(Uint32 p, Uint32 below) noexcept
{
    const Uint32 rest = 255 - (p >> 24);
    Uint32 rb = (below & 0x00ff00ffu) * rest + 0x00800080u;
    rb = ((rb + ((rb >> 8) & 0x00ff00ffu)) >> 8) & 0x00ff00ffu;
    Uint32 ag = ((below >> 8) & 0x00ff00ffu) * rest + 0x00800080u;
    ag = ((ag + ((ag >> 8) & 0x00ff00ffu)) >> 8) & 0x00ff00ffu;
    return p + (rb | (ag << 8));
}
#endif

#if defined(__x86_64__) && defined(__GNUC__)
#define SPOOLORA_TURN_QUADS 1
// from + (to − from) × w / 256, in 16-bit lanes, w shifted up by 7.
__attribute__((target("avx2"), always_inline)) inline __m256i mixQuads(__m256i from, __m256i to, __m256i w)
{
    return _mm256_add_epi16(from, _mm256_mulhi_epi16(_mm256_slli_epi16(_mm256_sub_epi16(to, from), 1), w));
}

// Four pixels at a time where the processor has AVX2: each 128-bit half of a register
// does exactly what turnSpan's pair loop does for one pair, so every pixel comes out
// the same. From pixel x of the row, whose first sample is at (u, v) in 16.16 (inside
// the picture), while a whole quad lies before `last`; returns where it stopped.
__attribute__((target("avx2"))) int turnQuads(Uint32* row, int x, int last, std::int32_t u, std::int32_t v,
                                              std::int32_t stepU, std::int32_t stepV, const unsigned char* base,
                                              std::ptrdiff_t pitch)
{
    const __m256i zero = _mm256_setzero_si256();
    __m256i uv = _mm256_add_epi32(_mm256_setr_epi32(u, v, u, v, u, v, u, v),
                                  _mm256_setr_epi32(0, 0, stepU, stepV, 2 * stepU, 2 * stepV, 3 * stepU, 3 * stepV));
    const __m256i stepUV = _mm256_setr_epi32(4 * stepU, 4 * stepV, 4 * stepU, 4 * stepV, 4 * stepU, 4 * stepV,
                                             4 * stepU, 4 * stepV);
    const __m256i weightBits = _mm256_set1_epi32(0x7f80);
    const __m256i offsetFactors = _mm256_set1_epi32(static_cast<int>((pitch << 16) | 4));
    const auto pairOf = [](const unsigned char* qa, const unsigned char* qb) {
        return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(qa)),
                                  _mm_loadl_epi64(reinterpret_cast<const __m128i*>(qb)));
    };
    for (; x + 3 < last; x += 4, uv = _mm256_add_epi32(uv, stepUV)) {
        const __m256i w = _mm256_packs_epi32(_mm256_and_si256(_mm256_srli_epi32(uv, 1), weightBits), zero);
        const __m256i xy = _mm256_srli_epi32(uv, 16);
        const __m256i offsets = _mm256_madd_epi16(_mm256_packs_epi32(xy, xy), offsetFactors);
        const __m128i low = _mm256_castsi256_si128(offsets), high = _mm256_extracti128_si256(offsets, 1);
        const unsigned char* qa = base + _mm_cvtsi128_si32(low);
        const unsigned char* qb = base + _mm_cvtsi128_si32(_mm_shuffle_epi32(low, 0x01));
        const unsigned char* qc = base + _mm_cvtsi128_si32(high);
        const unsigned char* qd = base + _mm_cvtsi128_si32(_mm_shuffle_epi32(high, 0x01));
        const __m256i upper = _mm256_set_m128i(pairOf(qc, qd), pairOf(qa, qb));
        const __m256i lower = _mm256_set_m128i(pairOf(qc + pitch, qd + pitch), pairOf(qa + pitch, qb + pitch));
        if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(_mm256_or_si256(upper, lower), zero)) == -1)
            continue;   // nothing of the picture here: what lies below stays
        const __m256i a = mixQuads(_mm256_unpacklo_epi8(upper, zero), _mm256_unpacklo_epi8(lower, zero),
                                   _mm256_shuffle_epi32(_mm256_shufflelo_epi16(w, 0x55), 0x00));
        const __m256i b = mixQuads(_mm256_unpackhi_epi8(upper, zero), _mm256_unpackhi_epi8(lower, zero),
                                   _mm256_shuffle_epi32(_mm256_shufflelo_epi16(w, 0xff), 0x00));
        const __m256i left = _mm256_unpacklo_epi64(a, b);
        const __m256i right = _mm256_unpackhi_epi64(a, b);
        const __m256i wx = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(_mm256_unpacklo_epi64(w, w), 0x00), 0xaa);
        const __m256i p = mixQuads(left, right, wx);
        const __m256i alpha = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(p, 0xff), 0xff);
        const __m256i rest = _mm256_sub_epi16(_mm256_set1_epi16(255), alpha);
        auto* out = reinterpret_cast<__m128i*>(row + x);
        // Pixels x, x + 1 in the low half, x + 2, x + 3 in the high one.
        const __m128i belowPairs = _mm_loadu_si128(out);
        const __m256i below = _mm256_unpacklo_epi8(_mm256_set_m128i(_mm_srli_si128(belowPairs, 8), belowPairs), zero);
        const __m256i mixed = _mm256_mulhi_epu16(_mm256_add_epi16(_mm256_mullo_epi16(below, rest), _mm256_set1_epi16(128)),
                                                 _mm256_set1_epi16(257));
        const __m256i result = _mm256_packus_epi16(_mm256_add_epi16(p, mixed), zero);
        // Each half holds its two pixels in its low 8 bytes.
        _mm_storeu_si128(out, _mm_unpacklo_epi64(_mm256_castsi256_si128(result), _mm256_extracti128_si256(result, 1)));
    }
    return x;
}

bool hasAvx2() noexcept
{
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#endif

// How a turned pixel lands on the target: written as straight alpha into a buffer of
// its own (nothing outside the picture), or blended over what the target shows.
enum class Landing { Buffer, Over };

// Turns the premultiplied picture, scaled to width × height pixels, about its centre
// by the angle, the centre landing at (centerX, centerY) of the target; bilinear.
// A picture that draws nothing outside its inscribed circle is only sampled inside it.
// Used at every frame for a turning reel, so in fixed point, a row at a time.
template <Landing landing>
void turnInto(Uint32* target, int targetPitch, int targetWidth, int targetHeight, cairo_surface_t* picture,
              double width, double height, double degrees, double centerX, double centerY, bool round,
              [[maybe_unused]] TurnLanes lanes = TurnLanes::Widest)
{
    cairo_surface_flush(picture);
    const auto* source = reinterpret_cast<const Uint32*>(cairo_image_surface_get_data(picture));
    const int sourceWidth = cairo_image_surface_get_width(picture);
    const int sourceHeight = cairo_image_surface_get_height(picture);
    const int stride = cairo_image_surface_get_stride(picture) / 4;
    const double radians = degrees * std::numbers::pi / 180.0;
    const double c = std::cos(radians), s = std::sin(radians);
    const double kx = sourceWidth / width, ky = sourceHeight / height;
    constexpr double one = 65536.0;
    // Source position (in 16.16, minus half a pixel for bilinear centres) per target step.
    const auto stepU = static_cast<std::int64_t>(std::lround(c * kx * one));
    const auto stepV = static_cast<std::int64_t>(std::lround(-s * ky * one));
    const double radius = std::min(width, height) / 2.0 + 1.5;
    const auto at = [&](std::int64_t x, std::int64_t y) -> Uint32 {
        if (x < 0 || y < 0 || x >= sourceWidth || y >= sourceHeight)
            return 0;
        return source[y * stride + x];
    };
    const auto land = [](Uint32& pixel, Uint32 p) {
        if constexpr (landing == Landing::Buffer) {
            const Uint32 alpha = p >> 24;
            pixel = alpha == 0 ? 0 : alpha == 255 ? p : straightPixel(p);
        } else {
            // Without branches: which way a pixel goes is hard to foresee along a reel.
            pixel = over(p, pixel);
        }
    };
    const auto rowAt = [&](int y) {
        return reinterpret_cast<Uint32*>(reinterpret_cast<unsigned char*>(target) + std::ptrdiff_t(y) * targetPitch);
    };
    // One sample, at (u, v) of the picture in 16.16.
    const auto single = [&](Uint32& pixel, std::int64_t u, std::int64_t v) {
        const std::int64_t x0 = u >> 16, y0 = v >> 16;
        const auto wx = static_cast<Uint32>((u >> 8) & 0xff), wy = static_cast<Uint32>((v >> 8) & 0xff);
        Uint32 p00, p01, p10, p11;
        if (x0 >= 0 && y0 >= 0 && x0 + 1 < sourceWidth && y0 + 1 < sourceHeight) {
            const Uint32* q = source + y0 * stride + x0;
#if defined(__SSE2__)
            const __m128i upper = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(q));
            const __m128i lower = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(q + stride));
            if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_or_si128(upper, lower), _mm_setzero_si128())) == 0xffff)
                land(pixel, 0);
            else
                land(pixel, bilinear(upper, lower, wx, wy));
            return;
#else
            p00 = q[0];
            p01 = q[1];
            p10 = q[stride];
            p11 = q[stride + 1];
#endif
        } else if (x0 < -1 || y0 < -1 || x0 >= sourceWidth || y0 >= sourceHeight) {
            land(pixel, 0);
            return;
        } else {
            p00 = at(x0, y0);
            p01 = at(x0 + 1, y0);
            p10 = at(x0, y0 + 1);
            p11 = at(x0 + 1, y0 + 1);
        }
        if ((p00 | p01 | p10 | p11) == 0) {
            land(pixel, 0);
            return;
        }
        land(pixel, bilinear(p00, p01, p10, p11, wx, wy));
    };
    // Whether the sample at (u, v) and its three neighbours all lie inside the picture.
    const auto inside = [&](std::int64_t u, std::int64_t v) {
        const std::int64_t x0 = u >> 16, y0 = v >> 16;
        return x0 >= 0 && y0 >= 0 && x0 + 1 < sourceWidth && y0 + 1 < sourceHeight;
    };
    // Positions inside the picture fit 16 bits, and offsets into it 31.
    [[maybe_unused]] const bool small = sourceWidth < 32768 && sourceHeight < 32768 && stride < 8192
                                        && std::int64_t(sourceHeight) * stride * 4 < (std::int64_t(1) << 31);
    // The samples of one row between two columns, from the row's first sample on.
    const auto turnSpan = [&](Uint32* row, int from, int to, std::int64_t u, std::int64_t v) {
        int x = from;
#if defined(__SSE2__)
        if (landing == Landing::Over && small) {
            // The samples lie on a line, so those inside the picture are one run of the
            // row: found from both ends, it is taken two neighbouring pixels at a time
            // without looking at the picture's edge. The pairs start where they would
            // from the row's first pixel, which keeps every pixel on the same path.
            int last = to;
            while (last > from && !inside(u + std::int64_t(last - 1 - from) * stepU, v + std::int64_t(last - 1 - from) * stepV))
                --last;
            for (; x + 1 < last && !(inside(u, v) && inside(u + stepU, v + stepV)); x += 2, u += 2 * stepU, v += 2 * stepV) {
                single(row[x], u, v);
                single(row[x + 1], u + stepU, v + stepV);
            }
            // Positions and weights of both samples side by side: u and v of the left
            // pixel, then of the right one, in 16.16 (inside the picture they fit 32 bits).
            const int first = x;
            const std::int64_t firstU = u, firstV = v;
            const auto* base = reinterpret_cast<const unsigned char*>(source);
            const std::ptrdiff_t pitch = std::ptrdiff_t(stride) * 4;
#if defined(SPOOLORA_TURN_QUADS)
            if (lanes == TurnLanes::Widest && hasAvx2()) {
                x = turnQuads(row, x, last, static_cast<std::int32_t>(u), static_cast<std::int32_t>(v),
                              static_cast<std::int32_t>(stepU), static_cast<std::int32_t>(stepV), base, pitch);
                u = firstU + std::int64_t(x - first) * stepU;
                v = firstV + std::int64_t(x - first) * stepV;
            }
#endif
            const __m128i zero = _mm_setzero_si128();
            __m128i uv = _mm_set_epi32(static_cast<int>(v + stepV), static_cast<int>(u + stepU), static_cast<int>(v),
                                       static_cast<int>(u));
            const __m128i stepUV = _mm_set_epi32(static_cast<int>(2 * stepV), static_cast<int>(2 * stepU),
                                                 static_cast<int>(2 * stepV), static_cast<int>(2 * stepU));
            const __m128i weightBits = _mm_set1_epi32(0x7f80);
            // Byte offsets of both samples in one multiply-add, x × 4 + y × pitch.
            const __m128i offsetFactors = _mm_set1_epi32(static_cast<int>((pitch << 16) | 4));
            for (; x + 1 < last; x += 2, uv = _mm_add_epi32(uv, stepUV)) {
                // Each sample's weights, 0 to 255, shifted up by 7 for mulhi below.
                const __m128i w = _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(uv, 1), weightBits), zero);
                const __m128i xy = _mm_srli_epi32(uv, 16);
                const __m128i offsets = _mm_madd_epi16(_mm_packs_epi32(xy, xy), offsetFactors);
                const unsigned char* qa = base + _mm_cvtsi128_si32(offsets);
                const unsigned char* qb = base + _mm_cvtsi128_si32(_mm_shuffle_epi32(offsets, 0x01));
                const __m128i upper = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(qa)),
                                                         _mm_loadl_epi64(reinterpret_cast<const __m128i*>(qb)));
                const __m128i lower =
                    _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(qa + pitch)),
                                       _mm_loadl_epi64(reinterpret_cast<const __m128i*>(qb + pitch)));
                if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_or_si128(upper, lower), zero)) == 0xffff)
                    continue;   // nothing of the picture here: what lies below stays
                // Down first, each pixel by its own weight: upper + (lower − upper) × w / 256.
                const auto down = [&](__m128i up, __m128i low, __m128i wy) {
                    return _mm_add_epi16(up, _mm_mulhi_epi16(_mm_slli_epi16(_mm_sub_epi16(low, up), 1), wy));
                };
                const __m128i a = down(_mm_unpacklo_epi8(upper, zero), _mm_unpacklo_epi8(lower, zero),
                                       _mm_shuffle_epi32(_mm_shufflelo_epi16(w, 0x55), 0x00));
                const __m128i b = down(_mm_unpackhi_epi8(upper, zero), _mm_unpackhi_epi8(lower, zero),
                                       _mm_shuffle_epi32(_mm_shufflelo_epi16(w, 0xff), 0x00));
                // Then across: the left samples of both pixels, and their right ones.
                const __m128i left = _mm_unpacklo_epi64(a, b);
                const __m128i right = _mm_unpackhi_epi64(a, b);
                const __m128i wx = _mm_shufflehi_epi16(_mm_shufflelo_epi16(_mm_unpacklo_epi64(w, w), 0x00), 0xaa);
                const __m128i p = _mm_add_epi16(left, _mm_mulhi_epi16(_mm_slli_epi16(_mm_sub_epi16(right, left), 1), wx));
                // Over what lies below: p + below × (255 − alpha of p) / 255.
                const __m128i alpha = _mm_shufflehi_epi16(_mm_shufflelo_epi16(p, 0xff), 0xff);
                const __m128i rest = _mm_sub_epi16(_mm_set1_epi16(255), alpha);
                auto* out = reinterpret_cast<__m128i*>(row + x);
                const __m128i below = _mm_unpacklo_epi8(_mm_loadl_epi64(out), zero);
                // t / 255 rounded is (t + 128) × 257 / 65536, rounded down, for any 16-bit t.
                const __m128i mixed = _mm_mulhi_epu16(_mm_add_epi16(_mm_mullo_epi16(below, rest), _mm_set1_epi16(128)),
                                                      _mm_set1_epi16(257));
                _mm_storel_epi64(out, _mm_packus_epi16(_mm_add_epi16(p, mixed), zero));
            }
            u = firstU + std::int64_t(x - first) * stepU;
            v = firstV + std::int64_t(x - first) * stepV;
        }
#endif
        for (; x < to; ++x, u += stepU, v += stepV)
            single(row[x], u, v);
    };
    // A turned row reads the picture along a slanted line. Taken in small squares the
    // lines of neighbouring rows reuse the picture's pixels while they are still in the
    // processor's nearest cache, which rows taken whole do not.
    constexpr int block = 32;
    struct Row {
        int from, to;
        std::int64_t u, v;   // the sample at `from`
    };
    Row rows[block];
    for (int top = 0; top < targetHeight; top += block) {
        const int count = std::min(block, targetHeight - top);
        int left = targetWidth, right = 0;
        for (int i = 0; i < count; ++i) {
            const int y = top + i;
            const double ry = y + 0.5 - centerY;
            int from = 0, to = targetWidth;
            if (round) {
                const double half = ry * ry < radius * radius ? std::sqrt(radius * radius - ry * ry) : -1;
                from = std::clamp(static_cast<int>(std::floor(centerX - half)), 0, targetWidth);
                to = std::clamp(static_cast<int>(std::ceil(centerX + half)), from, targetWidth);
            }
            if constexpr (landing == Landing::Buffer) {
                Uint32* row = rowAt(y);
                std::fill(row, row + from, 0u);
                std::fill(row + to, row + targetWidth, 0u);
            }
            const double rx = from + 0.5 - centerX;
            rows[i] = {from, to, std::llround(((c * rx + s * ry) * kx + sourceWidth / 2.0 - 0.5) * one),
                       std::llround(((-s * rx + c * ry) * ky + sourceHeight / 2.0 - 0.5) * one)};
            if (from < to) {
                left = std::min(left, from);
                right = std::max(right, to);
            }
        }
        for (int x = left; x < right; x += block)
            for (int i = 0; i < count; ++i) {
                const Row& r = rows[i];
                const int from = std::max(r.from, x), to = std::min(r.to, x + block);
                if (from < to)
                    turnSpan(rowAt(top + i), from, to, r.u + std::int64_t(from - r.from) * stepU,
                             r.v + std::int64_t(from - r.from) * stepV);
            }
    }
}

// The texture's pixels premultiplied into a new cairo picture, for the time a turned
// copy is made from them. A software renderer keeps a streaming texture as a surface in
// memory and hands out those very pixels (straight alpha) on locking, without a copy;
// other textures give none. A drawing kept in parts is put together from them.
SurfacePtr premultipliedPixels(const Texture& texture)
{
    Uint32 format = 0;
    int access = 0, width = 0, height = 0;
    const bool inParts = !texture.parts.empty();
    if (texture.handle
        && (SDL_QueryTexture(texture.handle, &format, &access, &width, &height) != 0
            || access != SDL_TEXTUREACCESS_STREAMING || format != SDL_PIXELFORMAT_ARGB8888))
        return nullptr;
    if (!texture.handle && !inParts)
        return nullptr;
    SurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, texture.widthPixels, texture.heightPixels));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
        return nullptr;
    void* locked = nullptr;
    int pitch = 0;
    if (texture.handle && SDL_LockTexture(texture.handle, nullptr, &locked, &pitch) != 0)
        return nullptr;
    unsigned char* data = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    // The rectangle `at` of the picture from (x, y) of the texture's pixels.
    const auto copy = [&](const SDL_Rect& at, int x, int y) {
        for (int row = 0; row < at.h; ++row) {
            const auto* in = reinterpret_cast<const Uint32*>(static_cast<const unsigned char*>(locked)
                                                             + std::ptrdiff_t(y + row) * pitch)
                             + x;
            auto* out = reinterpret_cast<Uint32*>(data + std::ptrdiff_t(at.y + row) * stride) + at.x;
            for (int column = 0; column < at.w; ++column) {
                const Uint32 alpha = in[column] >> 24;
                out[column] = alpha == 255 ? in[column] : alpha == 0 ? 0 : premultipliedPixel(in[column]);
            }
        }
    };
    if (!inParts) {
        copy({0, 0, texture.widthPixels, texture.heightPixels}, 0, 0);
    } else {
        for (const Texture::Part& part : texture.parts) {
            if (!part.filled) {
                if (locked)
                    copy(part.at, part.source.x, part.source.y);
                continue;
            }
            if (part.colour.a == 0)
                continue;
            const Uint32 colour = 0xff000000u | Uint32(part.colour.r) << 16 | Uint32(part.colour.g) << 8 | part.colour.b;
            for (int row = 0; row < part.at.h; ++row) {
                auto* out = reinterpret_cast<Uint32*>(data + std::ptrdiff_t(part.at.y + row) * stride) + part.at.x;
                std::fill(out, out + part.at.w, colour);
            }
        }
    }
    if (locked)
        SDL_UnlockTexture(texture.handle);
    cairo_surface_mark_dirty(surface.get());
    return surface;
}

// The pixels a turned command covers, whatever its clip; empty when too large to turn.
SDL_Rect turnedArea(const DrawCommand& command) noexcept
{
    DrawCommand unclipped = command;
    unclipped.clip = {-(1 << 28), -(1 << 28), 1 << 29, 1 << 29};
    const SDL_Rect area = unclipped.bounds();
    return area.w > 8192 || area.h > 8192 ? SDL_Rect{} : area;
}

} // namespace

void TurnedPictures::prepare(DisplayList& list, unsigned long frame, Nanoseconds now)
{
    std::vector<DrawCommand>& commands = list.commands;
    // What can show of each piece at a fixed angle. Pieces that show the same picture at
    // the same angle and size, a whole number of pixels apart (the two tape bands), share
    // one copy of what can show of either, placed alike in each.
    using Likeness = std::tuple<std::uint64_t, double, float, float, float, float, int, int>;
    std::vector<std::pair<Likeness, SDL_Rect>> alike;   // and what shows of them, from their corner
    std::vector<std::size_t> likeness(commands.size(), SIZE_MAX);
    for (std::size_t i = 0; i < commands.size(); ++i) {
        const DrawCommand& command = commands[i];
        if (command.prepared || command.angleDegrees == 0 || !command.texture || command.turning)
            continue;
        const SDL_Rect area = turnedArea(command);
        if (isEmpty(area))
            continue;
        SDL_Rect part = showingPart(commands, i, area, frame);
        if (isEmpty(part))   // all hidden: a pixel of it stands for the rest
            part = {std::clamp(command.clip.x, area.x, area.x + area.w - 1),
                    std::clamp(command.clip.y, area.y, area.y + area.h - 1), 1, 1};
        part.x -= area.x;
        part.y -= area.y;
        const SDL_FRect& d = command.destination;
        const Likeness like{command.texture->id, command.angleDegrees, static_cast<float>(double(d.x) - area.x),
                            static_cast<float>(double(d.y) - area.y), d.w, d.h, area.w, area.h};
        const auto same = std::find_if(alike.begin(), alike.end(), [&](const auto& entry) { return entry.first == like; });
        if (same == alike.end()) {
            likeness[i] = alike.size();
            alike.emplace_back(like, part);
        } else {
            likeness[i] = std::size_t(same - alike.begin());
            same->second = unite(same->second, part);
        }
    }
    for (std::size_t i = 0; i < commands.size(); ++i)
        prepare(commands[i], likeness[i] == SIZE_MAX ? nullptr : &alike[likeness[i]].second, frame, now);
}

SDL_Rect TurnedPictures::showingPart(const std::vector<DrawCommand>& commands, std::size_t index, const SDL_Rect& area,
                                     unsigned long frame)
{
    const DrawCommand& command = commands[index];
    const SDL_Rect region = intersect(area, command.clip);
    std::vector<ShownPiece> above;
    for (std::size_t j = index + 1; j < commands.size(); ++j) {
        const DrawCommand& piece = commands[j];
        const SDL_Rect b = piece.bounds();
        if (!piece.turning && overlap(b, region))
            above.emplace_back(piece);
    }
    std::vector<Showing>& known = showing_[command.key];
    auto showing = std::find_if(known.begin(), known.end(), [&](const Showing& s) {
        return SDL_RectEquals(&s.region, &region) && s.above == above;
    });
    if (showing == known.end()) {
        showing = known.insert(known.end(), Showing{region, std::move(above), sdl::showingPart(commands, index, area), frame});
    }
    showing->frame = frame;
    return showing->part;
}

void TurnedPictures::prepare(DrawCommand& command, const SDL_Rect* showing, unsigned long frame, Nanoseconds now)
{
    if (command.prepared || command.angleDegrees == 0 || !command.texture)
        return;
    // A turning piece is turned from the pixels it keeps, at every frame.
    if (command.turning && !command.texture->pixels)
        return;
    const SDL_Rect area = turnedArea(command);
    if (isEmpty(area) || (!command.turning && !showing))
        return;
    const SDL_FRect& d = command.destination;
    const double centerX = double(d.x) + d.w / 2.0 - area.x;
    const double centerY = double(d.y) + d.h / 2.0 - area.y;
    const SDL_FRect placed{float(area.x), float(area.y), float(area.w), float(area.h)};

    if (command.turning) {
        // Turned while being drawn, straight onto the target.
        if (turnsOntoTarget_ && canTurnOnto(command))
            return;
        // Turned afresh at every frame into the piece's own buffer.
        TurnBuffer& buffer = turnBuffers_[command.key];
        buffer.frame = frame;
        if (!buffer.texture || buffer.texture->widthPixels != area.w || buffer.texture->heightPixels != area.h) {
            buffer.texture.reset();
            SDL_Texture* handle =
                SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, area.w, area.h);
            if (!handle)
                return;
            SDL_SetTextureBlendMode(handle, SDL_BLENDMODE_BLEND);
            buffer.texture = std::make_shared<Texture>();
            buffer.texture->handle = handle;
            buffer.texture->widthPixels = area.w;
            buffer.texture->heightPixels = area.h;
            textures_.countMade();
        }
        void* pixels = nullptr;
        int pitch = 0;
        if (SDL_LockTexture(buffer.texture->handle, nullptr, &pixels, &pitch) != 0)
            return;
        turnInto<Landing::Buffer>(static_cast<Uint32*>(pixels), pitch, area.w, area.h, command.texture->pixels.get(), d.w,
                                  d.h, command.angleDegrees, centerX, centerY, command.texture->roundContent);
        SDL_UnlockTexture(buffer.texture->handle);
        command.prepared = buffer.texture;
        command.preparedDestination = placed;
        return;
    }

    // Of a piece at a fixed angle only what can show is turned: the part inside its clip
    // and not under opaque pieces above it (the skin over the tape bands). A sliding
    // piece lands at a new fraction of a pixel in every frame: its copies are not kept
    // beyond the frame.
    const SDL_Rect part{area.x + showing->x, area.y + showing->y, showing->w, showing->h};
    const double partCenterX = centerX + area.x - part.x, partCenterY = centerY + area.y - part.y;
    const auto key = std::make_tuple(command.texture->id, command.angleDegrees, static_cast<float>(partCenterX),
                                     static_cast<float>(partCenterY), d.w, d.h, part.w, part.h);
    auto it = turned_.find(key);
    if (it == turned_.end()) {
        // Turned from the pixels the texture keeps, if any; otherwise from a premultiplied
        // copy of the renderer's own, held only while the turned copy is made.
        SurfacePtr held;
        cairo_surface_t* picture = command.texture->pixels.get();
        if (!picture) {
            held = premultipliedPixels(*command.texture);
            picture = held.get();
        }
        if (!picture)
            return;
        Turned turned;
        std::shared_ptr<const Coverage> coverage;
        turned.texture = textures_.painted(part.w, part.h, float(part.w), float(part.h), [&](cairo_surface_t* target) {
            paintTurned(target, picture, d.w, d.h, command.angleDegrees, partCenterX, partCenterY);
            // A kept copy (a tilted tape band) tells the damage where it is opaque and where
            // in one colour, as an upright picture does.
            if (!command.sliding)
                coverage = coverageOf(target);
        });
        if (!turned.texture)
            return;
        if (coverage && !turned.texture->coverage)
            std::const_pointer_cast<Texture>(turned.texture)->coverage = std::move(coverage);
        it = turned_.emplace(key, std::move(turned)).first;
    }
    it->second.lastUsed = now;
    it->second.frame = frame;
    it->second.sliding = command.sliding;
    it->second.piece = command.key;
    command.prepared = it->second.texture;
    command.preparedDestination = {float(part.x), float(part.y), float(part.w), float(part.h)};
    // What showed of the piece at this angle before (on another skin) cannot come back
    // without the piece being turned again: a copy per piece and angle is enough.
    std::erase_if(turned_, [&](const auto& entry) {
        return entry.second.piece == command.key && entry.second.frame != frame
               && std::get<1>(entry.first) == command.angleDegrees;
    });
}

bool canTurnOnto(const DrawCommand& command) noexcept
{
    const SDL_Color& c = command.color;
    return command.turning && command.texture && command.texture->pixels && command.blendMode == SDL_BLENDMODE_BLEND
           && c.r == 255 && c.g == 255 && c.b == 255 && c.a == 255;
}

bool canTurnOnto(const SDL_Surface* surface) noexcept
{
    // Opaque 0x..RRGGBB pixels, which the blending below assumes.
    return surface && surface->pixels
           && (surface->format->format == SDL_PIXELFORMAT_ARGB8888 || surface->format->format == SDL_PIXELFORMAT_RGB888);
}

void turnOnto(SDL_Surface* surface, const DrawCommand& command, const SDL_Rect& region, TurnLanes lanes)
{
    const SDL_Rect whole{0, 0, surface->w, surface->h};
    const SDL_Rect area = intersect(intersect(intersect(region, command.clip), command.bounds()), whole);
    if (isEmpty(area))
        return;
    const SDL_FRect& d = command.destination;
    auto* corner = static_cast<unsigned char*>(surface->pixels) + std::ptrdiff_t(area.y) * surface->pitch
                   + std::ptrdiff_t(area.x) * 4;
    turnInto<Landing::Over>(reinterpret_cast<Uint32*>(corner), surface->pitch, area.w, area.h,
                            command.texture->pixels.get(), d.w, d.h, command.angleDegrees,
                            double(d.x) + d.w / 2.0 - area.x, double(d.y) + d.h / 2.0 - area.y,
                            command.texture->roundContent, lanes);
}

void TurnedPictures::endFrame(unsigned long frame, Nanoseconds now)
{
    std::erase_if(turned_, [frame, now](const auto& entry) {
        const Turned& turned = entry.second;
        return (turned.sliding && turned.frame != frame) || now - turned.lastUsed > keptUnusedNanoseconds
               || now < turned.lastUsed;
    });
    std::erase_if(turnBuffers_, [frame](const auto& entry) { return entry.second.frame != frame; });
    // A wobble's four poses take less than a second. A sliding piece is somewhere new at
    // every frame: beyond a few places, those it does not show at now go.
    for (auto& [key, known] : showing_)
        std::erase_if(known, [&](const Showing& s) {
            return s.frame != frame && (s.frame + keptShowingFrames < frame || known.size() > maxShowingsKept);
        });
    std::erase_if(showing_, [](const auto& entry) { return entry.second.empty(); });
}

void TurnedPictures::clear()
{
    turned_.clear();
    showing_.clear();
}

std::size_t TurnedPictures::turnedBytes() const noexcept
{
    std::size_t bytes = 0;
    for (const auto& [key, turned] : turned_)
        bytes += textureBytes(*turned.texture);
    return bytes;
}

std::size_t TurnedPictures::bufferBytes() const noexcept
{
    std::size_t bytes = 0;
    for (const auto& [key, buffer] : turnBuffers_)
        if (buffer.texture)
            bytes += textureBytes(*buffer.texture);
    return bytes;
}

} // namespace platform::sdl
