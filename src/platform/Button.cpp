#include "platform/Button.h"

#include "platform/ViewContent.h"

namespace platform {

void Button::addAction(std::function<void()> action, ControlEvent event)
{
    actions_.emplace_back(event, std::move(action));
}

void Button::sendActionsForControlEvent(ControlEvent event)
{
    // By index and up to the count at the start: an action may register further
    // actions, which would move the list under a running iterator.
    const std::size_t count = actions_.size();
    for (std::size_t i = 0; i < count && i < actions_.size(); ++i) {
        if (actions_[i].first != event || !actions_[i].second)
            continue;
        // A copy runs, so that the action may replace this button's actions while it runs.
        auto action = actions_[i].second;
        action();
    }
}

void Button::setImageForNormalState(std::optional<Image> image)
{
    if (image == image_)
        return;
    image_ = std::move(image);
    contentChanged();
}

void Button::setImageContentMode(ContentMode mode)
{
    imageContentModeSet_ = true;
    if (mode == imageContentMode_)
        return;
    imageContentMode_ = mode;
    contentChanged();
}

void Button::setShowsTouchWhenHighlighted(bool shows)
{
    if (shows == showsTouch_)
        return;
    showsTouch_ = shows;
    if (highlighted_)
        contentChanged();
}

void Button::setHighlighted(bool highlighted)
{
    if (highlighted == highlighted_)
        return;
    highlighted_ = highlighted;
    // Only a button that shows the touch looks any different while highlighted.
    if (showsTouch_)
        contentChanged();
}

void Button::describeContent(ContentRecorder& recorder) const
{
    if (image_)
        recorder.picture(*image_, bounds(), PictureFit::CentredShrunk, 0);
    if (showsTouch_ && highlighted_)
        recorder.glow({bounds().midX(), bounds().midY()}, 1);
}

bool Button::isInsideWithSlop(Point screenPoint) const noexcept
{
    return bounds().insetBy(-touchSlopPoints, -touchSlopPoints).contains(convertFromScreen(screenPoint));
}

void Button::touchesBegan(const TouchEvent&)
{
    setHighlighted(true);
    sendActionsForControlEvent(ControlEvent::TouchDown);
}

void Button::touchesMoved(const TouchEvent& event)
{
    setHighlighted(isInsideWithSlop(event.location));
}

void Button::touchesEnded(const TouchEvent& event)
{
    const bool inside = isInsideWithSlop(event.location);
    setHighlighted(false);
    sendActionsForControlEvent(inside ? ControlEvent::TouchUpInside : ControlEvent::TouchUpOutside);
}

void Button::touchesCancelled(const TouchEvent&)
{
    setHighlighted(false);
}

} // namespace platform
