// The reel model, the angular speeds and the angle a reel shows. Expected values
// are worked out in double from the cassette's geometry, then compared with a
// tolerance of a few float steps where the stored value is a rounded float.

#include "mechanics/ReelPhysics.h"
#include "support/PlayerWorld.h"

#include <cmath>
#include <limits>
#include <numbers>

namespace {

using namespace playertest;

// Float spacing between 16 and 32 is 1.9e-6; the model rounds once per stored value.
constexpr double diameterToleranceMM = 4e-6;

// The range in which an angle is read back from its cosine and sine: -π/2 up to 3π/2.
double inShownRange(double angle)
{
    while (angle < -std::numbers::pi / 2)
        angle += 2 * std::numbers::pi;
    while (angle >= 1.5 * std::numbers::pi)
        angle -= 2 * std::numbers::pi;
    return angle;
}

double expectedLeftMM(double albumPosition) { return 10.1 + albumPosition * (22.35 - 10.1); }
double expectedRightMM(double albumPosition) { return 22.35 - albumPosition * (22.35 - 10.1); }

class ReelModel : public PlayerWorld {
protected:
    void SetUp() override { controller.view(); }

    // The player holds still (paused), so the position stays where it is put.
    void placeItem(platform::MediaItemPtr item, double seconds)
    {
        player.setQueue({std::move(item)}, Notify::No);
        player.setState(platform::PlaybackState::Paused, Notify::No);
        player.setTime(seconds);
    }
};

TEST_F(ReelModel, DiametersFollowTheAlbumPosition)
{
    struct Row {
        const char* what;
        std::optional<std::int64_t> number, count;
        double seconds;
        double albumPosition;
    };
    const Row rows[] = {
        {"first track, at its start", 1, 10, 0, 0.0},
        {"third of ten, half played", 3, 10, 90, 0.25},
        {"last of ten, half played", 10, 10, 90, 0.95},
        {"last of ten, at its end", 10, 10, 180, 1.0},
        {"number beyond the count", 11, 10, 90, 0.5},
        {"number 0", 0, 10, 90, 0.5},
        {"count 0", 5, 0, 90, 0.5},
        {"no number or count", std::nullopt, std::nullopt, 90, 0.5},
        {"one-track album", 1, 1, 90, 0.5},
    };
    controller.setWheelDiameterAndRotationSpeedBasedOnAlbumPosition();   // no item: the album's start
    EXPECT_EQ(controller.leftDiameterWheelMM, 10.1f);
    EXPECT_EQ(controller.rightDiameterWheelMM, 22.35f);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        placeItem(makeItem({"t", "a", "b", 180.0, row.number, row.count}), row.seconds);
        controller.setWheelDiameterAndRotationSpeedBasedOnAlbumPosition();
        EXPECT_NEAR(controller.leftDiameterWheelMM, expectedLeftMM(row.albumPosition), diameterToleranceMM);
        EXPECT_NEAR(controller.rightDiameterWheelMM, expectedRightMM(row.albumPosition), diameterToleranceMM);
    }
}

TEST_F(ReelModel, UnusablePositionsFallBackToTheTrackStart)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Row {
        const char* what;
        std::optional<double> duration;
        double seconds;
    };
    const Row rows[] = {
        {"time 0", 180.0, 0},
        {"negative time", 180.0, -3},
        {"time not a number", 180.0, nan},
        {"time beyond the duration", 180.0, 200},
        {"duration 0", 0.0, 90},
        {"duration missing", std::nullopt, 90},
        {"duration not a number", nan, 90},
        // A negative length would give a negative fraction and a reel thinner than its hub.
        {"negative duration", -180.0, 90},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        // Third of ten tracks: a fraction of 0 puts the album at exactly 0.2.
        placeItem(makeItem({"t", "a", "b", row.duration, 3, 10}), row.seconds);
        controller.setWheelDiameterAndRotationSpeedBasedOnAlbumPosition();
        EXPECT_NEAR(controller.leftDiameterWheelMM, expectedLeftMM(0.2), diameterToleranceMM);
        EXPECT_NEAR(controller.rightDiameterWheelMM, expectedRightMM(0.2), diameterToleranceMM);
    }
}

TEST(ReelArithmetic, AngularSpeedsFollowTapeSpeedAndDiameter)
{
    struct Row {
        float tapeSpeed, diameter;
        double radiansPerSecond;   // tape speed / diameter × 0.8, worked out in double
    };
    const Row rows[] = {
        {47.625f, 10.1f, 3.7722772},   {47.625f, 22.35f, 1.7046980},   {47.625f, 16.225f, 2.3482280},
        {-285.75f, 10.1f, -22.633663}, {-285.75f, 22.35f, -10.228188}, {142.875f, 10.1f, 11.316832},
        {0.0f, 10.1f, 0.0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.tapeSpeed << " mm/s on " << row.diameter << " mm");
        // Float spacing near 22 is 1.9e-6; the reference values carry 8 digits.
        EXPECT_NEAR(angularSpeed(row.tapeSpeed, row.diameter), row.radiansPerSecond, 1e-5);
    }
}

