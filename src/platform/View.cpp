#include "platform/View.h"

#include "platform/DrawingContext.h"
#include "platform/SwipeRecognizer.h"
#include "platform/Turn.h"
#include "platform/ViewContent.h"

#include <algorithm>
#include <atomic>
#include <cmath>

// Sections: geometry · appearance · tree · drawing · touches · image view.

namespace platform {

namespace {

std::atomic<std::uint64_t> nextSerial{1};

} // namespace

View::View(Rect frame) : serial_(nextSerial.fetch_add(1, std::memory_order_relaxed))
{
    center_ = frame.center();
    boundsSize_ = frame.size();
    frameAsSet_ = frame;
}

View::~View() = default;

// --- Geometry -----------------------------------------------------------------

Rect View::frame() const noexcept
{
    if (frameAsSet_)
        return *frameAsSet_;
    const Turn turn = turnFor(transform_.rotation);
    float width = boundsSize_.width;
    float height = boundsSize_.height;
    if (turn.swapsSides())
        std::swap(width, height);
    else if (!turn.quarter) {
        const double w = boundsSize_.width, h = boundsSize_.height;
        const double c = std::fabs(turn.cos), s = std::fabs(turn.sin);
        width = static_cast<float>(c * w + s * h);
        height = static_cast<float>(s * w + c * h);
    }
    return {center_.x - width / 2, center_.y - height / 2, width, height};
}

void View::setFrame(Rect frame) noexcept
{
    center_ = frame.center();
    const Turn turn = turnFor(transform_.rotation);
    if (turn.quarter) {
        setBoundsSize(turn.swapsSides() ? Size{frame.height, frame.width} : frame.size());
        frameAsSet_ = frame;
        return;
    }
    frameAsSet_.reset();
    // The frame is |cos|·w + |sin|·h wide and |sin|·w + |cos|·h high; solve for w and h.
    // At 45° (and odd multiples) every bounds of the same w + h covers the same frame,
    // so the system has no single answer and the size stays as it is.
    const double c = std::fabs(turn.cos), s = std::fabs(turn.sin);
    const double determinant = c * c - s * s;
    if (std::fabs(determinant) < 1e-6)
        return;
    const double width = (c * frame.width - s * frame.height) / determinant;
    const double height = (c * frame.height - s * frame.width) / determinant;
    // A frame too narrow for any turned rectangle gets the nearest thing: no negative sides.
    setBoundsSize({static_cast<float>(std::max(0.0, width)), static_cast<float>(std::max(0.0, height))});
}

void View::setCenter(Point center) noexcept
{
    center_ = center;
    frameAsSet_.reset();
}

void View::setBoundsSize(Size size) noexcept
{
    if (size == boundsSize_)
        return;
    boundsSize_ = size;
    frameAsSet_.reset();
    // What a view draws is sized to its bounds, so a cached picture of the old size is stale.
    contentChanged();
    layoutSubviews();
}

void View::setTransform(AffineTransform transform) noexcept
{
    if (!(transform == transform_))
        frameAsSet_.reset();
    transform_ = transform;
}

namespace {
// A point of the superview to the view's bounds coordinates: undo the placement, then the turn.
Point toBounds(Point inSuperview, Point center, Size boundsSize, float rotation) noexcept
{
    const Turn turn = turnFor(rotation);
    const double dx = double(inSuperview.x) - center.x;
    const double dy = double(inSuperview.y) - center.y;
    const double x = dx * turn.cos + dy * turn.sin;
    const double y = -dx * turn.sin + dy * turn.cos;
    return {static_cast<float>(x + boundsSize.width / 2.0), static_cast<float>(y + boundsSize.height / 2.0)};
}
} // namespace

Point View::convertFromScreen(Point screenPoint) const noexcept
{
    std::vector<const View*> chain;
    for (const View* v = this; v; v = v->superview_)
        chain.push_back(v);
    Point p = screenPoint;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        p = toBounds(p, (*it)->center_, (*it)->boundsSize_, (*it)->transform_.rotation);
    return p;
}

Rect View::frameOnScreen() const noexcept
{
    Rect r = frame();
    for (const View* s = superview_; s; s = s->superview_) {
        const Rect f = s->frame();
        r.x += f.x;
        r.y += f.y;
    }
    return r;
}

// --- Appearance ---------------------------------------------------------------

void View::setHidden(bool hidden) noexcept
{
    if (hidden == hidden_)
        return;
    hidden_ = hidden;
    tellVisibilityChanged();
}

void View::tellVisibilityChanged() noexcept
{
    visibilityDidChange();
    for (const auto& subview : subviews_)
        subview->tellVisibilityChanged();
}

bool View::isVisibleInTree() const noexcept
{
    for (const View* v = this; v; v = v->superview_)
        if (v->hidden_)
            return false;
    return true;
}

void View::setBackgroundColor(Color color) noexcept
{
    if (color == backgroundColor_)
        return;
    backgroundColor_ = color;
    contentChanged();
}

void View::setAlpha(float alpha) noexcept
{
    alpha_ = std::clamp(alpha, 0.0f, 1.0f);
}

// --- Tree ---------------------------------------------------------------------

void View::adoptSubview(std::unique_ptr<View> view)
{
    assert(view && "adding no view");
    assert(view->superview_ == nullptr && "view already has a superview");
    assert(view.get() != this && "a view cannot contain itself");
    view->superview_ = this;
    subviews_.push_back(std::move(view));
}

void View::insertSubviewBelowSubview(View& view, View& sibling)
{
    assert(view.superview_ == this && "view is not a subview");
    assert(sibling.superview_ == this && "sibling is not a subview");
    if (&view == &sibling)
        return;
    auto from = std::find_if(subviews_.begin(), subviews_.end(), [&](const auto& v) { return v.get() == &view; });
    std::unique_ptr<View> moving = std::move(*from);
    subviews_.erase(from);
    auto below = std::find_if(subviews_.begin(), subviews_.end(), [&](const auto& v) { return v.get() == &sibling; });
    subviews_.insert(below, std::move(moving));
}

std::unique_ptr<View> View::removeFromSuperview()
{
    if (!superview_)
        return nullptr;
    auto& siblings = superview_->subviews_;
    auto it = std::find_if(siblings.begin(), siblings.end(), [&](const auto& v) { return v.get() == this; });
    assert(it != siblings.end() && "view missing from its superview's list");
    std::unique_ptr<View> self = std::move(*it);
    siblings.erase(it);
    superview_ = nullptr;
    return self;
}

Window* View::window() const noexcept
{
    const View* root = this;
    while (root->superview_)
        root = root->superview_;
    return root->windowOfRoot();
}

std::size_t View::indexInSuperview() const
{
    assert(superview_ && "view has no superview");
    const auto& siblings = superview_->subviews_;
    auto it = std::find_if(siblings.begin(), siblings.end(), [&](const auto& v) { return v.get() == this; });
    return static_cast<std::size_t>(it - siblings.begin());
}

// --- Content and drawing ------------------------------------------------------

void View::setNeedsDisplay() noexcept
{
    needsDisplay_ = true;
    ++displayRequests_;
    contentChanged();
}

void View::display(GraphicsContext& context)
{
    CurrentGraphicsContextScope scope(context);
    // Cleared first, so that a drawRect asking to be drawn again is not lost.
    needsDisplay_ = false;
    drawRect(bounds());
}

void View::drawRect(Rect) {}

void View::describeContent(ContentRecorder& recorder) const
{
    if (drawsContent())
        recorder.drawing(0);
}

// --- Touches ------------------------------------------------------------------

void View::addGestureRecognizer(std::unique_ptr<SwipeGestureRecognizer> recognizer)
{
    assert(recognizer && "adding no recogniser");
    recognizers_.push_back(std::move(recognizer));
}

View* View::hitTest(Point pointInSuperview)
{
    // A view faded almost to nothing is as good as hidden for the finger.
    if (hidden_ || !userInteractionEnabled_ || alpha_ < 0.01f)
        return nullptr;
    const Point local = toBounds(pointInSuperview, center_, boundsSize_, transform_.rotation);
    if (!bounds().contains(local))
        return nullptr;
    for (auto it = subviews_.rbegin(); it != subviews_.rend(); ++it)
        if (View* hit = (*it)->hitTest(local))
            return hit;
    return takesTouches() ? this : nullptr;
}

// --- Image view ---------------------------------------------------------------

void ImageView::setImage(std::optional<Image> image)
{
    if (image == image_)
        return;
    image_ = std::move(image);
    contentChanged();
}

void ImageView::setContentMode(ContentMode mode)
{
    if (mode == contentMode_)
        return;
    contentMode_ = mode;
    contentChanged();
}

void ImageView::describeContent(ContentRecorder& recorder) const
{
    if (!image_)
        return;
    const PictureFit fit = contentMode_ == ContentMode::Center ? PictureFit::CentredShrunk : PictureFit::Fill;
    recorder.picture(*image_, bounds(), fit, 0);
}

} // namespace platform
