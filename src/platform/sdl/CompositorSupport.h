#pragma once
// Small helpers shared by the compositor's files: pixel rectangles, cairo
// surfaces, and straight alpha for SDL.

#include <SDL.h>
#include <cairo.h>

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

namespace platform::sdl::support {

// Where both rectangles lie; all zero when nowhere. Worked out here rather than by SDL:
// the compositor asks thousands of times a frame.
inline SDL_Rect intersect(const SDL_Rect& a, const SDL_Rect& b) noexcept
{
    const int left = std::max(a.x, b.x), right = std::min(a.x + a.w, b.x + b.w);
    const int top = std::max(a.y, b.y), bottom = std::min(a.y + a.h, b.y + b.h);
    if (a.w <= 0 || a.h <= 0 || b.w <= 0 || b.h <= 0 || right <= left || bottom <= top)
        return SDL_Rect{0, 0, 0, 0};
    return SDL_Rect{left, top, right - left, bottom - top};
}

inline bool overlap(const SDL_Rect& a, const SDL_Rect& b) noexcept
{
    return a.w > 0 && a.h > 0 && b.w > 0 && b.h > 0 && a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h
           && b.y < a.y + a.h;
}

inline bool isEmpty(const SDL_Rect& r) noexcept
{
    return r.w <= 0 || r.h <= 0;
}

// The parts of `outer` outside `inner` (which lies within it): above, below, left and
// right of it; some may be empty. All of `outer` when `inner` is empty.
inline std::array<SDL_Rect, 4> around(const SDL_Rect& outer, const SDL_Rect& inner) noexcept
{
    if (inner.w <= 0 || inner.h <= 0)
        return {outer, SDL_Rect{}, SDL_Rect{}, SDL_Rect{}};
    const int right = outer.x + outer.w, bottom = outer.y + outer.h;
    const int innerRight = inner.x + inner.w, innerBottom = inner.y + inner.h;
    return {SDL_Rect{outer.x, outer.y, outer.w, inner.y - outer.y},
            SDL_Rect{outer.x, innerBottom, outer.w, bottom - innerBottom},
            SDL_Rect{outer.x, inner.y, inner.x - outer.x, inner.h},
            SDL_Rect{innerRight, inner.y, right - innerRight, inner.h}};
}

// Adds a run of tiles, gathered row by row, to the rectangles from `first` on: a run
// just like one ending right above it lengthens that one's rectangle.
inline void addRun(std::vector<SDL_Rect>& out, std::size_t first, const SDL_Rect& run)
{
    for (std::size_t i = first; i < out.size(); ++i)
        if (out[i].x == run.x && out[i].w == run.w && out[i].y + out[i].h == run.y) {
            out[i].h += run.h;
            return;
        }
    out.push_back(run);
}

inline SDL_Rect unite(const SDL_Rect& a, const SDL_Rect& b) noexcept
{
    if (isEmpty(a))
        return b;
    if (isEmpty(b))
        return a;
    SDL_Rect out{};
    SDL_UnionRect(&a, &b, &out);
    return out;
}

struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const noexcept { cairo_surface_destroy(s); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

// A premultiplied channel's straight value, rounded, by alpha (1 to 255) and channel:
// looked up rather than divided, as pictures of tens of thousands of soft-edged
// pixels are turned to straight alpha while the reels turn.
using StraightChannels = std::array<std::array<Uint8, 256>, 256>;
inline constexpr StraightChannels straightChannels = [] {
    StraightChannels table{};
    for (Uint32 alpha = 1; alpha < 256; ++alpha)
        for (Uint32 c = 0; c < 256; ++c)
            table[alpha][c] = static_cast<Uint8>(std::min<Uint32>(255, (c * 255 + alpha / 2) / alpha));
    return table;
}();

// The straight-alpha form of a premultiplied ARGB pixel that is neither clear nor opaque.
inline Uint32 straightPixel(Uint32 premultiplied) noexcept
{
    const Uint32 alpha = premultiplied >> 24;
    const auto& straight = straightChannels[alpha];
    return (alpha << 24) | (Uint32(straight[(premultiplied >> 16) & 0xff]) << 16)
           | (Uint32(straight[(premultiplied >> 8) & 0xff]) << 8) | straight[premultiplied & 0xff];
}

// The premultiplied form of a straight-alpha ARGB pixel, each channel rounded to the
// nearest: of a pixel that straightPixel made, exactly the premultiplied pixel it came from.
inline Uint32 premultipliedPixel(Uint32 straight) noexcept
{
    const Uint32 alpha = straight >> 24;
    // c × alpha / 255 rounded, as (t + t / 256) / 256 with t = c × alpha + 128, two channels at a time.
    Uint32 rb = (straight & 0x00ff00ffu) * alpha + 0x00800080u;
    rb = ((rb + ((rb >> 8) & 0x00ff00ffu)) >> 8) & 0x00ff00ffu;
    Uint32 g = ((straight >> 8) & 0xffu) * alpha + 0x80u;
    g = ((g + (g >> 8)) >> 8) & 0xffu;
    return (alpha << 24) | rb | (g << 8);
}

// Straight alpha in place, for SDL's blending, after cairo drew premultiplied pixels.
void unpremultiply(unsigned char* data, int width, int height, int pitch);

// Straight-alpha pixels blended over a row of the target exactly as SDL's software
// renderer blends them onto a 32-bit ARGB or RGB surface: each channel
// c × a / 256 + below × (255 − a) / 256 (the alpha channel taking 255 for c), each
// quotient rounded down; a clear pixel leaves the target, an opaque one replaces it.
void blendOver(Uint32* target, const Uint32* pixels, int count) noexcept;

} // namespace platform::sdl::support
