#pragma once
// The main loop's sleep on X11, without SDL's own wait. SDL reads the display's
// connection several times before it sleeps and again after (a system call each,
// and SDL's locks), even when nothing came; a loop that wakes 25 times a second for
// turning reels spent more on that than on its events. Here the loop sleeps on the
// connection itself, and lets SDL read it only when something arrived.

#include <SDL.h>

#include <memory>

namespace platform::sdl {

class DisplayWait {
public:
    // For the window's X11 connection; nullptr when SDL shows the window some other way
    // (then SDL_WaitEventTimeout serves). SIGINT and SIGTERM, which SDL turns into a
    // quit event at its next read, end a wait while this lives.
    static std::unique_ptr<DisplayWait> forWindow(SDL_Window* window);
    ~DisplayWait();
    DisplayWait(const DisplayWait&) = delete;
    DisplayWait& operator=(const DisplayWait&) = delete;

    // Ends the current or the next wait. Any thread.
    void wake() noexcept;
    // Sleeps until the display sends something, wake() is called, a signal comes or
    // `timeoutMs` milliseconds pass (-1: no limit). True unless only the time passed:
    // SDL then has events to read.
    bool wait(int timeoutMs) noexcept;

private:
    DisplayWait(void* display, int wakeFd) noexcept : display_(display), wakeFd_(wakeFd) {}

    void* display_;   // the X11 Display
    int wakeFd_;      // an eventfd
};

} // namespace platform::sdl
