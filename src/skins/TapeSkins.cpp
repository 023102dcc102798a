// The eight cassette skins: a picture of the cassette body and a placement and
// style of the two labels. Switching slides the whole cassette in from the side
// it comes from, and the choice is stored at once so the next start shows it.

#include "player/MainViewController.h"

#include "skins/SkinCatalogue.h"

#include <cmath>
#include <cstdint>

namespace {

platform::Rect frameOf(const LabelPlace& place, platform::Flag olderPlatform)
{
    return {olderPlatform ? place.olderX : place.x, place.y, labelWidthPoints, place.height};
}

platform::TextAlignment textAlignment(LabelAlignment alignment)
{
    return alignment == LabelAlignment::Centre ? platform::TextAlignment::Center : platform::TextAlignment::Left;
}

} // namespace

void MainViewController::showNextTapeSwipe()
{
    selectedTape = selectedTape < lastTapeIndex ? selectedTape + 1 : 0;
    platform::UserDefaults& defaults = platform_.standardUserDefaults();
    defaults.setIntegerForKey(selectedTape, selectedTapePreferenceKey);
    defaults.synchronize();
    setTape(selectedTape, platform::YES);
}

void MainViewController::showPreviousTapeSwipe()
{
    selectedTape = selectedTape > 0 ? selectedTape - 1 : lastTapeIndex;
    platform::UserDefaults& defaults = platform_.standardUserDefaults();
    defaults.setIntegerForKey(selectedTape, selectedTapePreferenceKey);
    defaults.synchronize();
    setTape(selectedTape, platform::NO);
}

void MainViewController::showNextTape()
{
    setHideControlsDate(dateFromNow(hideControlsDelaySeconds));
    showNextTapeSwipe();
}

void MainViewController::setTape(std::int32_t tapeIndex, platform::Flag direction)
{
    // Compared unsigned, a negative index is out of range too.
    if (static_cast<std::uint32_t>(tapeIndex) > static_cast<std::uint32_t>(lastTapeIndex))
        return;
    const SkinLayout& skin = skinCatalogue[static_cast<std::size_t>(tapeIndex)];
    const platform::Color textColor = skin.ink == LabelInk::White ? platform::Color::white() : platform::Color::black();

    // Everything below happens in one pass: the screen shows only the net change,
    // carried in by the transition.
    currentArtistAlbumLabel->setHidden(true);
    currentTitleLabel->setHidden(true);
    currentArtistAlbumLabel->setTextColor(textColor);
    currentTitleLabel->setTextColor(textColor);

    const platform::Font font = oldiOSVersionPre32
                                    ? platform::Font::fontWithNameSize("MarkerFelt-Thin", skin.olderFontSize)
                                    : platform::Font::fontWithNameSize("Casino Hand", skin.fontSize);
    currentArtistAlbumLabel->setFont(font);
    currentTitleLabel->setFont(font);

    currentArtistAlbumLabel->setFrame(frameOf(skin.artistAlbum, oldiOSVersionPre32));
    currentArtistAlbumLabel->setTextAlignment(textAlignment(skin.artistAlbum.alignment));
    currentTitleLabel->setFrame(frameOf(skin.title, oldiOSVersionPre32));
    currentTitleLabel->setTextAlignment(textAlignment(skin.title.alignment));
    // Two skins set their labels closer together than a label is wide: each line then
    // gets the distance between the two, so that the deep letters of one never run
    // into the tall letters of the other.
    const float spacingPoints =
        std::fabs(currentTitleLabel->frame().x - currentArtistAlbumLabel->frame().x);
    const float lineHeightPoints = spacingPoints < labelWidthPoints ? spacingPoints : 0;
    currentArtistAlbumLabel->setLineHeightPoints(lineHeightPoints);
    currentTitleLabel->setLineHeightPoints(lineHeightPoints);

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
