// Start-up: first-start preferences, the idle timer, the screen in the window,
// the reel rebuild on activation, and the controller's own lifecycle.

#include "app/SpooloraAppDelegate.h"
#include "support/PlayerWorld.h"

namespace {

using namespace playertest;

constexpr const char* markerKey = "first_startup_parameter_userprefs";
constexpr const char* tapeKey = "selectedTapePreference";

class AppLaunch : public ::testing::Test {
protected:
    platform::headless::HeadlessPlatform platform;
    std::unique_ptr<SpooloraAppDelegate> delegate = makeApplicationDelegate(platform);

    void launch()
    {
        delegate->applicationDidFinishLaunching();
        delegate->applicationDidBecomeActive();
        platform.runDueNow();
    }
    std::int64_t stored(const char* key) { return platform.standardUserDefaults().integerForKey(key); }
    void store(const char* key, std::int64_t value) { platform.standardUserDefaults().setIntegerForKey(value, key); }
};

TEST_F(AppLaunch, FirstStartWritesDefaultsOnlyWithoutTheMarker)
{
    struct Row {
        const char* what;
        std::optional<std::int64_t> marker, tape;
        std::int64_t tapeAfter;
    };
    const Row rows[] = {
        {"clean store", std::nullopt, std::nullopt, 0},
        {"marker 99", 99, 5, 0},
        {"marker 101", 101, 5, 0},
        {"marker, no tape index", 100, std::nullopt, 0},
        {"second launch with a chosen skin", 100, 5, 5},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        platform::headless::HeadlessPlatform world;
        if (row.marker)
            world.standardUserDefaults().setIntegerForKey(*row.marker, markerKey);
        if (row.tape)
            world.standardUserDefaults().setIntegerForKey(*row.tape, tapeKey);
        auto app = makeApplicationDelegate(world);
        app->applicationDidFinishLaunching();
        EXPECT_EQ(world.standardUserDefaults().integerForKey(markerKey), 100);
        EXPECT_EQ(world.standardUserDefaults().integerForKey(tapeKey), row.tapeAfter);
        // The screen read the index after the defaults were written.
        EXPECT_EQ(app->mainViewController()->selectedTape, row.tapeAfter);
    }
}

TEST_F(AppLaunch, FirstStartShowsTheFirstSkin)
{
    launch();
    const auto& image = delegate->mainViewController()->tapeSkinImageView->image();
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->name, "mc1-640.png");
}

TEST_F(AppLaunch, ScreenGoesIntoTheVisibleWindowWithTheTickRunning)
{
    launch();
    MainViewController& controller = *delegate->mainViewController();
    EXPECT_TRUE(platform.window().isVisible());
    ASSERT_EQ(platform.window().contentView().subviews().size(), 1u);
    EXPECT_EQ(controller.swipeHelperUIView->superview(), platform.window().contentView().subviews().front().get());
    // The first tick ran inside construction.
    EXPECT_EQ(controller.leftTapeRollUIView->pixelFromBandToSuppressInt, 84);
    ASSERT_TRUE(controller.setWheelSpeedAndTapeDimensionTimer);
    EXPECT_EQ(controller.setWheelSpeedAndTapeDimensionTimer->timeInterval(), 0.2);
    EXPECT_EQ(delegate->window(), &platform.window());
}

TEST_F(AppLaunch, IdleTimerIsOffWhileRunningAndBackOnAfterTermination)
{
    launch();
    EXPECT_TRUE(platform.isIdleTimerDisabled());
    delegate->applicationWillTerminate();
    EXPECT_FALSE(platform.isIdleTimerDisabled());
}

TEST_F(AppLaunch, ActivationRebuildsTheReelsOnceTheScreenExists)
{
    // Before launch there are no reels: nothing to rebuild, nothing to crash on.
    delegate->applicationDidBecomeActive();
    EXPECT_FALSE(delegate->mainViewController()->isViewLoaded());

    launch();
    MainViewController& controller = *delegate->mainViewController();
    ASSERT_NE(controller.leftWheelImageView->layer().animationForKey("leftRotationAnimation"), nullptr);
    platform.advance(3);
    delegate->applicationDidBecomeActive();
    EXPECT_EQ(controller.rightWheelImageView->layer().animationForKey("rightRotationAnimation")->beginTime,
              platform.clock().now());
}

TEST_F(AppLaunch, PlayerAlreadyPlayingAtLaunchShowsPauseAndTurns)
{
    platform.scriptedPlayer().setQueue({albumTrack(2)}, Notify::No);
    platform.scriptedPlayer().setState(platform::PlaybackState::Playing, Notify::No);
    launch();
    MainViewController& controller = *delegate->mainViewController();
    EXPECT_EQ(controller.tapeSpeedmmPerSecond, 47.625f);
    EXPECT_EQ(controller.lastTapeSpeedmmPerSecond, 47.625f);
    EXPECT_EQ(controller.myToolBar->items(), controller.barButtonItemsWithPauseArray);
    EXPECT_EQ(controller.currentTitleLabel->text(), "Track 2");
}

TEST_F(AppLaunch, EndingTheDelegateStopsEverything)
{
    launch();
    delegate.reset();
    EXPECT_FALSE(platform.scriptedPlayer().isGeneratingPlaybackNotifications());
    EXPECT_FALSE(platform.runLoop().nextDeadline().has_value());
    platform.advance(5);   // no tick may run into the gone controller
}

class ControllerLifecycle : public PlayerWorld {};

TEST_F(ControllerLifecycle, ConstructionStateAndLayout)
{
    showScreen();
    EXPECT_EQ(controller.oldiOSVersionPre32, platform::NO);
    EXPECT_EQ(controller.currentTitleLabel->font(), (platform::Font{"Casino Hand", 26}));
    EXPECT_EQ(controller.tapeSpeedmmPerSecond, 0.0f);
    EXPECT_EQ(controller.myToolBar->items(), controller.barButtonItemsWithPlayArray);
    EXPECT_EQ(controller.myToolBar->frame(), (platform::Rect{0, 430, 320, 50}));
    EXPECT_EQ(controller.myToolBar->barStyle(), platform::BarStyle::BlackTranslucent);
    // The two lists share every item but the ninth.
    ASSERT_EQ(controller.barButtonItemsWithPlayArray.size(), 16u);
    for (std::size_t i = 0; i < 16; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(controller.barButtonItemsWithPlayArray[i] == controller.barButtonItemsWithPauseArray[i], i != 8);
    }
    EXPECT_EQ(controller.barButtonItemsWithPlayArray[8]->systemItem(), platform::SystemItem::Play);
    EXPECT_EQ(controller.barButtonItemsWithPauseArray[8]->systemItem(), platform::SystemItem::Pause);
    EXPECT_EQ(controller.barButtonItemsWithPlayArray[2]->width(), 10.0f);
    EXPECT_EQ(controller.barButtonItemsWithPlayArray[1], controller.barButtonItemsWithPlayArray[4]);
    // The turned labels cover their upright rectangles.
    EXPECT_EQ(controller.currentArtistAlbumLabel->transform().rotation, -1.5707964f);
    EXPECT_EQ(controller.swipeHelperUIView->subviews().size(), 9u);
    EXPECT_DOUBLE_EQ(secondsUntil(controller.hideControlsDate), 5.0);
}

} // namespace
