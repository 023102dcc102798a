#pragma once
// A plain (custom-type) button: an optional picture, control events with
// target-action, and a highlight while touched.

#include "platform/View.h"

#include <functional>
#include <vector>

namespace platform {

enum class ControlEvent { TouchDown, TouchUpInside, TouchUpOutside };

class Button : public View {
public:
    // How far outside its bounds a touch may end and still count as inside.
    static constexpr float touchSlopPoints = 70;

    explicit Button(Rect frame = {}) : View(frame) {}

    template <class Target>
    void addTarget(Target& target, void (Target::*action)(), ControlEvent event)
    {
        addAction([&target, action] { (target.*action)(); }, event);
    }
    void addAction(std::function<void()> action, ControlEvent event);
    // Runs every action registered for the event, in order of registration. An action
    // may add actions (they run from the next event on) but must not destroy the button.
    void sendActionsForControlEvent(ControlEvent event);

    // The picture for the normal state, and its content mode.
    void setImageForNormalState(std::optional<Image> image);
    const std::optional<Image>& image() const noexcept { return image_; }
    void setImageContentMode(ContentMode mode);
    ContentMode imageContentMode() const noexcept { return imageContentMode_; }
    bool imageContentModeWasSet() const noexcept { return imageContentModeSet_; }

    void setShowsTouchWhenHighlighted(bool shows);
    bool showsTouchWhenHighlighted() const noexcept { return showsTouch_; }
    bool isHighlighted() const noexcept { return highlighted_; }

    // Its picture centred, and the glow over it while touched when it shows touches.
    void describeContent(ContentRecorder& recorder) const override;

    bool takesTouches() const noexcept override { return true; }
    void touchesBegan(const TouchEvent&) override;
    void touchesMoved(const TouchEvent&) override;
    void touchesEnded(const TouchEvent&) override;
    void touchesCancelled(const TouchEvent&) override;

    // Whether a screen point counts as inside: the bounds grown by the slop margin.
    bool isInsideWithSlop(Point screenPoint) const noexcept;

private:
    void setHighlighted(bool highlighted);
    std::vector<std::pair<ControlEvent, std::function<void()>>> actions_;
    std::optional<Image> image_;
    ContentMode imageContentMode_ = ContentMode::ScaleToFill;
    bool imageContentModeSet_ = false;
    bool showsTouch_ = false;
    bool highlighted_ = false;
};

} // namespace platform
