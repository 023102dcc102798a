// The player changes by itself too: a track ends, the queue runs out, a call
// interrupts, the device's own controls are used. The screen follows its two
// notifications, and opens the picker when nothing is left to play.

#include "player/MainViewController.h"

#include "mechanics/ReelPhysics.h"

void MainViewController::registerForMediaPlayerNotifications()
{
    platform::NotificationCenter& center = platform_.defaultCenter();
    // The destructor removes both subscriptions before this controller goes.
    center.addObserver(this, platform::NowPlayingItemDidChangeNotification, musicPlayer,
                       [this](const platform::Notification& n) { handle_NowPlayingItemChanged(n); });
    center.addObserver(this, platform::PlaybackStateDidChangeNotification, musicPlayer,
                       [this](const platform::Notification& n) { handle_PlaybackStateChanged(n); });
    musicPlayer->beginGeneratingPlaybackNotifications();
}

void MainViewController::handle_NowPlayingItemChanged(const platform::Notification&)
{
    // The reels take up the new item's place in the album at the next tick.
    setLabelStrings();
}

void MainViewController::handle_PlaybackStateChanged(const platform::Notification&)
{
    using namespace platform::PlaybackState;
    // A seek or a skip spin keeps its fast speed through the track change it causes.
    const bool transportSpinning = skipSpinningBOOL || currentlySeekActive;

    switch (musicPlayer->playbackState()) {
    case Stopped: {
        tapeSpeedmmPerSecond = 0;
        myToolBar->setItems(barButtonItemsWithPlayArray, false);
        const bool nothingToPlay = oldiOSVersionPre32 ? musicPlayer->nowPlayingItem() == nullptr
                                                      : musicPlayer->indexOfNowPlayingItem() == platform::NotFound;
        if (nothingToPlay)
            selectMusicFromLibrary();
        break;
    }
    case Playing:
        if (!transportSpinning)
            tapeSpeedmmPerSecond = playingTapeSpeedmmPerSecond;
        myToolBar->setItems(barButtonItemsWithPauseArray, false);
        break;
    case Paused:
        if (!transportSpinning)
            tapeSpeedmmPerSecond = 0;
        myToolBar->setItems(barButtonItemsWithPlayArray, false);
        break;
    case Interrupted:
        tapeSpeedmmPerSecond = 0;
        break;
    default:
        // Seeking, and any state this screen does not know, change nothing.
        break;
    }

    setRotationAnimation();
    lastTapeSpeedmmPerSecond = tapeSpeedmmPerSecond;
}
