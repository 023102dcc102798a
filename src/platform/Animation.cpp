#include "platform/Animation.h"

#include <cmath>
#include <limits>

namespace platform {

namespace {

// Seconds from begin to now, subtracted in whole nanoseconds first so that moments
// on the grid compare exactly.
double secondsSince(Nanoseconds begin, Nanoseconds now) noexcept
{
    const long double diff = static_cast<long double>(now) - static_cast<long double>(begin);
    return static_cast<double>(diff / 1e9L);
}

// The ease-in-ease-out curve, a cubic Bézier through (0.42, 0) and (0.58, 1):
// finds the curve parameter whose x is the time fraction by bisection (x grows
// monotonically), then returns its y.
double easeInEaseOut(double fraction) noexcept
{
    constexpr double x1 = 0.42, y1 = 0.0, x2 = 0.58, y2 = 1.0;
    const auto bezier = [](double t, double p1, double p2) {
        const double u = 1 - t;
        return 3 * u * u * t * p1 + 3 * u * t * t * p2 + t * t * t;
    };
    double low = 0, high = 1, t = fraction;
    for (int i = 0; i < 60; ++i) {
        t = (low + high) / 2;
        if (bezier(t, x1, x2) < fraction)
            low = t;
        else
            high = t;
    }
    return bezier(t, y1, y2);
}

double effectiveSingleDuration(double duration) noexcept
{
    // A duration that was zeroed or never made sense falls back to the default, as an unset one does.
    return duration > 0 ? duration : 0.25;
}

} // namespace

double BasicAnimation::activeDuration() const noexcept
{
    const double single = effectiveSingleDuration(duration);
    if (std::isnan(repeatCount) || repeatCount <= 0)
        return single;
    return single * static_cast<double>(repeatCount);
}

std::optional<double> BasicAnimation::valueAt(Nanoseconds now) const noexcept
{
    const double single = effectiveSingleDuration(duration);
    const double active = activeDuration();
    double elapsed = secondsSince(beginTime, now);

    if (elapsed < 0) {
        if (fillMode != FillMode::Backwards && fillMode != FillMode::Both)
            return std::nullopt;
        elapsed = 0;
    }
    // The active time is half-open: at its very end the animation has finished.
    if (elapsed >= active) {
        if (fillMode != FillMode::Forwards && fillMode != FillMode::Both)
            return std::nullopt;
        elapsed = active;
    }

    double iteration = std::floor(elapsed / single);
    double local = elapsed - iteration * single;
    // Held at the end, the last repetition shows its final value, not the next one's start.
    if (elapsed == active && iteration > 0 && local <= 0) {
        iteration -= 1;
        local = single;
    }
    double fraction = local / single;
    if (timingFunction == TimingFunction::EaseInEaseOut)
        fraction = easeInEaseOut(fraction);

    const double from = fromValue;
    const double by = byValue;
    double value = from + by * fraction;
    if (cumulative)
        value += by * iteration;
    return value;
}

double Transition::progressAt(Nanoseconds now) const noexcept
{
    const double elapsed = secondsSince(beginTime, now);
    if (!(elapsed > 0))
        return 0;
    const double progress = elapsed / effectiveDuration();
    return progress >= 1 ? 1 : progress;
}

Transform3D Transform3D::rotationZ(double radians) noexcept
{
    const double c = std::cos(radians);
    const double s = std::sin(radians);
    Transform3D t;
    t.m[0] = static_cast<float>(c);
    t.m[1] = static_cast<float>(s);
    t.m[4] = static_cast<float>(-s);
    t.m[5] = static_cast<float>(c);
    return t;
}

} // namespace platform
