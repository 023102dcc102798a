// Builds the player screen in one pass. The order of the steps fixes the stacking
// of the views and the moments at which the other subsystems are first called:
//   initial state · music player and its notifications · cassette views ·
//   stored skin · invisible buttons and swipes · toolbar · labels · tick.

#include "player/MainViewController.h"

#include "mechanics/ReelPhysics.h"
#include "mechanics/TapeBandCircleUIView.h"
#include "platform/Button.h"
#include "platform/SwipeRecognizer.h"
#include "platform/VolumeView.h"
#include "skins/SkinCatalogue.h"

namespace {

using platform::Rect;

// A quarter turn counter-clockwise, so the label text runs up the screen.
constexpr float labelTurnRadians = -1.5707964f;

void applyLabelSettings(platform::Label& label)
{
    label.setLineBreakMode(platform::LineBreakMode::Clip);
    label.setTextAlignment(platform::TextAlignment::Center);
    label.setNumberOfLines(1);
    label.setTextColor(platform::Color::black());
    label.setBackgroundColor(platform::Color::clear());
    label.setText("");
    label.setTransform(platform::AffineTransform::makeRotation(labelTurnRadians));
}

// An invisible touch area over the cassette picture.
std::unique_ptr<platform::Button> makeTouchArea(Rect frame)
{
    return std::make_unique<platform::Button>(frame);
}

std::unique_ptr<platform::Button> makeToolbarButton(Rect frame, const char* imageName)
{
    auto button = std::make_unique<platform::Button>(frame);
    button->setImageForNormalState(platform::Image::named(imageName));
    button->setShowsTouchWhenHighlighted(true);
    return button;
}

} // namespace

