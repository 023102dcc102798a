#include "platform/Layer.h"
#include "platform/headless/VirtualClock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using platform::BasicAnimation;
using platform::FillMode;
using platform::Layer;
using platform::Nanoseconds;
using platform::Transition;
using platform::TransitionSubtype;
using platform::headless::VirtualClock;

namespace {

constexpr Nanoseconds second = 1'000'000'000;

// A reel turning at 3.7723 rad/s as the player builds it: 100 s, linear, cumulative,
// played once, kept after completion, filled backwards.
BasicAnimation reelSpin(float fromValue, float byValue)
{
    auto spin = BasicAnimation::animationWithKeyPath("transform.rotation.z");
    spin.fromValue = fromValue;
    spin.byValue = byValue;
    spin.duration = 100;
    spin.cumulative = true;
    spin.repeatCount = 0;
    spin.removedOnCompletion = false;
    spin.fillMode = FillMode::Backwards;
    return spin;
}

class LayerAnimation : public ::testing::Test {
protected:
    LayerAnimation() { clock.setNow(7 * second); }

    double angleAt(Nanoseconds now) const { return layer.presentationAt(now).rotation; }

    VirtualClock clock;
    Layer layer;
};

TEST_F(LayerAnimation, ReelSpinAngleOverItsLife)
{
    const float from = 0.25f;
    const float by = -377.23f;
    layer.addAnimation(reelSpin(from, by), "leftRotationAnimation", clock);
    const Nanoseconds begin = 7 * second;

    const struct {
        const char* when;
        Nanoseconds at;
        double expected;
    } cases[] = {
        {"start", begin, double(from)},
        {"one tenth", begin + 10 * second, double(from) + double(by) * 0.1},
        {"mid-way", begin + 50 * second, double(from) + double(by) * 0.5},
        {"a nanosecond before the end", begin + 100 * second - 1, double(from) + double(by) * (1 - 1e-11)},
        {"at the end", begin + 100 * second, 0.0},
        {"long after", begin + 500 * second, 0.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.when);
        const auto shown = layer.presentationAt(c.at);
        // Elapsed time is converted through double; a few ulps of 377 rad is plenty.
        EXPECT_NEAR(shown.rotation, c.expected, 1e-9);
        EXPECT_EQ(shown.transform.m11(), static_cast<float>(std::cos(shown.rotation)));
        EXPECT_EQ(shown.transform.m12(), static_cast<float>(std::sin(shown.rotation)));
    }
    // Played out but not removed: still on the layer, just no longer applied.
    layer.pruneFinished(begin + 500 * second);
    EXPECT_NE(layer.animationForKey("leftRotationAnimation"), nullptr);
}

TEST_F(LayerAnimation, PresentationFollowsTheClock)
{
    layer.addAnimation(reelSpin(0, -10), "spin", clock);
    clock.advance(25);
    const auto shown = layer.presentationLayer(clock);
    ASSERT_TRUE(shown.has_value());
    EXPECT_NEAR(shown->rotation, -2.5, 1e-12);
    // The angle the player recovers from the matrix lies in the second quadrant here.
    EXPECT_LT(shown->transform.m11(), 0);
    EXPECT_NEAR(std::numbers::pi - std::asin(shown->transform.m12()) - 2 * std::numbers::pi, -2.5, 1e-6);
}

TEST_F(LayerAnimation, FillBackwardsShowsTheStartBeforeTheBegin)
{
    auto spin = reelSpin(1.5f, 10);
    spin.beginTime = 20 * second;
    EXPECT_EQ(spin.valueAt(10 * second), 1.5);
    spin.fillMode = FillMode::Removed;
    EXPECT_FALSE(spin.valueAt(10 * second).has_value());
    EXPECT_EQ(spin.valueAt(20 * second), 1.5);
}

TEST_F(LayerAnimation, RepeatsAddUpOnlyWhenCumulative)
{
    auto spin = reelSpin(1, 2);
    spin.duration = 10;
    spin.repeatCount = 3;
    spin.beginTime = 0;
    EXPECT_EQ(spin.activeDuration(), 30.0);
    EXPECT_NEAR(*spin.valueAt(15 * second), 1 + 2 * 1.5, 1e-12);
    spin.cumulative = false;
    EXPECT_NEAR(*spin.valueAt(15 * second), 1 + 2 * 0.5, 1e-12);
    EXPECT_FALSE(spin.valueAt(30 * second).has_value());
    spin.fillMode = FillMode::Forwards;
    EXPECT_EQ(*spin.valueAt(31 * second), 3.0);
}

TEST_F(LayerAnimation, AddingUnderTheSameKeyReplaces)
{
    layer.addAnimation(reelSpin(0, -100), "spin", clock);
    const auto generation = layer.generation();
    clock.advance(10);
    layer.addAnimation(reelSpin(2, 0), "spin", clock);
    EXPECT_GT(layer.generation(), generation);
    EXPECT_EQ(layer.animations().size(), 1u);
    EXPECT_EQ(layer.animationForKey("spin")->beginTime, clock.now());
    clock.advance(30);
    EXPECT_EQ(angleAt(clock.now()), 2.0);

    layer.removeAllAnimations();
    EXPECT_EQ(angleAt(clock.now()), 0.0);
    EXPECT_TRUE(layer.animations().empty());
}

TEST_F(LayerAnimation, RemovedOnCompletionDisappears)
{
    auto spin = reelSpin(0, 1);
    spin.duration = 2;
    spin.removedOnCompletion = true;
    spin.fillMode = FillMode::Forwards;
    layer.addAnimation(spin, "spin", clock);
    clock.advance(1);
    EXPECT_NEAR(angleAt(clock.now()), 0.5, 1e-12);
    clock.advance(1);
    EXPECT_EQ(angleAt(clock.now()), 0.0);
    const auto generation = layer.generation();
    layer.pruneFinished(clock.now());
    EXPECT_EQ(layer.animationForKey("spin"), nullptr);
    EXPECT_GT(layer.generation(), generation);
}

TEST_F(LayerAnimation, TransitionsDefaultToAQuarterSecondAndReplaceEachOther)
{
    Transition push;
    push.subtype = TransitionSubtype::FromRight;
    layer.addAnimation(push, "skin", clock);
    const Nanoseconds begin = clock.now();
    EXPECT_EQ(layer.transitionForKey("skin")->progressAt(begin + second / 8), 0.5);
    EXPECT_EQ(layer.transitionForKey("skin")->progressAt(begin + second / 4), 1.0);
    EXPECT_NE(layer.activeTransitionAt(begin + second / 4 - 1), nullptr);
    EXPECT_EQ(layer.activeTransitionAt(begin + second / 4), nullptr);

    clock.advance(0.1);
    Transition back;
    back.subtype = TransitionSubtype::FromLeft;
    layer.addAnimation(back, "skin", clock);
    ASSERT_EQ(layer.transitions().size(), 1u);
    EXPECT_EQ(layer.transitionForKey("skin")->subtype, TransitionSubtype::FromLeft);
    EXPECT_EQ(layer.transitionForKey("skin")->beginTime, clock.now());

    // A running transition gives way even to one under another key.
    clock.advance(0.1);
    layer.addAnimation(push, "other", clock);
    EXPECT_EQ(layer.transitionForKey("skin"), nullptr);
    EXPECT_EQ(layer.activeTransitionAt(clock.now())->subtype, TransitionSubtype::FromRight);
}

} // namespace
