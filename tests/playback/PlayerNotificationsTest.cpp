// The screen follows the player's two notifications: tape speed, toolbar item
// and labels, and the picker when the player has nothing left to play.

#include "support/PlayerWorld.h"

namespace {

using namespace playertest;

class PlayerNotifications : public PlayerWorld {
protected:
    void SetUp() override
    {
        playAlbum(3, 10);
        showScreen();
    }
    // The handler, as the centre would call it, at a fresh moment so that a
    // rebuilt animation shows by its begin time.
    void stateBecomes(std::int32_t state)
    {
        player.setState(state, Notify::No);
        platform.clock().setNow(platform.clock().now() + 1000);
        controller.handle_PlaybackStateChanged({});
    }
    bool spinRebuiltNow() const { return leftSpin() && leftSpin()->beginTime == platform.clock().now(); }
};

TEST_F(PlayerNotifications, EachStateSetsSpeedAndToolbar)
{
    using namespace platform::PlaybackState;
    struct Row {
        std::int32_t state;
        float speed;
        enum { PlayItems, PauseItems, Unchanged } toolbar;
    };
    const float earlier = 142.875f;
    const Row rows[] = {
        {Stopped, 0, Row::PlayItems},          {Playing, 47.625f, Row::PauseItems}, {Paused, 0, Row::PlayItems},
        {Interrupted, 0, Row::Unchanged},      {SeekingForward, earlier, Row::Unchanged},
        {SeekingBackward, earlier, Row::Unchanged}, {9, earlier, Row::Unchanged},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.state);
        controller.tapeSpeedmmPerSecond = earlier;
        // An item list that no state sets, to see whether the toolbar was touched.
        const std::vector<platform::BarButtonItem*> marker{controller.barButtonItemsWithPlayArray.front()};
        controller.myToolBar->setItems(marker, false);
        stateBecomes(row.state);
        EXPECT_EQ(controller.tapeSpeedmmPerSecond, row.speed);
        EXPECT_EQ(controller.lastTapeSpeedmmPerSecond, row.speed);
        EXPECT_TRUE(spinRebuiltNow());
        switch (row.toolbar) {
        case Row::PlayItems:
            EXPECT_TRUE(toolbarShowsPlay());
            break;
        case Row::PauseItems:
            EXPECT_TRUE(toolbarShowsPause());
            break;
        case Row::Unchanged:
            EXPECT_EQ(controller.myToolBar->items(), marker);
            break;
        }
    }
}

TEST_F(PlayerNotifications, TransportSpinSurvivesPlayingAndPaused)
{
    using namespace platform::PlaybackState;
    for (std::int32_t state : {Playing, Paused}) {
        for (bool skip : {true, false}) {
            SCOPED_TRACE(testing::Message() << "state " << state << (skip ? ", skip spin" : ", seek"));
            controller.skipSpinningBOOL = skip ? platform::YES : platform::NO;
            controller.currentlySeekActive = skip ? platform::NO : platform::YES;
            controller.tapeSpeedmmPerSecond = 285.75f;
            stateBecomes(state);
            EXPECT_EQ(controller.tapeSpeedmmPerSecond, 285.75f);
            EXPECT_EQ(toolbarShowsPause(), state == Playing);
            EXPECT_TRUE(spinRebuiltNow());
        }
    }
}

TEST_F(PlayerNotifications, StoppedDuringASkipSpinStopsTheReelsAtOnce)
{
    controller.skipSpinningBOOL = platform::YES;
    controller.tapeSpeedmmPerSecond = 285.75f;
    stateBecomes(platform::PlaybackState::Stopped);
    EXPECT_EQ(controller.tapeSpeedmmPerSecond, 0.0f);
    EXPECT_EQ(controller.skipSpinningBOOL, platform::YES);
}

TEST_F(PlayerNotifications, StoppedAtAnItemDoesNotOpenThePicker)
{
    stateBecomes(platform::PlaybackState::Stopped);
    EXPECT_EQ(platform.presentedPicker(), nullptr);
    EXPECT_EQ(controller.mediaPickerCurrentlyShownBool, platform::NO);
}

TEST_F(PlayerNotifications, QueueRunningOutOpensThePicker)
{
    // The last track ends: the player stops with no item and says so.
    player.skipToNextItem();
    player.skipToNextItem();
    player.setTime(179);
    platform.runDueNow();
    platform.advance(2);

    EXPECT_EQ(player.nowPlayingItem(), nullptr);
    EXPECT_EQ(controller.tapeSpeedmmPerSecond, 0.0f);
    EXPECT_TRUE(toolbarShowsPlay());
    ASSERT_NE(platform.presentedPicker(), nullptr);
    EXPECT_EQ(controller.mediaPickerCurrentlyShownBool, platform::YES);
    EXPECT_EQ(controller.currentTitleLabel->text(), "");

    // Cancelling leaves the player stopped.
    const std::size_t before = player.commands().size();
    platform.presentedPicker()->cancel();
    platform.advance(1);
    EXPECT_EQ(player.playbackState(), platform::PlaybackState::Stopped);
    EXPECT_EQ(commandsSince(before), std::vector<std::string>{});
    EXPECT_EQ(platform.presentedPicker(), nullptr);
}

TEST_F(PlayerNotifications, NowPlayingChangeRefreshesTheLabels)
{
    player.setNowPlayingItem(makeItem({"New", "Band", "Record", 200.0, 1, 9}), Notify::Yes);
    platform.runDueNow();
    EXPECT_EQ(controller.currentTitleLabel->text(), "New");
    EXPECT_EQ(controller.currentArtistAlbumLabel->text(), "Band - Record");
}

TEST(PlayerNotificationsLegacy, OlderPlayerIsAskedForItsNowPlayingItem)
{
    platform::headless::HeadlessPlatform platform;
    auto& player = platform.scriptedPlayer();
    player.setLegacy(true);
    player.setQueue({albumTrack(1)}, Notify::No);
    MainViewController controller{platform};
    controller.view();
    EXPECT_EQ(controller.oldiOSVersionPre32, platform::YES);

    player.setState(platform::PlaybackState::Stopped, Notify::No);
    controller.handle_PlaybackStateChanged({});
    EXPECT_EQ(platform.presentedPicker(), nullptr);

    player.setNowPlayingItem(nullptr, Notify::No);
    controller.handle_PlaybackStateChanged({});
    EXPECT_NE(platform.presentedPicker(), nullptr);
}

} // namespace