void MainViewController::viewDidLoad()
{
    using platform::ControlEvent;

    platform::ViewController::viewDidLoad();

    // Initial state: the reels start as at the beginning of an album.
    skipSpinningBOOL = platform::NO;
    mediaPickerCurrentlyShownBool = platform::NO;
    wobbleState = 0;
    leftDiameterWheelMM = static_cast<float>(emptyReelDiameterMM);
    rightDiameterWheelMM = static_cast<float>(fullReelDiameterMM);
    changeRotationTimer = platform::Date::now(platform_.clock());

    // The player is device-wide and may already be playing (see below).
    setMusicPlayer(&platform_.systemMusicPlayer());
    oldiOSVersionPre32 = musicPlayer->respondsToIndexOfNowPlayingItem() ? platform::NO : platform::YES;
    tapeSpeedmmPerSecond = 0;
    lastTapeSpeedmmPerSecond = tapeSpeedmmPerSecond;
    registerForMediaPlayerNotifications();

    // The cassette view: everything that slides when the skin changes.
    auto swipeHelper = std::make_unique<platform::View>(Rect{0, 0, 320, 480});
    swipeHelper->setBackgroundColor(platform::Color::black());
    setSwipeHelperUIView(swipeHelper.get());

    // Band pictures and the tape-roll rings above them; each wobble
    // frame is its rest frame one point lower.
    auto leftBand = std::make_unique<platform::ImageView>(platform::Image::named("band_black.png"), Rect{});
    setLeftBandImageView(leftBand.get());
    leftBandRectPosStart = Rect{-5, -45, 304, 304};
    leftBandRectPosWobble = Rect{-5, -44, 304, 304};
    leftBand->setFrame(leftBandRectPosStart);

    auto rightBand = std::make_unique<platform::ImageView>(platform::Image::named("band_black.png"), Rect{});
    setRightBandImageView(rightBand.get());
    rightBandRectPosStart = Rect{-5, 218, 304, 304};
    rightBandRectPosWobble = Rect{-5, 219, 304, 304};
    rightBand->setFrame(rightBandRectPosStart);

    leftTapeRollRectPosStart = Rect{-5, -47, 306, 306};
    leftTapeRollRectPosWobble = Rect{-5, -46, 306, 306};
    auto leftTapeRoll = std::make_unique<TapeBandCircleUIView>(leftTapeRollRectPosStart);
    setLeftTapeRollUIView(leftTapeRoll.get());
    leftTapeRoll->setBackgroundColor(platform::Color::clear());
    leftTapeRoll->setPixelFromBandToSuppress(86);

    rightTapeRollRectPosStart = Rect{-5, 216, 306, 306};
    rightTapeRollRectPosWobble = Rect{-5, 217, 306, 306};
    auto rightTapeRoll = std::make_unique<TapeBandCircleUIView>(rightTapeRollRectPosStart);
    setRightTapeRollUIView(rightTapeRoll.get());
    rightTapeRoll->setBackgroundColor(platform::Color::clear());
    rightTapeRoll->setPixelFromBandToSuppress(5);

    // Bottom to top: each band under its own tape roll.
    swipeHelper->addSubview(std::move(leftBand));
    swipeHelper->addSubview(std::move(leftTapeRoll));
    swipeHelper->addSubview(std::move(rightBand));
    swipeHelper->addSubview(std::move(rightTapeRoll));
    leftWheelIsOnTopBOOL = platform::NO;

    // Reel hubs and the skin picture lie above the tape.
    setRightWheelImageView(&swipeHelper->addSubview(
        std::make_unique<platform::ImageView>(platform::Image::named("wheel.png"), Rect{80, 301, 136, 136})));
    setLeftWheelImageView(&swipeHelper->addSubview(
        std::make_unique<platform::ImageView>(platform::Image::named("wheel.png"), Rect{80, 38, 136, 136})));
    setTapeSkinImageView(&swipeHelper->addSubview(std::make_unique<platform::ImageView>(Rect{0, -38, 320, 557})));

    // The two cassette labels, made upright and then turned: their height becomes the width across the line.
    auto artistAlbumLabel = std::make_unique<platform::Label>(Rect{0, 0, 420, labelWidthPoints});
    applyLabelSettings(*artistAlbumLabel);
    setCurrentArtistAlbumLabel(&swipeHelper->addSubview(std::move(artistAlbumLabel)));

    auto titleLabel = std::make_unique<platform::Label>(Rect{0, 0, 300, labelWidthPoints});
    applyLabelSettings(*titleLabel);
    setCurrentTitleLabel(titleLabel.get());

    const platform::Font labelFont = oldiOSVersionPre32 ? platform::Font::fontWithNameSize("MarkerFelt-Thin", 20)
                                                        : platform::Font::fontWithNameSize("Casino Hand", 26);
    currentArtistAlbumLabel->setFont(labelFont);
    currentTitleLabel->setFont(labelFont);

    swipeHelper->addSubview(std::move(titleLabel));
    platform::View& rootView = view();
    rootView.addSubview(std::move(swipeHelper));

    // The stored index goes to the skin unchanged; out-of-range values are
    // the skin code's to ignore.
    selectedTape = static_cast<std::int32_t>(platform_.standardUserDefaults().integerForKey(selectedTapePreferenceKey));
    setTape(selectedTape, platform::YES);

    // The large touch area toggles the controls and carries the swipes.
    auto toggleButton = makeTouchArea(Rect{0, 0, 320, 420});
    toggleButton->addTarget(*this, &MainViewController::toggleMusicControls, ControlEvent::TouchUpInside);
    if (!oldiOSVersionPre32) {
        auto swipeRight = std::make_unique<platform::SwipeGestureRecognizer>(
            *this, &MainViewController::showPreviousTapeSwipe);
        swipeRight->setDirection(platform::SwipeDirection::Right);
        toggleButton->addGestureRecognizer(std::move(swipeRight));
        auto swipeLeft = std::make_unique<platform::SwipeGestureRecognizer>(
            *this, &MainViewController::showNextTapeSwipe);
        swipeLeft->setDirection(platform::SwipeDirection::Left);
        toggleButton->addGestureRecognizer(std::move(swipeLeft));
    }
    rootView.addSubview(std::move(toggleButton));

    // The strip under the cassette only brings the toolbar back.
    auto bottomStripButton = makeTouchArea(Rect{0, 420, 320, 60});
    bottomStripButton->addTarget(*this, &MainViewController::showMusicControls, ControlEvent::TouchUpInside);
    rootView.addSubview(std::move(bottomStripButton));

    // Seek and skip over the reels, play or pause between them.
    auto upperButton = makeTouchArea(Rect{98, 56, 100, 100});
    upperButton->addTarget(*this, &MainViewController::startSeekForward, ControlEvent::TouchDown);
    upperButton->addTarget(*this, &MainViewController::skipToNextSongAction, ControlEvent::TouchUpInside);
    upperButton->addTarget(*this, &MainViewController::seekSpinningIsFinished, ControlEvent::TouchUpOutside);
    upperButton->setShowsTouchWhenHighlighted(true);
    rootView.addSubview(std::move(upperButton));

    auto lowerButton = makeTouchArea(Rect{98, 319, 100, 100});
    lowerButton->addTarget(*this, &MainViewController::startSeekBackward, ControlEvent::TouchDown);
    lowerButton->addTarget(*this, &MainViewController::skipToPreviousSongAction, ControlEvent::TouchUpInside);
    lowerButton->addTarget(*this, &MainViewController::seekSpinningIsFinished, ControlEvent::TouchUpOutside);
    lowerButton->setShowsTouchWhenHighlighted(true);
    rootView.addSubview(std::move(lowerButton));

    auto middleButton = makeTouchArea(Rect{98, 167.5f, 100, 140});
    middleButton->addTarget(*this, &MainViewController::playOrPauseSongAction, ControlEvent::TouchUpInside);
    middleButton->setShowsTouchWhenHighlighted(true);
    rootView.addSubview(std::move(middleButton));

    // Without its slider the volume control is one icon among the toolbar items; its
    // panel holds the slider and the choice of output.
    auto volumeView = std::make_unique<platform::VolumeView>(Rect{0, 10, 30, 40}, platform_.volumeControl());
    volumeView->setShowsVolumeSlider(false);
    volumeView->sizeToFit();
    // The panel closes with the toolbar, so using it keeps the toolbar up as a tap on the
    // strip would: otherwise it could vanish under the listener's finger.
    volumeView->setUseAction([this] { showMusicControls(); });

    auto toolbar = std::make_unique<platform::Toolbar>();
    toolbar->setBarStyle(platform::BarStyle::BlackTranslucent);
    toolbar->sizeToFit();
    toolbar->setFrame(Rect{0, 430, 320, 50});
    setMyToolBar(toolbar.get());

    // Buttons and items, in the order they are made.
    auto keepItem = [this](std::unique_ptr<platform::BarButtonItem> item) {
        ownedBarButtonItems_.push_back(std::move(item));
        return ownedBarButtonItems_.back().get();
    };

    auto musicButton = makeToolbarButton(Rect{0, 10, 30, 40}, "music_icon.png");
    musicButton->setImageContentMode(platform::ContentMode::Center);
    musicButton->addTarget(*this, &MainViewController::selectMusicFromLibrary, ControlEvent::TouchUpInside);
    platform::BarButtonItem* musicItem = keepItem(std::make_unique<platform::BarButtonItem>(std::move(musicButton)));

    auto tapeButton = makeToolbarButton(Rect{0, 10, 40, 40}, "tape-icon.png");
    tapeButton->setImageContentMode(platform::ContentMode::Center);
    tapeButton->addTarget(*this, &MainViewController::showNextTape, ControlEvent::TouchUpInside);
    platform::BarButtonItem* tapeItem = keepItem(std::make_unique<platform::BarButtonItem>(std::move(tapeButton)));

    auto rewindButton = makeToolbarButton(Rect{0, 10, 40, 40}, "UIBarButtonRewind.png");
    rewindButton->setImageContentMode(platform::ContentMode::Center);
    rewindButton->addTarget(*this, &MainViewController::startSeekBackwardControlButtonClicked, ControlEvent::TouchDown);
    rewindButton->addTarget(*this, &MainViewController::skipToPreviousSongAction, ControlEvent::TouchUpInside);
    rewindButton->addTarget(*this, &MainViewController::seekSpinningIsFinished, ControlEvent::TouchUpOutside);
    platform::BarButtonItem* rewindItem = keepItem(std::make_unique<platform::BarButtonItem>(std::move(rewindButton)));

    platform::BarButtonItem* playItem = keepItem(std::make_unique<platform::BarButtonItem>(
        platform::SystemItem::Play, *this, &MainViewController::playOrPauseSongAction));
    platform::BarButtonItem* pauseItem = keepItem(std::make_unique<platform::BarButtonItem>(
        platform::SystemItem::Pause, *this, &MainViewController::playOrPauseSongAction));

    // The fast-forward picture keeps the content mode a new button has.
    auto fastForwardButton = makeToolbarButton(Rect{0, 10, 40, 40}, "UIBarButtonFastForward.png");
    fastForwardButton->addTarget(*this, &MainViewController::startSeekForwardControlButtonClicked, ControlEvent::TouchDown);
    fastForwardButton->addTarget(*this, &MainViewController::skipToNextSongAction, ControlEvent::TouchUpInside);
    fastForwardButton->addTarget(*this, &MainViewController::seekSpinningIsFinished, ControlEvent::TouchUpOutside);
    platform::BarButtonItem* fastForwardItem =
        keepItem(std::make_unique<platform::BarButtonItem>(std::move(fastForwardButton)));

    platform::BarButtonItem* shareItem = keepItem(std::make_unique<platform::BarButtonItem>(
        platform::SystemItem::Action, *this, &MainViewController::shareAction));
    platform::BarButtonItem* volumeItem = keepItem(std::make_unique<platform::BarButtonItem>(std::move(volumeView)));
    platform::BarButtonItem* flexibleSpace =
        keepItem(std::make_unique<platform::BarButtonItem>(platform::SystemItem::FlexibleSpace));
    platform::BarButtonItem* fixedSpace =
        keepItem(std::make_unique<platform::BarButtonItem>(platform::SystemItem::FixedSpace));
    fixedSpace->setWidth(10);

    // The lists differ only in the play or pause item.
    auto itemsWith = [&](platform::BarButtonItem* playOrPauseItem) {
        return std::vector<platform::BarButtonItem*>{
            musicItem,     flexibleSpace,   fixedSpace,    tapeItem,   flexibleSpace, rewindItem,
            flexibleSpace, fixedSpace,      playOrPauseItem, fixedSpace, flexibleSpace, fastForwardItem,
            flexibleSpace, fixedSpace,      shareItem,     volumeItem};
    };
    setBarButtonItemsWithPlayArray(itemsWith(playItem));
    setBarButtonItemsWithPauseArray(itemsWith(pauseItem));

    // The toolbar lies above everything else.
    myToolBar->setItems(barButtonItemsWithPlayArray, false);
    rootView.addSubview(std::move(toolbar));
    setHideControlsDate(dateFromNow(hideControlsDelaySeconds));

    // The player may have been playing before this screen existed.
    if (musicPlayer->playbackState() == platform::PlaybackState::Playing) {
        tapeSpeedmmPerSecond = playingTapeSpeedmmPerSecond;
        myToolBar->setItems(barButtonItemsWithPauseArray, false);
    }
    lastTapeSpeedmmPerSecond = tapeSpeedmmPerSecond;

    // The first tick runs before the screen is first shown.
    setLabelStrings();
    setWheelSpeedAndTapeDimensionTimer =
        platform_.runLoop().scheduledTimer(0.2, *this, &MainViewController::setWheelRotationSpeedAndTapeDimension);
    setWheelSpeedAndTapeDimensionTimer->fire();
}
