#include "platform/headless/ScriptedMusicPlayer.h"
#include "platform/headless/VirtualClock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace platform;
using platform::headless::Notify;
using platform::headless::ScriptedMusicPlayer;
using platform::headless::VirtualClock;

namespace {

MediaItemPtr song(std::string title, double durationSeconds)
{
    auto item = std::make_shared<MediaItem>();
    item->title = std::move(title);
    item->playbackDuration = durationSeconds;
    return item;
}

std::string titleOf(const MediaItemPtr& item)
{
    return item ? item->title.value_or("?") : "none";
}

class ScriptedPlayer : public ::testing::Test {
protected:
    ScriptedPlayer()
    {
        clock.attach(runLoop);
        center.addObserver(this, NowPlayingItemDidChangeNotification, static_cast<const MusicPlayer*>(&player),
                           [this](const Notification&) { received.push_back("item:" + titleOf(player.nowPlayingItem())); });
        center.addObserver(this, PlaybackStateDidChangeNotification, static_cast<const MusicPlayer*>(&player),
                           [this](const Notification&) { received.push_back("state:" + std::to_string(player.playbackState())); });
        player.beginGeneratingPlaybackNotifications();
    }

    // A queue of songs of 10, 20 and 30 seconds, playing the first from its start.
    void playThreeSongs()
    {
        player.setQueueWithItemCollection({{song("a", 10), song("b", 20), song("c", 30)}});
        player.play();
        runLoop.runDue();
        received.clear();
    }

