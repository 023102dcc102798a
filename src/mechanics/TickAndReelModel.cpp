// The 0.2-second tick and the reel model that turns the position in the
// current album into the diameters of the tape wound on the two reels.

#include "player/MainViewController.h"

#include "mechanics/ReelPhysics.h"

namespace {

// A skip's fast spin lasts a little more than this.
constexpr double skipSpinSeconds = 1.5;

// Whether the layer's spin animation is missing or so old that it would run out soon.
bool spinNeedsRefresh(const platform::Layer& layer, const char* key, platform::Nanoseconds now)
{
    const platform::BasicAnimation* animation = layer.animationForKey(key);
    if (!animation)
        return true;
    return platform::secondsFromNanoseconds(now - animation->beginTime) >= spinRefreshAgeSeconds;
}

} // namespace

void MainViewController::setWheelRotationSpeedAndTapeDimension()
{
    const platform::Clock& clock = platform_.clock();

    if (!myToolBar->isHidden() && hideControlsDate.timeIntervalSinceNow(clock) < 0)
        hideMusicControls();

    if (skipSpinningBOOL && wheelSpinningSkipDate.timeIntervalSinceNow(clock) < -skipSpinSeconds)
        skipSpinningIsFinished();

    setWheelDiameterAndRotationSpeedBasedOnAlbumPosition();
    drawTapeLinesBasedOnDiameter();

    // Catches every speed change whose writer did not rebuild the animation itself.
    // NaN compares unequal, so it counts as a change.
    if (!(tapeSpeedmmPerSecond == lastTapeSpeedmmPerSecond)) {
        setRotationAnimation();
        lastTapeSpeedmmPerSecond = tapeSpeedmmPerSecond;
    } else if (tapeSpeedmmPerSecond != 0) {
        // On a long item the radius changes that normally rebuild the spin can come
        // more than an animation's length apart; moving tape must keep turning reels.
        const platform::Nanoseconds now = clock.now();
        if (spinNeedsRefresh(leftWheelImageView->layer(), "leftRotationAnimation", now) ||
            spinNeedsRefresh(rightWheelImageView->layer(), "rightRotationAnimation", now))
            setRotationAnimation();
    }

    wobbbleTapeLeftAndRight();
}

void MainViewController::setWheelDiameterAndRotationSpeedBasedOnAlbumPosition()
{
    const platform::MediaItemPtr item = musicPlayer->nowPlayingItem();
    if (!item) {
        leftDiameterWheelMM = static_cast<float>(emptyReelDiameterMM);
        rightDiameterWheelMM = static_cast<float>(fullReelDiameterMM);
        return;
    }
    // The album is the one the item's own metadata names, not the picked queue.
    const float fraction = trackFraction(musicPlayer->currentPlaybackTime(), item->playbackDurationValue());
    const float position = albumPosition(item->albumTrackNumberValue(), item->albumTrackCountValue(), fraction);
    const Diameters diameters = diametersForAlbumPosition(position);
    rightDiameterWheelMM = diameters.rightMM;
    leftDiameterWheelMM = diameters.leftMM;
}
