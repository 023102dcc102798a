#pragma once
// The one window: the 320 × 480-point screen. Holds the root view, modal
// screens and alerts, dispatches one finger's touches to the views, and keys and
// typed text to the focused view.

#include "platform/Clock.h"
#include "platform/Keys.h"
#include "platform/View.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

class ViewController;

// Alert with one button that closes it.
struct AlertSpec {
    std::string title;
    std::string message;
    std::string cancelButtonTitle;
    friend bool operator==(const AlertSpec&, const AlertSpec&) = default;
};

class Window {
public:
    static constexpr float widthPoints = 320;
    static constexpr float heightPoints = 480;
    // Modal screens slide in from the bottom and out to it in this time.
    static constexpr double modalSlideSeconds = 0.3;

    explicit Window(const Clock& clock);
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    const Clock& clock() const noexcept { return clock_; }

    // The window's own view: 320 × 480 points, black; the root view goes into it.
    View& contentView() noexcept { return *content_; }
    void addSubview(std::unique_ptr<View> view);
    void makeKeyAndVisible() noexcept { visible_ = true; }
    bool isVisible() const noexcept { return visible_; }

    // --- Modal screens --------------------------------------------------------
    // Shows the controller's view over everything, sliding up when animated.
    // While shown it takes every touch; the screen below keeps running.
    void presentModal(std::unique_ptr<ViewController> controller, bool animated);
    // Slides the top modal screen down (or removes it at once). The controller
    // stays alive until the slide has ended and the run loop has turned, so a
    // controller may dismiss itself from inside its own callback.
    void dismissModal(bool animated);
    ViewController* presentedController() const noexcept;
    // The on-screen y offset of the modal view at this moment (0 when fully up,
    // 480 when fully down), for compositing.
    float modalOffsetAt(Nanoseconds now) const noexcept;
    // Drops modal screens whose dismissal has finished. Called by the backend each turn.
    void collectDismissed(Nanoseconds now);
    // Every modal view being shown or sliding, bottom first, for compositing.
    std::vector<std::pair<View*, float>> modalLayers(Nanoseconds now) const;

    // --- Alerts ---------------------------------------------------------------
    // Shown centred over everything, taking touches until its button is tapped.
    void showAlert(AlertSpec alert);
    const std::vector<AlertSpec>& alertsShown() const noexcept { return alertsShown_; }
    bool isAlertVisible() const noexcept { return alertView_ != nullptr; }
    View* alertView() const noexcept { return alertView_.get(); }
    // Closes the front alert as its button would.
    void dismissAlert();

    // --- Touches (one finger, screen points) ----------------------------------
    void touchDown(Point location);
    void touchMove(Point location);
    void touchUp(Point location);
    // The view under a screen point that would take a touch, honouring alerts and modals.
    View* hitTest(Point location);
    // Whether a finger is on the screen: between touchDown and touchUp.
    bool isTouchDown() const noexcept { return touchDown_; }

    // --- Keys and typed text --------------------------------------------------
    // Gives the view the focus: it receives keys and typed text first. Only a view
    // that can take the focus and lies in the front layer (the alert, else the front
    // modal screen, else the content) takes it; nullptr clears the focus. Returns
    // whether the view has the focus now.
    bool setFocusedView(View* view);
    // The focused view while it is still in the front layer; nullptr otherwise.
    View* focusedView() const noexcept;
    // A key from the keyboard. Escape or Return closes the front alert as its button
    // would; the views and screens the alert covers see no key. Otherwise the focused view and then its superviews
    // are offered the key, then the controller of the front modal screen. What none
    // of them took goes to the key command handler. Returns whether anything acted.
    bool keyEvent(const KeyEvent& event, KeyPhase phase);
    // Typed text goes to the focused view; without one it is dropped.
    void textInput(const std::string& utf8);
    // A mouse wheel over a screen point: offered to the view there that takes touches,
    // then to its superviews. Returns whether one scrolled.
    bool scrollWheel(Point location, float deltaPoints);
    // What acts on the keys that no screen took: the application's shortcuts.
    using KeyCommandHandler = std::function<bool(const KeyEvent&, KeyPhase)>;
    void setKeyCommandHandler(KeyCommandHandler handler) { keyCommands_ = std::move(handler); }

    // Bumped whenever something that the compositor shows may have changed in
    // ways the views do not track themselves (modals, alerts).
    unsigned long generation() const noexcept { return generation_; }

private:
    struct Modal {
        std::unique_ptr<ViewController> controller;
        std::unique_ptr<View> view;
        Nanoseconds presentedAt = 0;
        bool animatedIn = false;
        std::optional<Nanoseconds> dismissedAt;
        bool animatedOut = false;
    };
    // 0 when fully up, heightPoints when fully down.
    static float offsetOf(const Modal& modal, Nanoseconds now) noexcept;
    // Whether a dismissed modal has slid all the way out.
    static bool slideHasEnded(const Modal& modal, Nanoseconds now) noexcept;
    // The top modal that is not on its way out: the one that takes touches.
    Modal* topPresentedModal() noexcept;
    const Modal* topPresentedModal() const noexcept;
    void showNextAlert();
    // Whether the touched view is still in one of the window's trees. Views can be
    // removed (and freed) by any action, so the pointer is never trusted on its own.
    bool touchedViewIsLive() const noexcept;
    // Fires the first recogniser of the touched view or its superviews that sees a
    // swipe from the touch's start to the location, cancelling the touch on the view.
    bool recogniseSwipe(Point location, Nanoseconds now);
    // Whether a move or lift goes on to the touched view: not when that view has left
    // the trees meanwhile (the touch is dropped), nor when it completes a swipe.
    bool touchReachesView(Point location, Nanoseconds now);
    void forgetTouch() noexcept;
    static void destroy(Modal& modal) noexcept;

    const Clock& clock_;
    std::unique_ptr<View> content_;
    bool visible_ = false;
    std::vector<Modal> modals_;
    std::vector<AlertSpec> alertsShown_;
    std::vector<AlertSpec> alertQueue_;
    std::unique_ptr<View> alertView_;
    void buildAlertView();

    // Closed alerts wait here until no action of theirs can still be running.
    std::vector<std::unique_ptr<View>> retiredAlertViews_;

    // The root of the layer that takes touches and keys now.
    View* frontRoot() const noexcept;

    View* touched_ = nullptr;
    std::uint64_t touchedSerial_ = 0;
    Point touchStart_;
    Nanoseconds touchStartTime_ = 0;
    bool touchDown_ = false;
    unsigned long generation_ = 0;

    View* focused_ = nullptr;
    std::uint64_t focusedSerial_ = 0;
    KeyCommandHandler keyCommands_;
};

} // namespace platform
