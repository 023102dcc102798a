// The reels turn by themselves: each carries one long linear rotation that the
// animation layer plays. A speed change replaces both rotations, starting from
// the angle each reel shows at that moment.

#include "player/MainViewController.h"

#include "mechanics/ReelPhysics.h"

namespace {

void replaceSpinAnimation(platform::ImageView& reel, const char* key, float radiansPerSecond,
                          const platform::Clock& clock)
{
    platform::Layer& layer = reel.layer();
    double presentAngle = 0;
    if (const std::optional<platform::PresentationLayer> shown = layer.presentationLayer(clock))
        presentAngle = presentedAngle(shown->transform.m11(), shown->transform.m12());

    layer.removeAllAnimations();

    auto spin = platform::BasicAnimation::animationWithKeyPath("transform.rotation.z");
    spin.fromValue = spinStartValue(presentAngle, radiansPerSecond);
    spin.byValue = spinByValue(radiansPerSecond);
    spin.timingFunction = platform::TimingFunction::Linear;
    spin.duration = spinAnimationSeconds;
    spin.cumulative = true;
    spin.repeatCount = 0;
    spin.removedOnCompletion = false;
    spin.fillMode = platform::FillMode::Backwards;
    layer.addAnimation(std::move(spin), key, clock);
}

} // namespace

void MainViewController::setRotationAnimation()
{
    leftDegreesPiPerSecond = angularSpeed(tapeSpeedmmPerSecond, leftDiameterWheelMM);
    rightDegreesPiPerSecond = angularSpeed(tapeSpeedmmPerSecond, rightDiameterWheelMM);
    changeRotationAnimationForWheels();
}

void MainViewController::changeRotationAnimationForWheels()
{
    const platform::Clock& clock = platform_.clock();
    replaceSpinAnimation(*rightWheelImageView, "rightRotationAnimation", rightDegreesPiPerSecond, clock);
    replaceSpinAnimation(*leftWheelImageView, "leftRotationAnimation", leftDegreesPiPerSecond, clock);
}
