#include "platform/Clock.h"

#include <ctime>

namespace platform {

Nanoseconds MonotonicClock::now() const noexcept
{
    timespec ts{};
    // CLOCK_MONOTONIC cannot fail on Linux for a valid pointer; zeros would only
    // make time stand still, never run backwards.
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<Nanoseconds>(ts.tv_sec) * 1'000'000'000 + static_cast<Nanoseconds>(ts.tv_nsec);
}

} // namespace platform
