// The toolbar of music controls hides by itself a few seconds after the last
// use, so that the whole cassette shows; a tap brings it back.

#include "player/MainViewController.h"

void MainViewController::toggleMusicControls()
{
    if (myToolBar->isHidden())
        showMusicControls();
    else
        hideMusicControls();
}

void MainViewController::showMusicControls()
{
    myToolBar->setHidden(false);
    setHideControlsDate(dateFromNow(hideControlsDelaySeconds));
}

void MainViewController::hideMusicControls()
{
    // The deadline stays: only showing the controls sets a new one.
    myToolBar->setHidden(true);
}
