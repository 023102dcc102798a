#pragma once
// The window's pixels: which renderer draws them, where the 320 × 480-point screen
// lies among them, and the frames sent to the display. Main thread only.

#include "platform/Clock.h"
#include "platform/Geometry.h"
#include "platform/Window.h"
#include "platform/sdl/Compositor.h"

#include <SDL.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace platform::sdl {

enum class Graphics : char { Hardware = 'h', Software = 's', Unknown = '?' };

// Whether drawing through OpenGL would run on a graphics chip. SPOOLORA_RENDERER
// ("software" or "accelerated") decides when set; otherwise OpenGL is asked, in a
// short-lived child process, so that nothing of the OpenGL driver stays in this
// one. Call it before SDL's video starts here: the child starts its own.
Graphics probeGraphics();

// SDL starts its invisible "offscreen" (or "dummy") driver when no display answers,
// and then every call succeeds: a window that nobody sees. Only a driver that was
// asked for by name in SDL_VIDEODRIVER is accepted.
bool isInvisibleDriver(const char* driver);
bool driverWasRequested(const char* driver);

// The scale that fits the screen on the window's display: 2× when there is room,
// otherwise the largest quarter step that fits, leaving room for the window's frame.
float fittingScale(SDL_Window* window);

// How the 320 × 480-point screen is scaled into the window's pixels.
struct ScreenFit {
    // Whole steps (1×, 2×, 3×) keep every point on the same number of pixels: a
    // fullscreen picture takes the largest that fits, or the exact fit when not even
    // 1× fits. Otherwise the picture is scaled to fit the window exactly.
    bool wholeSteps = false;
    // Pixels per point asked for (0: none). Used as it is when it fits, otherwise the
    // fit is used; the picture is centred either way.
    float requestedScale = 0;
};

// Pixels per point for a window of this many pixels; never zero, so that even a
// window of one pixel has a picture to clip.
float screenScale(int widthPixels, int heightPixels, const ScreenFit& fit);

struct FrameStats {
    std::uint64_t frames = 0;
    std::uint64_t pixels = 0;
    double drawingSeconds = 0;     // processor time composing and drawing
    double uploadingSeconds = 0;   // processor time handing changed pixels to the display
};

// The renderer and where the screen lies in its pixels. The software renderer draws
// into the window's own surface, which keeps its pixels between frames, so only the
// changed rectangles are drawn and sent to the display. An accelerated renderer draws
// the changed rectangles into a texture that keeps the frame, and shows that.
class Presenter {
public:
    // Throws std::runtime_error when nothing can draw into the window.
    Presenter(SDL_Window* window, bool accelerated, ScreenFit fit = {});
    ~Presenter();
    Presenter(const Presenter&) = delete;
    Presenter& operator=(const Presenter&) = delete;

    bool isSoftware() const noexcept { return surface_ != nullptr; }
    const FrameStats& stats() const noexcept { return stats_; }
    // Whether the processor time of drawing and sending is measured for stats() (two
    // system calls a frame each, so only when someone reads them); frames and pixels
    // are always counted.
    void setTimed(bool timed) noexcept { timed_ = timed; }
    bool hasVsync() const noexcept { return vsync_; }
    const Compositor& compositor() const noexcept { return *compositor_; }

    // The window changed size: a software surface is made anew, and the screen refitted.
    void windowResized();
    // The textures of an accelerated renderer were lost (all, or those drawn into).
    void texturesLost();
    void canvasLost();
    void redrawAll() noexcept { redrawAll_ = true; }

    // Composes the window and shows what changed. Returns whether anything was drawn.
    bool present(Window& window, Nanoseconds now);

    // A point in window units to a point of the 320 × 480 screen.
    Point screenPoint(float windowX, float windowY) const;
    // A touch position (0 to 1 across the window) to a point of the screen.
    Point screenPointFromTouch(float x, float y) const;

private:
    void makeSoftwareRenderer();
    bool makeCanvas();
    void dropCanvas() noexcept;
    void fitScreen();

    SDL_Window* window_;
    ScreenFit fit_;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Surface* surface_ = nullptr;
    // Accelerated renderers: the frame, kept between presents so that only what changed
    // is drawn into it, then copied whole into the back buffer, which keeps nothing.
    SDL_Texture* canvas_ = nullptr;
    std::unique_ptr<Compositor> compositor_;
    std::vector<SDL_Rect> sent_;   // the damage inside the window, kept to spare allocations
    int outputWidth_ = 0, outputHeight_ = 0;
    float scale_ = 1, offsetX_ = 0, offsetY_ = 0;
    bool vsync_ = false;
    bool redrawAll_ = true;
    bool timed_ = false;
    FrameStats stats_;
};

} // namespace platform::sdl
