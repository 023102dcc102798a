#include "platform/ViewController.h"

#include "platform/Window.h"

#include <cassert>

namespace platform {

ViewController::~ViewController() = default;

View& ViewController::view()
{
    if (!view_) {
        loadView();
        assert(view_ && "loadView must set a view");
        viewDidLoad();
    }
    return *view_;
}

std::unique_ptr<View> ViewController::takeView()
{
    view();
    assert(ownedView_ && "the view was already handed over");
    return std::move(ownedView_);
}

void ViewController::loadView()
{
    auto root = std::make_unique<View>(Rect{0, 0, Window::widthPoints, Window::heightPoints});
    root->setBackgroundColor(Color::black());
    setView(std::move(root));
}

void ViewController::setView(std::unique_ptr<View> view)
{
    view_ = view.get();
    ownedView_ = std::move(view);
}

void ViewController::presentModalViewController(std::unique_ptr<ViewController> controller, bool animated)
{
    window_.presentModal(std::move(controller), animated);
}

void ViewController::dismissModalViewControllerAnimated(bool animated)
{
    window_.dismissModal(animated);
}

} // namespace platform
