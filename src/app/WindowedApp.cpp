#include "app/WindowedApp.h"

#include "app/SpooloraAppDelegate.h"
#include "platform/sdl/Compositor.h"
#include "platform/sdl/SdlPlatform.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// Sections: display and renderer set-up · the screen's place in the window · input ·
// the main loop.

namespace spoolora {

const char* keyboardHelp()
{
    return "  Space           play or pause\n"
           "  Right arrow     hold to seek forward, tap to skip to the next track\n"
           "  Left arrow      hold to seek backward, tap to skip to the previous track\n"
           "  ] or Page Down  next cassette\n"
           "  [ or Page Up    previous cassette\n"
           "  M               choose music\n"
           "  T               show or hide the toolbar\n"
           "  Q or Ctrl+Q     quit\n";
}

namespace {

using platform::Nanoseconds;
using platform::Window;

constexpr float defaultScale = 2;
// Without a graphics chip every frame is drawn by the processor: turning reels are
// drawn 25 times a second, film's rate, which still reads as smooth turning at well
// under half the cost of the display's rate.
constexpr Nanoseconds softwareTurningInterval = 40'000'000;
constexpr float maximumScale = 8;

// --- Display and renderer set-up -------------------------------------------------------

// SDL starts its invisible "offscreen" (or "dummy") driver when no display answers,
// and then every call succeeds: a window that nobody sees. Only a driver that was
// asked for by name is accepted.
bool isInvisibleDriver(const char* driver)
{
    return driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
}

bool driverWasRequested(const char* driver)
{
    const char* requested = std::getenv("SDL_VIDEODRIVER");
    if (!requested || !driver)
        return false;
    const std::string list = requested;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        if (SDL_strcasecmp(list.substr(start, comma - start).c_str(), driver) == 0)
            return true;
        start = comma + 1;
    }
    return false;
}

enum class Graphics { Hardware, Software, Unknown };

// Mesa's software rasterisers offer OpenGL without a graphics chip; drawing through
// them costs more processor time than SDL's own software renderer with redraws
// limited to what changed. A hidden probe window asks OpenGL who it is.
Graphics probeGraphics()
{
    if (const char* choice = std::getenv("SPOOLORA_RENDERER")) {
        if (std::strcmp(choice, "software") == 0)
            return Graphics::Software;
        if (std::strcmp(choice, "accelerated") == 0)
            return Graphics::Hardware;
    }
    SDL_Window* probe = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_HIDDEN | SDL_WINDOW_OPENGL);
    if (!probe)
        return Graphics::Unknown;
    Graphics result = Graphics::Unknown;
    if (SDL_GLContext context = SDL_GL_CreateContext(probe)) {
        using GetString = const unsigned char* (*)(unsigned);
        constexpr unsigned glRenderer = 0x1F01;
        const auto getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
        const auto* name = getString ? reinterpret_cast<const char*>(getString(glRenderer)) : nullptr;
        if (name) {
            const std::string renderer = name;
            const bool software = renderer.find("llvmpipe") != std::string::npos
                                  || renderer.find("softpipe") != std::string::npos
                                  || renderer.find("swrast") != std::string::npos
                                  || renderer.find("Software Rasterizer") != std::string::npos;
            result = software ? Graphics::Software : Graphics::Hardware;
        }
        SDL_GL_DeleteContext(context);
    }
    SDL_DestroyWindow(probe);
    return result;
}

