#include "platform/sdl/TurnedPictures.h"

#include "platform/sdl/CompositorSupport.h"
#include "platform/sdl/TextureFactory.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace platform::sdl {

using namespace support;

namespace {

// How long a copy turned by a fixed angle is kept unused: the wobble comes back to
// the same tilt within a second.
constexpr Nanoseconds keptUnusedNanoseconds = 2'000'000'000;

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
// the target, at the given size in pixels.
void paintTurned(cairo_surface_t* target, cairo_surface_t* picture, double width, double height, double degrees,
                 double centerX, double centerY)
{
    cairo_t* cairo = cairo_create(target);
    cairo_set_operator(cairo, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cairo);
    cairo_set_operator(cairo, CAIRO_OPERATOR_OVER);
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

// Turns the premultiplied picture, scaled to width × height pixels, about its centre
// by the angle, the centre landing at (centerX, centerY) of the target; bilinear,
// nothing outside the picture. Writes straight alpha, as SDL blends it. A picture
// that draws nothing outside its inscribed circle is only sampled inside it.
// Used at every frame for a turning reel, so in fixed point, a row at a time.
void turnInto(Uint32* target, int targetPitch, int targetWidth, int targetHeight, cairo_surface_t* picture,
              double width, double height, double degrees, double centerX, double centerY, bool round)
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
    for (int y = 0; y < targetHeight; ++y) {
        Uint32* row = reinterpret_cast<Uint32*>(reinterpret_cast<unsigned char*>(target) + std::ptrdiff_t(y) * targetPitch);
        const double ry = y + 0.5 - centerY;
        int from = 0, to = targetWidth;
        if (round) {
            const double half = ry * ry < radius * radius ? std::sqrt(radius * radius - ry * ry) : -1;
            from = std::clamp(static_cast<int>(std::floor(centerX - half)), 0, targetWidth);
            to = std::clamp(static_cast<int>(std::ceil(centerX + half)), from, targetWidth);
        }
        std::fill(row, row + from, 0u);
        std::fill(row + to, row + targetWidth, 0u);
        const double rx = from + 0.5 - centerX;
        std::int64_t u = std::llround(((c * rx + s * ry) * kx + sourceWidth / 2.0 - 0.5) * one);
        std::int64_t v = std::llround(((-s * rx + c * ry) * ky + sourceHeight / 2.0 - 0.5) * one);
        for (int x = from; x < to; ++x, u += stepU, v += stepV) {
            const std::int64_t x0 = u >> 16, y0 = v >> 16;
            const auto wx = static_cast<Uint32>((u >> 8) & 0xff), wy = static_cast<Uint32>((v >> 8) & 0xff);
            Uint32 p00, p01, p10, p11;
            if (x0 >= 0 && y0 >= 0 && x0 + 1 < sourceWidth && y0 + 1 < sourceHeight) {
                const Uint32* q = source + y0 * stride + x0;
                p00 = q[0];
                p01 = q[1];
                p10 = q[stride];
                p11 = q[stride + 1];
            } else if (x0 < -1 || y0 < -1 || x0 >= sourceWidth || y0 >= sourceHeight) {
                row[x] = 0;
                continue;
            } else {
                p00 = at(x0, y0);
                p01 = at(x0 + 1, y0);
                p10 = at(x0, y0 + 1);
                p11 = at(x0 + 1, y0 + 1);
            }
            if ((p00 | p01 | p10 | p11) == 0) {
                row[x] = 0;
                continue;
            }
            const Uint32 p = mix(mix(p00, p01, wx), mix(p10, p11, wx), wy);
            const Uint32 alpha = p >> 24;
            row[x] = alpha == 0 ? 0 : alpha == 255 ? p : straightPixel(p);
        }
    }
}

} // namespace

void TurnedPictures::prepare(DrawCommand& command, unsigned long frame, Nanoseconds now)
{
    if (command.prepared || command.angleDegrees == 0 || !command.texture || !command.texture->pixels)
        return;
    const SDL_Rect area = [&] {
        DrawCommand unclipped = command;
        unclipped.clip = {-(1 << 28), -(1 << 28), 1 << 29, 1 << 29};
        return unclipped.bounds();
    }();
    if (area.w <= 0 || area.h <= 0 || area.w > 8192 || area.h > 8192)
        return;
    const SDL_FRect& d = command.destination;
    const double centerX = double(d.x) + d.w / 2.0 - area.x;
    const double centerY = double(d.y) + d.h / 2.0 - area.y;
    cairo_surface_t* picture = command.texture->pixels.get();
    const SDL_FRect placed{float(area.x), float(area.y), float(area.w), float(area.h)};

    if (command.turning) {
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
        turnInto(static_cast<Uint32*>(pixels), pitch, area.w, area.h, picture, d.w, d.h, command.angleDegrees, centerX,
                 centerY, command.texture->roundContent);
        SDL_UnlockTexture(buffer.texture->handle);
        command.prepared = buffer.texture;
        command.preparedDestination = placed;
        return;
    }

    // A sliding piece lands at a new fraction of a pixel in every frame: its copies are
    // not kept beyond the frame.
    const auto key = std::make_tuple(command.texture->id, command.angleDegrees, static_cast<float>(centerX),
                                     static_cast<float>(centerY), d.w, d.h);
    auto it = turned_.find(key);
    if (it == turned_.end()) {
        SurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, area.w, area.h));
        paintTurned(surface.get(), picture, d.w, d.h, command.angleDegrees, centerX, centerY);
        Turned turned;
        turned.texture = textures_.fromCairo(surface.get(), float(area.w), float(area.h), TextureFactory::Use::Upright);
        if (!turned.texture)
            return;
        it = turned_.emplace(key, std::move(turned)).first;
    }
    it->second.lastUsed = now;
    it->second.frame = frame;
    it->second.sliding = command.sliding;
    command.prepared = it->second.texture;
    command.preparedDestination = placed;
}

void TurnedPictures::endFrame(unsigned long frame, Nanoseconds now)
{
    std::erase_if(turned_, [frame, now](const auto& entry) {
        const Turned& turned = entry.second;
        return (turned.sliding && turned.frame != frame) || now - turned.lastUsed > keptUnusedNanoseconds
               || now < turned.lastUsed;
    });
    std::erase_if(turnBuffers_, [frame](const auto& entry) { return entry.second.frame != frame; });
}

void TurnedPictures::clear()
{
    turned_.clear();
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
