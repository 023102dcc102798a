#include "platform/Button.h"
#include "platform/SwipeRecognizer.h"
#include "platform/Window.h"
#include "platform/headless/VirtualClock.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace platform;

namespace {

// A window holding the cassette's touch layout: the big toggle button carrying the two
// swipe recognisers, and a cassette button above it without any.
class TouchDispatch : public ::testing::Test {
protected:
    TouchDispatch() : window(clock)
    {
        toggle = &window.contentView().addSubview(std::make_unique<Button>(Rect{0, 0, 320, 420}));
        record(*toggle, "toggle");
        auto right = std::make_unique<SwipeGestureRecognizer>([this] { log.push_back("swipe right"); });
        right->setDirection(SwipeDirection::Right);
        toggle->addGestureRecognizer(std::move(right));
        auto left = std::make_unique<SwipeGestureRecognizer>([this] { log.push_back("swipe left"); });
        left->setDirection(SwipeDirection::Left);
        toggle->addGestureRecognizer(std::move(left));

        upper = &window.contentView().addSubview(std::make_unique<Button>(Rect{98, 56, 100, 100}));
        record(*upper, "upper");
    }

    void record(Button& button, const std::string& name)
    {
        button.addAction([this, name] { log.push_back(name + " down"); }, ControlEvent::TouchDown);
        button.addAction([this, name] { log.push_back(name + " inside"); }, ControlEvent::TouchUpInside);
        button.addAction([this, name] { log.push_back(name + " outside"); }, ControlEvent::TouchUpOutside);
    }

    void drag(Point from, Point to, double seconds)
    {
        window.touchDown(from);
        clock.advance(seconds);
        window.touchMove(to);
        window.touchUp(to);
    }

    headless::VirtualClock clock;
    Window window;
    Button* toggle = nullptr;
    Button* upper = nullptr;
    std::vector<std::string> log;
};

TEST_F(TouchDispatch, ReleaseCountsAsInsideWithinTheSlopMargin)
{
    // The upper button spans x 98..198 and y 56..156; the slop adds 70 points each side.
    struct Case {
        Point release;
        const char* expected;
    };
    const Case cases[] = {
        {{150, 100}, "upper inside"},
        {{198 + 69.5f, 100}, "upper inside"},
        {{198 + 70, 100}, "upper outside"},   // the grown rectangle is half-open
        {{98 - 70, 100}, "upper inside"},
        {{98 - 70.5f, 100}, "upper outside"},
        {{150, 56 - 70}, "upper inside"},
        {{150, 156 + 80}, "upper outside"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected + std::string(" at x ") + std::to_string(c.release.x));
        log.clear();
        window.touchDown({150, 100});
        EXPECT_TRUE(upper->isHighlighted());
        clock.advance(1.0);   // slow, so no swipe can be involved
        window.touchUp(c.release);
        EXPECT_FALSE(upper->isHighlighted());
        EXPECT_EQ(log, (std::vector<std::string>{"upper down", c.expected}));
    }
}

TEST_F(TouchDispatch, SwipeOnTheViewWithRecognisersFiresOnlyTheRecogniser)
{
    drag({100, 300}, {160, 310}, 0.2);
    EXPECT_EQ(log, (std::vector<std::string>{"toggle down", "swipe right"}));
    EXPECT_FALSE(toggle->isHighlighted());

    log.clear();
    drag({200, 300}, {140, 290}, 0.2);
    EXPECT_EQ(log, (std::vector<std::string>{"toggle down", "swipe left"}));
}

TEST_F(TouchDispatch, SwipeIsRecognisedOnceAndTheRestOfTheTouchIsIgnored)
{
    window.touchDown({100, 300});
    clock.advance(0.1);
    window.touchMove({160, 300});
    window.touchMove({230, 300});
    window.touchUp({230, 300});
    EXPECT_EQ(log, (std::vector<std::string>{"toggle down", "swipe right"}));
}

TEST_F(TouchDispatch, MovementsThatAreNoSwipeEndAsTaps)
{
    struct Case {
        const char* what;
        Point to;
        double seconds;
    };
    const Case cases[] = {
        {"too short", {149, 300}, 0.2},
        {"too steep", {160, 331}, 0.2},
        {"too slow", {160, 300}, 0.61},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        log.clear();
        drag({100, 300}, c.to, c.seconds);
        EXPECT_EQ(log, (std::vector<std::string>{"toggle down", "toggle inside"}));
    }
}

TEST_F(TouchDispatch, SwipeStartingOnAButtonWithoutRecognisersIsAnOrdinaryTouch)
{
    // The cassette button lies above the toggle button but is not its subview, so the
    // toggle's recognisers never see this touch.
    drag({120, 100}, {190, 100}, 0.1);
    EXPECT_EQ(log, (std::vector<std::string>{"upper down", "upper inside"}));

    log.clear();
    drag({120, 100}, {300, 100}, 0.1);
    EXPECT_EQ(log, (std::vector<std::string>{"upper down", "upper outside"}));
}

TEST_F(TouchDispatch, TouchStartingOnNothingDoesNothing)
{
    window.touchDown({160, 450});   // below the toggle button: nothing takes it
    window.touchMove({150, 100});
    window.touchUp({150, 100});
    EXPECT_TRUE(log.empty());
}

TEST_F(TouchDispatch, ViewRemovedDuringTheTouchIsForgotten)
{
    Button& doomed = window.contentView().addSubview(std::make_unique<Button>(Rect{0, 200, 50, 50}));
    bool upFired = false;
    doomed.addAction([&] { upFired = true; }, ControlEvent::TouchUpInside);

    window.touchDown({20, 220});
    doomed.removeFromSuperview().reset();   // as a tick rebuilding the screen might
    window.touchMove({21, 221});
    window.touchUp({20, 220});
    EXPECT_FALSE(upFired);

    // The next touch is dispatched normally.
    window.touchDown({150, 100});
    window.touchUp({150, 100});
    EXPECT_EQ(log, (std::vector<std::string>{"upper down", "upper inside"}));
}

} // namespace
