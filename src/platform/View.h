#pragma once
// The retained view tree. A view is placed by its centre, the size of its bounds
// and a rotation about its centre; its frame is the upright rectangle that the
// turned view covers in its superview. A view owns its subviews.
//
// Sections: geometry · appearance · tree · content and drawing · touches · keys.

#include "platform/Geometry.h"
#include "platform/Keys.h"
#include "platform/Layer.h"

#include <cassert>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

class SwipeGestureRecognizer;
class GraphicsContext;
class Window;
class ContentRecorder;

// Only rotations are needed: a turn by an angle (radians) about the view's centre.
// Positive angles turn clockwise on screen (y grows downwards).
struct AffineTransform {
    float rotation = 0;
    static AffineTransform identity() noexcept { return {}; }
    static AffineTransform makeRotation(float radians) noexcept { return {radians}; }
    bool isIdentity() const noexcept { return rotation == 0; }
    friend bool operator==(const AffineTransform&, const AffineTransform&) = default;
};

struct TouchEvent;

class View {
public:
    explicit View(Rect frame = {});
    virtual ~View();
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    // --- Geometry -------------------------------------------------------------
    // The upright rectangle the turned view covers, in superview coordinates.
    // Quarter turns are exact (no float noise from cos(π/2)).
    Rect frame() const noexcept;
    // Places the view so that its turned bounds cover the rectangle: centre at the
    // rectangle's centre, bounds size solved through the rotation (width and height
    // swap for a quarter turn). Keeps the rotation.
    void setFrame(Rect frame) noexcept;
    Point center() const noexcept { return center_; }
    void setCenter(Point center) noexcept;
    Rect bounds() const noexcept { return {0, 0, boundsSize_.width, boundsSize_.height}; }
    void setBoundsSize(Size size) noexcept;
    AffineTransform transform() const noexcept { return transform_; }
    void setTransform(AffineTransform transform) noexcept;

    // Screen point to this view's bounds coordinates (through every superview's placement and turn).
    Point convertFromScreen(Point screenPoint) const noexcept;
    // This view's bounds corner to screen, for an upright tree; for tests and dumps.
    Rect frameOnScreen() const noexcept;

    // --- Appearance -----------------------------------------------------------
    bool isHidden() const noexcept { return hidden_; }
    // A change tells this view and every view below it (visibilityDidChange).
    void setHidden(bool hidden) noexcept;
    // Whether neither this view nor any superview is hidden.
    bool isVisibleInTree() const noexcept;
    Color backgroundColor() const noexcept { return backgroundColor_; }
    void setBackgroundColor(Color color) noexcept;
    float alpha() const noexcept { return alpha_; }
    void setAlpha(float alpha) noexcept;

    // --- Tree -----------------------------------------------------------------
    // Adds on top of the existing subviews and returns the added view.
    template <class T>
    T& addSubview(std::unique_ptr<T> view)
    {
        T& added = *view;
        adoptSubview(std::unique_ptr<View>(std::move(view)));
        return added;
    }
    // Moves a subview of this view to the position directly below a sibling.
    // Either not being a subview is a bug.
    void insertSubviewBelowSubview(View& view, View& sibling);
    // Detaches this view from its superview and hands over its ownership.
    std::unique_ptr<View> removeFromSuperview();
    const std::vector<std::unique_ptr<View>>& subviews() const noexcept { return subviews_; }
    View* superview() const noexcept { return superview_; }
    // Index among the superview's subviews (0 is the bottom).
    std::size_t indexInSuperview() const;
    // The window whose content tree holds this view; nullptr for a view outside it
    // (not yet added, or in a modal screen).
    Window* window() const noexcept;
    // Unique to this view for the life of the process, so that an observer holding a
    // raw pointer can tell this view from a later one built at the same address.
    std::uint64_t serialNumber() const noexcept { return serial_; }

    // --- Content and drawing --------------------------------------------------
    // Asks for drawRect at the backend's next drawing pass; counts requests.
    void setNeedsDisplay() noexcept;
    bool needsDisplay() const noexcept { return needsDisplay_; }
    unsigned long displayRequestCount() const noexcept { return displayRequests_; }
    // Runs drawRect over the whole bounds into the context (made current for the
    // call) and clears the request. Called by the backend, main thread.
    void display(GraphicsContext& context);
    // Draws the view's own content. The context is currentGraphicsContext().
    virtual void drawRect(Rect area);
    // Whether drawRect draws anything (true for views that override it).
    virtual bool drawsContent() const noexcept { return false; }
    // What drawRect's drawing depends on besides the view's size, summed up, for a
    // view that always draws the same for the same key: asked to draw again with an
    // unchanged key, a backend that still holds the last drawing may keep it and call
    // displayKept instead of display. None by default: every request draws.
    virtual std::optional<std::uint64_t> drawingKey() const noexcept { return std::nullopt; }
    // Clears the request, the drawing kept. Called by the backend, main thread.
    void displayKept() noexcept { needsDisplay_ = false; }
    // Tells the backend the pieces this view shows of itself (ViewContent.h); by
    // default its drawRect drawing when it draws any. Kinds of views that show
    // pictures or fills say so here.
    virtual void describeContent(ContentRecorder& recorder) const;
    // Bumped by every change that alters what this view itself shows (not its
    // subviews, not its placement); a compositor caches its texture against it.
    unsigned long contentVersion() const noexcept { return contentVersion_; }