double cpuSeconds(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

struct FrameStats {
    std::uint64_t frames = 0;
    std::uint64_t pixels = 0;
    double drawingSeconds = 0;     // processor time composing and drawing
    double uploadingSeconds = 0;   // processor time handing changed pixels to the display
};

// The scale that fits the screen on the display: 2× when there is room, otherwise
// the largest quarter step that fits, leaving room for the window's frame.
float fittingScale(SDL_Window* window)
{
    const int display = std::max(0, SDL_GetWindowDisplayIndex(window));
    SDL_Rect usable{};
    if (SDL_GetDisplayUsableBounds(display, &usable) != 0 || usable.w <= 0 || usable.h <= 0)
        return defaultScale;
    constexpr float frameAllowancePoints = 48;
    const float fit = std::min(float(usable.w) / Window::widthPoints,
                               (float(usable.h) - frameAllowancePoints) / Window::heightPoints);
    if (fit >= defaultScale)
        return defaultScale;
    return std::max(0.5f, std::floor(fit * 4) / 4);
}

// The renderer and where the screen lies in its pixels. The software renderer draws
// into the window's own surface, which keeps its pixels between frames, so only the
// changed rectangles are drawn and sent to the display.
class Presenter {
public:
    Presenter(SDL_Window* window, bool accelerated) : window_(window)
    {
        if (accelerated) {
            renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
            if (renderer_) {
                SDL_RendererInfo info{};
                SDL_GetRendererInfo(renderer_, &info);
                vsync_ = (info.flags & SDL_RENDERER_PRESENTVSYNC) != 0;
            }
        }
        if (!renderer_)
            makeSoftwareRenderer();
        else
            compositor_ = std::make_unique<platform::sdl::Compositor>(renderer_, platform::sdl::resourceDirectory());
        fitScreen();
    }
    ~Presenter()
    {
        compositor_.reset();
        if (renderer_)
            SDL_DestroyRenderer(renderer_);
    }
    Presenter(const Presenter&) = delete;
    Presenter& operator=(const Presenter&) = delete;

    bool isSoftware() const noexcept { return surface_ != nullptr; }
    const FrameStats& stats() const noexcept { return stats_; }
    bool hasVsync() const noexcept { return vsync_; }
    const platform::sdl::Compositor& compositor() const noexcept { return *compositor_; }

    // The window changed size: a software surface is made anew, and the screen refitted.
    void windowResized()
    {
        if (isSoftware()) {
            compositor_.reset();
            SDL_DestroyRenderer(renderer_);
            renderer_ = nullptr;
            makeSoftwareRenderer();
        }
        fitScreen();
        redrawAll_ = true;
    }
    // The textures of an accelerated renderer were lost.
    void texturesLost()
    {
        compositor_ = std::make_unique<platform::sdl::Compositor>(renderer_, platform::sdl::resourceDirectory());
        fitScreen();
        redrawAll_ = true;
    }
    void redrawAll() noexcept { redrawAll_ = true; }

    // Composes the window and shows what changed. Returns whether anything was drawn.
    bool present(Window& window, Nanoseconds now)
    {
        const double started = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        struct Account {
            double started;
            double& total;
            ~Account() { total += cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - started; }
        } account{started, stats_.drawingSeconds};
        compositor_->compose(window, now);
        const std::vector<SDL_Rect>& damage = compositor_->damage();
        if (!redrawAll_ && damage.empty())
            return false;
        ++stats_.frames;
        for (const SDL_Rect& r : damage)
            stats_.pixels += std::uint64_t(r.w) * std::uint64_t(r.h);
        if (isSoftware() && !redrawAll_) {
            compositor_->draw(damage);
            SDL_RenderPresent(renderer_);
            const double before = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
            SDL_UpdateWindowSurfaceRects(window_, damage.data(), static_cast<int>(damage.size()));
            stats_.uploadingSeconds += cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - before;
            return true;
        }
        // The bars around the screen are black; an accelerated back buffer holds nothing
        // from the frame before, so everything is drawn.
        SDL_RenderSetClipRect(renderer_, nullptr);
        SDL_SetRenderDrawBlendMode(renderer_, SDL_BLENDMODE_NONE);
        SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
        SDL_RenderClear(renderer_);
        compositor_->draw();
        SDL_RenderPresent(renderer_);
        if (isSoftware())
            SDL_UpdateWindowSurface(window_);
        redrawAll_ = false;
        return true;
    }

    // A point in window units to a point of the 320 × 480 screen.
    platform::Point screenPoint(float windowX, float windowY) const
    {
        int windowWidth = 0, windowHeight = 0;
        SDL_GetWindowSize(window_, &windowWidth, &windowHeight);
        const float pixelsX = windowWidth > 0 ? float(outputWidth_) / float(windowWidth) : 1;
        const float pixelsY = windowHeight > 0 ? float(outputHeight_) / float(windowHeight) : 1;
        return {(windowX * pixelsX - offsetX_) / scale_, (windowY * pixelsY - offsetY_) / scale_};
    }
    // A touch position (0 to 1 across the window) to a point of the screen.
    platform::Point screenPointFromTouch(float x, float y) const
    {
        return {(x * float(outputWidth_) - offsetX_) / scale_, (y * float(outputHeight_) - offsetY_) / scale_};
    }

private:
    void makeSoftwareRenderer()
    {
        // Otherwise SDL backs the window surface with an OpenGL texture, which is the
        // software rasteriser again when there is no graphics chip.
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        surface_ = SDL_GetWindowSurface(window_);
        renderer_ = surface_ ? SDL_CreateSoftwareRenderer(surface_) : nullptr;
        if (!renderer_)
            throw std::runtime_error(std::string("cannot draw into the window: ") + SDL_GetError());
        vsync_ = false;
        compositor_ = std::make_unique<platform::sdl::Compositor>(renderer_, platform::sdl::resourceDirectory());
        compositor_->setTargetFormat(surface_->format->format);
    }

    void fitScreen()
    {
        if (isSoftware()) {
            outputWidth_ = surface_->w;
            outputHeight_ = surface_->h;
        } else {
            SDL_GetRendererOutputSize(renderer_, &outputWidth_, &outputHeight_);
        }
        scale_ = std::max(0.05f, std::min(float(outputWidth_) / Window::widthPoints,
                                          float(outputHeight_) / Window::heightPoints));
        // Whole pixels for the bars keep the picture's pixels on the display's pixels.
        offsetX_ = std::floor((float(outputWidth_) - Window::widthPoints * scale_) / 2);
        offsetY_ = std::floor((float(outputHeight_) - Window::heightPoints * scale_) / 2);
        compositor_->setViewport(scale_, offsetX_, offsetY_);
    }

    SDL_Window* window_;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Surface* surface_ = nullptr;
    std::unique_ptr<platform::sdl::Compositor> compositor_;
    int outputWidth_ = 0, outputHeight_ = 0;
    float scale_ = 1, offsetX_ = 0, offsetY_ = 0;
    bool vsync_ = false;
    bool redrawAll_ = true;
    FrameStats stats_;
};

// --- The main loop ---------------------------------------------------------------------

class WindowedApp {
    enum class Pointer { None, Mouse, Finger };

public:
    WindowedApp(SDL_Window* window, bool accelerated, const WindowOptions& options) : presenter_(window, accelerated)
    {
        platform::sdl::SdlPlatformOptions platformOptions;
        if (options.configDir)
            platformOptions.configFolder = *options.configDir;
        platform_ = platform::sdl::makeSdlPlatform(platformOptions);
        delegate_ = makeApplicationDelegate(*platform_);

        wakeUpEvent_ = SDL_RegisterEvents(1);
        platform_->runLoop().setWakeUp([type = wakeUpEvent_] {
            SDL_Event event{};
            event.type = type;
            SDL_PushEvent(&event);
        });

        SDL_DisplayMode mode{};
        const int display = std::max(0, SDL_GetWindowDisplayIndex(window));
        const int hz = SDL_GetCurrentDisplayMode(display, &mode) == 0 && mode.refresh_rate > 0 ? mode.refresh_rate : 60;
        frameInterval_ = platform::nanosecondsFromSeconds(1.0 / hz);
    }

    ~WindowedApp()
    {
        platform_->runLoop().setWakeUp({});
        // The controller's timers and subscriptions end before the platform goes.
        delegate_.reset();
        platform_.reset();
    }

    int run()
    {
        delegate_->applicationDidFinishLaunching();
        // Launching makes the application active once; focus events only count after
        // it has been away, so the reels are not rebuilt twice at start.
        delegate_->applicationDidBecomeActive();
        active_ = true;

        const platform::Clock& clock = platform_->clock();
        while (!quit_) {
            SDL_Event event;
            while (!quit_ && SDL_PollEvent(&event))
                handle(event);
            if (quit_)
                break;
            platform_->runLoop().runDue();
            Nanoseconds now = clock.now();
            platform_->window().collectDismissed(now);

            const bool animating = presenter_.compositor().timing().animating;
            if (!animating || now >= nextFrameAt_) {
                presenter_.present(platform_->window(), now);
                const platform::sdl::FrameTiming& timing = presenter_.compositor().timing();
                if (timing.animating) {
                    // Drawing in software, turning reels alone get a calmer rate than slides.
                    const Nanoseconds interval = presenter_.isSoftware() && !timing.sliding
                                                     ? std::max(frameInterval_, softwareTurningInterval)
                                                     : frameInterval_;
                    // With vsync the present already waited for the display; the loop only
                    // needs to be ready a little before the next refresh.
                    const Nanoseconds lead = presenter_.hasVsync() ? interval / 8 : 0;
                    nextFrameAt_ = std::max(nextFrameAt_ + interval, now + interval / 2) - lead;
                } else {
                    nextFrameAt_ = now;
                }
            }

            if (statsEnabled_)
                printStats(now);

            // Sleep until the next timer, frame or animation end, or an event.
            now = clock.now();
            std::optional<Nanoseconds> wake = platform_->runLoop().nextDeadline();
            const platform::sdl::FrameTiming& timing = presenter_.compositor().timing();
            const std::optional<Nanoseconds> picture = timing.animating ? std::optional(nextFrameAt_) : timing.nextChange;
            if (picture && (!wake || *picture < *wake))
                wake = picture;
            int timeoutMs = -1;
            if (wake) {
                // Rounded up: waking early would only find nothing due and spin.
                const Nanoseconds remaining = std::max<Nanoseconds>(0, *wake - now);
                timeoutMs = static_cast<int>(std::min<Nanoseconds>((remaining + 999'999) / 1'000'000, 60'000));
            }
            if (timeoutMs != 0 && SDL_WaitEventTimeout(&event, timeoutMs))
                handle(event);
        }
        return 0;
    }

private:
    // SPOOLORA_FRAME_STATS=1: once a second, how many frames were drawn, how many
    // pixels they touched and the processor time they took, to see that a still
    // screen costs nothing.
    void printStats(Nanoseconds now)
    {
        if (now - statsSince_ < 1'000'000'000)
            return;
        const double seconds = platform::secondsFromNanoseconds(now - statsSince_);
        const FrameStats& total = presenter_.stats();
        const double process = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        std::fprintf(stderr,
                     "spoolora: %.1f frames/s, %.0f kilopixels/s, drawing %.1f ms/s, sending %.1f ms/s, "
                     "process %.1f ms/s (%s renderer)\n",
                     double(total.frames - statsBefore_.frames) / seconds,
                     double(total.pixels - statsBefore_.pixels) / seconds / 1000,
                     (total.drawingSeconds - statsBefore_.drawingSeconds) * 1000 / seconds,
                     (total.uploadingSeconds - statsBefore_.uploadingSeconds) * 1000 / seconds,
                     (process - processBefore_) * 1000 / seconds, presenter_.isSoftware() ? "software" : "accelerated");
        statsSince_ = now;
        statsBefore_ = total;
        processBefore_ = process;
    }

    void terminate()
    {
        if (quit_)
            return;
        delegate_->applicationWillTerminate();
        quit_ = true;
    }

    void becomeActive()
    {
        if (active_)
            return;
        active_ = true;
        delegate_->applicationDidBecomeActive();
    }

    // --- Input -----------------------------------------------------------------------

    bool isOnScreen(platform::Point p) const
    {
        return p.x >= 0 && p.y >= 0 && p.x < Window::widthPoints && p.y < Window::heightPoints;
    }

    // One finger at a time: the first mouse button or touch that lands on the screen
    // owns the touch until it lifts; everything else waits.
    void pointerDown(Pointer pointer, platform::Point p)
    {
        if (pointer_ != Pointer::None || !isOnScreen(p))
            return;
        pointer_ = pointer;
        platform_->window().touchDown(p);
    }
    void pointerMove(Pointer pointer, platform::Point p)
    {
        if (pointer_ == pointer)
            platform_->window().touchMove(p);
    }
    void pointerUp(Pointer pointer, platform::Point p)
    {
        if (pointer_ != pointer)
            return;
        pointer_ = Pointer::None;
        platform_->window().touchUp(p);
    }

    void handleKey(const SDL_KeyboardEvent& key, bool down)
    {
        const SDL_Keycode sym = key.keysym.sym;
        if (down && sym == SDLK_q) {
            terminate();
            return;
        }
        MainViewController* controller = delegate_->mainViewController();
        if (!controller || !controller->isViewLoaded())
            return;
        // A held arrow is one press: the repeats the keyboard sends are not new presses,
        // and a release is only meaningful after a press that started a seek here.
        if (sym == SDLK_RIGHT || sym == SDLK_LEFT) {
            const bool forward = sym == SDLK_RIGHT;
            bool& held = forward ? rightKeyHeld_ : leftKeyHeld_;
            if (down) {
                if (key.repeat || held || !acceptsShortcuts())
                    return;
                held = true;
                forward ? controller->startSeekForward() : controller->startSeekBackward();
            } else if (held) {
                held = false;
                forward ? controller->skipToNextSongAction() : controller->skipToPreviousSongAction();
            }
            return;
        }
        if (!down || key.repeat || !acceptsShortcuts())
            return;
        switch (sym) {
        case SDLK_SPACE: controller->playOrPauseSongAction(); break;
        case SDLK_RIGHTBRACKET:
        case SDLK_PAGEDOWN: controller->showNextTapeSwipe(); break;
        case SDLK_LEFTBRACKET:
        case SDLK_PAGEUP: controller->showPreviousTapeSwipe(); break;
        case SDLK_m: controller->selectMusicFromLibrary(); break;
        case SDLK_t: controller->toggleMusicControls(); break;
        default: break;
        }
    }

    // The cassette's shortcuts act only where a finger could reach the cassette: not
    // while a picker, composer or alert covers it, or while a touch is down.
    bool acceptsShortcuts() const
    {
        Window& window = platform_->window();
        return !window.presentedController() && !window.isAlertVisible() && pointer_ == Pointer::None;
    }

    void handle(const SDL_Event& event)
    {
        switch (event.type) {
        case SDL_QUIT: terminate(); break;
        case SDL_WINDOWEVENT:
            switch (event.window.event) {
            case SDL_WINDOWEVENT_CLOSE: terminate(); break;
            case SDL_WINDOWEVENT_SIZE_CHANGED: presenter_.windowResized(); break;
            case SDL_WINDOWEVENT_EXPOSED: presenter_.redrawAll(); break;
            case SDL_WINDOWEVENT_FOCUS_GAINED:
            case SDL_WINDOWEVENT_RESTORED: becomeActive(); break;
            case SDL_WINDOWEVENT_FOCUS_LOST:
            case SDL_WINDOWEVENT_MINIMIZED: active_ = false; break;
            default: break;
            }
            break;
        case SDL_RENDER_DEVICE_RESET: presenter_.texturesLost(); break;
        case SDL_KEYDOWN: handleKey(event.key, true); break;
        case SDL_KEYUP: handleKey(event.key, false); break;
        case SDL_MOUSEBUTTONDOWN:
            // Touches arrive as finger events; SDL's mouse copies of them would act twice.
            if (event.button.which != SDL_TOUCH_MOUSEID && event.button.button == SDL_BUTTON_LEFT)
                pointerDown(Pointer::Mouse, presenter_.screenPoint(float(event.button.x), float(event.button.y)));
            break;
        case SDL_MOUSEMOTION:
            if (event.motion.which != SDL_TOUCH_MOUSEID)
                pointerMove(Pointer::Mouse, presenter_.screenPoint(float(event.motion.x), float(event.motion.y)));
            break;
        case SDL_MOUSEBUTTONUP:
            if (event.button.which != SDL_TOUCH_MOUSEID && event.button.button == SDL_BUTTON_LEFT)
                pointerUp(Pointer::Mouse, presenter_.screenPoint(float(event.button.x), float(event.button.y)));
            break;
        case SDL_FINGERDOWN:
            if (pointer_ == Pointer::None) {
                const platform::Point p = presenter_.screenPointFromTouch(event.tfinger.x, event.tfinger.y);
                if (isOnScreen(p))
                    finger_ = event.tfinger.fingerId;
                pointerDown(Pointer::Finger, p);
            }
            break;
        case SDL_FINGERMOTION:
            if (pointer_ == Pointer::Finger && event.tfinger.fingerId == finger_)
                pointerMove(Pointer::Finger, presenter_.screenPointFromTouch(event.tfinger.x, event.tfinger.y));
            break;
        case SDL_FINGERUP:
            if (pointer_ == Pointer::Finger && event.tfinger.fingerId == finger_)
                pointerUp(Pointer::Finger, presenter_.screenPointFromTouch(event.tfinger.x, event.tfinger.y));
            break;
        default: break;   // the run loop's wake-up needs nothing but the wake
        }
    }

    Presenter presenter_;
    std::unique_ptr<platform::sdl::SdlPlatform> platform_;
    std::unique_ptr<SpooloraAppDelegate> delegate_;
    Uint32 wakeUpEvent_ = 0;
    Nanoseconds frameInterval_ = 16'666'667;
    Nanoseconds nextFrameAt_ = 0;
    bool quit_ = false;
    bool active_ = false;
    Pointer pointer_ = Pointer::None;
    SDL_FingerID finger_ = 0;
    bool rightKeyHeld_ = false, leftKeyHeld_ = false;
    const bool statsEnabled_ = std::getenv("SPOOLORA_FRAME_STATS") != nullptr;
    Nanoseconds statsSince_ = 0;
    FrameStats statsBefore_;
    double processBefore_ = 0;
};

} // namespace

int runWindowed(const WindowOptions& options)
{
    // The player's own switch decides about the screen saver, not SDL's default.
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    // A desktop window should not turn off the desktop's compositor, as games do.
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        std::fprintf(stderr, "spoolora: no display (SDL cannot start its video: %s)\n", SDL_GetError());
        return 1;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    if (isInvisibleDriver(driver) && !driverWasRequested(driver)) {
        std::fprintf(stderr,
                     "spoolora: no display (SDL found none and fell back to its invisible \"%s\" driver; "
                     "set DISPLAY or WAYLAND_DISPLAY, or try --script)\n",
                     driver);
        SDL_Quit();
        return 1;
    }

    const Graphics graphics = probeGraphics();
    Uint32 flags = SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI | SDL_WINDOW_HIDDEN;
    if (options.fullscreen)
        flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    SDL_Window* window = SDL_CreateWindow("Spoolora", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                          int(Window::widthPoints * defaultScale),
                                          int(Window::heightPoints * defaultScale), flags);
    if (!window) {
        std::fprintf(stderr, "spoolora: cannot open a window: %s\n", SDL_GetError());
        SDL_Quit();
        return 1;
    }
    if (!options.fullscreen) {
        const float scale = options.scale > 0 ? std::min(options.scale, maximumScale) : fittingScale(window);
        SDL_SetWindowSize(window, static_cast<int>(std::lround(Window::widthPoints * scale)),
                          static_cast<int>(std::lround(Window::heightPoints * scale)));
        SDL_SetWindowPosition(window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    }
    SDL_SetWindowMinimumSize(window, int(Window::widthPoints / 2), int(Window::heightPoints / 2));
    SDL_ShowWindow(window);

    int status = 0;
    try {
        WindowedApp app(window, graphics != Graphics::Software, options);
        status = app.run();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "spoolora: %s\n", error.what());
        status = 1;
    }
    SDL_DestroyWindow(window);
    SDL_Quit();
    return status;
}

} // namespace spoolora
