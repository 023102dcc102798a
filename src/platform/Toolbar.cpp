#include "platform/Toolbar.h"

#include "platform/ViewContent.h"

#include <algorithm>
#include <cassert>

// Sections: items and their views · layout · touches on system items · content.

namespace platform {

namespace {

// Whether the item at this position is the first appearance of its item. Spaces may
// stand at many places (one flexible space object fills every gap); anything else is
// shown only where it first appears, as a view cannot be in two places at once.
bool isShownAt(const std::vector<BarButtonItem*>& items, std::size_t index)
{
    const BarButtonItem* item = items[index];
    if (item->isSpace())
        return true;
    return std::find(items.begin(), items.begin() + static_cast<std::ptrdiff_t>(index), item) ==
           items.begin() + static_cast<std::ptrdiff_t>(index);
}

bool contains(const std::vector<BarButtonItem*>& items, const BarButtonItem* item)
{
    return std::find(items.begin(), items.end(), item) != items.end();
}

} // namespace

// --- Items and their views ----------------------------------------------------

void Toolbar::setBarStyle(BarStyle style)
{
    if (style == barStyle_)
        return;
    barStyle_ = style;
    contentChanged();
}

void Toolbar::sizeToFit()
{
    const float width = superview() ? superview()->bounds().width : 320;
    const Rect f = frame();
    setFrame({f.x, f.y, width, defaultHeight});
}

void Toolbar::setItems(std::vector<BarButtonItem*> items, bool /*animated*/)
{
    assert(std::all_of(items.begin(), items.end(), [](const BarButtonItem* item) { return item != nullptr; }) &&
           "toolbar item is null");

    // Views of items that leave the bar go back to their items first, so that an item
    // that stays keeps its view on the bar untouched.
    for (BarButtonItem* item : items_) {
        if (!item->customView_ || contains(items, item) || item->ownedView_)
            continue;
        if (item->customView_->superview() == this)
            item->ownedView_ = item->customView_->removeFromSuperview();
    }
    items_ = std::move(items);
    for (BarButtonItem* item : items_) {
        if (!item->customView_ || !item->ownedView_)
            continue;
        addSubview(std::move(item->ownedView_));
    }
    assert(std::all_of(items_.begin(), items_.end(),
                       [this](const BarButtonItem* item) {
                           return !item->customView_ || item->customView_->superview() == this;
                       }) &&
           "custom view is shown on another bar");
    if (pressed_ && !contains(items_, pressed_))
        pressed_ = nullptr;
    layoutItems();
    // The bar itself draws the system items, so its picture changes with the list.
    contentChanged();
}

// --- Layout -------------------------------------------------------------------

std::vector<Rect> Toolbar::itemFrames() const
{
    const double barWidth = bounds().width;
    const double barHeight = bounds().height;

    std::vector<double> widths(items_.size(), 0.0);
    double fixedWidth = 0;
    int flexibleCount = 0;
    for (std::size_t i = 0; i < items_.size(); ++i) {
        const BarButtonItem* item = items_[i];
        if (item->isFlexibleSpace()) {
            ++flexibleCount;
            continue;
        }
        if (!isShownAt(items_, i))
            continue;
        if (item->customView_)
            widths[i] = item->customView_->frame().width;
        else if (item->systemItem_ == SystemItem::FixedSpace)
            widths[i] = item->width_;
        else
            widths[i] = item->width_ > 0 ? item->width_ : BarButtonItem::systemItemWidth;
        fixedWidth += widths[i];
    }
    // Items too wide for the bar leave the flexible spaces at nothing; they are not squeezed.
    const double spare = barWidth - 2.0 * edgeMarginPoints - fixedWidth;
    const double flexibleWidth = flexibleCount > 0 && spare > 0 ? spare / flexibleCount : 0.0;

    std::vector<Rect> frames;
    frames.reserve(items_.size());
    double x = edgeMarginPoints;
    for (std::size_t i = 0; i < items_.size(); ++i) {
        const BarButtonItem* item = items_[i];
        const double width = item->isFlexibleSpace() ? flexibleWidth : widths[i];
        Rect r{static_cast<float>(x), 0, static_cast<float>(width), static_cast<float>(barHeight)};
        if (item->customView_ && isShownAt(items_, i)) {
            const Rect own = item->customView_->frame();
            r.y = own.y;
            r.height = own.height;
        }
        frames.push_back(r);
        x += width;
    }
    return frames;
}

void Toolbar::layoutItems()
{
    const std::vector<Rect> frames = itemFrames();
    for (std::size_t i = 0; i < items_.size(); ++i) {
        View* view = items_[i]->customView_;
        if (view && isShownAt(items_, i))
            view->setFrame(frames[i]);
    }
}

BarButtonItem* Toolbar::systemItemAt(Point pointInBar) const
{
    const std::vector<Rect> frames = itemFrames();
    for (std::size_t i = 0; i < items_.size(); ++i) {
        BarButtonItem* item = items_[i];
        if (item->customView_ || item->isSpace() || !item->systemItem_ || !isShownAt(items_, i))
            continue;
        if (frames[i].contains(pointInBar))
            return item;
    }
    return nullptr;
}

// --- Touches on system items ----------------------------------------------------
// Custom views are buttons of their own and take their touches through hit testing;
// the bar only sees touches that land on a system item or on empty bar.

void Toolbar::touchesBegan(const TouchEvent& event)
{
    pressed_ = systemItemAt(convertFromScreen(event.location));
    if (pressed_)
        contentChanged();
}

void Toolbar::touchesEnded(const TouchEvent& event)
{
    BarButtonItem* item = pressed_;
    if (!item)
        return;
    pressed_ = nullptr;
    contentChanged();
    const auto position = std::find(items_.begin(), items_.end(), item) - items_.begin();
    const Rect area = itemFrames()[static_cast<std::size_t>(position)];
    // Same forgiveness as a button: a finger that drifts a little off still counts.
    const float slop = Button::touchSlopPoints;
    if (area.insetBy(-slop, -slop).contains(convertFromScreen(event.location)))
        item->sendAction();   // last: the action may well change this bar's items
}

void Toolbar::touchesCancelled(const TouchEvent&)
{
    if (!pressed_)
        return;
    pressed_ = nullptr;
    contentChanged();
}

// --- Content --------------------------------------------------------------------

void Toolbar::describeContent(ContentRecorder& recorder) const
{
    const Rect area = bounds();
    // Translucent black lets the cassette show through, as the bar lies over it.
    Color bar{20.0f / 255, 20.0f / 255, 24.0f / 255, 1};
    if (barStyle_ == BarStyle::BlackTranslucent)
        bar = {0, 0, 0, 150.0f / 255};
    else if (barStyle_ == BarStyle::Default)
        bar = {92.0f / 255, 110.0f / 255, 132.0f / 255, 1};
    recorder.fill(area, bar, 0);
    recorder.fill({0, 0, area.width, 1}, {1, 1, 1, 0.16f}, 1);

    const std::vector<Rect> frames = itemFrames();
    for (std::size_t i = 0; i < items_.size() && i < frames.size(); ++i) {
        const BarButtonItem* item = items_[i];
        if (!item->systemItem_ || item->isSpace() || !isShownAt(items_, i))
            continue;
        const char* name = nullptr;
        switch (*item->systemItem_) {
        case SystemItem::Play: name = "UIBarButtonSystemPlay.png"; break;
        case SystemItem::Pause: name = "UIBarButtonSystemPause.png"; break;
        case SystemItem::Action: name = "UIBarButtonSystemAction.png"; break;
        default: break;
        }
        const int piece = 2 + 2 * static_cast<int>(std::min<std::size_t>(i, 98));
        if (name)
            recorder.picture(Image::named(name), frames[i], PictureFit::CentredCut, piece);
        if (pressed_ == item)
            recorder.glow({frames[i].midX(), frames[i].midY()}, piece + 1);
    }
}

} // namespace platform
