#pragma once
// A bottom toolbar with bar button items, laid out across its width: fixed
// items at their widths, the remaining width shared by the flexible spaces.

#include "platform/Button.h"
#include "platform/View.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace platform {

enum class BarStyle : std::int32_t { Default = 0, Black = 1, BlackTranslucent = 2 };
enum class SystemItem : std::int32_t { Play, Pause, Action, FlexibleSpace, FixedSpace };

class BarButtonItem {
public:
    // The system items draw their own icon and are this wide.
    static constexpr float systemItemWidth = 40;

    // An item that shows a view of its own (a button, the volume control). The item
    // owns the view while it is not on a toolbar; a toolbar showing the item holds
    // it as a subview and hands it back when the items change.
    explicit BarButtonItem(std::unique_ptr<View> customView)
        : customView_(customView.get()), ownedView_(std::move(customView))
    {
    }
    BarButtonItem(SystemItem item, std::function<void()> action = {}) : systemItem_(item), action_(std::move(action)) {}
    template <class Target>
    BarButtonItem(SystemItem item, Target& target, void (Target::*action)())
        : BarButtonItem(item, [&target, action] { (target.*action)(); })
    {
    }

    View* customView() const noexcept { return customView_; }
    std::optional<SystemItem> systemItem() const noexcept { return systemItem_; }
    float width() const noexcept { return width_; }
    void setWidth(float width) noexcept { width_ = width; }
    bool isFlexibleSpace() const noexcept { return systemItem_ == SystemItem::FlexibleSpace; }
    bool isSpace() const noexcept
    {
        return systemItem_ == SystemItem::FlexibleSpace || systemItem_ == SystemItem::FixedSpace;
    }
    void sendAction() { if (action_) action_(); }

private:
    friend class Toolbar;
    View* customView_ = nullptr;
    std::unique_ptr<View> ownedView_;
    std::optional<SystemItem> systemItem_;
    std::function<void()> action_;
    float width_ = 0;
};

class Toolbar : public View {
public:
    // Margin at each end of the bar, before the first and after the last item.
    static constexpr float edgeMarginPoints = 6;
    static constexpr float defaultHeight = 44;

    explicit Toolbar(Rect frame = {}) : View(frame) {}

    BarStyle barStyle() const noexcept { return barStyle_; }
    void setBarStyle(BarStyle style);
    // Takes the width of the superview (or 320) and the default height.
    void sizeToFit();

    // The items are not owned: they live with the controller. The custom views of
    // the shown items become subviews of the bar; views of items no longer shown
    // go back to their items. An item listed twice is shown at its first place.
    void setItems(std::vector<BarButtonItem*> items, bool animated);
    const std::vector<BarButtonItem*>& items() const noexcept { return items_; }

    // Each item's rectangle in the bar's own coordinates, in item order.
    // A custom view keeps its height and vertical placement within the bar.
    std::vector<Rect> itemFrames() const;
    // The system item (not a custom view) under a point of the bar, if any.
    BarButtonItem* systemItemAt(Point pointInBar) const;

    bool takesTouches() const noexcept override { return true; }
    void touchesBegan(const TouchEvent&) override;
    void touchesEnded(const TouchEvent&) override;
    void touchesCancelled(const TouchEvent&) override;
    // The system item being touched, for highlighting.
    const BarButtonItem* highlightedItem() const noexcept { return pressed_; }

    // The bar in its style's colour with a light line along its top, the system
    // items' icons, and the glow of the one being touched.
    void describeContent(ContentRecorder& recorder) const override;

protected:
    void layoutSubviews() override { layoutItems(); }

private:
    void layoutItems();
    BarStyle barStyle_ = BarStyle::Default;
    std::vector<BarButtonItem*> items_;
    BarButtonItem* pressed_ = nullptr;
};

} // namespace platform
