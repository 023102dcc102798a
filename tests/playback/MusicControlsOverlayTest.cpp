// The toolbar hides itself a little after the last use; taps show and hide it.

#include "support/PlayerWorld.h"

namespace {

using namespace playertest;

class MusicControlsOverlay : public PlayerWorld {
protected:
    void SetUp() override { showScreen(); }
    bool toolbarHidden() const { return controller.myToolBar->isHidden(); }
};

TEST_F(MusicControlsOverlay, HidesAtFirstTickPastTheDeadline)
{
    platform.advance(5.0);   // a tick exactly at the deadline does not hide
    EXPECT_FALSE(toolbarHidden());
    platform.advance(0.2);
    EXPECT_TRUE(toolbarHidden());
}

TEST_F(MusicControlsOverlay, CassetteTapTogglesAndShowingStartsANewDeadline)
{
    tap(cassetteArea.x, cassetteArea.y);
    EXPECT_TRUE(toolbarHidden());
    platform.advance(3);
    tap(cassetteArea.x, cassetteArea.y);
    EXPECT_FALSE(toolbarHidden());
    EXPECT_DOUBLE_EQ(secondsUntil(controller.hideControlsDate), 5.0);
    platform.advance(5.2);
    EXPECT_TRUE(toolbarHidden());
}

TEST_F(MusicControlsOverlay, BottomStripShowsTheToolbarFromAnywhereOnceHidden)
{
    controller.hideMusicControls();
    tap(160, 470);   // under the hidden toolbar
    EXPECT_FALSE(toolbarHidden());

    // While shown, the strip's top band above the bar still takes a tap: a new deadline.
    platform.advance(2);
    tap(bottomStrip.x, bottomStrip.y);
    EXPECT_FALSE(toolbarHidden());
    EXPECT_DOUBLE_EQ(secondsUntil(controller.hideControlsDate), 5.0);
}

TEST_F(MusicControlsOverlay, ActionsWhileHiddenMoveTheDeadlineOnly)
{
    playAlbum(3, 10, Notify::Yes);
    platform.advance(6);
    ASSERT_TRUE(toolbarHidden());
    press(upperCassetteButton.x, upperCassetteButton.y, 0.1);
    EXPECT_TRUE(toolbarHidden());
    EXPECT_DOUBLE_EQ(secondsUntil(controller.hideControlsDate), 5.0);
}

} // namespace
