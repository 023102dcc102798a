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

// Turning pictures are kept turned in steps of this many degrees on software renderers,
// as long as one revolution's worth stays under the byte limit.
constexpr double turningStepDegrees = 2;
constexpr double maxTurningCacheBytes = 96.0 * 1024 * 1024;

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

// The smallest turn (in degrees) that maps the picture onto itself, for pictures
// with spokes; 0 when it has no such symmetry. Compares the picture with itself
// turned by 360/k for a few k, allowing for resampling blur.
double symmetryPeriodDegrees(cairo_surface_t* picture)
{
    const int width = cairo_image_surface_get_width(picture);
    const int height = cairo_image_surface_get_height(picture);
    if (width != height || width < 16)
        return 0;
    SurfacePtr turned(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    cairo_surface_flush(picture);
    const unsigned char* original = cairo_image_surface_get_data(picture);
    const int stride = cairo_image_surface_get_stride(picture);
    for (const int k : {12, 10, 8, 6, 5, 4, 3, 2}) {
        const double period = 360.0 / k;
        paintTurned(turned.get(), picture, width, height, period, width / 2.0, height / 2.0);
        const unsigned char* other = cairo_image_surface_get_data(turned.get());
        const int otherStride = cairo_image_surface_get_stride(turned.get());
        // Mean difference per channel, over the pixels either picture paints.
        double difference = 0;
        long counted = 0;
        for (int y = 0; y < height; ++y) {
            const auto* a = reinterpret_cast<const Uint32*>(original + static_cast<std::ptrdiff_t>(y) * stride);
            const auto* b = reinterpret_cast<const Uint32*>(other + static_cast<std::ptrdiff_t>(y) * otherStride);
            for (int x = 0; x < width; ++x) {
                if ((a[x] | b[x]) == 0)
                    continue;
                ++counted;
                for (int shift = 0; shift < 32; shift += 8)
                    difference += std::abs(int((a[x] >> shift) & 0xff) - int((b[x] >> shift) & 0xff));
            }
        }
        if (counted > 0 && difference / (4.0 * double(counted)) < 3.0)
            return period;
    }
    return 0;
}

} // namespace

// Fixed angles are turned once; turning pictures are kept per step within their period,
// or resampled at every frame when that would take too much memory.
void TurnedPictures::prepare(DrawCommand& command, unsigned long frame, Nanoseconds now)
{
    if (command.prepared || command.angleDegrees == 0 || !command.texture || !command.texture->pixels)
        return;
    const bool turning = command.turning;
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

    double degrees = command.angleDegrees;
    double centerInAreaX = centerX, centerInAreaY = centerY;
    if (turning) {
        auto [entry, isNew] = symmetryPeriods_.try_emplace(command.texture->id, 0.0);
        if (isNew)
            entry->second = symmetryPeriodDegrees(picture);
        const double period = entry->second > 0 ? entry->second : 360.0;
        const double turns = std::ceil(period / turningStepDegrees);
        const double bytes = turns * double(area.w) * double(area.h) * 4;
        if (bytes <= maxTurningCacheBytes) {
            // Kept turns every couple of degrees; whole pixels for the centre, so that
            // both reels, which share their picture, share the turns too.
            degrees = std::fmod(degrees, period);
            if (degrees < 0)
                degrees += period;
            degrees = std::fmod(std::round(degrees / turningStepDegrees) * turningStepDegrees, period);
            centerInAreaX = std::round(centerX);
            centerInAreaY = std::round(centerY);
        } else {
            TurnBuffer& buffer = turnBuffers_[command.key];
            buffer.frame = frame;
            if (!buffer.texture || buffer.texture->widthPixels != area.w || buffer.texture->heightPixels != area.h) {
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
            SurfacePtr target(cairo_image_surface_create_for_data(static_cast<unsigned char*>(pixels),
                                                                  CAIRO_FORMAT_ARGB32, area.w, area.h, pitch));
            paintTurned(target.get(), picture, d.w, d.h, degrees, centerX, centerY);
            unpremultiply(static_cast<unsigned char*>(pixels), area.w, area.h, pitch);
            SDL_UnlockTexture(buffer.texture->handle);
            command.prepared = buffer.texture;
            command.preparedDestination = {float(area.x), float(area.y), float(area.w), float(area.h)};
            return;
        }
    }

    const auto key = std::make_tuple(command.texture->id, degrees, static_cast<float>(centerInAreaX),
                                     static_cast<float>(centerInAreaY), d.w, d.h);
    auto it = turned_.find(key);
    if (it == turned_.end()) {
        SurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, area.w, area.h));
        paintTurned(surface.get(), picture, d.w, d.h, degrees, centerInAreaX, centerInAreaY);
        Turned turned;
        turned.texture = textures_.fromCairo(surface.get(), float(area.w), float(area.h));
        if (!turned.texture)
            return;
        it = turned_.emplace(key, std::move(turned)).first;
    }
    it->second.lastUsed = now;
    it->second.turning = turning;
    command.prepared = it->second.texture;
    command.preparedDestination = {float(area.x), float(area.y), float(area.w), float(area.h)};
}

void TurnedPictures::endFrame(unsigned long frame, Nanoseconds now)
{
    // A turned copy is kept a little while: the wobble comes back to the same tilt.
    // A turning reel comes back to each kept turn once per revolution, which takes
    // up to about four seconds at playing speed. Looked through once a second.
    if (now - lastEviction_ > 1'000'000'000 || now < lastEviction_) {
        lastEviction_ = now;
        std::erase_if(turned_, [now](const auto& entry) {
            return now - entry.second.lastUsed > (entry.second.turning ? 10'000'000'000 : 2'000'000'000);
        });
    }
    std::erase_if(turnBuffers_, [frame](const auto& entry) { return entry.second.frame != frame; });
    std::erase_if(symmetryPeriods_, [this](const auto& entry) { return !textures_.isLoadedPicture(entry.first); });
}

void TurnedPictures::clear()
{
    turned_.clear();
}

} // namespace platform::sdl
