#pragma once
// The one controller of the player screen. It holds every piece of shared state
// (the screen objects, the music player, the reel model, the animation
// bookkeeping and the transport flags) and every operation on it. Each group of
// operations is defined in the file of its subsystem; the banners below follow
// the folders: player, mechanics, playback, skins, share.
//
// Everything here runs on the main thread. The view fields observe views that
// viewDidLoad built once and that live in the view tree for the controller's life.

#include "platform/Date.h"
#include "platform/Geometry.h"
#include "platform/Label.h"
#include "platform/MailComposer.h"
#include "platform/MediaPicker.h"
#include "platform/MusicPlayer.h"
#include "platform/NotificationCenter.h"
#include "platform/Platform.h"
#include "platform/RunLoop.h"
#include "platform/Toolbar.h"
#include "platform/View.h"
#include "platform/ViewController.h"

#include <cstdint>
#include <memory>
#include <vector>

class TapeBandCircleUIView;

class MainViewController final : public platform::ViewController,
                                 public platform::MediaPickerDelegate,
                                 public platform::MailComposeDelegate {
public:
    // Every field starts at zero; the view is built on the first request for it.
    explicit MainViewController(platform::Platform& platform);
    // Unsubscribes from the player, stops its notifications and the tick.
    ~MainViewController() override;

    // The preference that holds the index of the chosen skin.
    static constexpr const char* selectedTapePreferenceKey = "selectedTapePreference";
    // Most actions keep the toolbar up this long; the first tick after it hides the toolbar.
    static constexpr double hideControlsDelaySeconds = 5.0;

    // --- Fields, in declaration order ------------------------------------------
    TapeBandCircleUIView* leftTapeRollUIView = nullptr;
    TapeBandCircleUIView* rightTapeRollUIView = nullptr;
    platform::View* swipeHelperUIView = nullptr;
    platform::Toolbar* myToolBar = nullptr;
    platform::MusicPlayer* musicPlayer = nullptr;
    platform::Label* currentArtistAlbumLabel = nullptr;
    platform::Label* currentTitleLabel = nullptr;
    platform::ImageView* rightWheelImageView = nullptr;
    platform::ImageView* leftBandImageView = nullptr;
    platform::ImageView* rightBandImageView = nullptr;
    platform::ImageView* leftWheelImageView = nullptr;
    platform::TimerHandle setWheelSpeedAndTapeDimensionTimer;
    platform::ImageView* tapeSkinImageView = nullptr;
    std::int32_t selectedTape = 0;
    float tapeSpeedmmPerSecond = 0;
    float lastTapeSpeedmmPerSecond = 0;
    float leftDiameterWheelMM = 0;
    float rightDiameterWheelMM = 0;
    float leftDegreesPiPerSecond = 0;
    float rightDegreesPiPerSecond = 0;
    std::vector<platform::BarButtonItem*> barButtonItemsWithPlayArray;
    std::vector<platform::BarButtonItem*> barButtonItemsWithPauseArray;
    platform::Flag leftWheelIsOnTopBOOL = platform::NO;
    std::int32_t pixelRadiusLeft = 0;
    std::int32_t pixelRadiusRight = 0;
    std::int32_t lastPixelRadiusLeft = 0;
    std::int32_t lastPixelRadiusRight = 0;
    std::int32_t wobbleState = 0;
    platform::Flag skipSpinningBOOL = platform::NO;
    platform::Flag currentlySeekActive = platform::NO;
    platform::Flag oldiOSVersionPre32 = platform::NO;
    platform::Flag mediaPickerCurrentlyShownBool = platform::NO;
    platform::Date touchDownDate;
    platform::Date hideControlsDate;
    platform::Date wheelSpinningSkipDate;
    platform::Date changeRotationTimer;   // holds a date, not a timer
    platform::Rect rightBandRectPosStart;
    platform::Rect rightBandRectPosWobble;
    platform::Rect leftBandRectPosStart;
    platform::Rect leftBandRectPosWobble;
    platform::Rect leftTapeRollRectPosStart;
    platform::Rect leftTapeRollRectPosWobble;
    platform::Rect rightTapeRollRectPosStart;
    platform::Rect rightTapeRollRectPosWobble;

    // --- Player screen: state and lifecycle ------------------------------------
    // Setters store the new object and do nothing else; views stay owned by the tree.
    void setLeftTapeRollUIView(TapeBandCircleUIView* view) noexcept;
    void setRightTapeRollUIView(TapeBandCircleUIView* view) noexcept;
    void setSwipeHelperUIView(platform::View* view) noexcept;
    void setMyToolBar(platform::Toolbar* toolbar) noexcept;
    void setMusicPlayer(platform::MusicPlayer* player) noexcept;
    void setCurrentArtistAlbumLabel(platform::Label* label) noexcept;
    void setCurrentTitleLabel(platform::Label* label) noexcept;
    void setRightWheelImageView(platform::ImageView* view) noexcept;
    void setLeftBandImageView(platform::ImageView* view) noexcept;
    void setRightBandImageView(platform::ImageView* view) noexcept;
    void setLeftWheelImageView(platform::ImageView* view) noexcept;
    void setTapeSkinImageView(platform::ImageView* view) noexcept;
    void setBarButtonItemsWithPlayArray(std::vector<platform::BarButtonItem*> items);
    void setBarButtonItemsWithPauseArray(std::vector<platform::BarButtonItem*> items);
    void setTouchDownDate(platform::Date date) noexcept;
    void setHideControlsDate(platform::Date date) noexcept;
    void setWheelSpinningSkipDate(platform::Date date) noexcept;

    // Passes the warning on and changes no field.
    void didReceiveMemoryWarning() override;
    // The screen objects stay: nothing is released.
    void viewDidUnload() override;

    // --- Player screen: construction -------------------------------------------
    // Builds the whole screen once, applies the stored skin, fills the labels and
    // starts the tick (whose first run happens before this returns).
    void viewDidLoad() override;

    // --- Tape mechanics: tick and reel model -----------------------------------
    // The 0.2-second tick.
    void setWheelRotationSpeedAndTapeDimension();
    // Album position of the now-playing item to the two wound diameters.
    void setWheelDiameterAndRotationSpeedBasedOnAlbumPosition();

    // --- Tape mechanics: reel spin animation -----------------------------------
    // Angular speeds from the tape speed and diameters, then new animations.
    void setRotationAnimation();
    // New animations from the stored angular speeds, continuing from the angle shown.
    void changeRotationAnimationForWheels();

    // --- Tape mechanics: tape roll drawing -------------------------------------
    void drawTapeLinesBasedOnDiameter();

    // --- Tape mechanics: wobble ------------------------------------------------
    void wobbbleTapeLeftAndRight();

    // --- Playback: transport actions -------------------------------------------
    void playOrPauseSongAction();
    void startSeekForward();
    void startSeekBackward();
    void startSeekForwardControlButtonClicked();
    void startSeekBackwardControlButtonClicked();
    void skipToNextSongAction();
    void skipToPreviousSongAction();
    void seekSpinningIsFinished();
    void skipSpinningIsFinished();

    // --- Playback: player notifications ----------------------------------------
    void registerForMediaPlayerNotifications();
    void handle_NowPlayingItemChanged(const platform::Notification& notification);
    void handle_PlaybackStateChanged(const platform::Notification& notification);

    // --- Playback: music selection ---------------------------------------------
    void selectMusicFromLibrary();
    void updatePlayerQueueWithMediaCollection(const platform::MediaItemCollection& collection);
    void mediaPickerDidPickMediaItems(platform::MediaPickerController& picker,
                                      const platform::MediaItemCollection& collection) override;
    void mediaPickerDidCancel(platform::MediaPickerController& picker) override;

    // --- Playback: now-playing labels ------------------------------------------
    void setLabelStrings();

    // --- Playback: music controls overlay --------------------------------------
    void toggleMusicControls();
    void showMusicControls();
    void hideMusicControls();

    // --- Skins ------------------------------------------------------------------
    void showNextTapeSwipe();
    void showPreviousTapeSwipe();
    void showNextTape();
    // Applies the skin of an index in 0 to 7 and ignores any other index.
    // A direction of NO pushes the new skin in from the left, any other value from the right.
    void setTape(std::int32_t tapeIndex, platform::Flag direction);

    // --- Share ------------------------------------------------------------------
    // Never throws: a platform exception while composing is dropped.
    void shareAction();
    // Throws platform::PlatformException when the composer cannot be made or shown.
    void shareAsMailMessage();
    void mailComposeControllerDidFinishWithResultError(platform::MailComposeViewController& controller,
                                                       std::int32_t result,
                                                       const platform::MailError* error) override;

private:
    // Deadline helper shared by every group: a date the given seconds from now.
    platform::Date dateFromNow(double seconds) const noexcept;

    platform::Platform& platform_;
    // The toolbar items of both lists; the lists and the toolbar only point at them.
    std::vector<std::unique_ptr<platform::BarButtonItem>> ownedBarButtonItems_;
};
