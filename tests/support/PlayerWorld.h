#pragma once
// A headless world with one player controller in it: the virtual clock, the
// simulated music player, preferences in memory, the window. The controller's
// screen is built only when a test asks, so that the world can be set up first.

#include "mechanics/TapeBandCircleUIView.h"
#include "platform/Button.h"
#include "platform/headless/HeadlessPlatform.h"
#include "player/MainViewController.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace playertest {

using platform::headless::Notify;

struct ItemSpec {
    ItemSpec(std::optional<std::string> title = {}, std::optional<std::string> artist = {},
             std::optional<std::string> album = {}, std::optional<double> duration = {},
             std::optional<std::int64_t> number = {}, std::optional<std::int64_t> count = {})
        : title(std::move(title)), artist(std::move(artist)), album(std::move(album)), duration(duration),
          number(number), count(count)
    {
    }
    std::optional<std::string> title;
    std::optional<std::string> artist;
    std::optional<std::string> album;
    std::optional<double> duration;
    std::optional<std::int64_t> number;
    std::optional<std::int64_t> count;
};

inline platform::MediaItemPtr makeItem(const ItemSpec& fields)
{
    auto item = std::make_shared<platform::MediaItem>();
    item->title = fields.title;
    item->artist = fields.artist;
    item->albumTitle = fields.album;
    item->playbackDuration = fields.duration;
    item->albumTrackNumber = fields.number;
    item->albumTrackCount = fields.count;
    return item;
}

// Track n of a ten-track album, three minutes long.
inline platform::MediaItemPtr albumTrack(std::int64_t number, std::int64_t count = 10, double duration = 180)
{
    return makeItem({"Track " + std::to_string(number), "Artist", "Album", duration, number, count});
}

class PlayerWorld : public ::testing::Test {
protected:
    platform::headless::HeadlessPlatform platform;
    platform::headless::ScriptedMusicPlayer& player = platform.scriptedPlayer();
    MainViewController controller{platform};

    // Builds the screen (the first tick runs inside) and puts it into the window,
    // where touches can reach it.
    void showScreen()
    {
        controller.view();
        platform.window().addSubview(controller.takeView());
        platform.runDueNow();
    }

    // A queue of albumTrack(1..n), the first item playing from `seconds`.
    void playAlbum(int tracks, double seconds = 0, Notify notify = Notify::No)
    {
        std::vector<platform::MediaItemPtr> queue;
        for (int n = 1; n <= tracks; ++n)
            queue.push_back(albumTrack(n, tracks));
        player.setQueue(queue, notify);
        player.setState(platform::PlaybackState::Playing, notify);
        player.setTime(seconds);
    }

    double secondsUntil(const platform::Date& date) const { return date.timeIntervalSinceNow(platform.clock()); }

    void tap(float x, float y)
    {
        platform.window().touchDown({x, y});
        platform.window().touchUp({x, y});
        platform.runDueNow();
    }
    // Presses for the given time (ticks and notifications run meanwhile), then releases.
    void press(float x, float y, double seconds)
    {
        platform.window().touchDown({x, y});
        platform.advance(seconds);
        platform.window().touchUp({x, y});
        platform.runDueNow();
    }

    std::vector<std::string> commandsSince(std::size_t first) const
    {
        const auto& all = player.commands();
        return {all.begin() + static_cast<std::ptrdiff_t>(std::min(first, all.size())), all.end()};
    }

    const platform::BasicAnimation* leftSpin() const
    {
        return controller.leftWheelImageView->layer().animationForKey("leftRotationAnimation");
    }
    const platform::BasicAnimation* rightSpin() const
    {
        return controller.rightWheelImageView->layer().animationForKey("rightRotationAnimation");
    }
    // The angle the reel shows now; 0 at rest.
    double shownAngle(const platform::ImageView& reel) const
    {
        return reel.layer().presentationAt(platform.clock().now()).rotation;
    }

    bool toolbarShowsPause() const
    {
        return controller.myToolBar->items() == controller.barButtonItemsWithPauseArray;
    }
    bool toolbarShowsPlay() const
    {
        return controller.myToolBar->items() == controller.barButtonItemsWithPlayArray;
    }
};

// Centres of the screen's touch areas, in screen points.
inline constexpr platform::Point upperCassetteButton{148, 106};
inline constexpr platform::Point lowerCassetteButton{148, 369};
inline constexpr platform::Point cassetteArea{20, 200};
inline constexpr platform::Point bottomStrip{160, 425};

} // namespace playertest
