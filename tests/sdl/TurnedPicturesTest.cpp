// Pictures at a fixed angle on the software renderer: turned once from the
// renderer's own pixels, they show exactly the picture turned by cairo, as those
// that keep their premultiplied pixels do, and keep no second copy of their own.

#include "platform/sdl/CompositorSupport.h"
#include "platform/sdl/TextureFactory.h"
#include "platform/sdl/TurnedPictures.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstring>
#include <numbers>
#include <vector>

using namespace platform::sdl;

namespace {

struct SoftwareRenderer {
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, 64, 64, 32, SDL_PIXELFORMAT_ARGB8888);
    SDL_Renderer* renderer = SDL_CreateSoftwareRenderer(surface);
    ~SoftwareRenderer()
    {
        SDL_DestroyRenderer(renderer);
        SDL_FreeSurface(surface);
    }
};

// A picture with every level of alpha against coloured channels: soft-edged discs
// over a transparent ground, or (without alpha) an opaque one.
cairo_surface_t* softPicture(cairo_format_t format)
{
    cairo_surface_t* surface = cairo_image_surface_create(format, 150, 90);
    cairo_t* c = cairo_create(surface);
    cairo_pattern_t* gradient = cairo_pattern_create_radial(60, 45, 0, 60, 45, 70);
    cairo_pattern_add_color_stop_rgba(gradient, 0, 0.9, 0.2, 0.6, 1);
    cairo_pattern_add_color_stop_rgba(gradient, 0.5, 0.1, 0.8, 0.3, 0.5);
    cairo_pattern_add_color_stop_rgba(gradient, 1, 0.7, 0.6, 0.05, 0);
    cairo_set_source(c, gradient);
    cairo_paint(c);
    cairo_pattern_destroy(gradient);
    cairo_set_source_rgba(c, 0.3, 0.95, 1, 0.37);
    cairo_arc(c, 115, 30, 24.3, 0, 2 * std::numbers::pi);
    cairo_fill(c);
    cairo_destroy(c);
    cairo_surface_flush(surface);
    return surface;
}

std::vector<Uint32> pixelsOf(const Texture& texture)
{
    void* locked = nullptr;
    int pitch = 0;
    std::vector<Uint32> pixels(std::size_t(texture.widthPixels) * std::size_t(texture.heightPixels));
    if (SDL_LockTexture(texture.handle, nullptr, &locked, &pitch) != 0)
        return {};
    for (int y = 0; y < texture.heightPixels; ++y)
        std::memcpy(&pixels[std::size_t(y) * std::size_t(texture.widthPixels)],
                    static_cast<const unsigned char*>(locked) + std::ptrdiff_t(y) * pitch, std::size_t(texture.widthPixels) * 4);
    SDL_UnlockTexture(texture.handle);
    return pixels;
}

// What the copy must show: the picture turned by cairo into a clear picture of the
// copy's size, in straight alpha.
std::vector<Uint32> turnedByCairo(cairo_surface_t* picture, const DrawCommand& command)
{
    const SDL_FRect& d = command.destination;
    const SDL_FRect& at = command.preparedDestination;
    cairo_surface_t* target = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(at.w), int(at.h));
    cairo_t* c = cairo_create(target);
    cairo_translate(c, d.x + d.w / 2.0 - at.x, d.y + d.h / 2.0 - at.y);
    cairo_rotate(c, command.angleDegrees * std::numbers::pi / 180.0);
    cairo_translate(c, -d.w / 2.0, -d.h / 2.0);
    cairo_scale(c, d.w / cairo_image_surface_get_width(picture), d.h / cairo_image_surface_get_height(picture));
    cairo_set_source_surface(c, picture, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(c), CAIRO_FILTER_BILINEAR);
    cairo_paint(c);
    cairo_destroy(c);
    cairo_surface_flush(target);
    std::vector<Uint32> pixels;
    for (int y = 0; y < int(at.h); ++y) {
        const auto* row = reinterpret_cast<const Uint32*>(cairo_image_surface_get_data(target)
                                                          + std::ptrdiff_t(y) * cairo_image_surface_get_stride(target));
        for (int x = 0; x < int(at.w); ++x) {
            const Uint32 alpha = row[x] >> 24;
            pixels.push_back(alpha == 0 ? 0 : alpha == 255 ? row[x] : support::straightPixel(row[x]));
        }
    }
    cairo_surface_destroy(target);
    return pixels;
}

} // namespace

TEST(TurnedPictures, ACopyAtAFixedAngleShowsThePictureTurnedWithoutKeepingItTwice)
{
    SoftwareRenderer software;
    ASSERT_NE(software.renderer, nullptr) << SDL_GetError();
    TextureFactory factory(software.renderer, ".");
    ASSERT_TRUE(factory.software());
    TurnedPictures turned(software.renderer, factory);
    platform::Nanoseconds now = 0;
    for (const cairo_format_t format : {CAIRO_FORMAT_ARGB32, CAIRO_FORMAT_RGB24}) {
        cairo_surface_t* picture = softPicture(format);
        // The same picture made twice: kept with its pixels, as a turning reel is, and
        // as a picture at a fixed angle is.
        const TexturePtr kept = factory.fromCairo(picture, 75, 45, TextureFactory::Use::Turning);
        const TexturePtr fixed = factory.fromCairo(picture, 75, 45, TextureFactory::Use::Turned);
        ASSERT_TRUE(kept && fixed);
        ASSERT_NE(kept->pixels, nullptr);
        EXPECT_EQ(fixed->pixels, nullptr);
        EXPECT_EQ(textureBytes(*fixed), 150u * 90u * 4u);
        // Copies of the same size one after the other: the later one goes into the memory
        // of the earlier, which still shows it.
        for (const double degrees : {1.0, -1.0, -90.0, 33.3}) {
            for (const TexturePtr& texture : {kept, fixed}) {
                SCOPED_TRACE(testing::Message() << "format " << format << ", turned by " << degrees << ", "
                                                << (texture->pixels ? "kept pixels" : "the renderer's pixels"));
                DrawCommand command;
                command.texture = texture;
                command.destination = {10.25f, 7.5f, 150, 90};
                command.angleDegrees = degrees;
                command.clip = {0, 0, 1000, 1000};
                turned.prepare(command, 1, now);
                ASSERT_TRUE(command.prepared);
                const std::vector<Uint32> expected = turnedByCairo(picture, command);
                const std::vector<Uint32> actual = pixelsOf(*command.prepared);
                ASSERT_EQ(actual.size(), expected.size());
                std::size_t differing = 0;
                for (std::size_t i = 0; i < expected.size(); ++i)
                    differing += expected[i] != actual[i];
                EXPECT_EQ(differing, 0u);
            }
            now += 10'000'000'000;
            turned.endFrame(2, now);
        }
        cairo_surface_destroy(picture);
    }
}
