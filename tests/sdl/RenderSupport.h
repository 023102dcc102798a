#pragma once
// Frames of the composed screen for tests: the player on the headless backend,
// rendered through the same compositor as the window by SDL's software renderer,
// 640 × 960 pixels (two per point). Pictures are probed where the geometry says
// something must be; a failing test leaves its frame in the test output folder.

#include "app/SpooloraAppDelegate.h"
#include "platform/headless/HeadlessPlatform.h"
#include "platform/sdl/Screenshot.h"
#include "support/TestOutput.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace rendertest {

struct Rgb {
    int red = 0, green = 0, blue = 0;
    int brightest() const { return std::max({red, green, blue}); }
    int darkest() const { return std::min({red, green, blue}); }
};

// A copy of the pixels of one frame.
struct Frame {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;   // 0xAARRGGBB

    Rgb pixel(int x, int y) const
    {
        const std::uint32_t p = pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
        return {int((p >> 16) & 0xff), int((p >> 8) & 0xff), int(p & 0xff)};
    }
    // The pixel at the centre of a screen point.
    Rgb atPoint(double x, double y) const { return pixel(int(x * 2), int(y * 2)); }

    // Writes the frame into the test output folder and returns where, for a failure message.
    std::string keep(const std::string& name) const
    {
        const std::filesystem::path path = testsupport::testOutputFolder() / (name + ".png");
        std::vector<std::uint32_t> copy = pixels;
        cairo_surface_t* image = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(copy.data()),
                                                                     CAIRO_FORMAT_RGB24, width, height, width * 4);
        cairo_surface_write_to_png(image, path.c_str());
        cairo_surface_destroy(image);
        return " (frame written to " + path.string() + ")";
    }
};

// The renderer's picture as it is now.
inline Frame frameOf(const platform::sdl::OffscreenRenderer& renderer)
{
    Frame f;
    f.width = renderer.width();
    f.height = renderer.height();
    f.pixels.resize(static_cast<std::size_t>(f.width) * static_cast<std::size_t>(f.height));
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x)
            f.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(f.width) + static_cast<std::size_t>(x)] =
                renderer.pixel(x, y);
    return f;
}

inline int channelDifference(Rgb a, Rgb b)
{
    return std::max({std::abs(a.red - b.red), std::abs(a.green - b.green), std::abs(a.blue - b.blue)});
}

// Pixels (in pixel coordinates) where two frames differ by more than the tolerance.
struct Difference {
    long count = 0;
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;   // inclusive bounds
};

// Only the pixels for which `counted` (given x and y) is true, when given.
inline Difference differenceOf(const Frame& a, const Frame& b, int tolerance = 8,
                               const std::function<bool(int, int)>& counted = {})
{
    Difference d;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            if (channelDifference(a.pixel(x, y), b.pixel(x, y)) > tolerance && (!counted || counted(x, y))) {
                ++d.count;
                d.left = std::min(d.left, x);
                d.right = std::max(d.right, x);
                d.top = std::min(d.top, y);
                d.bottom = std::max(d.bottom, y);
            }
    return d;
}

inline platform::MediaItemPtr track(int number, int count, double duration = 200, std::string title = "Track")
{
    return platform::makeAlbumItem(std::move(title), "Artist", "Album", duration, number, count);
}

// One headless world with the application launched in it.
class Screen {
public:
    platform::headless::HeadlessPlatform world;
    platform::headless::ScriptedMusicPlayer& player = world.scriptedPlayer();
    std::unique_ptr<SpooloraAppDelegate> delegate;
    platform::sdl::OffscreenRenderer renderer;

    // Launches with the queue playing (or in the given state) at the given time.
    void launch(std::vector<platform::MediaItemPtr> queue, std::int32_t state, double seconds = 0,
                std::int32_t skin = 0)
    {
        auto& defaults = world.standardUserDefaults();
        defaults.setIntegerForKey(SpooloraAppDelegate::firstStartupDoneMarker, SpooloraAppDelegate::firstStartupKey);
        defaults.setIntegerForKey(skin, MainViewController::selectedTapePreferenceKey);
        player.setQueue(std::move(queue), platform::headless::Notify::No);
        player.setState(state, platform::headless::Notify::No);
        player.setTime(seconds);
        delegate = makeApplicationDelegate(world);
        delegate->applicationDidFinishLaunching();
        delegate->applicationDidBecomeActive();
        world.runDueNow();
    }

    MainViewController& controller() { return *delegate->mainViewController(); }

    // Composes the screen at the present moment and draws all of it.
    Frame frame()
    {
        renderer.render(world.window(), world.clock().now());
        return frameOf(renderer);
    }
    // Draws only where the frame changed, as the window does.
    Frame changes()
    {
        renderer.renderChanges(world.window(), world.clock().now());
        return frameOf(renderer);
    }
};

} // namespace rendertest
