// The desktop window's title follows what plays, from the player's notifications.

#include "app/WindowTitle.h"
#include "support/PlayerWorld.h"

namespace {

using namespace playertest;
using platform::PlaybackState::Paused;
using platform::PlaybackState::Playing;
using platform::PlaybackState::Stopped;

TEST(WindowTitle, NamesWhatPlaysAndOnlyTheApplicationOtherwise)
{
    platform::headless::HeadlessPlatform world;
    auto& player = world.scriptedPlayer();
    player.beginGeneratingPlaybackNotifications();
    std::vector<std::string> shown;
    spoolora::WindowTitleKeeper keeper(player, world.defaultCenter(),
                                       [&shown](const std::string& title) { shown.push_back(title); });
    ASSERT_EQ(shown, std::vector<std::string>{"Spoolora"});

    player.setQueue({makeItem({"Ferry Lights", "The Harbour Reels"}), makeItem({"Nachtzug"})}, Notify::Yes);
    world.runDueNow();
    EXPECT_EQ(shown.back(), "Spoolora");   // queued, but stopped: nothing plays yet
    player.setState(Playing, Notify::Yes);
    world.runDueNow();
    EXPECT_EQ(shown.back(), "Ferry Lights \u2014 The Harbour Reels \u00b7 Spoolora");
    player.setState(Paused, Notify::Yes);
    world.runDueNow();
    EXPECT_EQ(shown.back(), "Ferry Lights \u2014 The Harbour Reels \u00b7 Spoolora");
    player.skipToNextItem();
    world.runDueNow();
    EXPECT_EQ(shown.back(), "Nachtzug \u00b7 Spoolora");   // no artist
    const std::size_t changes = shown.size();
    player.setState(Playing, Notify::Yes);
    world.runDueNow();
    EXPECT_EQ(shown.size(), changes);   // the same title is not set again

    // The queue runs out: stopped with no item.
    player.skipToNextItem();
    world.runDueNow();
    EXPECT_EQ(shown.back(), "Spoolora");
}

TEST(WindowTitle, TagsBecomeOneLineOfValidText)
{
    platform::headless::HeadlessPlatform world;
    auto& player = world.scriptedPlayer();
    player.setQueue({makeItem({"Two\nLines\t", "Bad \xff byte"})}, Notify::No);
    player.setState(Playing, Notify::No);
    const std::string title = spoolora::windowTitle(player);
    EXPECT_EQ(title.find('\n'), std::string::npos);
    EXPECT_EQ(title.find('\t'), std::string::npos);
    EXPECT_EQ(title.find('\xff'), std::string::npos);
    EXPECT_EQ(title.rfind("Two Lines \u2014 Bad ", 0), 0u) << title;

    player.setQueue({makeItem({"  ", "Artist"})}, Notify::No);
    EXPECT_EQ(spoolora::windowTitle(player), "Spoolora");   // a title of blanks is no title
    player.setState(Stopped, Notify::No);
}

} // namespace
