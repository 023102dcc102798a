// The desktop window's pieces that need no display: SDL's key events as the window
// receives them, and the scale of the screen in a window or on a whole display.

#include "platform/sdl/DesktopWindow.h"
#include "platform/sdl/Presenter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

using platform::Key;

SDL_KeyboardEvent sdlKey(SDL_Keycode sym, Uint16 mod = KMOD_NONE, bool repeat = false)
{
    SDL_KeyboardEvent event{};
    event.type = SDL_KEYDOWN;
    event.keysym.sym = sym;
    event.keysym.mod = mod;
    event.repeat = repeat ? 1 : 0;
    return event;
}

TEST(DesktopKeys, TranslatesNamedKeysCharactersAndModifiers)
{
    EXPECT_EQ(platform::sdl::keyEventFromSdl(sdlKey(SDLK_ESCAPE)).key, Key::Escape);
    EXPECT_EQ(platform::sdl::keyEventFromSdl(sdlKey(SDLK_KP_ENTER)).key, Key::Return);
    EXPECT_EQ(platform::sdl::keyEventFromSdl(sdlKey(SDLK_PAGEDOWN)).key, Key::PageDown);
    EXPECT_EQ(platform::sdl::keyEventFromSdl(sdlKey(SDLK_F5)).key, Key::Other);
    EXPECT_EQ(platform::sdl::keyEventFromSdl(sdlKey(SDLK_LSHIFT)).key, Key::Other);

    const platform::KeyEvent space = platform::sdl::keyEventFromSdl(sdlKey(SDLK_SPACE));
    EXPECT_TRUE(space.is(U' '));
    const platform::KeyEvent bracket = platform::sdl::keyEventFromSdl(sdlKey(SDLK_RIGHTBRACKET));
    EXPECT_TRUE(bracket.is(U']'));

    const platform::KeyEvent ctrlQ = platform::sdl::keyEventFromSdl(sdlKey(SDLK_q, KMOD_LCTRL | KMOD_RSHIFT));
    EXPECT_TRUE(ctrlQ.is(U'q'));
    EXPECT_TRUE(ctrlQ.control);
    EXPECT_TRUE(ctrlQ.shift);
    EXPECT_FALSE(ctrlQ.alt);
    EXPECT_FALSE(ctrlQ.repeat);

    const platform::KeyEvent held = platform::sdl::keyEventFromSdl(sdlKey(SDLK_RIGHT, KMOD_NONE, true));
    EXPECT_EQ(held.key, Key::Right);
    EXPECT_TRUE(held.repeat);

    // A key of another alphabet keeps its own character.
    EXPECT_TRUE(platform::sdl::keyEventFromSdl(sdlKey(0xE4)).is(U'\u00e4'));
}

TEST(DesktopWindowScale, FullscreenTakesTheLargestWholeStepOrTheExactFit)
{
    using platform::sdl::ScreenFit;
    using platform::sdl::screenScale;
    const ScreenFit fullscreen{true, 0};
    EXPECT_EQ(screenScale(320, 480, fullscreen), 1.0f);      // the touch panel: exactly 1×
    EXPECT_EQ(screenScale(1280, 1024, fullscreen), 2.0f);    // 2.13 fits: 2×, letterboxed
    EXPECT_EQ(screenScale(1920, 1080, fullscreen), 2.0f);
    EXPECT_EQ(screenScale(3840, 2160, fullscreen), 4.0f);
    EXPECT_FLOAT_EQ(screenScale(240, 320, fullscreen), 0.6666667f);   // below 1×: the exact fit
    // A scale asked for is kept when it fits, else the display's fit is used.
    EXPECT_EQ(screenScale(1280, 1024, ScreenFit{true, 1.5f}), 1.5f);
    EXPECT_FLOAT_EQ(screenScale(1280, 1024, ScreenFit{true, 3}), 1024.0f / 480);

    // A window is filled exactly, whatever its size; even one pixel has a scale.
    EXPECT_FLOAT_EQ(screenScale(700, 960, ScreenFit{}), 2.0f);
    EXPECT_FLOAT_EQ(screenScale(700, 900, ScreenFit{}), 1.875f);
    for (const auto& [w, h] : {std::pair{1, 1}, std::pair{0, 0}, std::pair{2000, 1}, std::pair{640, 10}}) {
        const float scale = screenScale(w, h, ScreenFit{});
        EXPECT_GT(scale, 0.0f);
        EXPECT_LE(scale, 640.0f / 480);
    }
}

} // namespace

namespace {

// Whether a library of the OpenGL stack (the loader, a Mesa driver, LLVM) is mapped
// into this process.
std::string openGlLibraryMapped()
{
    std::ifstream maps("/proc/self/maps");
    std::string line;
    for (const char* name : {"libGL", "libEGL", "libGLX", "libLLVM", "swrast", "gallium", "_dri.so"}) {
        maps.clear();
        maps.seekg(0);
        while (std::getline(maps, line))
            if (line.find(name) != std::string::npos)
                return line;
    }
    return {};
}

TEST(RendererChoice, AskingOpenGlLeavesNothingOfItInTheProcess)
{
    // SDL's invisible driver, asked for by name, offers OpenGL through EGL where Mesa is
    // installed, without a display.
    unsetenv("SPOOLORA_RENDERER");
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    const platform::sdl::Graphics graphics = platform::sdl::probeGraphics();
    EXPECT_EQ(openGlLibraryMapped(), "");
    // Where Mesa is installed the child did ask (and found its software rasteriser).
    if (std::filesystem::exists("/usr/share/glvnd/egl_vendor.d/50_mesa.json")) {
        EXPECT_NE(graphics, platform::sdl::Graphics::Unknown);
    }
    // A second question gets the same answer: nothing of the first stays behind.
    EXPECT_EQ(platform::sdl::probeGraphics(), graphics);

    setenv("SPOOLORA_RENDERER", "software", 1);
    EXPECT_EQ(platform::sdl::probeGraphics(), platform::sdl::Graphics::Software);
    setenv("SPOOLORA_RENDERER", "accelerated", 1);
    EXPECT_EQ(platform::sdl::probeGraphics(), platform::sdl::Graphics::Hardware);
    unsetenv("SPOOLORA_RENDERER");
}

TEST(DesktopFrameRate, TurningReelsAloneAreDrawnTwentyFiveTimesASecondOnEveryRenderer)
{
    using platform::sdl::animationFrameInterval;
    constexpr platform::Nanoseconds display60 = 16'666'667;
    platform::sdl::FrameTiming turning;
    turning.animating = true;
    EXPECT_EQ(animationFrameInterval(turning, display60), 40'000'000);
    // A display slower than that keeps its own rate.
    EXPECT_EQ(animationFrameInterval(turning, 50'000'000), 50'000'000);
    platform::sdl::FrameTiming sliding = turning;
    sliding.sliding = true;
    EXPECT_EQ(animationFrameInterval(sliding, display60), display60);
}

} // namespace
