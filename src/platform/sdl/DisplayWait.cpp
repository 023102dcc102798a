#include "platform/sdl/DisplayWait.h"

#include <SDL_syswm.h>
#include <X11/Xlib.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace platform::sdl {

namespace {

// The wait's eventfd, for the signal handler; -1 when no wait lives.
std::atomic<int> signalWakeFd{-1};
struct sigaction previousInterrupt{}, previousTerminate{};

void onQuitSignal(int signal, siginfo_t* info, void* context)
{
    const int saved = errno;
    // SDL's own handler first: it notes the quit that its next read turns into an event.
    const struct sigaction& previous = signal == SIGINT ? previousInterrupt : previousTerminate;
    if (previous.sa_flags & SA_SIGINFO) {
        if (previous.sa_sigaction)
            previous.sa_sigaction(signal, info, context);
    } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN && previous.sa_handler) {
        previous.sa_handler(signal);
    }
    if (const int fd = signalWakeFd.load(); fd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(fd, &one, sizeof one);
    }
    errno = saved;
}

// Only over a handler of SDL's: without one a signal keeps its own effect.
void watchQuitSignal(int signal, struct sigaction& previous)
{
    struct sigaction current{};
    if (sigaction(signal, nullptr, &current) != 0 || (current.sa_flags & SA_SIGINFO)
        || current.sa_handler == SIG_DFL || current.sa_handler == SIG_IGN)
        return;
    previous = current;
    struct sigaction action{};
    action.sa_sigaction = onQuitSignal;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
}

void unwatchQuitSignal(int signal, const struct sigaction& previous)
{
    struct sigaction current{};
    if (sigaction(signal, nullptr, &current) == 0 && (current.sa_flags & SA_SIGINFO)
        && current.sa_sigaction == onQuitSignal)
        sigaction(signal, &previous, nullptr);
}

} // namespace

std::unique_ptr<DisplayWait> DisplayWait::forWindow(SDL_Window* window)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11 || !info.info.x11.display)
        return nullptr;
    const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0)
        return nullptr;
    std::unique_ptr<DisplayWait> wait(new DisplayWait(info.info.x11.display, fd));
    int none = -1;
    if (signalWakeFd.compare_exchange_strong(none, fd)) {
        watchQuitSignal(SIGINT, previousInterrupt);
        watchQuitSignal(SIGTERM, previousTerminate);
    }
    return wait;
}

DisplayWait::~DisplayWait()
{
    int mine = wakeFd_;
    if (signalWakeFd.compare_exchange_strong(mine, -1)) {
        unwatchQuitSignal(SIGINT, previousInterrupt);
        unwatchQuitSignal(SIGTERM, previousTerminate);
    }
    close(wakeFd_);
}

void DisplayWait::wake() noexcept
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(wakeFd_, &one, sizeof one);
}

bool DisplayWait::wait(int timeoutMs) noexcept
{
    auto* display = static_cast<Display*>(display_);
    // Events read from the connection along with a reply (SDL's sync after a frame)
    // wait in Xlib's queue, where polling the connection does not see them.
    if (XEventsQueued(display, QueuedAlready) > 0)
        return true;
    XFlush(display);
    pollfd watched[2] = {{ConnectionNumber(display), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    const int ready = poll(watched, 2, timeoutMs);
    if (watched[1].revents & POLLIN) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t drained = read(wakeFd_, &count, sizeof count);
    }
    // An interrupted wait may be a quit signal; an error is left to SDL's reading.
    return ready != 0;
}

} // namespace platform::sdl
