// The deck's transport: play and pause, press-and-hold seeking, tap skipping,
// and the fast reel spin that goes with seeking and skipping. The player's
// notifications bring the rest (toolbar item, playing speed) after a change.

#include "player/MainViewController.h"

#include "mechanics/ReelPhysics.h"

namespace {

using namespace platform::PlaybackState;

// A press of at most this long is a tap (skip); a longer one was a hold (seek).
constexpr double tapMaximumSeconds = 0.5;
constexpr double controlsVisibleSeconds = 5.0;
// While a toolbar seek control is held the toolbar must not hide under the finger.
constexpr double controlsHeldSeconds = 1000.0;

enum class Direction { Forward, Backward };

float signedSpeed(float speed, Direction direction)
{
    return direction == Direction::Forward ? speed : -speed;
}

} // namespace

void MainViewController::playOrPauseSongAction()
{
    setHideControlsDate(dateFromNow(controlsVisibleSeconds));
    const std::int32_t state = musicPlayer->playbackState();
    skipSpinningBOOL = platform::NO;
    currentlySeekActive = platform::NO;

    if (state == SeekingForward || state == SeekingBackward) {
        musicPlayer->endSeeking();
        return;
    }
    if (state == Stopped || state == Paused)
        musicPlayer->play();
    else if (state == Playing)
        musicPlayer->pause();
}

namespace {

void startSeek(MainViewController& controller, platform::Date now, Direction direction)
{
    controller.currentlySeekActive = platform::YES;
    controller.tapeSpeedmmPerSecond = signedSpeed(seekingTapeSpeedmmPerSecond, direction);
    controller.setRotationAnimation();
    controller.lastTapeSpeedmmPerSecond = controller.tapeSpeedmmPerSecond;
    if (direction == Direction::Forward)
        controller.musicPlayer->beginSeekingForward();
    else
        controller.musicPlayer->beginSeekingBackward();
    controller.setTouchDownDate(now);
}

} // namespace

void MainViewController::startSeekForward()
{
    startSeek(*this, platform::Date::now(platform_.clock()), Direction::Forward);
}

void MainViewController::startSeekBackward()
{
    startSeek(*this, platform::Date::now(platform_.clock()), Direction::Backward);
}

void MainViewController::startSeekForwardControlButtonClicked()
{
    setHideControlsDate(dateFromNow(controlsHeldSeconds));
    startSeekForward();
}

void MainViewController::startSeekBackwardControlButtonClicked()
{
    setHideControlsDate(dateFromNow(controlsHeldSeconds));
    startSeekBackward();
}

namespace {

// Release inside a seek control: a hold only ends the seek, a tap skips a track.
void releaseSeekControl(MainViewController& controller, const platform::Clock& clock, Direction direction)
{
    controller.setHideControlsDate(platform::Date::dateWithTimeIntervalSinceNow(clock, controlsVisibleSeconds));
    const double pressSeconds = -controller.touchDownDate.timeIntervalSinceNow(clock);
    if (pressSeconds > tapMaximumSeconds) {
        controller.seekSpinningIsFinished();
        return;
    }

    platform::MusicPlayer& player = *controller.musicPlayer;
    player.endSeeking();
    controller.currentlySeekActive = platform::NO;
    controller.skipSpinningBOOL = platform::YES;
    controller.tapeSpeedmmPerSecond = signedSpeed(skippingTapeSpeedmmPerSecond, direction);
    controller.setRotationAnimation();
    controller.lastTapeSpeedmmPerSecond = controller.tapeSpeedmmPerSecond;
    controller.setWheelSpinningSkipDate(platform::Date::now(clock));

    // Under repeat-all a skip past either end of the queue wraps instead of stopping.
    player.setRepeatMode(platform::RepeatMode::All);
    if (direction == Direction::Forward)
        player.skipToNextItem();
    else
        player.skipToPreviousItem();
    player.setRepeatMode(platform::RepeatMode::Default);
}

} // namespace

void MainViewController::skipToNextSongAction()
{
    releaseSeekControl(*this, platform_.clock(), Direction::Forward);
}

void MainViewController::skipToPreviousSongAction()
{
    releaseSeekControl(*this, platform_.clock(), Direction::Backward);
}

void MainViewController::seekSpinningIsFinished()
{
    currentlySeekActive = platform::NO;
    const std::int32_t state = musicPlayer->playbackState();
    musicPlayer->endSeeking();

    // While the player still reports seeking, the speed and toolbar wait for the
    // state notification that follows the end of the seek.
    if (state == Stopped || state == Paused) {
        tapeSpeedmmPerSecond = 0;
        myToolBar->setItems(barButtonItemsWithPlayArray, false);
    } else if (state == Playing) {
        tapeSpeedmmPerSecond = playingTapeSpeedmmPerSecond;
        myToolBar->setItems(barButtonItemsWithPauseArray, false);
    }

    setRotationAnimation();
    lastTapeSpeedmmPerSecond = tapeSpeedmmPerSecond;
}

void MainViewController::skipSpinningIsFinished()
{
    skipSpinningBOOL = platform::NO;
    const std::int32_t state = musicPlayer->playbackState();
    if (state == Stopped || state == Paused)
        tapeSpeedmmPerSecond = 0;
    else if (state == Playing)
        tapeSpeedmmPerSecond = playingTapeSpeedmmPerSecond;

    setRotationAnimation();
    lastTapeSpeedmmPerSecond = tapeSpeedmmPerSecond;
}
