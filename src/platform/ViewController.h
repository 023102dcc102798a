#pragma once
// A screen's controller: owns its root view (loaded on first request) and can
// present another controller's screen modally over the window.

#include "platform/View.h"

#include <memory>

namespace platform {

class Window;

class ViewController {
public:
    // The window is where modal screens are presented.
    explicit ViewController(Window& window) : window_(window) {}
    virtual ~ViewController();
    ViewController(const ViewController&) = delete;
    ViewController& operator=(const ViewController&) = delete;

    // Loads the view on the first request (loadView, then viewDidLoad).
    View& view();
    bool isViewLoaded() const noexcept { return view_ != nullptr; }
    // Hands the loaded root view over (to a window or a modal presentation).
    // The controller keeps a pointer to it.
    std::unique_ptr<View> takeView();

    // Creates the root view: 320 × 480 points, black.
    virtual void loadView();
    virtual void viewDidLoad() {}
    virtual void didReceiveMemoryWarning() {}
    virtual void viewDidUnload() {}

    // The window owns the presented controller until it is dismissed.
    void presentModalViewController(std::unique_ptr<ViewController> controller, bool animated);
    void dismissModalViewControllerAnimated(bool animated);

    // A key that no view of this screen took while the screen is presented in front.
    // Returns whether the controller acted on it.
    virtual bool keyEvent(const KeyEvent&, KeyPhase) { return false; }

protected:
    void setView(std::unique_ptr<View> view);
    Window& window() noexcept { return window_; }

private:
    Window& window_;
    View* view_ = nullptr;
    std::unique_ptr<View> ownedView_;
};

} // namespace platform
