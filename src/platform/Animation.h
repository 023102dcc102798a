#pragma once
// Layer animations: basic property animations and push transitions.

#include "platform/Clock.h"

#include <array>
#include <optional>
#include <string>

namespace platform {

enum class TimingFunction { Linear, EaseInEaseOut };
enum class FillMode { Removed, Forwards, Backwards, Both };

// Animates one scalar property. The only key path the layer applies is
// "transform.rotation.z" (radians about the screen normal).
struct BasicAnimation {
    std::string keyPath;
    float fromValue = 0;
    float byValue = 0;
    double duration = 0.25;        // seconds; the default when not set
    TimingFunction timingFunction = TimingFunction::Linear;
    bool cumulative = false;
    float repeatCount = 0;         // 0 plays once
    bool removedOnCompletion = true;
    FillMode fillMode = FillMode::Removed;
    Nanoseconds beginTime = 0;     // set by Layer::addAnimation to the moment it was added

    static BasicAnimation animationWithKeyPath(std::string path)
    {
        BasicAnimation a;
        a.keyPath = std::move(path);
        return a;
    }
    // Seconds of play in all, over every repetition.
    double activeDuration() const noexcept;
    // The value shown at the given moment, or none when the animation does not
    // apply then (before its begin without backwards fill, after its end without
    // forwards fill).
    std::optional<double> valueAt(Nanoseconds now) const noexcept;
};

enum class TransitionType { Push };
enum class TransitionSubtype { FromRight, FromLeft };

// The layer's new content slides in from the subtype's edge while the old
// content is pushed out at the opposite edge.
struct Transition {
    TransitionType type = TransitionType::Push;
    TransitionSubtype subtype = TransitionSubtype::FromRight;
    double duration = 0;           // 0 means the default, 0.25 s
    Nanoseconds beginTime = 0;     // set by Layer::addAnimation

    static constexpr double defaultDuration = 0.25;
    double effectiveDuration() const noexcept { return duration > 0 ? duration : defaultDuration; }
    // 0 at the start, 1 at the end and after it.
    double progressAt(Nanoseconds now) const noexcept;
};

// A 4 × 4 transform of floats stored row by row, as the layer shows it.
// A rotation by θ about the screen normal has cos θ, sin θ as its first row's first two entries.
struct Transform3D {
    std::array<float, 16> m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    static Transform3D rotationZ(double radians) noexcept;
    float m11() const noexcept { return m[0]; }
    float m12() const noexcept { return m[1]; }
};

} // namespace platform
