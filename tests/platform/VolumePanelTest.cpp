// The toolbar's volume control and its panel, driven by touches, the wheel and keys
// in the headless window: the slider, the crossed speaker at 0, the choice of output,
// the ways the panel closes, and what the preferences keep.

#include "platform/Button.h"
#include "platform/Toolbar.h"
#include "platform/ViewContent.h"
#include "platform/VolumeView.h"
#include "platform/headless/HeadlessPlatform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

using namespace platform;

namespace {

// The names of the pictures a view shows of itself.
class PictureNames final : public ContentRecorder {
public:
    std::vector<std::string> names;
    void drawing(int) override {}
    void picture(const Image& image, Rect, PictureFit, int) override { names.push_back(image.name); }
    void fill(Rect, Color, int) override {}
    void glow(Point, int) override {}
};

class VolumePanelWorld : public ::testing::Test {
protected:
    headless::HeadlessPlatform platform;
    headless::ScriptedMusicPlayer& player = platform.scriptedPlayer();
    Window& window = platform.window();
    std::vector<std::string> log;
    Toolbar* bar = nullptr;
    VolumeView* icon = nullptr;
    std::unique_ptr<BarButtonItem> spaceItem, volumeItem;

    void SetUp() override
    {
        player.setOutputDevices({"USB DAC", "HDMI"});
        // Something under the panel that would notice a touch that got through.
        auto below = std::make_unique<Button>(Rect{0, 0, 320, 430});
        below->addAction([this] { log.push_back("below"); }, ControlEvent::TouchUpInside);
        window.contentView().addSubview(std::move(below));

        bar = &window.contentView().addSubview(std::make_unique<Toolbar>(Rect{0, 430, 320, 50}));
        auto view = std::make_unique<VolumeView>(Rect{0, 10, 30, 40}, platform.volumeControl());
        view->setShowsVolumeSlider(false);
        view->sizeToFit();
        icon = view.get();
        volumeItem = std::make_unique<BarButtonItem>(std::move(view));
        spaceItem = std::make_unique<BarButtonItem>(SystemItem::FlexibleSpace);
        bar->setItems({spaceItem.get(), volumeItem.get()}, false);
    }

