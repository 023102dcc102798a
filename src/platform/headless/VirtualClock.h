#pragma once
// A clock for tests and scripted runs: whole nanoseconds from 0 that move only
// when told, running the attached run loop's work in time order on the way.

#include "platform/Clock.h"
#include "platform/RunLoop.h"

#include <atomic>
#include <functional>
#include <vector>

namespace platform::headless {

class VirtualClock final : public platform::Clock {
public:
    // Any thread may read the time; only the main thread moves it.
    Nanoseconds now() const noexcept override { return now_.load(std::memory_order_acquire); }

    // Jumps to a moment without running anything. Going backwards is a bug.
    void setNow(Nanoseconds now) noexcept;

    // The run loop whose timers and posted work advance() runs (one at a time; not owned).
    void attach(RunLoop& runLoop) noexcept { runLoop_ = &runLoop; }

    // Moves to now + seconds (rounded to whole nanoseconds; negative or NaN counts as 0).
    // On the way it stops at each timer deadline in turn, so an action sees the time
    // equal to its deadline, and runs posted work and due timers in time order; at the
    // target it runs everything then due. Observers are called after each step.
    void advance(double seconds);

    // Called after every step of advance(), e.g. so that a headless platform can
    // collect modal screens that finished.
    void addAdvanceObserver(std::function<void()> observer);

private:
    void notifyObservers();

    std::atomic<Nanoseconds> now_{0};
    RunLoop* runLoop_ = nullptr;
    std::vector<std::function<void()>> observers_;
};

} // namespace platform::headless
