// The wound tape on each reel is a band picture with a black ring over its
// outer part; the ring's width follows the reel's diameter. The fuller reel's
// pair of views lies on top, as its tape would.

#include "player/MainViewController.h"

#include "mechanics/ReelPhysics.h"
#include "mechanics/TapeBandCircleUIView.h"

namespace {

// The spin animations follow the diameters, but rebuilding them on every
// radius change would make the reels jitter; once per this many seconds is enough.
constexpr double spinRebuildIntervalSeconds = 10.0;

} // namespace

void MainViewController::drawTapeLinesBasedOnDiameter()
{
    pixelRadiusLeft = rollRadiusPoints(leftDiameterWheelMM);
    pixelRadiusRight = rollRadiusPoints(rightDiameterWheelMM);

    if (pixelRadiusLeft > pixelRadiusRight && !leftWheelIsOnTopBOOL) {
        leftWheelIsOnTopBOOL = platform::YES;
        swipeHelperUIView->insertSubviewBelowSubview(*rightTapeRollUIView, *leftBandImageView);
        swipeHelperUIView->insertSubviewBelowSubview(*rightBandImageView, *rightTapeRollUIView);
    }
    if (pixelRadiusLeft < pixelRadiusRight && leftWheelIsOnTopBOOL) {
        leftWheelIsOnTopBOOL = platform::NO;
        swipeHelperUIView->insertSubviewBelowSubview(*leftTapeRollUIView, *rightBandImageView);
        swipeHelperUIView->insertSubviewBelowSubview(*leftBandImageView, *leftTapeRollUIView);
    }

    if (pixelRadiusLeft != lastPixelRadiusLeft || pixelRadiusRight != lastPixelRadiusRight) {
        leftTapeRollUIView->setPixelFromBandToSuppress(fullBandRadiusPoints - pixelRadiusLeft);
        rightTapeRollUIView->setPixelFromBandToSuppress(fullBandRadiusPoints - pixelRadiusRight);
        leftTapeRollUIView->setNeedsDisplay();
        rightTapeRollUIView->setNeedsDisplay();
        if (changeRotationTimer.timeIntervalSinceNow(platform_.clock()) < 0) {
            setRotationAnimation();
            changeRotationTimer = dateFromNow(spinRebuildIntervalSeconds);
        }
    }

    lastPixelRadiusLeft = pixelRadiusLeft;
    lastPixelRadiusRight = pixelRadiusRight;
}
