// While tape moves the wound tape wobbles: the band pictures tilt one degree to
// either side and, with the tape rolls, bob one point down and back. One step
// per tick, four steps to a cycle.

#include "player/MainViewController.h"

#include "mechanics/TapeBandCircleUIView.h"

namespace {

constexpr float tiltRadians = 0.01745329f;

} // namespace

void MainViewController::wobbbleTapeLeftAndRight()
{
    // A stopped tape keeps whatever pose it stopped in.
    if (tapeSpeedmmPerSecond == 0.0f)
        return;

    wobbleState = wobbleState < 3 ? wobbleState + 1 : 0;

    // Frames are set only while the band pictures are level.
    switch (wobbleState) {
    case 0:
        leftBandImageView->setTransform(platform::AffineTransform::makeRotation(-tiltRadians));
        rightBandImageView->setTransform(platform::AffineTransform::makeRotation(-tiltRadians));
        break;
    case 1:
        leftBandImageView->setTransform(platform::AffineTransform::identity());
        rightBandImageView->setTransform(platform::AffineTransform::identity());
        rightBandImageView->setFrame(rightBandRectPosStart);
        rightTapeRollUIView->setFrame(rightTapeRollRectPosStart);
        leftBandImageView->setFrame(leftBandRectPosStart);
        leftTapeRollUIView->setFrame(leftTapeRollRectPosStart);
        break;
    case 2:
        leftBandImageView->setTransform(platform::AffineTransform::makeRotation(tiltRadians));
        rightBandImageView->setTransform(platform::AffineTransform::makeRotation(tiltRadians));
        break;
    default:
        leftBandImageView->setTransform(platform::AffineTransform::identity());
        rightBandImageView->setTransform(platform::AffineTransform::identity());
        rightBandImageView->setFrame(rightBandRectPosWobble);
        rightTapeRollUIView->setFrame(rightTapeRollRectPosWobble);
        leftBandImageView->setFrame(leftBandRectPosWobble);
        leftTapeRollUIView->setFrame(leftTapeRollRectPosWobble);
        break;
    }
}
