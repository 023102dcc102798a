#include "platform/sdl/DesktopWindow.h"

#include "platform/sdl/DisplayWait.h"
#include "platform/sdl/Presenter.h"

#include <algorithm>
#include <clocale>
#include <cstdarg>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>

#include <dlfcn.h>

// Sections: opening the window · keys · the main loop.

namespace platform::sdl {

namespace {

constexpr float defaultScale = 2;

// libwayland-client complains on stderr, in its own words, when SDL tries Wayland
// without XDG_RUNTIME_DIR (a session without a display): our own message about the
// missing display says it better. Its other messages are passed on. SDL loads the
// library itself; loaded here first, it is the same library, and it stays loaded.
void waylandLog(const char* format, va_list arguments)
{
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    if (std::strstr(text, "XDG_RUNTIME_DIR") != nullptr)
        return;
    std::fprintf(stderr, "spoolora: wayland: %s", text);
}

void quietenWaylandAboutItsRuntimeFolder()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime == '/')
        return;
    void* library = dlopen("libwayland-client.so.0", RTLD_LAZY | RTLD_LOCAL);
    if (!library)
        return;
    using Handler = void (*)(const char*, va_list);
    using SetHandler = void (*)(Handler);
    if (const auto set = reinterpret_cast<SetHandler>(dlsym(library, "wl_log_set_handler_client")))
        set(waylandLog);
}

double processSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

} // namespace

// --- Opening the window ----------------------------------------------------------------

DesktopWindow::DesktopWindow(SDL_Window* window) : window_(window) {}

DesktopWindow::~DesktopWindow()
{
    presenter_.reset();
    SDL_DestroyWindow(window_);
    SDL_Quit();
}


