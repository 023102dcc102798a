// The listener picks music in the platform's picker; the choice becomes the
// player's whole queue and starts playing. The queue lives in the player only.

#include "player/MainViewController.h"

void MainViewController::selectMusicFromLibrary()
{
    // One picker at a time, however it is asked for.
    if (mediaPickerCurrentlyShownBool)
        return;
    setHideControlsDate(dateFromNow(hideControlsDelaySeconds));
    // The tape speed stays until the next state change or transport action sets it.
    skipSpinningBOOL = platform::NO;
    currentlySeekActive = platform::NO;

    std::unique_ptr<platform::MediaPickerController> picker = platform_.makeMediaPicker(platform::MediaType::Music);
    picker->setDelegate(this);
    picker->setAllowsPickingMultipleItems(true);
    picker->setPrompt(std::nullopt);
    picker->view().setBackgroundColor(platform::Color::black());

    mediaPickerCurrentlyShownBool = platform::YES;
    // The presentation owns the picker from here on.
    presentModalViewController(std::move(picker), true);
}

void MainViewController::mediaPickerDidPickMediaItems(platform::MediaPickerController&,
                                                      const platform::MediaItemCollection& collection)
{
    // The collection may belong to the picker that is being dismissed.
    const platform::MediaItemCollection picked = collection;
    mediaPickerCurrentlyShownBool = platform::NO;
    dismissModalViewControllerAnimated(true);
    if (picked.count() > 0)
        updatePlayerQueueWithMediaCollection(picked);
}

void MainViewController::mediaPickerDidCancel(platform::MediaPickerController&)
{
    mediaPickerCurrentlyShownBool = platform::NO;
    dismissModalViewControllerAnimated(true);
}

void MainViewController::updatePlayerQueueWithMediaCollection(const platform::MediaItemCollection& collection)
{
    // The picked order is the queue's order; shuffle and repeat are left alone.
    musicPlayer->setQueueWithItemCollection(collection);
    musicPlayer->play();
}
