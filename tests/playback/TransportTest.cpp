// Play and pause, hold to seek, tap to skip, and the fast spin that goes with
// them, driven through the screen's own touch areas where the touch matters.

#include "support/PlayerWorld.h"

namespace {

using namespace playertest;
using Commands = std::vector<std::string>;

class Transport : public PlayerWorld {
protected:
    void SetUp() override
    {
        playAlbum(3, 10);
        showScreen();
    }
    void pressUpper(double seconds) { press(upperCassetteButton.x, upperCassetteButton.y, seconds); }
};

TEST_F(Transport, TapSkipsToTheNextTrackWithAFastSpin)
{
    const std::size_t before = player.commands().size();
    platform.window().touchDown(upperCassetteButton);
    EXPECT_EQ(controller.tapeSpeedmmPerSecond, 142.875f);   // the touch down seeks first
    EXPECT_EQ(controller.currentlySeekActive, platform::YES);
    platform.advance(0.3);
    platform.window().touchUp(upperCassetteButton);

    EXPECT_EQ(commandsSince(before), (Commands{"beginSeekingForward", "endSeeking", "setRepeatMode:3",
                                               "skipToNextItem", "setRepeatMode:0"}));
    EXPECT_EQ(controller.tapeSpeedmmPerSecond, 285.75f);
    EXPECT_EQ(controller.lastTapeSpeedmmPerSecond, 285.75f);
    EXPECT_EQ(controller.skipSpinningBOOL, platform::YES);
    EXPECT_EQ(controller.currentlySeekActive, platform::NO);
    EXPECT_EQ(player.indexOfNowPlayingItem(), 1u);

    // The playing notification after the skip leaves the fast spin alone.
    platform.runDueNow();
    EXPECT_EQ(controller.tapeSpeedmmPerSecond, 285.75f);
    EXPECT_TRUE(toolbarShowsPause());
    EXPECT_EQ(controller.currentTitleLabel->text(), "Track 2");

    // Skip at 0.3 s; ticks every 0.2 s: 1.5 s later exactly is not yet over.
    platform.advance(1.5);
    EXPECT_EQ(controller.tapeSpeedmmPerSecond, 285.75f);
    platform.advance(0.2);
    EXPECT_EQ(controller.tapeSpeedmmPerSecond, 47.625f);
    EXPECT_EQ(controller.skipSpinningBOOL, platform::NO);
}

TEST_F(Transport, HalfASecondIsStillATap)
{
    const std::size_t before = player.commands().size();
    pressUpper(0.5);
    EXPECT_EQ(commandsSince(before).back(), "setRepeatMode:0");
    EXPECT_EQ(player.indexOfNowPlayingItem(), 1u);
}

TEST_F(Transport, LongerPressOnlySeeks)
{
    const std::size_t before = player.commands().size();
    pressUpper(0.6);
    EXPECT_EQ(commandsSince(before), (Commands{"beginSeekingForward", "endSeeking"}));
    EXPECT_EQ(player.indexOfNowPlayingItem(), 0u);
    // Seeking ran the position on at three times real time.
    EXPECT_NEAR(player.currentPlaybackTime(), 10 + 3 * 0.6, 1e-9);
    // The notification after the end of the seek brings back the playing speed.
    EXPECT_EQ(controller.tapeSpeedmmPerSecond, 47.625f);
    EXPECT_EQ(controller.currentlySeekActive, platform::NO);
    EXPECT_TRUE(toolbarShowsPause());
}

TEST_F(Transport, BackwardTapSkipsToThePreviousTrack)
{
    player.skipToNextItem();
    platform.runDueNow();
    const std::size_t before = player.commands().size();
    press(lowerCassetteButton.x, lowerCassetteButton.y, 0.2);
    EXPECT_EQ(commandsSince(before), (Commands{"beginSeekingBackward", "endSeeking", "setRepeatMode:3",
                                               "skipToPreviousItem", "setRepeatMode:0"}));
    EXPECT_EQ(controller.tapeSpeedmmPerSecond, -285.75f);
    EXPECT_EQ(player.indexOfNowPlayingItem(), 0u);
}

TEST_F(Transport, ReleaseOutsideNeverSkips)
{
    const std::size_t before = player.commands().size();
    platform.window().touchDown(upperCassetteButton);
    platform.window().touchUp({310, 470});
    EXPECT_EQ(commandsSince(before), (Commands{"beginSeekingForward", "endSeeking"}));
    EXPECT_EQ(controller.skipSpinningBOOL, platform::NO);
}

TEST_F(Transport, SkipFromTheLastTrackWrapsAndRestoresTheRepeatMode)
{
    player.skipToNextItem();
    player.skipToNextItem();
    player.setRepeatMode(platform::RepeatMode::One);
    platform.runDueNow();
    pressUpper(0.1);
    EXPECT_EQ(player.indexOfNowPlayingItem(), 0u);
    EXPECT_EQ(player.playbackState(), platform::PlaybackState::Playing);
    EXPECT_EQ(player.repeatMode(), platform::RepeatMode::Default);
}

TEST_F(Transport, PlayOrPauseCommandsByState)
{
    using namespace platform::PlaybackState;
    struct Row {
        std::int32_t state;
        Commands sent;
    };
    const Row rows[] = {
        {Stopped, {"play"}},        {Playing, {"pause"}},         {Paused, {"play"}},
        {Interrupted, {}},          {SeekingForward, {"endSeeking"}}, {SeekingBackward, {"endSeeking"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.state);
        player.setState(row.state, Notify::No);
        controller.skipSpinningBOOL = platform::YES;
        controller.currentlySeekActive = platform::YES;
        controller.tapeSpeedmmPerSecond = 142.875f;
        const std::size_t before = player.commands().size();
        controller.playOrPauseSongAction();
        EXPECT_EQ(commandsSince(before), row.sent);
        EXPECT_EQ(controller.skipSpinningBOOL, platform::NO);
        EXPECT_EQ(controller.currentlySeekActive, platform::NO);
        EXPECT_EQ(controller.tapeSpeedmmPerSecond, 142.875f);   // the notification sets it later
        EXPECT_DOUBLE_EQ(secondsUntil(controller.hideControlsDate), 5.0);
    }
}

TEST_F(Transport, SeekEndSetsSpeedAndToolbarByTheStateItFinds)
{
    using namespace platform::PlaybackState;
    struct Row {
        std::int32_t state;
        float speed;
        bool pauseItems;
    };
    // Seeking and interrupted leave the earlier speed and toolbar (play items here).
    const Row rows[] = {{Stopped, 0, false}, {Playing, 47.625f, true}, {Paused, 0, false},
                        {Interrupted, 142.875f, false}, {SeekingForward, 142.875f, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.state);
        player.setState(row.state, Notify::No);
        controller.tapeSpeedmmPerSecond = 142.875f;
        controller.myToolBar->setItems(controller.barButtonItemsWithPlayArray, false);
        platform.clock().setNow(platform.clock().now() + 1);
        controller.seekSpinningIsFinished();
        EXPECT_EQ(controller.tapeSpeedmmPerSecond, row.speed);
        EXPECT_EQ(controller.lastTapeSpeedmmPerSecond, row.speed);
        EXPECT_EQ(toolbarShowsPause(), row.pauseItems);
        // Rebuilt even when the speed did not change.
        EXPECT_EQ(leftSpin()->beginTime, platform.clock().now());
    }
}

TEST_F(Transport, SkipSpinEndingWhilePausedLeavesTheReelsAtRest)
{
    pressUpper(0.1);
    player.setState(platform::PlaybackState::Paused, Notify::No);   // paused without telling
    platform.advance(1.8);
    EXPECT_EQ(controller.skipSpinningBOOL, platform::NO);
    EXPECT_EQ(controller.tapeSpeedmmPerSecond, 0.0f);
}

TEST_F(Transport, ToolbarSeekControlKeepsTheToolbarUpWhileHeld)
{
    controller.startSeekForwardControlButtonClicked();
    EXPECT_DOUBLE_EQ(secondsUntil(controller.hideControlsDate), 1000.0);
    platform.advance(30);
    EXPECT_FALSE(controller.myToolBar->isHidden());

    // Released outside: the long deadline stays.
    controller.seekSpinningIsFinished();
    EXPECT_DOUBLE_EQ(secondsUntil(controller.hideControlsDate), 970.0);

    // Released inside: five seconds from the release.
    controller.startSeekBackwardControlButtonClicked();
    platform.advance(2);
    controller.skipToPreviousSongAction();
    EXPECT_DOUBLE_EQ(secondsUntil(controller.hideControlsDate), 5.0);
}

} // namespace
