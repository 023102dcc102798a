// The eight cassette skins: a picture of the cassette body and a placement and
// style of the two labels. Switching slides the whole cassette in from the side
// it comes from, and the choice is stored at once so the next start shows it.

#include "player/MainViewController.h"

#include <array>
#include <cstdint>

namespace {

using platform::Rect;

// Across the turned label's line of text (the nearest float to 33.8).
constexpr float labelWidthPoints = 33.8f;

struct SkinLayout {
    const char* imageName;
    platform::Color textColor;
    float fontSize;
    float olderPlatformFontSize;
    Rect artistAlbumFrame;
    Rect titleFrame;
    // The older platform's fonts run wider; two skins move their labels for it.
    float olderPlatformArtistAlbumX;
    float olderPlatformTitleX;
    platform::TextAlignment artistAlbumAlignment;
    platform::TextAlignment titleAlignment;
    // Skins whose labels were hidden before are filled again from the player.
    bool refreshesTexts;
};

constexpr auto black = platform::Color::black();
constexpr auto white = platform::Color::white();
constexpr auto centred = platform::TextAlignment::Center;
constexpr auto left = platform::TextAlignment::Left;

const std::array<SkinLayout, 8> skinCatalogue{{
    {"mc1-640.png", black, 26, 20, {32, 20, labelWidthPoints, 440}, {60, 20, labelWidthPoints, 440}, 31, 58,
     centred, centred, true},
    {"mc2-640.png", black, 24, 18, {53, 20, labelWidthPoints, 440}, {75, 20, labelWidthPoints, 440}, 52, 73,
     centred, centred, true},
    {"mc3-640.png", black, 26, 20, {205, 20, labelWidthPoints, 360}, {44, 20, labelWidthPoints, 325}, 205, 44,
     centred, left, false},
    {"mc4-640.png", black, 26, 20, {30, 15, labelWidthPoints, 330}, {58, 15, labelWidthPoints, 330}, 30, 58,
     centred, centred, false},
    {"mc5-640.png", black, 26, 20, {205, 20, labelWidthPoints, 360}, {44, 20, labelWidthPoints, 325}, 205, 44,
     centred, left, false},
    {"mc6-640.png", black, 26, 20, {36, 20, labelWidthPoints, 390}, {69, 20, labelWidthPoints, 390}, 36, 69,
     centred, centred, false},
    {"mc7-640.png", white, 26, 20, {38, 70, labelWidthPoints, 340}, {68, 70, labelWidthPoints, 340}, 38, 68,
     centred, centred, false},
    {"mc8-640.png", black, 26, 20, {205, 20, labelWidthPoints, 360}, {44, 20, labelWidthPoints, 325}, 205, 44,
     centred, left, false},
}};

constexpr std::int32_t lastTapeIndex = 7;

} // namespace

void MainViewController::showNextTapeSwipe()
{
    selectedTape = selectedTape < lastTapeIndex ? selectedTape + 1 : 0;
    platform::UserDefaults& defaults = platform_.standardUserDefaults();
    defaults.setIntegerForKey(selectedTape, "selectedTapePreference");
    defaults.synchronize();
    setTape(selectedTape, platform::YES);
}

void MainViewController::showPreviousTapeSwipe()
{
    selectedTape = selectedTape > 0 ? selectedTape - 1 : lastTapeIndex;
    platform::UserDefaults& defaults = platform_.standardUserDefaults();
    defaults.setIntegerForKey(selectedTape, "selectedTapePreference");
    defaults.synchronize();
    setTape(selectedTape, platform::NO);
}

void MainViewController::showNextTape()
{
    setHideControlsDate(dateFromNow(5.0));
    showNextTapeSwipe();
}

void MainViewController::setTape(std::int32_t tapeIndex, platform::Flag direction)
{
    // Compared unsigned, a negative index is out of range too.
    if (static_cast<std::uint32_t>(tapeIndex) > static_cast<std::uint32_t>(lastTapeIndex))
        return;
    const SkinLayout& skin = skinCatalogue[static_cast<std::size_t>(tapeIndex)];

    // Everything below happens in one pass: the screen shows only the net change,
    // carried in by the transition.
    currentArtistAlbumLabel->setHidden(true);
    currentTitleLabel->setHidden(true);
    currentArtistAlbumLabel->setTextColor(skin.textColor);
    currentTitleLabel->setTextColor(skin.textColor);

    const platform::Font font = oldiOSVersionPre32
                                    ? platform::Font::fontWithNameSize("MarkerFelt-Thin", skin.olderPlatformFontSize)
                                    : platform::Font::fontWithNameSize("Casino Hand", skin.fontSize);
    currentArtistAlbumLabel->setFont(font);
    currentTitleLabel->setFont(font);

    Rect artistAlbumFrame = skin.artistAlbumFrame;
    Rect titleFrame = skin.titleFrame;
    if (oldiOSVersionPre32) {
        artistAlbumFrame.x = skin.olderPlatformArtistAlbumX;
        titleFrame.x = skin.olderPlatformTitleX;
    }
    currentArtistAlbumLabel->setFrame(artistAlbumFrame);
    currentArtistAlbumLabel->setTextAlignment(skin.artistAlbumAlignment);
    currentTitleLabel->setFrame(titleFrame);
    currentTitleLabel->setTextAlignment(skin.titleAlignment);

    tapeSkinImageView->setHidden(true);
    tapeSkinImageView->setImage(platform::Image::named(skin.imageName));

    platform::Transition push;
    push.type = platform::TransitionType::Push;
    push.subtype = platform::TransitionSubtype::FromRight;
    if (direction == platform::NO)
        push.subtype = platform::TransitionSubtype::FromLeft;
    swipeHelperUIView->layer().addAnimation(push, "push-transition", platform_.clock());

    tapeSkinImageView->setHidden(false);
    currentArtistAlbumLabel->setHidden(false);
    currentTitleLabel->setHidden(false);

    if (skin.refreshesTexts)
        setLabelStrings();
}
