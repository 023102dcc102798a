#pragma once
// Time source of the platform. Times are whole nanoseconds on the clock's own
// scale (its zero is arbitrary); only differences mean anything.

#include <cstdint>

namespace platform {

using Nanoseconds = std::int64_t;

inline Nanoseconds nanosecondsFromSeconds(double seconds) noexcept;
inline double secondsFromNanoseconds(Nanoseconds ns) noexcept { return static_cast<double>(ns) / 1e9; }

class Clock {
public:
    virtual ~Clock() = default;
    // The present moment. Never goes backwards. Any thread may call it.
    virtual Nanoseconds now() const noexcept = 0;
};

// The system's monotonic clock (CLOCK_MONOTONIC).
class MonotonicClock final : public Clock {
public:
    Nanoseconds now() const noexcept override;
};

} // namespace platform

#include <cmath>
#include <limits>

namespace platform {
// Rounds to the nearest nanosecond; NaN reads as 0 and values beyond the range saturate.
inline Nanoseconds nanosecondsFromSeconds(double seconds) noexcept
{
    if (std::isnan(seconds))
        return 0;
    const double ns = std::round(seconds * 1e9);
    if (ns >= 9.2e18)
        return std::numeric_limits<Nanoseconds>::max();
    if (ns <= -9.2e18)
        return std::numeric_limits<Nanoseconds>::min();
    return static_cast<Nanoseconds>(ns);
}
} // namespace platform
