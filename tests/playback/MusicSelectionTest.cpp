// Choosing music: one picker at a time, the choice becomes the whole queue in
// the picked order, an empty choice or a cancel changes nothing.

#include "support/PlayerWorld.h"

namespace {

using namespace playertest;

class MusicSelection : public PlayerWorld {
protected:
    void SetUp() override
    {
        platform.setLibrary({albumTrack(1, 3), albumTrack(2, 3), albumTrack(3, 3)});
        showScreen();
    }
};

TEST_F(MusicSelection, PickerOpensForMusicWithItsSettings)
{
    controller.skipSpinningBOOL = platform::YES;
    controller.currentlySeekActive = platform::YES;
    controller.tapeSpeedmmPerSecond = 285.75f;
    platform.clock().setNow(platform::nanosecondsFromSeconds(2));
    controller.selectMusicFromLibrary();

    auto* picker = platform.presentedPicker();
    ASSERT_NE(picker, nullptr);
    EXPECT_EQ(picker->mediaTypes(), platform::MediaType::Music);
    EXPECT_EQ(picker->delegate(), &controller);
    const platform::headless::PickerSettings settings = platform.pickersMade().back().settings;
    EXPECT_TRUE(settings.multiple);
    EXPECT_FALSE(settings.prompt.has_value());
    EXPECT_EQ(settings.background, platform::Color::black());

    EXPECT_EQ(controller.mediaPickerCurrentlyShownBool, platform::YES);
    EXPECT_EQ(controller.skipSpinningBOOL, platform::NO);
    EXPECT_EQ(controller.currentlySeekActive, platform::NO);
    EXPECT_EQ(controller.tapeSpeedmmPerSecond, 285.75f);   // the speed waits for the player
    EXPECT_DOUBLE_EQ(secondsUntil(controller.hideControlsDate), 5.0);
}

TEST_F(MusicSelection, SecondRequestWhileShownDoesNothing)
{
    controller.selectMusicFromLibrary();
    platform.clock().setNow(platform::nanosecondsFromSeconds(3));
    controller.selectMusicFromLibrary();
    EXPECT_EQ(platform.pickersMade().size(), 1u);
    EXPECT_DOUBLE_EQ(secondsUntil(controller.hideControlsDate), 2.0);
}

TEST_F(MusicSelection, PickedItemsBecomeTheQueueInPickedOrder)
{
    controller.selectMusicFromLibrary();
    const std::size_t before = player.commands().size();
    platform.presentedPicker()->pick({2, 0});
    platform.advance(1);

    EXPECT_EQ(commandsSince(before), (std::vector<std::string>{"setQueueWithItemCollection:2", "play"}));
    ASSERT_EQ(player.queue().size(), 2u);
    EXPECT_EQ(player.queue()[0]->title, "Track 3");
    EXPECT_EQ(player.queue()[1]->title, "Track 1");
    EXPECT_EQ(controller.mediaPickerCurrentlyShownBool, platform::NO);
    EXPECT_EQ(platform.presentedPicker(), nullptr);
    // The player's notifications then start the tape and name the track.
    EXPECT_EQ(controller.tapeSpeedmmPerSecond, 47.625f);
    EXPECT_EQ(controller.currentTitleLabel->text(), "Track 3");
}

TEST_F(MusicSelection, EmptyChoiceAndCancelLeaveThePlayerAlone)
{
    for (bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancel" : "empty choice");
        controller.selectMusicFromLibrary();
        const std::size_t before = player.commands().size();
        if (cancel)
            platform.presentedPicker()->cancel();
        else
            platform.presentedPicker()->pick({});
        platform.advance(1);
        EXPECT_TRUE(commandsSince(before).empty());
        EXPECT_EQ(controller.mediaPickerCurrentlyShownBool, platform::NO);
        EXPECT_EQ(platform.presentedPicker(), nullptr);
    }
    // A later request opens a new picker.
    controller.selectMusicFromLibrary();
    EXPECT_EQ(platform.pickersMade().size(), 3u);
}

} // namespace
