#include "platform/SwipeRecognizer.h"

#include <cmath>

namespace platform {

bool SwipeGestureRecognizer::matches(Point start, Point end, Nanoseconds elapsed) const noexcept
{
    if (elapsed < 0 || elapsed > nanosecondsFromSeconds(maxDurationSeconds))
        return false;
    const double dx = double(end.x) - start.x;
    const double dy = double(end.y) - start.y;
    const double along = direction_ == SwipeDirection::Right ? dx : -dx;
    if (along < minimumDistancePoints)
        return false;
    return std::fabs(dy) <= double(maxSlope) * std::fabs(dx);
}

} // namespace platform
