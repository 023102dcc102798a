// Tape-roll radii, ring widths, redraws, stacking of the fuller reel on top and
// the ten-second gate on rebuilding the spin from radius changes. The controller
// is driven directly, with the clock moved by setNow so that no tick interferes.

#include "support/PlayerWorld.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

using namespace playertest;

class TapeRolls : public PlayerWorld {
protected:
    void SetUp() override { controller.view(); }

    void setDiameters(float leftMM, float rightMM)
    {
        controller.leftDiameterWheelMM = leftMM;
        controller.rightDiameterWheelMM = rightMM;
        controller.drawTapeLinesBasedOnDiameter();
    }
    // A diameter whose roll radius lies halfway inside the given whole point.
    static float diameterForRadius(int radius) { return static_cast<float>((radius + 0.5) / 6.8); }

    void jumpTo(double seconds) { platform.clock().setNow(platform::nanosecondsFromSeconds(seconds)); }

    // The band and roll views, bottom to top.
    std::vector<std::string> stacking() const
    {
        std::vector<std::pair<std::size_t, std::string>> views{
            {controller.leftBandImageView->indexInSuperview(), "leftBand"},
            {controller.leftTapeRollUIView->indexInSuperview(), "leftRoll"},
            {controller.rightBandImageView->indexInSuperview(), "rightBand"},
            {controller.rightTapeRollUIView->indexInSuperview(), "rightRoll"},
        };
        std::sort(views.begin(), views.end());
        std::vector<std::string> names;
        for (const auto& view : views)
            names.push_back(view.second);
        return names;
    }
    const std::vector<std::string> leftOnTop{"rightBand", "rightRoll", "leftBand", "leftRoll"};
    const std::vector<std::string> rightOnTop{"leftBand", "leftRoll", "rightBand", "rightRoll"};
};

TEST_F(TapeRolls, RadiiBandsAndStackingFollowTheDiameters)
{
    struct Row {
        float leftMM, rightMM;
        std::int32_t leftRadius, rightRadius;   // diameter × 6.8, truncated
        std::int32_t leftBand, rightBand;       // 152 − radius
        bool leftOnTop;
    };
    // In album order, so that the equal row keeps what the row before left.
    const Row rows[] = {
        {10.1f, 22.35f, 68, 151, 84, 1, false},       {13.1625f, 19.2875f, 89, 131, 63, 21, false},
        {16.225f, 16.225f, 110, 110, 42, 42, false},  {21.7375f, 10.7125f, 147, 72, 5, 80, true},
        {22.35f, 10.1f, 151, 68, 1, 84, true},        {16.225f, 16.225f, 110, 110, 42, 42, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.leftMM << " / " << row.rightMM);
        setDiameters(row.leftMM, row.rightMM);
        EXPECT_EQ(controller.pixelRadiusLeft, row.leftRadius);
        EXPECT_EQ(controller.pixelRadiusRight, row.rightRadius);
        EXPECT_EQ(controller.leftTapeRollUIView->pixelFromBandToSuppressInt, row.leftBand);
        EXPECT_EQ(controller.rightTapeRollUIView->pixelFromBandToSuppressInt, row.rightBand);
        EXPECT_EQ(controller.leftWheelIsOnTopBOOL, row.leftOnTop ? platform::YES : platform::NO);
        EXPECT_EQ(stacking(), row.leftOnTop ? leftOnTop : rightOnTop);
        EXPECT_EQ(controller.lastPixelRadiusLeft, row.leftRadius);
        EXPECT_EQ(controller.lastPixelRadiusRight, row.rightRadius);
    }
}

TEST_F(TapeRolls, FirstTickSetsBothRingsAndRedrawsBoth)
{
    // Construction gave 86 and 5; the first tick (inside construction) replaced them.
    EXPECT_EQ(controller.leftTapeRollUIView->pixelFromBandToSuppressInt, 84);
    EXPECT_EQ(controller.rightTapeRollUIView->pixelFromBandToSuppressInt, 1);
    EXPECT_EQ(controller.leftTapeRollUIView->displayRequestCount(), 1u);
    EXPECT_EQ(controller.rightTapeRollUIView->displayRequestCount(), 1u);
}

TEST_F(TapeRolls, OnlyChangedRadiiAskForRedraws)
{
    jumpTo(20);
    // Different diameters, same whole-point radii.
    setDiameters(10.12f, 22.33f);
    EXPECT_EQ(controller.leftTapeRollUIView->displayRequestCount(), 1u);
    EXPECT_EQ(controller.rightTapeRollUIView->displayRequestCount(), 1u);
    EXPECT_EQ(leftSpin(), nullptr);

    // One changed radius redraws both rolls.
    setDiameters(diameterForRadius(69), 22.35f);
    EXPECT_EQ(controller.leftTapeRollUIView->displayRequestCount(), 2u);
    EXPECT_EQ(controller.rightTapeRollUIView->displayRequestCount(), 2u);
}

TEST_F(TapeRolls, RadiusChangesRebuildTheSpinAtMostEveryTenSeconds)
{
    jumpTo(1);
    setDiameters(diameterForRadius(70), diameterForRadius(140));
    ASSERT_NE(leftSpin(), nullptr);
    EXPECT_EQ(leftSpin()->beginTime, platform::nanosecondsFromSeconds(1));
    EXPECT_DOUBLE_EQ(secondsUntil(controller.changeRotationTimer), 10.0);

    jumpTo(5);   // 4 s after the rebuild: redrawn, not rebuilt
    setDiameters(diameterForRadius(71), diameterForRadius(139));
    EXPECT_EQ(controller.leftTapeRollUIView->displayRequestCount(), 3u);
    EXPECT_EQ(leftSpin()->beginTime, platform::nanosecondsFromSeconds(1));

    jumpTo(11);   // exactly at the gate: not yet past it
    setDiameters(diameterForRadius(72), diameterForRadius(138));
    EXPECT_EQ(leftSpin()->beginTime, platform::nanosecondsFromSeconds(1));

    jumpTo(12);   // 11 s after the rebuild
    setDiameters(diameterForRadius(73), diameterForRadius(137));
    EXPECT_EQ(leftSpin()->beginTime, platform::nanosecondsFromSeconds(12));
    EXPECT_EQ(rightSpin()->beginTime, platform::nanosecondsFromSeconds(12));
}

TEST_F(TapeRolls, FullerReelComesOnTopAndEqualRadiiMoveNothing)
{
    setDiameters(diameterForRadius(111), diameterForRadius(109));
    EXPECT_EQ(stacking(), leftOnTop);
    setDiameters(diameterForRadius(110), diameterForRadius(110));
    EXPECT_EQ(stacking(), leftOnTop);
    EXPECT_EQ(controller.leftWheelIsOnTopBOOL, platform::YES);
    setDiameters(diameterForRadius(109), diameterForRadius(111));
    EXPECT_EQ(stacking(), rightOnTop);
    EXPECT_EQ(controller.leftWheelIsOnTopBOOL, platform::NO);
}

} // namespace