    void tap(Point at)
    {
        window.touchDown(at);
        window.touchUp(at);
    }
    Point iconCentre() const
    {
        const Rect r = icon->frameOnScreen();
        return {r.midX(), r.midY()};
    }
    VolumePanel* panel() const { return dynamic_cast<VolumePanel*>(window.presentedController()); }
    VolumePanel& openedPanel()
    {
        tap(iconCentre());
        platform.advance(Window::modalSlideSeconds);
        EXPECT_NE(panel(), nullptr);
        return *panel();
    }
    // The screen point of the slider at a fraction of its track, worked out from its frame.
    Point sliderPoint(double fraction) const
    {
        const Rect r = panel()->slider()->frameOnScreen();
        const double left = r.x + VolumeSlider::knobWidthPoints / 2.0;
        const double track = r.width - VolumeSlider::knobWidthPoints;
        return {static_cast<float>(left + fraction * track), r.midY()};
    }
    std::string iconPicture() const
    {
        PictureNames names;
        icon->describeContent(names);
        return names.names.empty() ? "" : names.names.front();
    }
    std::int64_t storedPerMille() { return platform.standardUserDefaults().integerForKey(VolumeControl::volumePreferenceKey); }
    bool volumeStored() { return platform.standardUserDefaults().hasValueForKey(VolumeControl::volumePreferenceKey); }
};

TEST_F(VolumePanelWorld, ATapOnTheIconSlidesThePanelUpOverTheToolbar)
{
    tap(iconCentre());
    ASSERT_NE(panel(), nullptr);
    // It comes up from the bottom edge and stands just above the bar.
    EXPECT_EQ(window.modalOffsetAt(platform.clock().now()), Window::heightPoints);
    platform.advance(Window::modalSlideSeconds);
    EXPECT_EQ(window.modalOffsetAt(platform.clock().now()), 0.0f);
    const Rect card = panel()->card()->frameOnScreen();
    EXPECT_EQ(card.maxY(), VolumePanel::cardBottomPoints);
    EXPECT_LT(card.maxY(), bar->frame().y);
    EXPECT_GT(card.y, 0.0f);

    // The default device first, then the devices the player offers; the one in use marked.
    ASSERT_EQ(panel()->outputs().size(), 3u);
    EXPECT_EQ(panel()->outputs()[0].title, VolumeControl::defaultOutputTitle);
    EXPECT_EQ(panel()->outputs()[1].name, "USB DAC");
    EXPECT_EQ(panel()->outputs()[2].name, "HDMI");
    EXPECT_TRUE(panel()->outputs()[0].current);
    EXPECT_FALSE(panel()->outputs()[1].current);
    EXPECT_TRUE(log.empty());
}

TEST_F(VolumePanelWorld, TheSliderFollowsDragTapWheelAndKeys)
{
    openedPanel();

    // A drag follows the finger, and the volume is kept only when the finger lifts.
    window.touchDown(sliderPoint(0.8));
    EXPECT_NEAR(player.volume(), 0.8, 1e-5);
    window.touchMove(sliderPoint(0.3));
    EXPECT_NEAR(player.volume(), 0.3, 1e-5);
    EXPECT_FALSE(volumeStored());
    window.touchUp(sliderPoint(0.3));
    EXPECT_NEAR(player.volume(), 0.3, 1e-5);
    EXPECT_EQ(storedPerMille(), 300);

    // A tap sets the volume where it lands; beyond the track's ends is the end.
    tap(sliderPoint(0.65));
    EXPECT_NEAR(player.volume(), 0.65, 1e-5);
    EXPECT_EQ(storedPerMille(), 650);
    const Rect slider = panel()->slider()->frameOnScreen();
    tap({slider.x + 1, slider.midY()});
    EXPECT_EQ(player.volume(), 0.0f);
    tap({slider.maxX() - 1, slider.midY()});
    EXPECT_EQ(player.volume(), 1.0f);

    // The wheel: a notch away from the listener (40 points up) is one step louder.
    tap(sliderPoint(0.5));
    const Rect card = panel()->card()->frameOnScreen();
    EXPECT_TRUE(window.scrollWheel({card.midX(), card.y + 2}, -40));
    EXPECT_NEAR(player.volume(), 0.55, 1e-6);
    EXPECT_TRUE(window.scrollWheel({card.midX(), card.y + 2}, 80));
    EXPECT_NEAR(player.volume(), 0.45, 1e-6);
    EXPECT_EQ(storedPerMille(), 450);

    // Up and Down step it, held keys repeat, and it stops at both ends.
    EXPECT_TRUE(window.keyEvent(KeyEvent::named(Key::Up), KeyPhase::Down));
    EXPECT_NEAR(player.volume(), 0.5, 1e-6);
    KeyEvent held = KeyEvent::named(Key::Down);
    held.repeat = true;
    for (int i = 0; i < 30; ++i)
        window.keyEvent(held, KeyPhase::Down);
    EXPECT_EQ(player.volume(), 0.0f);
    EXPECT_EQ(storedPerMille(), 0);
    for (int i = 0; i < 30; ++i)
        window.keyEvent(KeyEvent::named(Key::Up), KeyPhase::Down);
    EXPECT_EQ(player.volume(), 1.0f);
    EXPECT_TRUE(log.empty());
    EXPECT_NE(panel(), nullptr);
}

TEST_F(VolumePanelWorld, NoVolumeShowsACrossedSpeakerWhoeverSetIt)
{
    EXPECT_EQ(iconPicture(), VolumeView::iconImageName);
    openedPanel();
    const Rect slider = panel()->slider()->frameOnScreen();
    const unsigned long before = icon->contentVersion();
    tap({slider.x, slider.midY()});
    EXPECT_EQ(iconPicture(), VolumeView::mutedIconImageName);
    EXPECT_NE(icon->contentVersion(), before);

    // From elsewhere (the desktop's sound menu): the icon follows all the same.
    const unsigned long muted = icon->contentVersion();
    platform.volumeControl().setVolume(0.2f);
    EXPECT_EQ(iconPicture(), VolumeView::iconImageName);
    EXPECT_NE(icon->contentVersion(), muted);
}

TEST_F(VolumePanelWorld, ChoosingAnOutputMovesThePlayingSoundThereAndIsKept)
{
    player.setQueue({makeAlbumItem("One", "Artist", "Album", 200, 1, 1)}, headless::Notify::No);
    player.setState(PlaybackState::Playing, headless::Notify::No);
    player.setTime(42);
    VolumePanel& shown = openedPanel();

    const Rect usb = shown.outputRowFrame(1);
    tap({usb.midX(), usb.midY()});
    EXPECT_EQ(player.currentOutputDevice(), "USB DAC");
    EXPECT_EQ(player.outputSwitches(), 1);
    EXPECT_EQ(player.playbackState(), PlaybackState::Playing);
    EXPECT_NEAR(player.currentPlaybackTime(), 42.3, 1e-9);   // the panel's slide took 0.3 s
    EXPECT_FALSE(shown.outputs()[0].current);
    EXPECT_TRUE(shown.outputs()[1].current);
    EXPECT_EQ(platform.standardUserDefaults().stringForKey(VolumeControl::outputDevicePreferenceKey), "USB DAC");

    // A device unplugged while the list was up cannot be chosen: the mark and the
    // listener's choice stay where the sound is.
    player.setOutputDevices({"USB DAC"});
    const Rect hdmi = shown.outputRowFrame(2);
    testing::internal::CaptureStderr();
    tap({hdmi.midX(), hdmi.midY()});
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("HDMI"), std::string::npos) << said;
    EXPECT_EQ(player.currentOutputDevice(), "USB DAC");
    EXPECT_TRUE(shown.outputs()[1].current);
    EXPECT_FALSE(shown.outputs()[2].current);
    EXPECT_EQ(platform.standardUserDefaults().stringForKey(VolumeControl::outputDevicePreferenceKey), "USB DAC");

