#pragma once
// The application delegate: writes the first-start preferences, keeps the screen
// awake while the player is in front, puts the player screen into the window and
// restarts the reel spin whenever the application becomes active.

#include "platform/Platform.h"
#include "platform/Window.h"
#include "player/MainViewController.h"

#include <memory>

class SpooloraAppDelegate {
public:
    // Preference keys and the values a first start writes.
    static constexpr const char* firstStartupKey = "first_startup_parameter_userprefs";
    static constexpr std::int64_t firstStartupDoneMarker = 100;

    explicit SpooloraAppDelegate(platform::Platform& platform);

    // The application's one window (not owned: the platform owns it).
    platform::Window* window() const noexcept { return window_; }
    void setWindow(platform::Window* window) noexcept { window_ = window; }
    // The player screen's controller, owned by the delegate for the life of the process.
    MainViewController* mainViewController() const noexcept { return mainViewController_.get(); }
    void setMainViewController(std::unique_ptr<MainViewController> controller) noexcept;

    // Launch sequence. Needs the window and the controller connected first.
    void applicationDidFinishLaunching();
    // Rebuilds the reel animations once the screen exists; does nothing before.
    void applicationDidBecomeActive();
    // Gives the device its normal screen dimming back.
    void applicationWillTerminate();

private:
    platform::Platform& platform_;
    platform::Window* window_ = nullptr;
    std::unique_ptr<MainViewController> mainViewController_;
};

// What the application's interface resource does: a delegate with the platform's
// window and one player controller connected, ready for the launch sequence.
std::unique_ptr<SpooloraAppDelegate> makeApplicationDelegate(platform::Platform& platform);