TEST(ReelArithmetic, AngleShownIsRecoveredOverAWholeTurn)
{
    for (double angle : {2.5, -0.5, 0.0, 1.0, 3.0, 4.0, -1.2}) {
        SCOPED_TRACE(angle);
        const auto cosine = static_cast<float>(std::cos(angle));
        const auto sine = static_cast<float>(std::sin(angle));
        // Recovered in -π/2 … 3π/2; float cos/sin carry about 1e-7 of error.
        EXPECT_NEAR(presentedAngle(cosine, sine), inShownRange(angle), 2e-6);
    }
}

// The animations themselves, on a loaded controller; ticks run only where a test
// advances the clock.
class ReelSpin : public PlayerWorld {
protected:
    void SetUp() override { controller.view(); }

    // Makes a reel hold a given angle, as if a spin had left it there.
    void holdAt(platform::ImageView& reel, const char* key, float angle)
    {
        auto hold = platform::BasicAnimation::animationWithKeyPath("transform.rotation.z");
        hold.fromValue = angle;
        hold.byValue = 0;
        hold.duration = 100;
        hold.removedOnCompletion = false;
        reel.layer().addAnimation(hold, key, platform.clock());
    }
};

TEST_F(ReelSpin, ReplacementStartsFromTheAngleShown)
{
    struct Row {
        float shownAngle;
        float tapeSpeed;
    };
    const Row rows[] = {{2.5f, 0.0f}, {-0.5f, 0.0f}, {1.0f, 47.625f}, {-2.0f, 47.625f}, {0.3f, -285.75f}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "angle " << row.shownAngle << ", speed " << row.tapeSpeed);
        holdAt(*controller.leftWheelImageView, "leftRotationAnimation", row.shownAngle);
        controller.tapeSpeedmmPerSecond = row.tapeSpeed;
        controller.leftDiameterWheelMM = 10.1f;
        controller.rightDiameterWheelMM = 22.35f;
        controller.setRotationAnimation();

        const double omega = row.tapeSpeed / 10.1 * 0.8;
        const double shown = inShownRange(row.shownAngle);
        ASSERT_NE(leftSpin(), nullptr);
        EXPECT_NEAR(leftSpin()->fromValue, shown - 0.03 * omega, 1e-5);
        EXPECT_NEAR(leftSpin()->byValue, -100 * omega, 1e-3);
        EXPECT_EQ(leftSpin()->duration, 100.0);
        EXPECT_FALSE(leftSpin()->removedOnCompletion);
    }
}

// An item so long that no roll radius changes for minutes: only the refresh keeps
// the reels turning.
TEST_F(ReelSpin, LongItemKeepsTheReelsTurning)
{
    player.setQueue({makeItem({"Audiobook", "Reader", "Book", 360000.0, 1, 1})}, Notify::Yes);
    player.setState(platform::PlaybackState::Playing, Notify::Yes);
    platform.advance(250);

    ASSERT_NE(leftSpin(), nullptr);
    ASSERT_NE(rightSpin(), nullptr);
    EXPECT_EQ(controller.pixelRadiusLeft, 68);   // no radius change drove a rebuild
    // Rebuilt on the tick grid whenever the running spin reached 90 s: at 0, 90 and 180 s.
    EXPECT_EQ(leftSpin()->beginTime, platform::nanosecondsFromSeconds(180));
    EXPECT_EQ(rightSpin()->beginTime, platform::nanosecondsFromSeconds(180));
    EXPECT_TRUE(leftSpin()->valueAt(platform.clock().now()).has_value());
    EXPECT_NE(shownAngle(*controller.leftWheelImageView), 0.0);
}

TEST_F(ReelSpin, PausedReelsAreNotRefreshed)
{
    player.setQueue({makeItem({"Audiobook", "Reader", "Book", 360000.0, 1, 1})}, Notify::No);
    player.setState(platform::PlaybackState::Paused, Notify::No);
    controller.setRotationAnimation();
    const auto builtAt = leftSpin()->beginTime;
    platform.advance(250);
    EXPECT_EQ(leftSpin()->beginTime, builtAt);
    EXPECT_EQ(shownAngle(*controller.leftWheelImageView), 0.0);
}

TEST_F(ReelSpin, TickRebuildsAfterAnUnannouncedSpeedChange)
{
    platform.advance(0.2);
    controller.tapeSpeedmmPerSecond = 142.875f;   // a writer that did not rebuild
    platform.advance(0.2);
    ASSERT_NE(leftSpin(), nullptr);
    EXPECT_EQ(leftSpin()->beginTime, platform::nanosecondsFromSeconds(0.4));
    EXPECT_EQ(controller.lastTapeSpeedmmPerSecond, 142.875f);

    // Unchanged speed: the next tick leaves the animation alone.
    platform.advance(0.2);
    EXPECT_EQ(leftSpin()->beginTime, platform::nanosecondsFromSeconds(0.4));
}

} // namespace
