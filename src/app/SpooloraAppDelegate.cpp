#include "app/SpooloraAppDelegate.h"

#include <cassert>

SpooloraAppDelegate::SpooloraAppDelegate(platform::Platform& platform) : platform_(platform) {}

void SpooloraAppDelegate::setMainViewController(std::unique_ptr<MainViewController> controller) noexcept
{
    mainViewController_ = std::move(controller);
}

void SpooloraAppDelegate::applicationDidFinishLaunching()
{
    platform::UserDefaults& defaults = platform_.standardUserDefaults();
    // Any marker but ours, absence included, may come from a damaged or foreign
    // store: start over with the first skin.
    if (defaults.integerForKey(firstStartupKey) != firstStartupDoneMarker) {
        defaults.setIntegerForKey(0, MainViewController::selectedTapePreferenceKey);
        defaults.setIntegerForKey(firstStartupDoneMarker, firstStartupKey);
        defaults.synchronize();
    }

    // A music player is looked at, not touched: the screen must not dim or lock.
    platform_.setIdleTimerDisabled(true);

    // Asking for the view builds the whole screen and starts the tick, so the
    // first-start values above are in place before the skin index is read.
    assert(window_ && mainViewController_ && "delegate not connected before launch");
    mainViewController_->view();
    window_->addSubview(mainViewController_->takeView());
    window_->makeKeyAndVisible();
}

void SpooloraAppDelegate::applicationDidBecomeActive()
{
    if (!mainViewController_ || !mainViewController_->rightWheelImageView)
        return;
    if (!mainViewController_->leftWheelImageView)
        return;
    // Animations may have been dropped while the application was away.
    mainViewController_->setRotationAnimation();
}

void SpooloraAppDelegate::applicationWillTerminate()
{
    platform_.setIdleTimerDisabled(false);
}

std::unique_ptr<SpooloraAppDelegate> makeApplicationDelegate(platform::Platform& platform)
{
    auto delegate = std::make_unique<SpooloraAppDelegate>(platform);
    delegate->setWindow(&platform.window());
    delegate->setMainViewController(std::make_unique<MainViewController>(platform));
    return delegate;
}
