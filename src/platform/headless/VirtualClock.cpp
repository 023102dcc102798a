#include "platform/headless/VirtualClock.h"

#include <cassert>
#include <limits>

namespace platform::headless {

void VirtualClock::setNow(Nanoseconds now) noexcept
{
    assert(now >= this->now() && "a clock never goes backwards");
    now_.store(now, std::memory_order_release);
}

void VirtualClock::advance(double seconds)
{
    const Nanoseconds start = now();
    Nanoseconds delta = nanosecondsFromSeconds(seconds);
    if (delta < 0)
        delta = 0;
    const Nanoseconds target =
        delta > std::numeric_limits<Nanoseconds>::max() - start ? std::numeric_limits<Nanoseconds>::max() : start + delta;

    if (runLoop_) {
        for (;;) {
            if (runLoop_->runPostedWork()) {
                notifyObservers();
                continue;
            }
            const auto deadline = runLoop_->nextDeadline();
            if (!deadline || *deadline > target)
                break;
            if (*deadline > now())
                now_.store(*deadline, std::memory_order_release);
            if (runLoop_->runOneDueTimer())
                notifyObservers();
        }
    }
    now_.store(target, std::memory_order_release);
    if (runLoop_)
        runLoop_->runDue();
    notifyObservers();
}

void VirtualClock::addAdvanceObserver(std::function<void()> observer)
{
    observers_.push_back(std::move(observer));
}

void VirtualClock::notifyObservers()
{
    // By index: an observer may add another.
    for (std::size_t i = 0; i < observers_.size(); ++i) {
        const auto observer = observers_[i];
        observer();
    }
}

} // namespace platform::headless
