#pragma once
// The main thread's run loop: repeating timers on a drift-free grid, and work
// handed over from other threads. Everything but post() is main-thread only.
//
// A backend drives the loop: it asks for nextDeadline(), waits (really, or by
// moving a virtual clock), then calls runDue().

#include "platform/Clock.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace platform {

class RunLoop;

// A repeating timer. Deadlines lie on the grid start + k × interval, so a late
// firing does not shift later ones; missed deadlines are coalesced into one firing.
class Timer {
public:
    // Runs the action once, now, without changing the schedule. Does nothing once invalidated.
    void fire();
    // Stops the timer for good. Safe to call from inside its own action.
    void invalidate() noexcept;
    bool isValid() const noexcept { return valid_; }
    double timeInterval() const noexcept { return secondsFromNanoseconds(interval_); }
    Nanoseconds nextFireTime() const noexcept { return next_; }
    // How late the timer may fire, so that the loop can run it when it wakes for
    // something else rather than waking for it alone. It still fires on its grid:
    // at a wake-up after its deadline, and at the latest this much after it. 0 at first.
    void setTolerance(double seconds) noexcept;
    double tolerance() const noexcept { return secondsFromNanoseconds(tolerance_); }

private:
    friend class RunLoop;
    Timer(Nanoseconds start, Nanoseconds interval, std::function<void()> action)
        : next_(start + interval), interval_(interval), action_(std::move(action))
    {
    }
    Nanoseconds next_;
    Nanoseconds interval_;
    Nanoseconds tolerance_ = 0;
    std::function<void()> action_;
    bool valid_ = true;
};

// Owns nothing but a reference: destroying the handle invalidates the timer.
class TimerHandle {
public:
    TimerHandle() = default;
    explicit TimerHandle(std::shared_ptr<Timer> timer) : timer_(std::move(timer)) {}
    TimerHandle(TimerHandle&&) noexcept = default;
    TimerHandle& operator=(TimerHandle&& other) noexcept
    {
        if (this != &other) {
            reset();
            timer_ = std::move(other.timer_);
        }
        return *this;
    }
    TimerHandle(const TimerHandle&) = delete;
    TimerHandle& operator=(const TimerHandle&) = delete;
    ~TimerHandle() { reset(); }

    Timer* get() const noexcept { return timer_.get(); }
    Timer* operator->() const noexcept { return timer_.get(); }
    explicit operator bool() const noexcept { return timer_ != nullptr; }
    void reset() noexcept
    {
        if (timer_)
            timer_->invalidate();
        timer_.reset();
    }

private:
    std::shared_ptr<Timer> timer_;
};

class RunLoop {
public:
    explicit RunLoop(const Clock& clock) : clock_(clock) {}
    RunLoop(const RunLoop&) = delete;
    RunLoop& operator=(const RunLoop&) = delete;

    const Clock& clock() const noexcept { return clock_; }

    // A repeating timer whose first deadline is one interval from now.
    // A non-positive interval is raised to 0.1 ms, as a busy timer would starve the loop.
    TimerHandle scheduledTimer(double intervalSeconds, std::function<void()> action);

    template <class Target>
    TimerHandle scheduledTimer(double intervalSeconds, Target& target, void (Target::*action)())
    {
        return scheduledTimer(intervalSeconds, [&target, action] { (target.*action)(); });
    }

    // Hands work to the main thread; it runs at the next runDue(), in posting order.
    // Any thread may call it. Wakes the backend through the wake-up callback.
    void post(std::function<void()> work);

    // The backend's hook to be woken when another thread posts work. Any thread may call it.
    void setWakeUp(std::function<void()> wakeUp);

    // Runs, at the clock's present time: all posted work, then every timer whose
    // deadline has come, earliest deadline first; repeats until nothing is due.
    // Returns whether anything ran.
    bool runDue();

    // When the loop must run next: the earliest timer deadline plus that timer's
    // tolerance, or none when no valid timer exists. Work waiting in the post queue
    // counts as due now.
    std::optional<Nanoseconds> nextDeadline() const;

    // Runs the earliest due timer (deadline <= now) once. For a virtual clock,
    // which must stop at each deadline in turn. Returns false when nothing was due.
    bool runOneDueTimer();
    // Runs all posted work. Returns whether any ran.
    bool runPostedWork();
    bool hasPostedWork() const;
    // How many times timers have fired so far: a backend can tell whether a runDue()
    // ran any.
    std::uint64_t timerFirings() const noexcept { return firings_; }

private:
    // The earliest timer deadline, tolerance aside.
    std::optional<Nanoseconds> earliestFireTime() const;

    const Clock& clock_;
    std::vector<std::shared_ptr<Timer>> timers_;
    mutable std::mutex postedMutex_;
    std::vector<std::function<void()>> posted_;
    std::function<void()> wakeUp_;
    std::uint64_t firings_ = 0;
};

} // namespace platform
