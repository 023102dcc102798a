#include "player/MainViewController.h"

#include "mechanics/TapeBandCircleUIView.h"

MainViewController::MainViewController(platform::Platform& platform)
    : platform::ViewController(platform.window()), platform_(platform)
{
}

MainViewController::~MainViewController()
{
    if (musicPlayer) {
        platform::NotificationCenter& center = platform_.defaultCenter();
        center.removeObserver(this, platform::NowPlayingItemDidChangeNotification, musicPlayer);
        center.removeObserver(this, platform::PlaybackStateDidChangeNotification, musicPlayer);
        musicPlayer->endGeneratingPlaybackNotifications();
    }
    musicPlayer = nullptr;
    setWheelSpeedAndTapeDimensionTimer.reset();

    // The toolbar only points at the items this controller owns: take them off it
    // before they go, so that it never holds a dangling item.
    if (myToolBar)
        myToolBar->setItems({}, false);
    // The screen's controls call back into this controller; a screen left in the
    // window would outlive its target.
    if (isViewLoaded() && view().superview())
        view().removeFromSuperview();
}

void MainViewController::setLeftTapeRollUIView(TapeBandCircleUIView* view) noexcept { leftTapeRollUIView = view; }
void MainViewController::setRightTapeRollUIView(TapeBandCircleUIView* view) noexcept { rightTapeRollUIView = view; }
void MainViewController::setSwipeHelperUIView(platform::View* view) noexcept { swipeHelperUIView = view; }
void MainViewController::setMyToolBar(platform::Toolbar* toolbar) noexcept { myToolBar = toolbar; }
void MainViewController::setMusicPlayer(platform::MusicPlayer* player) noexcept { musicPlayer = player; }
void MainViewController::setCurrentArtistAlbumLabel(platform::Label* label) noexcept { currentArtistAlbumLabel = label; }
void MainViewController::setCurrentTitleLabel(platform::Label* label) noexcept { currentTitleLabel = label; }
void MainViewController::setRightWheelImageView(platform::ImageView* view) noexcept { rightWheelImageView = view; }
void MainViewController::setLeftBandImageView(platform::ImageView* view) noexcept { leftBandImageView = view; }
void MainViewController::setRightBandImageView(platform::ImageView* view) noexcept { rightBandImageView = view; }
void MainViewController::setLeftWheelImageView(platform::ImageView* view) noexcept { leftWheelImageView = view; }
void MainViewController::setTapeSkinImageView(platform::ImageView* view) noexcept { tapeSkinImageView = view; }

void MainViewController::setBarButtonItemsWithPlayArray(std::vector<platform::BarButtonItem*> items)
{
    barButtonItemsWithPlayArray = std::move(items);
}

void MainViewController::setBarButtonItemsWithPauseArray(std::vector<platform::BarButtonItem*> items)
{
    barButtonItemsWithPauseArray = std::move(items);
}

void MainViewController::setTouchDownDate(platform::Date date) noexcept { touchDownDate = date; }
void MainViewController::setHideControlsDate(platform::Date date) noexcept { hideControlsDate = date; }
void MainViewController::setWheelSpinningSkipDate(platform::Date date) noexcept { wheelSpinningSkipDate = date; }

void MainViewController::didReceiveMemoryWarning()
{
    platform::ViewController::didReceiveMemoryWarning();
}

void MainViewController::viewDidUnload() {}

platform::Date MainViewController::dateFromNow(double seconds) const noexcept
{
    return platform::Date::dateWithTimeIntervalSinceNow(platform_.clock(), seconds);
}
