// The wobble of the wound tape: four poses, one per tick while the tape moves.

#include "support/PlayerWorld.h"

namespace {

using namespace playertest;

constexpr float oneDegree = 0.01745329f;

class TapeWobble : public PlayerWorld {
protected:
    void SetUp() override { controller.view(); }

    struct Pose {
        float tilt;
        bool lowered;
    };
    void expectPose(Pose pose)
    {
        EXPECT_EQ(controller.leftBandImageView->transform().rotation, pose.tilt);
        EXPECT_EQ(controller.rightBandImageView->transform().rotation, pose.tilt);
        EXPECT_TRUE(controller.leftTapeRollUIView->transform().isIdentity());
        EXPECT_TRUE(controller.rightTapeRollUIView->transform().isIdentity());
        // Frames are placed while level; the centre tells where a tilted picture sits.
        const float drop = pose.lowered ? 1.0f : 0.0f;
        EXPECT_EQ(controller.leftBandImageView->center().y, -45 + 152 + drop);
        EXPECT_EQ(controller.rightBandImageView->center().y, 218 + 152 + drop);
        EXPECT_EQ(controller.leftTapeRollUIView->frame(), (platform::Rect{-5, -47 + drop, 306, 306}));
        EXPECT_EQ(controller.rightTapeRollUIView->frame(), (platform::Rect{-5, 216 + drop, 306, 306}));
    }
};

TEST_F(TapeWobble, CyclesThroughFourPosesWhileTheTapeMoves)
{
    struct Step {
        std::int32_t state;
        Pose pose;
    };
    const Step cycle[] = {
        {1, {0, false}}, {2, {oneDegree, false}}, {3, {0, true}}, {0, {-oneDegree, true}}, {1, {0, false}},
    };
    controller.tapeSpeedmmPerSecond = 47.625f;
    for (const Step& step : cycle) {
        SCOPED_TRACE(step.state);
        controller.wobbbleTapeLeftAndRight();
        EXPECT_EQ(controller.wobbleState, step.state);
        expectPose(step.pose);
    }
}

TEST_F(TapeWobble, StoppedTapeKeepsItsPoseAndResumesFromTheNextStep)
{
    controller.tapeSpeedmmPerSecond = -142.875f;   // seeking backward wobbles like playing
    controller.wobbbleTapeLeftAndRight();
    controller.wobbbleTapeLeftAndRight();   // tilted, state 2

    controller.tapeSpeedmmPerSecond = 0;
    for (int i = 0; i < 5; ++i)
        controller.wobbbleTapeLeftAndRight();
    EXPECT_EQ(controller.wobbleState, 2);
    expectPose({oneDegree, false});

    controller.tapeSpeedmmPerSecond = 285.75f;
    controller.wobbbleTapeLeftAndRight();
    EXPECT_EQ(controller.wobbleState, 3);
    expectPose({0, true});
}

TEST_F(TapeWobble, TicksDriveTheWobbleOnlyWhilePlaying)
{
    platform.advance(1.0);
    EXPECT_EQ(controller.wobbleState, 0);

    playAlbum(3, 0, Notify::Yes);
    platform.runDueNow();   // the playing notification sets the tape moving
    platform.advance(0.8);  // four ticks: a whole cycle
    EXPECT_EQ(controller.wobbleState, 0);
    platform.advance(0.2);
    EXPECT_EQ(controller.wobbleState, 1);
}

} // namespace
