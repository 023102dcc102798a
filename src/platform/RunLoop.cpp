#include "platform/RunLoop.h"

#include <algorithm>
#include <cassert>
#include <limits>
#include <utility>

// Sections: timers · the loop's timer queue · posted work.

namespace platform {

namespace {

constexpr Nanoseconds minimumInterval = 100'000; // 0.1 ms
constexpr Nanoseconds farFuture = std::numeric_limits<Nanoseconds>::max();

// The first grid point next + k × interval (k >= 1) that lies strictly after now.
// Past the range of the clock it parks the timer at the far future, which never comes.
Nanoseconds nextGridPointAfter(Nanoseconds next, Nanoseconds interval, Nanoseconds now) noexcept
{
    assert(interval > 0 && next <= now);
    const Nanoseconds steps = (now - next) / interval + 1;
    if (steps > (farFuture - next) / interval)
        return farFuture;
    return next + steps * interval;
}

} // namespace

// --- Timers -----------------------------------------------------------------

void Timer::fire()
{
    if (!valid_)
        return;
    // The action may drop the last handle; a copy keeps the callable alive while it runs.
    const auto action = action_;
    action();
}

void Timer::setTolerance(double seconds) noexcept
{
    tolerance_ = seconds > 0 ? std::min(nanosecondsFromSeconds(seconds), interval_) : 0;
}

void Timer::invalidate() noexcept
{
    // The action itself stays until the run loop drops the timer: it may be running right now.
    valid_ = false;
}

// --- The loop's timer queue -------------------------------------------------

TimerHandle RunLoop::scheduledTimer(double intervalSeconds, std::function<void()> action)
{
    Nanoseconds interval = nanosecondsFromSeconds(intervalSeconds);
    if (!(intervalSeconds > 0) || interval < minimumInterval)
        interval = minimumInterval;
    const Nanoseconds start = clock_.now();
    // An absurdly long interval puts the first deadline at the end of time rather than overflowing.
    if (interval > farFuture - start)
        interval = farFuture - start;

    std::erase_if(timers_, [](const std::shared_ptr<Timer>& t) { return !t->isValid(); });
    auto timer = std::shared_ptr<Timer>(new Timer(start, interval, std::move(action)));
    timers_.push_back(timer);
    return TimerHandle(std::move(timer));
}

std::optional<Nanoseconds> RunLoop::nextDeadline() const
{
    if (hasPostedWork())
        return clock_.now();
    std::optional<Nanoseconds> earliest;
    for (const auto& timer : timers_) {
        if (!timer->isValid() || timer->next_ == farFuture)
            continue;
        const Nanoseconds latest =
            timer->tolerance_ > farFuture - timer->next_ ? farFuture : timer->next_ + timer->tolerance_;
        if (!earliest || latest < *earliest)
            earliest = latest;
    }
    return earliest;
}

std::optional<Nanoseconds> RunLoop::earliestFireTime() const
{
    std::optional<Nanoseconds> earliest;
    for (const auto& timer : timers_)
        if (timer->isValid() && timer->next_ != farFuture && (!earliest || timer->next_ < *earliest))
            earliest = timer->next_;
    return earliest;
}

bool RunLoop::runOneDueTimer()
{
    const Nanoseconds now = clock_.now();
    std::erase_if(timers_, [](const std::shared_ptr<Timer>& t) { return !t->isValid(); });

    // Timers are kept in creation order, so the first of equal deadlines is the oldest.
    std::shared_ptr<Timer> due;
    for (const auto& timer : timers_)
        if (timer->next_ <= now && timer->next_ != farFuture && (!due || timer->next_ < due->next_))
            due = timer;
    if (!due)
        return false;

    // Reschedule before running, so that an action reading nextFireTime() sees the
    // coming deadline and an action that invalidates the timer has the last word.
    due->next_ = nextGridPointAfter(due->next_, due->interval_, now);
    ++firings_;
    // Holding the timer keeps the action alive even if it drops its own handle or
    // schedules timers (which may move the vector).
    due->action_();
    return true;
}

bool RunLoop::runDue()
{
    bool ranAny = false;
    for (;;) {
        bool ranNow = runPostedWork();
        // One pass over what is due now; with a real clock, an action that takes longer
        // than its interval must not keep the loop here for ever.
        const Nanoseconds now = clock_.now();
        for (;;) {
            const auto deadline = earliestFireTime();
            if (!deadline || *deadline > now || hasPostedWork())
                break;
            if (!runOneDueTimer())
                break;
            ranNow = true;
        }
        if (!ranNow)
            return ranAny;
        ranAny = true;
    }
}

// --- Posted work ------------------------------------------------------------

void RunLoop::post(std::function<void()> work)
{
    std::function<void()> wakeUp;
    {
        std::lock_guard lock(postedMutex_);
        posted_.push_back(std::move(work));
        wakeUp = wakeUp_;
    }
    // Outside the lock: the backend's wake-up may itself take locks of its own.
    if (wakeUp)
        wakeUp();
}

void RunLoop::setWakeUp(std::function<void()> wakeUp)
{
    std::lock_guard lock(postedMutex_);
    wakeUp_ = std::move(wakeUp);
}

bool RunLoop::hasPostedWork() const
{
    std::lock_guard lock(postedMutex_);
    return !posted_.empty();
}

bool RunLoop::runPostedWork()
{
    std::vector<std::function<void()>> batch;
    {
        std::lock_guard lock(postedMutex_);
        batch.swap(posted_);
    }
    if (batch.empty())
        return false;
    std::size_t i = 0;
    try {
        for (; i < batch.size(); ++i)
            batch[i]();
    } catch (...) {
        // Whatever the throwing item left behind still runs later, ahead of newer posts.
        std::lock_guard lock(postedMutex_);
        posted_.insert(posted_.begin(), std::make_move_iterator(batch.begin() + static_cast<std::ptrdiff_t>(i) + 1),
                       std::make_move_iterator(batch.end()));
        throw;
    }
    return true;
}

} // namespace platform