    Layer& layer() noexcept { return layer_; }
    const Layer& layer() const noexcept { return layer_; }

    // --- Touches --------------------------------------------------------------
    bool isUserInteractionEnabled() const noexcept { return userInteractionEnabled_; }
    void setUserInteractionEnabled(bool enabled) noexcept { userInteractionEnabled_ = enabled; }
    void addGestureRecognizer(std::unique_ptr<SwipeGestureRecognizer> recognizer);
    const std::vector<std::unique_ptr<SwipeGestureRecognizer>>& gestureRecognizers() const noexcept
    {
        return recognizers_;
    }
    // Whether a touch may end on this view: controls, and views with recognisers.
    virtual bool takesTouches() const noexcept { return !recognizers_.empty(); }
    // The front-most visible, interaction-enabled view under the point that takes
    // touches, searching subviews front to back; the point is in this view's
    // superview coordinates. Hidden views and their subviews are skipped.
    View* hitTest(Point pointInSuperview);

    // Touch phases delivered by the window to the view that took the touch.
    // Points are screen points.
    virtual void touchesBegan(const TouchEvent&) {}
    virtual void touchesMoved(const TouchEvent&) {}
    virtual void touchesEnded(const TouchEvent&) {}
    // The touch was taken away (a gesture recognised): no action of the view fires.
    virtual void touchesCancelled(const TouchEvent&) {}
    // A mouse wheel turned over the view: positive moves content up (later content
    // comes into view). Returns whether the view scrolled; if not, its superview is asked.
    virtual bool scrollWheel(float /*deltaPoints*/) { return false; }

    // --- Keys and typed text --------------------------------------------------
    // Whether the window may give this view the keyboard focus (a text field).
    virtual bool canBecomeFocused() const noexcept { return false; }
    // A key while this view or one of its subviews has the focus. Returns whether the
    // view acted on it; when it did not, the window offers the key to the superview.
    virtual bool keyEvent(const KeyEvent&, KeyPhase) { return false; }
    // Text typed while this view has the focus: one or more characters, UTF-8.
    virtual void insertText(const std::string&) {}

protected:
    void contentChanged() noexcept { ++contentVersion_; }
    // This view or one of its superviews was hidden or shown.
    virtual void visibilityDidChange() noexcept {}
    // The root view of a window's content says which window it is.
    virtual Window* windowOfRoot() const noexcept { return nullptr; }
    // Called after the bounds size has changed, to place the subviews anew.
    virtual void layoutSubviews() {}

private:
    void adoptSubview(std::unique_ptr<View> view);
    void tellVisibilityChanged() noexcept;

    Point center_;
    Size boundsSize_;
    AffineTransform transform_;
    // The frame last given while the view was upright or quarter-turned, kept until
    // the placement changes: recomputing it from the float centre would move an
    // edge such as 31 to 31.000002.
    std::optional<Rect> frameAsSet_;
    bool hidden_ = false;
    Color backgroundColor_ = Color::clear();
    float alpha_ = 1;
    bool userInteractionEnabled_ = true;
    bool needsDisplay_ = false;
    unsigned long displayRequests_ = 0;
    unsigned long contentVersion_ = 0;
    Layer layer_;
    View* superview_ = nullptr;
    std::vector<std::unique_ptr<View>> subviews_;
    std::vector<std::unique_ptr<SwipeGestureRecognizer>> recognizers_;
    std::uint64_t serial_;
};

struct TouchEvent {
    Point location;          // screen points
    Nanoseconds timestamp = 0;
};

// A picture by resource name. The backend resolves the name; a name it cannot
// find shows nothing (and is not an error).
struct Image {
    std::string name;
    static Image named(std::string name) { return {std::move(name)}; }
    friend bool operator==(const Image&, const Image&) = default;
};

enum class ContentMode : std::int32_t { ScaleToFill = 0, Center = 4 };

class ImageView : public View {
public:
    explicit ImageView(Rect frame = {}) : View(frame) {}
    ImageView(std::optional<Image> image, Rect frame) : View(frame), image_(std::move(image)) {}
    const std::optional<Image>& image() const noexcept { return image_; }
    void setImage(std::optional<Image> image);
    ContentMode contentMode() const noexcept { return contentMode_; }
    void setContentMode(ContentMode mode);
    void describeContent(ContentRecorder& recorder) const override;

private:
    std::optional<Image> image_;
    ContentMode contentMode_ = ContentMode::ScaleToFill;
};

} // namespace platform
