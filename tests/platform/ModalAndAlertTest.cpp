#include "platform/Button.h"
#include "platform/Label.h"
#include "platform/RunLoop.h"
#include "platform/ViewController.h"
#include "platform/Window.h"
#include "platform/headless/VirtualClock.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace platform;

namespace {

// A screen with one "close" button that dismisses the screen from inside its own
// action, and a flag that tells when the controller is gone.
class ClosingScreen : public ViewController {
public:
    ClosingScreen(Window& window, bool& destroyed) : ViewController(window), destroyed_(destroyed) {}
    ~ClosingScreen() override { destroyed_ = true; }

    void viewDidLoad() override
    {
        ++loads;
        Button& close = view().addSubview(std::make_unique<Button>(Rect{0, 0, 100, 44}));
        close.addAction([this] { dismissModalViewControllerAnimated(true); }, ControlEvent::TouchUpInside);
    }
    int loads = 0;

private:
    bool& destroyed_;
};

template <class T>
T* findSubview(View& root)
{
    for (const auto& sub : root.subviews()) {
        if (auto* found = dynamic_cast<T*>(sub.get()))
            return found;
        if (T* deeper = findSubview<T>(*sub))
            return deeper;
    }
    return nullptr;
}

class ModalAndAlert : public ::testing::Test {
protected:
    ModalAndAlert() : window(clock)
    {
        clock.attach(loop);
        contentButton = &window.contentView().addSubview(std::make_unique<Button>(Rect{0, 0, 320, 480}));
        contentButton->addAction([this] { ++contentTaps; }, ControlEvent::TouchUpInside);
    }

    void tap(Point p)
    {
        window.touchDown(p);
        window.touchUp(p);
    }

    // Moves the clock as the backend's loop does: time passes, then finished slides are collected.
    void runFor(double seconds)
    {
        clock.advance(seconds);
        window.collectDismissed(clock.now());
    }

    headless::VirtualClock clock;
    RunLoop loop{clock};
    bool destroyed = false;   // outlives the window, which may still own the screen
    Window window;
    Button* contentButton = nullptr;
    int contentTaps = 0;
};

TEST_F(ModalAndAlert, ModalTakesEveryTouchWhileTheScreenBelowKeepsRunning)
{
    int ticks = 0;
    TimerHandle tick = loop.scheduledTimer(0.2, [&] { ++ticks; });
    window.presentModal(std::make_unique<ClosingScreen>(window, destroyed), true);

    tap({200, 300});   // on the modal's plain background: taken, and nothing happens
    EXPECT_EQ(contentTaps, 0);
    runFor(1.0);
    EXPECT_EQ(ticks, 5);

    tap({50, 20});     // the modal's close button
    EXPECT_EQ(window.presentedController(), nullptr);
    tap({200, 300});   // a screen on its way out takes no touches
    EXPECT_EQ(contentTaps, 1);
}

TEST_F(ModalAndAlert, ModalSlidesUpAndDownOverTheSlideTime)
{
    const Nanoseconds start = clock.now();
    window.presentModal(std::make_unique<ClosingScreen>(window, destroyed), true);
    EXPECT_EQ(window.modalOffsetAt(start), 480);
    EXPECT_NEAR(window.modalOffsetAt(start + 150'000'000), 240, 1e-3);
    EXPECT_EQ(window.modalOffsetAt(start + 300'000'000), 0);
    EXPECT_EQ(window.modalOffsetAt(start + 900'000'000), 0);

    runFor(1.0);
    const Nanoseconds out = clock.now();
    window.dismissModal(true);
    EXPECT_EQ(window.modalOffsetAt(out), 0);
    EXPECT_NEAR(window.modalOffsetAt(out + 150'000'000), 240, 1e-3);
    ASSERT_EQ(window.modalLayers(out + 299'000'000).size(), 1u);
    EXPECT_TRUE(window.modalLayers(out + 300'000'000).empty());
}

TEST_F(ModalAndAlert, SelfDismissingControllerLivesUntilTheSlideIsCollected)
{
    auto screen = std::make_unique<ClosingScreen>(window, destroyed);
    ClosingScreen* observed = screen.get();
    window.presentModal(std::move(screen), true);
    EXPECT_EQ(window.presentedController(), observed);
    EXPECT_EQ(observed->loads, 1);
    runFor(0.5);

    tap({50, 20});   // dismisses from inside the button's own action
    EXPECT_FALSE(destroyed);
    runFor(0.29);
    EXPECT_FALSE(destroyed);
    runFor(0.01);
    EXPECT_TRUE(destroyed);
    EXPECT_TRUE(window.modalLayers(clock.now()).empty());
}

TEST_F(ModalAndAlert, UnanimatedDismissalIsCollectedAtTheNextTurn)
{
    window.presentModal(std::make_unique<ClosingScreen>(window, destroyed), false);
    EXPECT_EQ(window.modalOffsetAt(clock.now()), 0);
    window.dismissModal(false);
    EXPECT_FALSE(destroyed);
    EXPECT_TRUE(window.modalLayers(clock.now()).empty());
    window.collectDismissed(clock.now());
    EXPECT_TRUE(destroyed);
}

TEST_F(ModalAndAlert, TouchOnAScreenThatIsRemovedMeanwhileIsForgotten)
{
    window.presentModal(std::make_unique<ClosingScreen>(window, destroyed), false);
    window.touchDown({50, 20});   // on the close button
    window.dismissModal(false);
    window.collectDismissed(clock.now());
    ASSERT_TRUE(destroyed);
    window.touchUp({50, 20});     // must not reach the freed button
    EXPECT_EQ(contentTaps, 0);
}

TEST_F(ModalAndAlert, AlertsQueueAndOnlyTheAlertTakesTouches)
{
    const AlertSpec first{"Email", "Problem sending Email. Please check your network connectivity.", "OK"};
    const AlertSpec second{"Second", "", "Close"};
    const unsigned long generationBefore = window.generation();
    window.showAlert(first);
    window.showAlert(second);
    EXPECT_NE(window.generation(), generationBefore);
    EXPECT_EQ(window.alertsShown(), std::vector<AlertSpec>{first});

    View* alert = window.alertView();
    ASSERT_NE(alert, nullptr);
    EXPECT_NEAR(alert->frame().midX(), 160, 0.5);
    EXPECT_NEAR(alert->frame().midY(), 240, 0.5);
    Label* title = findSubview<Label>(*alert);
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->text(), "Email");

    tap({5, 5});   // outside the panel, on the content's button
    EXPECT_EQ(contentTaps, 0);

    Button* ok = findSubview<Button>(*alert);
    ASSERT_NE(ok, nullptr);
    tap(ok->frameOnScreen().center());
    EXPECT_EQ(window.alertsShown(), (std::vector<AlertSpec>{first, second}));
    ASSERT_TRUE(window.isAlertVisible());

    ok = findSubview<Button>(*window.alertView());
    tap(ok->frameOnScreen().center());
    EXPECT_FALSE(window.isAlertVisible());
    tap({5, 5});
    EXPECT_EQ(contentTaps, 1);
}

} // namespace