std::unique_ptr<DesktopWindow> DesktopWindow::open(const DesktopWindowOptions& options)
{
    // The player's own switch decides about the screen saver, not SDL's default.
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    // A desktop window should not turn off the desktop's compositor, as games do.
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    quietenWaylandAboutItsRuntimeFolder();
    // Asked before SDL's video starts here (see probeGraphics).
    const Graphics graphics = probeGraphics();
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        std::fprintf(stderr, "spoolora: no display (SDL cannot start its video: %s)\n", SDL_GetError());
        return nullptr;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    if (isInvisibleDriver(driver) && !driverWasRequested(driver)) {
        std::fprintf(stderr,
                     "spoolora: no display (SDL found none and fell back to its invisible \"%s\" driver; "
                     "set DISPLAY or WAYLAND_DISPLAY, or try --script)\n",
                     driver);
        SDL_Quit();
        return nullptr;
    }

    Uint32 flags = SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI | SDL_WINDOW_HIDDEN;
    SDL_Rect place{SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, int(Window::widthPoints * defaultScale),
                   int(Window::heightPoints * defaultScale)};
    if (options.fullscreen) {
        // A window manager makes a fullscreen window cover the display; without one
        // (a touch panel's kiosk) the window keeps the place it was made with, so it is
        // made covering the display, without a frame.
        flags = SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_BORDERLESS | SDL_WINDOW_ALLOW_HIGHDPI | SDL_WINDOW_HIDDEN;
        if (SDL_Rect display{}; SDL_GetDisplayBounds(0, &display) == 0 && display.w > 0 && display.h > 0)
            place = display;
    }
    SDL_Window* window = SDL_CreateWindow("Spoolora", place.x, place.y, place.w, place.h, flags);
    if (!window) {
        std::fprintf(stderr, "spoolora: cannot open a window: %s\n", SDL_GetError());
        SDL_Quit();
        return nullptr;
    }
    if (!options.fullscreen) {
        const float scale = options.scale > 0 ? std::clamp(options.scale, minimumScale, maximumScale)
                                              : fittingScale(window);
        SDL_SetWindowSize(window, static_cast<int>(std::lround(Window::widthPoints * scale)),
                          static_cast<int>(std::lround(Window::heightPoints * scale)));
        SDL_SetWindowPosition(window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
        SDL_SetWindowMinimumSize(window, int(Window::widthPoints * minimumScale),
                                 int(Window::heightPoints * minimumScale));
    }
    SDL_ShowWindow(window);

    ScreenFit fit;
    if (options.fullscreen) {
        fit.wholeSteps = true;
        fit.requestedScale = options.scale;
    }
    // From here the window is closed and SDL ended by the destructor, also when the
    // presenter cannot be made.
    auto desktop = std::make_unique<DesktopWindow>(window);
    desktop->presenter_ = std::make_unique<Presenter>(window, graphics != Graphics::Software, fit);
    return desktop;
}

Nanoseconds animationFrameInterval(const FrameTiming& timing, Nanoseconds displayInterval)
{
    // Turning reels are drawn 25 times a second, film's rate, which still reads as
    // smooth turning at well under half the cost of the display's rate: a small
    // board's graphics chip (or the processor drawing for it) has other work.
    constexpr Nanoseconds turningInterval = 40'000'000;
    return timing.sliding ? displayInterval : std::max(displayInterval, turningInterval);
}

// --- Keys ------------------------------------------------------------------------------

KeyEvent keyEventFromSdl(const SDL_KeyboardEvent& event)
{
    KeyEvent key;
    const SDL_Keycode sym = event.keysym.sym;
    switch (sym) {
    case SDLK_ESCAPE: key.key = Key::Escape; break;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: key.key = Key::Return; break;
    case SDLK_BACKSPACE: key.key = Key::Backspace; break;
    case SDLK_DELETE: key.key = Key::Delete; break;
    case SDLK_TAB: key.key = Key::Tab; break;
    case SDLK_LEFT: key.key = Key::Left; break;
    case SDLK_RIGHT: key.key = Key::Right; break;
    case SDLK_UP: key.key = Key::Up; break;
    case SDLK_DOWN: key.key = Key::Down; break;
    case SDLK_HOME: key.key = Key::Home; break;
    case SDLK_END: key.key = Key::End; break;
    case SDLK_PAGEUP: key.key = Key::PageUp; break;
    case SDLK_PAGEDOWN: key.key = Key::PageDown; break;
    default:
        // SDL names a key that types by the character it types without modifiers.
        if (sym >= SDLK_SPACE && sym < 0x7f) {
            key.key = Key::Character;
            key.character = static_cast<char32_t>(sym >= 'A' && sym <= 'Z' ? sym - 'A' + 'a' : sym);
        } else if (sym > 0x7f && (sym & SDLK_SCANCODE_MASK) == 0) {
            key.key = Key::Character;
            key.character = static_cast<char32_t>(sym);
        }
        break;
    }
    const Uint16 mod = event.keysym.mod;
    key.control = (mod & KMOD_CTRL) != 0;
    key.alt = (mod & KMOD_ALT) != 0;
    key.shift = (mod & KMOD_SHIFT) != 0;
    key.repeat = event.repeat != 0;
    return key;
}

// --- The main loop ---------------------------------------------------------------------

class DesktopWindow::Loop {
    enum class Pointer { None, Mouse, Finger };

public:
    Loop(SDL_Window* window, Presenter& presenter, Platform& platform, const ApplicationHooks& hooks)
        : presenter_(presenter), platform_(platform), hooks_(hooks)
    {
        presenter_.setTimed(statsEnabled_);
        displayWait_ = DisplayWait::forWindow(window);
        if (displayWait_) {
            platform_.runLoop().setWakeUp([wait = displayWait_.get()] { wait->wake(); });
        } else {
            wakeUpEvent_ = SDL_RegisterEvents(1);
            platform_.runLoop().setWakeUp([type = wakeUpEvent_] {
                SDL_Event event{};
                event.type = type;
                SDL_PushEvent(&event);
            });
        }
        SDL_DisplayMode mode{};
        const int display = std::max(0, SDL_GetWindowDisplayIndex(window));
        const int hz = SDL_GetCurrentDisplayMode(display, &mode) == 0 && mode.refresh_rate > 0 ? mode.refresh_rate : 60;
        frameInterval_ = nanosecondsFromSeconds(1.0 / hz);
    }
    ~Loop() { platform_.runLoop().setWakeUp({}); }
    Loop(const Loop&) = delete;
    Loop& operator=(const Loop&) = delete;

    int run()
    {
        if (hooks_.didFinishLaunching)
            hooks_.didFinishLaunching();
        // Launching makes the application active once; focus events only count after
        // it has been away, so the reels are not rebuilt twice at start.
        if (hooks_.didBecomeActive)
            hooks_.didBecomeActive();
        active_ = true;

        const Clock& clock = platform_.clock();
        while (!quit_) {
            SDL_Event event;
            if (!displayWait_ || readDisplay_ || clock.now() - lastRead_ >= displayReadInterval) {
                while (!quit_ && SDL_PollEvent(&event))
                    handle(event);
                readDisplay_ = false;
                lastRead_ = clock.now();
            } else {
                // Only what SDL queued itself, without reading the display.
                while (!quit_ && SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0)
                    handle(event);
            }
            if (quit_)
                break;
            const std::uint64_t firedBefore = platform_.runLoop().timerFirings();
            platform_.runLoop().runDue();
            const bool timerFired = platform_.runLoop().timerFirings() != firedBefore;
            Nanoseconds now = clock.now();
            platform_.window().collectDismissed(now);

            const bool animating = presenter_.compositor().timing().animating;
            // A timer that fires less than half a frame before the next one is due takes
            // that frame along: what it changed shows at once, and the loop wakes once
            // instead of twice. The frames then keep to the timer's step (the controller's
            // tick is five frames long), so it keeps finding them.
            const bool frameWithTimer =
                animating && timerFired && now < nextFrameAt_ && nextFrameAt_ - now <= animationInterval_ / 2;
            if (!animating || now >= nextFrameAt_ || frameWithTimer) {
                presenter_.present(platform_.window(), now);
                const FrameTiming& timing = presenter_.compositor().timing();
                if (timing.animating) {
                    const Nanoseconds interval = animationFrameInterval(timing, frameInterval_);
                    animationInterval_ = interval;
                    if (frameWithTimer)
                        nextFrameAt_ = now;
                    // With vsync the present already waited for the display; the loop only
                    // needs to be ready a little before the next refresh. Frames slower than
                    // the display's keep their own rate.
                    const Nanoseconds lead = presenter_.hasVsync() && interval == frameInterval_ ? interval / 8 : 0;
                    nextFrameAt_ = std::max(nextFrameAt_ + interval, now + interval / 2) - lead;
                } else {
                    nextFrameAt_ = now;
                }
            }

            if (statsEnabled_)
                printStats(now);

            // Sleep until the next timer, frame or animation end, or an event.
            now = clock.now();
            std::optional<Nanoseconds> wake = platform_.runLoop().nextDeadline();
            const FrameTiming& timing = presenter_.compositor().timing();
            const std::optional<Nanoseconds> picture = timing.animating ? std::optional(nextFrameAt_) : timing.nextChange;
            if (picture && (!wake || *picture < *wake))
                wake = picture;
            int timeoutMs = -1;
            if (wake) {
                // Rounded up: waking early would only find nothing due and spin.
                const Nanoseconds remaining = std::max<Nanoseconds>(0, *wake - now);
                timeoutMs = static_cast<int>(std::min<Nanoseconds>((remaining + 999'999) / 1'000'000, 60'000));
            }
            if (displayWait_) {
                if (timeoutMs != 0 && displayWait_->wait(timeoutMs))
                    readDisplay_ = true;
            } else if (timeoutMs != 0 && SDL_WaitEventTimeout(&event, timeoutMs)) {
                handle(event);
            }
        }
        return 0;
    }

    void terminate()
    {
        if (quit_)
            return;
        if (hooks_.willTerminate)
            hooks_.willTerminate();
        quit_ = true;
    }

private:
    // SPOOLORA_FRAME_STATS=1: once a second, how many frames were drawn, how many
    // pixels they touched and the processor time they took, to see that a still
    // screen costs nothing.
    void printStats(Nanoseconds now)
    {
        if (now - statsSince_ < 1'000'000'000)
            return;
        const double seconds = secondsFromNanoseconds(now - statsSince_);
        const FrameStats& total = presenter_.stats();
        const double process = processSeconds();
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

    void becomeActive()
    {
        if (active_)
            return;
        active_ = true;
        if (hooks_.didBecomeActive)
            hooks_.didBecomeActive();
    }

    static bool isOnScreen(Point p)
    {
        return p.x >= 0 && p.y >= 0 && p.x < Window::widthPoints && p.y < Window::heightPoints;
    }

    // One finger at a time: the first mouse button or touch that lands on the screen
    // owns the touch until it lifts; everything else waits.
    void pointerDown(Pointer pointer, Point p)
    {
        if (pointer_ != Pointer::None || !isOnScreen(p))
            return;
        pointer_ = pointer;
        platform_.window().touchDown(p);
    }
    void pointerMove(Pointer pointer, Point p)
    {
        if (pointer_ == pointer)
            platform_.window().touchMove(p);
    }
    void pointerUp(Pointer pointer, Point p)
    {
        if (pointer_ != pointer)
            return;
        pointer_ = Pointer::None;
        platform_.window().touchUp(p);
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
        case SDL_RENDER_TARGETS_RESET: presenter_.canvasLost(); break;
        case SDL_KEYDOWN: platform_.window().keyEvent(keyEventFromSdl(event.key), KeyPhase::Down); break;
        case SDL_KEYUP: platform_.window().keyEvent(keyEventFromSdl(event.key), KeyPhase::Up); break;
        case SDL_TEXTINPUT: platform_.window().textInput(event.text.text); break;
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
        case SDL_MOUSEWHEEL: {
            // A notch moves the list by most of a row; "natural" scrolling flips the sign.
            int x = 0, y = 0;
            SDL_GetMouseState(&x, &y);
            const float notches = event.wheel.preciseY * (event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -1.0f : 1.0f);
            platform_.window().scrollWheel(presenter_.screenPoint(float(x), float(y)), -40.0f * notches);
            break;
        }
        case SDL_FINGERDOWN:
            if (pointer_ == Pointer::None) {
                const Point p = presenter_.screenPointFromTouch(event.tfinger.x, event.tfinger.y);
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

    Presenter& presenter_;
    Platform& platform_;
    const ApplicationHooks& hooks_;
    Uint32 wakeUpEvent_ = 0;
    // On X11 the loop sleeps on the display itself (see DisplayWait) and has SDL read it
    // only when something came, and at least this often while it wakes for frames alone.
    static constexpr Nanoseconds displayReadInterval = 250'000'000;
    std::unique_ptr<DisplayWait> displayWait_;
    bool readDisplay_ = true;
    Nanoseconds lastRead_ = 0;
    Nanoseconds frameInterval_ = 16'666'667;
    Nanoseconds nextFrameAt_ = 0;
    Nanoseconds animationInterval_ = 0;   // between the last two animation frames
    bool quit_ = false;
    bool active_ = false;
    Pointer pointer_ = Pointer::None;
    SDL_FingerID finger_ = 0;
    const bool statsEnabled_ = std::getenv("SPOOLORA_FRAME_STATS") != nullptr;
    Nanoseconds statsSince_ = 0;
    FrameStats statsBefore_;
    double processBefore_ = 0;
};

int DesktopWindow::run(Platform& platform, const ApplicationHooks& hooks)
{
    Loop loop(window_, *presenter_, platform, hooks);
    loop_ = &loop;
    struct Forget {
        Loop*& loop;
        ~Forget() { loop = nullptr; }
    } forget{loop_};
    return loop.run();
}

void DesktopWindow::quit()
{
    if (loop_)
        loop_->terminate();
}

void DesktopWindow::raise()
{
    SDL_RestoreWindow(window_);
    SDL_RaiseWindow(window_);
}

void DesktopWindow::setTitle(const std::string& title)
{
    const bool ascii = std::all_of(title.begin(), title.end(), [](char c) { return (c & 0x80) == 0; });
    if (ascii) {
        SDL_SetWindowTitle(window_, title.c_str());
        return;
    }
    // Xlib hands a title to the desktop as UTF-8 only while the process's character
    // type is UTF-8, and the player runs in the C locale (its numbers and text do not
    // depend on the user's). Only the main thread reads the locale meanwhile.
    const char* current = std::setlocale(LC_CTYPE, nullptr);
    const std::string previous = current ? current : "C";
    const bool utf8 = std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr;
    SDL_SetWindowTitle(window_, title.c_str());
    if (utf8)
        std::setlocale(LC_CTYPE, previous.c_str());
}

} // namespace platform::sdl
