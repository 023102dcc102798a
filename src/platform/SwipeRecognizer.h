#pragma once
// Recognises a quick horizontal swipe that starts on the view it is attached to.

#include "platform/Geometry.h"
#include "platform/Clock.h"

#include <functional>

namespace platform {

enum class SwipeDirection : std::int32_t { Right = 1, Left = 2 };

class SwipeGestureRecognizer {
public:
    // A swipe: at least this far horizontally, at most maxSlope as steep, within maxDuration.
    static constexpr float minimumDistancePoints = 50;
    static constexpr float maxSlope = 0.5f;   // |dy| / |dx|
    static constexpr double maxDurationSeconds = 0.6;

    template <class Target>
    SwipeGestureRecognizer(Target& target, void (Target::*action)())
        : action_([&target, action] { (target.*action)(); })
    {
    }
    explicit SwipeGestureRecognizer(std::function<void()> action) : action_(std::move(action)) {}

    SwipeDirection direction() const noexcept { return direction_; }
    void setDirection(SwipeDirection direction) noexcept { direction_ = direction; }

    // Whether a finger that went from start to end in the given time is this swipe.
    bool matches(Point start, Point end, Nanoseconds elapsed) const noexcept;
    void fire() { if (action_) action_(); }

private:
    std::function<void()> action_;
    SwipeDirection direction_ = SwipeDirection::Right;
};

} // namespace platform
