#pragma once
// The animation layer of a view: carries running animations and transitions.
// The backend reads presentation state at frame time; the logic reads it when it
// rebuilds animations.

#include "platform/Animation.h"
#include "platform/Clock.h"

#include <functional>
#include <map>
#include <optional>
#include <string>

namespace platform {

// What the layer shows at a given moment.
struct PresentationLayer {
    Transform3D transform;
    double rotation = 0;   // the same angle, in radians, for the compositor
};

class Layer {
public:
    // Starts the animation now (beginTime = clock.now()). An animation under the
    // same key is replaced.
    void addAnimation(BasicAnimation animation, const std::string& key, const Clock& clock);
    // Starts the transition now. A transition under the same key is replaced;
    // so is any transition still running under another key (one at a time).
    void addAnimation(Transition transition, const std::string& key, const Clock& clock);
    // Every animation and transition ends at once.
    void removeAllAnimations();
    const BasicAnimation* animationForKey(const std::string& key) const;
    const Transition* transitionForKey(const std::string& key) const;
    const std::map<std::string, BasicAnimation>& animations() const { return animations_; }
    const std::map<std::string, Transition>& transitions() const { return transitions_; }

    // The layer as shown at the clock's present moment: the rotation of the
    // running "transform.rotation.z" animation, or the resting angle 0 when none
    // applies (also after an animation has played its whole duration). Always present.
    std::optional<PresentationLayer> presentationLayer(const Clock& clock) const;
    PresentationLayer presentationAt(Nanoseconds now) const;

    // The running transition at this moment, if any.
    const Transition* activeTransitionAt(Nanoseconds now) const;
    // Forgets animations that were removed on completion and transitions that are over.
    void pruneFinished(Nanoseconds now);
    // Counts every change to the set of animations; a compositor can compare it
    // to learn that something new started.
    unsigned long generation() const noexcept { return generation_; }

    // Told of every transition as it is added (with its begin time set), for a log
    // that keeps transitions a later one has replaced. One observer; an empty one removes it.
    using TransitionObserver = std::function<void(const Transition&, const std::string& key)>;
    void setTransitionObserver(TransitionObserver observer) { transitionObserver_ = std::move(observer); }

private:
    std::map<std::string, BasicAnimation> animations_;
    std::map<std::string, Transition> transitions_;
    unsigned long generation_ = 0;
    TransitionObserver transitionObserver_;
};

} // namespace platform
