#pragma once
// The platform's window on a desktop: SDL's window and events, the run loop's
// timers on the main thread, and frames drawn only when the picture changes.
//
// The loop knows nothing of the application: it delivers touches, keys and typed
// text to the platform::Window, and tells the application through three hooks when
// it has launched, when it becomes active again and when it is about to end.

#include "platform/Keys.h"
#include "platform/Platform.h"
#include "platform/sdl/DisplayListBuilder.h"

#include <SDL.h>

#include <functional>
#include <memory>
#include <string>

namespace platform::sdl {

// The window's pixels per point of the 320 × 480-point screen that can be asked for.
inline constexpr float minimumScale = 0.5f;
inline constexpr float maximumScale = 8;

struct DesktopWindowOptions {
    // Pixels per point of the 320 × 480-point screen in window units, from
    // minimumScale to maximumScale; 0 fits the display.
    float scale = 0;
    // Covers the whole display, as on a small touch panel, with or without a window
    // manager: the screen is scaled by the largest whole step that fits (or exactly
    // to fit when not even 1× does), or by `scale` when given, centred between black bars.
    bool fullscreen = false;
};

// What the loop tells the application, each on the main thread.
struct ApplicationHooks {
    std::function<void()> didFinishLaunching;
    // Focus came back after the window had lost it or was minimised.
    std::function<void()> didBecomeActive;
    std::function<void()> willTerminate;
};

class Presenter;

class DesktopWindow {
public:
    // Starts SDL's video and opens the window. Returns nullptr after
    // one line on stderr when there is no display to open it on or the window cannot
    // be opened. Throws std::runtime_error when nothing can draw into the window.
    static std::unique_ptr<DesktopWindow> open(const DesktopWindowOptions& options);
    // Takes over the window; open() is the way to make one.
    explicit DesktopWindow(SDL_Window* window);
    // Closes the window and SDL's video.
    ~DesktopWindow();
    DesktopWindow(const DesktopWindow&) = delete;
    DesktopWindow& operator=(const DesktopWindow&) = delete;

    // Runs the platform in the window until the window is closed or
    // quit() is called. The platform must have been built on this thread after
    // open(). Returns the process's exit status.
    int run(Platform& platform, const ApplicationHooks& hooks);
    // Ends the loop once the current event has been handled; the application hears
    // willTerminate first. Main thread only.
    void quit();
    // Brings the window to the front, restored if it was minimised, as a second
    // start of the player asks. Main thread only.
    void raise();
    // The window's title (UTF-8), as the desktop shows it. Main thread only.
    void setTitle(const std::string& title);

private:
    class Loop;

    SDL_Window* window_;
    std::unique_ptr<Presenter> presenter_;
    Loop* loop_ = nullptr;   // while run() runs
};

// How long after a frame the next is drawn while the picture moves by itself: slides
// at the display's rate, reels that only turn at 25 frames a second, whichever the
// renderer.
Nanoseconds animationFrameInterval(const FrameTiming& timing, Nanoseconds displayInterval);

// The key an SDL key event stands for.
KeyEvent keyEventFromSdl(const SDL_KeyboardEvent& event);

} // namespace platform::sdl
