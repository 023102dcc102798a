#pragma once
// A moment on the platform clock, held by value. A default-constructed date was
// never set: it answers an interval of 0 seconds from now.

#include "platform/Clock.h"

#include <optional>

namespace platform {

class Date {
public:
    Date() = default;

    // The present moment of the clock.
    static Date now(const Clock& clock) noexcept { return Date(clock.now()); }
    // The moment the given number of seconds from now (negative: in the past).
    static Date dateWithTimeIntervalSinceNow(const Clock& clock, double seconds) noexcept;
    // A moment given in seconds on the clock's own scale.
    static Date fromClockSeconds(double seconds) noexcept { return Date(nanosecondsFromSeconds(seconds)); }

    // Seconds from now to this date: negative for the past, 0 when never set.
    double timeIntervalSinceNow(const Clock& clock) const noexcept;

    bool isSet() const noexcept { return at_.has_value(); }
    // Seconds on the clock's scale; only meaningful when set.
    double clockSeconds() const noexcept { return at_ ? secondsFromNanoseconds(*at_) : 0.0; }
    Nanoseconds clockNanoseconds() const noexcept { return at_.value_or(0); }

    friend bool operator==(const Date&, const Date&) = default;

private:
    explicit Date(Nanoseconds at) noexcept : at_(at) {}
    std::optional<Nanoseconds> at_;
};

inline Date Date::dateWithTimeIntervalSinceNow(const Clock& clock, double seconds) noexcept
{
    const Nanoseconds now = clock.now();
    const Nanoseconds delta = nanosecondsFromSeconds(seconds);
    // Saturate rather than overflow for absurd intervals.
    if (delta > 0 && now > std::numeric_limits<Nanoseconds>::max() - delta)
        return Date(std::numeric_limits<Nanoseconds>::max());
    if (delta < 0 && now < std::numeric_limits<Nanoseconds>::min() - delta)
        return Date(std::numeric_limits<Nanoseconds>::min());
    return Date(now + delta);
}

inline double Date::timeIntervalSinceNow(const Clock& clock) const noexcept
{
    if (!at_)
        return 0.0;
    // Subtract in integers first so that whole-nanosecond moments compare exactly.
    const long double diff = static_cast<long double>(*at_) - static_cast<long double>(clock.now());
    return static_cast<double>(diff / 1e9L);
}

} // namespace platform