    const Rect byDefault = shown.outputRowFrame(0);
    tap({byDefault.midX(), byDefault.midY()});
    EXPECT_EQ(player.currentOutputDevice(), "");
    EXPECT_TRUE(shown.outputs()[0].current);
    EXPECT_EQ(platform.standardUserDefaults().stringForKey(VolumeControl::outputDevicePreferenceKey), "");
    EXPECT_EQ(panel(), &shown);   // choosing leaves the panel up
}

TEST_F(VolumePanelWorld, ClosesOnATapOutsideOnEscAndWithTheToolbar)
{
    // A touch on the card between its controls keeps it.
    VolumePanel* shown = &openedPanel();
    const Rect card = shown->card()->frameOnScreen();
    tap({card.x + 2, card.y + 2});
    EXPECT_EQ(panel(), shown);

    // Outside: the panel slides away and the touch goes no further.
    tap({160, 100});
    EXPECT_EQ(panel(), nullptr);
    EXPECT_TRUE(log.empty());
    platform.advance(Window::modalSlideSeconds);
    EXPECT_TRUE(window.modalLayers(platform.clock().now()).empty());
    // Then the screen below takes touches again.
    tap({160, 100});
    EXPECT_EQ(log, std::vector<std::string>{"below"});

    // Esc; a key the panel has no use for is left to the others.
    openedPanel();
    EXPECT_FALSE(window.keyEvent(KeyEvent::typing(U'x'), KeyPhase::Down));
    EXPECT_TRUE(window.keyEvent(KeyEvent::named(Key::Escape), KeyPhase::Down));
    EXPECT_EQ(panel(), nullptr);
    platform.advance(Window::modalSlideSeconds);

    // The toolbar hiding takes the panel with it, at once; showing it again does not
    // bring the panel back.
    openedPanel();
    bar->setHidden(true);
    EXPECT_EQ(panel(), nullptr);
    EXPECT_TRUE(window.modalLayers(platform.clock().now()).empty());
    bar->setHidden(false);
    platform.advance(Window::modalSlideSeconds);
    EXPECT_EQ(panel(), nullptr);
    // Nor does a hidden bar's icon open it.
    bar->setHidden(true);
    icon->openPanel();
    EXPECT_EQ(panel(), nullptr);
}

TEST(VolumePreferences, AreAppliedAtStartAndAGoneDeviceFallsBackToTheDefault)
{
    {
        headless::HeadlessPlatform platform;
        platform.scriptedPlayer().setOutputDevices({"USB DAC", "HDMI"});
        platform.standardUserDefaults().setIntegerForKey(250, VolumeControl::volumePreferenceKey);
        platform.standardUserDefaults().setStringForKey("HDMI", VolumeControl::outputDevicePreferenceKey);
        platform.volumeControl();
        EXPECT_EQ(platform.scriptedPlayer().volume(), 0.25f);
        EXPECT_EQ(platform.scriptedPlayer().currentOutputDevice(), "HDMI");
    }
    {
        // The device is not there today: the default plays, and the choice stays for
        // when it is plugged in again. A volume no slider could give is brought in range.
        headless::HeadlessPlatform platform;
        platform.scriptedPlayer().setOutputDevices({"USB DAC"});
        platform.standardUserDefaults().setIntegerForKey(5000, VolumeControl::volumePreferenceKey);
        platform.standardUserDefaults().setStringForKey("HDMI", VolumeControl::outputDevicePreferenceKey);
        testing::internal::CaptureStderr();
        platform.volumeControl();
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(said, "spoolora: the audio device \"HDMI\" is not there; playing on the default one\n");
        EXPECT_EQ(platform.scriptedPlayer().currentOutputDevice(), "");
        EXPECT_EQ(platform.scriptedPlayer().outputSwitches(), 0);
        EXPECT_EQ(platform.scriptedPlayer().volume(), 1.0f);
        EXPECT_EQ(platform.standardUserDefaults().stringForKey(VolumeControl::outputDevicePreferenceKey), "HDMI");
    }
    {
        // Nothing stored leaves the volume as it is, and a stored 0 is a muted player, not a missing value.
        headless::HeadlessPlatform platform;
        platform.scriptedPlayer().setVolume(0.5f);
        platform.volumeControl();
        EXPECT_EQ(platform.scriptedPlayer().volume(), 0.5f);
        headless::HeadlessPlatform muted;
        muted.standardUserDefaults().setIntegerForKey(0, VolumeControl::volumePreferenceKey);
        EXPECT_TRUE(muted.volumeControl().isMuted());
    }
}

} // namespace
