#include "platform/Layer.h"

#include <iterator>

namespace platform {

namespace {

const char* const rotationKeyPath = "transform.rotation.z";

bool hasEnded(const Transition& transition, Nanoseconds now) noexcept
{
    return transition.progressAt(now) >= 1;
}

bool hasEnded(const BasicAnimation& animation, Nanoseconds now) noexcept
{
    const long double elapsed =
        (static_cast<long double>(now) - static_cast<long double>(animation.beginTime)) / 1e9L;
    return elapsed >= static_cast<long double>(animation.activeDuration());
}

} // namespace

void Layer::addAnimation(BasicAnimation animation, const std::string& key, const Clock& clock)
{
    animation.beginTime = clock.now();
    animations_.insert_or_assign(key, std::move(animation));
    ++generation_;
}

void Layer::addAnimation(Transition transition, const std::string& key, const Clock& clock)
{
    const Nanoseconds now = clock.now();
    transition.beginTime = now;
    // A layer shows one content change at a time: a new transition cuts a running one short.
    std::erase_if(transitions_, [&](const auto& entry) { return entry.first != key && !hasEnded(entry.second, now); });
    transitions_.insert_or_assign(key, transition);
    ++generation_;
    if (transitionObserver_)
        transitionObserver_(transition, key);
}

void Layer::removeAllAnimations()
{
    if (animations_.empty() && transitions_.empty())
        return;
    animations_.clear();
    transitions_.clear();
    ++generation_;
}

const BasicAnimation* Layer::animationForKey(const std::string& key) const
{
    const auto it = animations_.find(key);
    return it == animations_.end() ? nullptr : &it->second;
}

const Transition* Layer::transitionForKey(const std::string& key) const
{
    const auto it = transitions_.find(key);
    return it == transitions_.end() ? nullptr : &it->second;
}

std::optional<PresentationLayer> Layer::presentationLayer(const Clock& clock) const
{
    return presentationAt(clock.now());
}

PresentationLayer Layer::presentationAt(Nanoseconds now) const
{
    // Should several rotations apply at once, the one added last wins, as it would
    // have replaced the others' effect on the model value.
    const BasicAnimation* shown = nullptr;
    double angle = 0;
    for (const auto& [key, animation] : animations_) {
        if (animation.keyPath != rotationKeyPath)
            continue;
        if (animation.removedOnCompletion && hasEnded(animation, now))
            continue;
        const auto value = animation.valueAt(now);
        if (!value)
            continue;
        if (!shown || animation.beginTime >= shown->beginTime) {
            shown = &animation;
            angle = *value;
        }
    }
    PresentationLayer presentation;
    if (shown) {
        presentation.rotation = angle;
        presentation.transform = Transform3D::rotationZ(angle);
    }
    return presentation;
}

const Transition* Layer::activeTransitionAt(Nanoseconds now) const
{
    for (const auto& [key, transition] : transitions_)
        if (now >= transition.beginTime && !hasEnded(transition, now))
            return &transition;
    return nullptr;
}

void Layer::pruneFinished(Nanoseconds now)
{
    const auto removed = std::erase_if(animations_, [&](const auto& entry) {
                             return entry.second.removedOnCompletion && hasEnded(entry.second, now);
                         }) +
                         std::erase_if(transitions_, [&](const auto& entry) { return hasEnded(entry.second, now); });
    if (removed > 0)
        ++generation_;
}

} // namespace platform