    VirtualClock clock;
    RunLoop runLoop{clock};
    NotificationCenter center;
    ScriptedMusicPlayer player{clock, runLoop, center};
    std::vector<std::string> received;
};

TEST_F(ScriptedPlayer, PostsNotificationsAfterTheCommandHasReturned)
{
    player.setQueueWithItemCollection({{song("a", 10)}});
    player.play();
    EXPECT_TRUE(received.empty()) << "nothing may arrive inside a command";
    EXPECT_EQ(player.playbackState(), PlaybackState::Playing) << "the change itself is immediate";

    runLoop.runDue();
    EXPECT_EQ(received, (std::vector<std::string>{"item:a", "state:1"}));
}

TEST_F(ScriptedPlayer, StaysSilentWhileNotGeneratingNotifications)
{
    player.endGeneratingPlaybackNotifications();
    player.setQueueWithItemCollection({{song("a", 10)}});
    player.play();
    clock.advance(11);
    EXPECT_TRUE(received.empty());
    EXPECT_EQ(player.playbackState(), PlaybackState::Stopped) << "the queue still runs out";
}

TEST_F(ScriptedPlayer, UnchangedStateBringsNoNotification)
{
    playThreeSongs();
    player.play();
    player.endSeeking();
    runLoop.runDue();
    EXPECT_TRUE(received.empty());
}

TEST_F(ScriptedPlayer, SeeksAtThreeTimesPlayingSpeedAndReturnsToTheStateBefore)
{
    player.setQueueWithItemCollection({{song("long", 600)}});
    player.play();
    clock.advance(2);
    EXPECT_DOUBLE_EQ(player.currentPlaybackTime(), 2.0);

    player.beginSeekingForward();
    EXPECT_EQ(player.playbackState(), PlaybackState::SeekingForward);
    clock.advance(1.5);
    EXPECT_DOUBLE_EQ(player.currentPlaybackTime(), 2.0 + 4.5);
    player.endSeeking();
    EXPECT_EQ(player.playbackState(), PlaybackState::Playing);
    clock.advance(1);
    EXPECT_DOUBLE_EQ(player.currentPlaybackTime(), 7.5);

    player.pause();
    player.beginSeekingBackward();
    clock.advance(2);
    EXPECT_DOUBLE_EQ(player.currentPlaybackTime(), 1.5);
    clock.advance(2);
    EXPECT_DOUBLE_EQ(player.currentPlaybackTime(), 0.0) << "a backward seek stops at the item's start";
    player.endSeeking();
    EXPECT_EQ(player.playbackState(), PlaybackState::Paused);
    clock.advance(5);
    EXPECT_DOUBLE_EQ(player.currentPlaybackTime(), 0.0);
}

TEST_F(ScriptedPlayer, SeekingForwardRunsIntoTheNextItem)
{
    playThreeSongs();
    player.beginSeekingForward();
    clock.advance(4); // 10 s of song a take 10 / 3 s at three times the speed.
    EXPECT_EQ(titleOf(player.nowPlayingItem()), "b");
    EXPECT_NEAR(player.currentPlaybackTime(), 3 * (4 - 10.0 / 3), 1e-6) << "within a nanosecond of rounding";
    EXPECT_EQ(player.playbackState(), PlaybackState::SeekingForward);
}

TEST_F(ScriptedPlayer, SkipsWithinTheQueueAndPastItsEnds)
{
    struct Case {
        const char* name;
        std::int32_t repeatMode;
        int startIndex;
        bool forward;
        std::string expectedItem;
        std::int32_t expectedState;
        std::vector<std::string> expectedNotifications;
    };
    const Case cases[] = {
        {"next inside", RepeatMode::Default, 0, true, "b", PlaybackState::Playing, {"item:b"}},
        {"previous inside", RepeatMode::Default, 2, false, "b", PlaybackState::Playing, {"item:b"}},
        {"next past the end", RepeatMode::Default, 2, true, "none", PlaybackState::Stopped, {"item:none", "state:0"}},
        {"previous past the start", RepeatMode::Default, 0, false, "none", PlaybackState::Stopped,
         {"item:none", "state:0"}},
        {"next past the end, repeat all", RepeatMode::All, 2, true, "a", PlaybackState::Playing, {"item:a"}},
        {"previous past the start, repeat all", RepeatMode::All, 0, false, "c", PlaybackState::Playing, {"item:c"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        playThreeSongs();
        for (int i = 0; i < c.startIndex; ++i)
            player.skipToNextItem();
        clock.advance(3);
        runLoop.runDue();
        received.clear();

        player.setRepeatMode(c.repeatMode);
        if (c.forward)
            player.skipToNextItem();
        else
            player.skipToPreviousItem();
        player.setRepeatMode(RepeatMode::Default);
        runLoop.runDue();

        EXPECT_EQ(titleOf(player.nowPlayingItem()), c.expectedItem);
        EXPECT_EQ(player.playbackState(), c.expectedState);
        EXPECT_EQ(received, c.expectedNotifications);
        EXPECT_EQ(player.currentPlaybackTime(), 0.0) << "a skip starts the item from its start";
        if (c.expectedItem == "none") {
            EXPECT_EQ(player.indexOfNowPlayingItem(), NotFound);
        }
    }
}

TEST_F(ScriptedPlayer, MovesOnWhenAnItemEndsAndStopsWhenTheQueueRunsOut)
{
    playThreeSongs();
    clock.advance(9.999);
    EXPECT_EQ(titleOf(player.nowPlayingItem()), "a");
    clock.advance(0.001);
    EXPECT_EQ(titleOf(player.nowPlayingItem()), "b");
    EXPECT_EQ(player.currentPlaybackTime(), 0.0);
    EXPECT_EQ(received, (std::vector<std::string>{"item:b"}));

    // A pause in the middle moves the end of the item by the length of the pause.
    clock.advance(5);
    player.pause();
    clock.advance(100);
    player.play();
    clock.advance(14.999);
    EXPECT_EQ(titleOf(player.nowPlayingItem()), "b");
    clock.advance(0.002);
    EXPECT_EQ(titleOf(player.nowPlayingItem()), "c");

    received.clear();
    clock.advance(31);
    EXPECT_EQ(player.nowPlayingItem(), nullptr);
    EXPECT_EQ(player.indexOfNowPlayingItem(), NotFound);
    EXPECT_EQ(player.playbackState(), PlaybackState::Stopped);
    EXPECT_EQ(received, (std::vector<std::string>{"item:none", "state:0"}));
    EXPECT_EQ(player.queue().size(), 3u) << "the queue itself stays";
}

TEST_F(ScriptedPlayer, RepeatAllWrapsAtTheEndOfTheQueue)
{
    player.setQueueWithItemCollection({{song("a", 10), song("b", 20)}});
    player.setRepeatMode(RepeatMode::All);
    player.play();
    clock.advance(31);
    EXPECT_EQ(titleOf(player.nowPlayingItem()), "a");
    EXPECT_DOUBLE_EQ(player.currentPlaybackTime(), 1.0);
    EXPECT_EQ(player.playbackState(), PlaybackState::Playing);
}

TEST_F(ScriptedPlayer, RecordsCommandsWithTheirArgumentsButNotQueries)
{
    player.setQueueWithItemCollection({{song("a", 10), song("b", 20)}});
    player.play();
    (void)player.playbackState();
    (void)player.nowPlayingItem();
    (void)player.currentPlaybackTime();
    player.setRepeatMode(3);
    player.skipToNextItem();
    player.setRepeatMode(0);
    player.beginSeekingBackward();
    player.endSeeking();
    player.setState(PlaybackState::Paused, Notify::Yes); // a script hook, not a command
    EXPECT_EQ(player.commands(),
              (std::vector<std::string>{"beginGeneratingPlaybackNotifications", "setQueueWithItemCollection:2", "play",
                                        "setRepeatMode:3", "skipToNextItem", "setRepeatMode:0",
                                        "beginSeekingBackward", "endSeeking"}));
}

TEST_F(ScriptedPlayer, ScriptHooksChangeStateAsIfFromOutside)
{
    player.setNowPlayingItem(song("outside", 50), Notify::Yes);
    player.setState(7, Notify::Yes);
    EXPECT_TRUE(received.empty());
    runLoop.runDue();
    EXPECT_EQ(received, (std::vector<std::string>{"item:outside", "state:7"}));
    EXPECT_EQ(player.indexOfNowPlayingItem(), 0u);

    player.setTime(std::nan(""));
    clock.advance(1);
    EXPECT_TRUE(std::isnan(player.currentPlaybackTime()));

    player.setState(PlaybackState::Playing, Notify::No);
    player.setTime(-3);
    clock.advance(1);
    EXPECT_DOUBLE_EQ(player.currentPlaybackTime(), -2.0);
    clock.advance(51.9);
    EXPECT_NE(player.nowPlayingItem(), nullptr);
    clock.advance(0.2);
    EXPECT_EQ(player.nowPlayingItem(), nullptr) << "the item still ends on time, 53 s after -3";

    received.clear();
    player.setNowPlayingItem(nullptr, Notify::No);
    runLoop.runDue();
    EXPECT_TRUE(received.empty());
    EXPECT_TRUE(player.commands().size() == 1) << "only beginGeneratingPlaybackNotifications";
}

TEST_F(ScriptedPlayer, PositionSetPastTheEndEndsTheItemAtTheNextTurn)
{
    playThreeSongs();
    player.setTime(12);
    EXPECT_EQ(titleOf(player.nowPlayingItem()), "a") << "never inside the call";
    runLoop.runDue();
    EXPECT_EQ(titleOf(player.nowPlayingItem()), "b");
}

TEST_F(ScriptedPlayer, AJumpMovesTheItemWithinItsLengthAndSeekingGoesOnFromThere)
{
    playThreeSongs();
    player.setCurrentPlaybackTime(4);
    clock.advance(1);
    EXPECT_DOUBLE_EQ(player.currentPlaybackTime(), 5);
    player.setCurrentPlaybackTime(-3);
    EXPECT_EQ(player.currentPlaybackTime(), 0);
    player.setCurrentPlaybackTime(std::nan(""));
    EXPECT_EQ(player.currentPlaybackTime(), 0);
    player.beginSeekingForward();
    player.setCurrentPlaybackTime(6);
    clock.advance(1);
    EXPECT_DOUBLE_EQ(player.currentPlaybackTime(), 9);
    EXPECT_TRUE(received.size() == 1 && received[0] == "state:4");
    received.clear();

    // Past the end is the end: the next item starts, with its notification, at the next turn.
    player.endSeeking();
    player.setCurrentPlaybackTime(99);
    EXPECT_EQ(player.currentPlaybackTime(), 10);
    runLoop.runDue();
    EXPECT_EQ(titleOf(player.nowPlayingItem()), "b");
    EXPECT_EQ(received, (std::vector<std::string>{"state:1", "item:b"}));
    EXPECT_EQ(player.commands().back(), "setCurrentPlaybackTime:99");
}

TEST(ScriptedPlayerLifetime, WorkLeftOnTheRunLoopOutlivesNoPlayer)
{
    VirtualClock clock;
    platform::RunLoop runLoop{clock};
    NotificationCenter center;
    int delivered = 0;
    center.addObserver(&delivered, PlaybackStateDidChangeNotification, nullptr,
                       [&](const Notification&) { ++delivered; });
    {
        ScriptedMusicPlayer player{clock, runLoop, center};
        player.beginGeneratingPlaybackNotifications();
        player.setQueueWithItemCollection({{song("a", 10)}});
        player.play();
    }
    runLoop.runDue();
    EXPECT_EQ(delivered, 0);
}

} // namespace
