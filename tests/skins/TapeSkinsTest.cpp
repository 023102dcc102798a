// The skin catalogue, stepping with wrap-around, the push transition, the
// stored index (including indices outside the catalogue) and the older platform.

#include "support/PlayerWorld.h"

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace playertest;
using platform::Rect;

// A frame given to a turned label reads back as given, to the bit: the dumps of
// scripted runs print it.
void expectFrame(const Rect& actual, const Rect& expected)
{
    EXPECT_EQ(actual.x, expected.x);
    EXPECT_EQ(actual.y, expected.y);
    EXPECT_EQ(actual.width, expected.width);
    EXPECT_EQ(actual.height, expected.height);
}

// The construction frames are found through the turn from a centre; allow for float noise there.
void expectTurnedFrame(const Rect& actual, const Rect& expected)
{
    EXPECT_NEAR(actual.x, expected.x, 1e-4);
    EXPECT_NEAR(actual.y, expected.y, 1e-4);
    EXPECT_NEAR(actual.width, expected.width, 1e-4);
    EXPECT_NEAR(actual.height, expected.height, 1e-4);
}

// The skin table as the cassette designs give it, one row per tape index: picture, ink, font size
// (older platform in brackets), the artist-album and the title frame (x on the older platform in
// brackets), the alignments, and whether the texts are filled again.
const char* const skinTable[] = {
    "mc1-640.png | black | 26 (20) | 32 (31), 20, 33.8, 440 | 60 (58), 20, 33.8, 440 | centred / centred | yes",
    "mc2-640.png | black | 24 (18) | 53 (52), 20, 33.8, 440 | 75 (73), 20, 33.8, 440 | centred / centred | yes",
    "mc3-640.png | black | 26 (20) | 205, 20, 33.8, 360 | 44, 20, 33.8, 325 | centred / left | no",
    "mc4-640.png | black | 26 (20) | 30, 15, 33.8, 330 | 58, 15, 33.8, 330 | centred / centred | no",
    "mc5-640.png | black | 26 (20) | 205, 20, 33.8, 360 | 44, 20, 33.8, 325 | centred / left | no",
    "mc6-640.png | black | 26 (20) | 36, 20, 33.8, 390 | 69, 20, 33.8, 390 | centred / centred | no",
    "mc7-640.png | white | 26 (20) | 38, 70, 33.8, 340 | 68, 70, 33.8, 340 | centred / centred | no",
    "mc8-640.png | black | 26 (20) | 205, 20, 33.8, 360 | 44, 20, 33.8, 325 | centred / left | no",
};

struct SkinRow {
    std::string image;
    bool whiteText = false;
    float size = 0, olderSize = 0;
    Rect artistAlbum, title;
    float olderArtistAlbumX = 0, olderTitleX = 0;
    bool titleLeftAligned = false;
    bool refreshesTexts = false;
};

// "32 (31), 20, 33.8, 440": the frame, and the x of the older platform (the same when not given).
void readFrame(const std::string& cell, Rect& frame, float& olderX)
{
    char older[32] = "";
    if (std::sscanf(cell.c_str(), " %f (%31[^)]), %f, %f, %f", &frame.x, older, &frame.y, &frame.width,
                    &frame.height) == 5) {
        olderX = std::stof(older);
        return;
    }
    ASSERT_EQ(std::sscanf(cell.c_str(), " %f, %f, %f, %f", &frame.x, &frame.y, &frame.width, &frame.height), 4)
        << cell;
    olderX = frame.x;
}

SkinRow readRow(std::int32_t index)
{
    std::vector<std::string> cells;
    std::stringstream line(skinTable[index]);
    for (std::string cell; std::getline(line, cell, '|');)
        cells.push_back(cell);
    SkinRow row;
    EXPECT_EQ(cells.size(), 7u);
    char image[32] = "", ink[8] = "", titleAlignment[16] = "";
    EXPECT_EQ(std::sscanf(cells[0].c_str(), " %31s", image), 1);
    EXPECT_EQ(std::sscanf(cells[1].c_str(), " %7s", ink), 1);
    EXPECT_EQ(std::sscanf(cells[2].c_str(), " %f (%f)", &row.size, &row.olderSize), 2);
    readFrame(cells[3], row.artistAlbum, row.olderArtistAlbumX);
    readFrame(cells[4], row.title, row.olderTitleX);
    EXPECT_EQ(std::sscanf(cells[5].c_str(), " centred / %15s", titleAlignment), 1) << "artist-album always centred";
    row.image = image;
    row.whiteText = std::string(ink) == "white";
    row.titleLeftAligned = std::string(titleAlignment) == "left";
    row.refreshesTexts = cells[6].find("yes") != std::string::npos;
    return row;
}

class TapeSkins : public PlayerWorld {
protected:
    void launchWithStoredTape(std::optional<std::int64_t> stored)
    {
        if (stored)
            platform.standardUserDefaults().setIntegerForKey(*stored, "selectedTapePreference");
        showScreen();
    }
    std::optional<std::string> skinImage() const
    {
        const auto& image = controller.tapeSkinImageView->image();
        return image ? std::optional<std::string>(image->name) : std::nullopt;
    }
    std::int64_t storedTape() { return platform.standardUserDefaults().integerForKey("selectedTapePreference"); }
    const platform::Transition* pushTransition() const
    {
        return controller.swipeHelperUIView->layer().transitionForKey("push-transition");
    }

    void expectSkin(const SkinRow& row, bool olderPlatform)
    {
        EXPECT_EQ(skinImage(), row.image);
        const platform::Color colour = row.whiteText ? platform::Color::white() : platform::Color::black();
        const platform::Font font = olderPlatform ? platform::Font{"MarkerFelt-Thin", row.olderSize}
                                                  : platform::Font{"Casino Hand", row.size};
        for (platform::Label* label : {controller.currentArtistAlbumLabel, controller.currentTitleLabel}) {
            EXPECT_EQ(label->textColor(), colour);
            EXPECT_EQ(label->font(), font);
            EXPECT_FALSE(label->isHidden());
        }
        Rect artistAlbum = row.artistAlbum;
        Rect title = row.title;
        if (olderPlatform) {
            artistAlbum.x = row.olderArtistAlbumX;
            title.x = row.olderTitleX;
        }
        expectFrame(controller.currentArtistAlbumLabel->frame(), artistAlbum);
        expectFrame(controller.currentTitleLabel->frame(), title);
        EXPECT_EQ(controller.currentArtistAlbumLabel->textAlignment(), platform::TextAlignment::Center);
        EXPECT_EQ(controller.currentTitleLabel->textAlignment(),
                  row.titleLeftAligned ? platform::TextAlignment::Left : platform::TextAlignment::Center);
        EXPECT_FALSE(controller.tapeSkinImageView->isHidden());
    }
};

TEST_F(TapeSkins, EverySkinAppliesItsLayout)
{
    launchWithStoredTape(0);
    for (std::int32_t index = 0; index < 8; ++index) {
        SCOPED_TRACE(index);
        controller.setTape(index, platform::YES);
        expectSkin(readRow(index), false);
    }
}

TEST(TapeSkinsOlderPlatform, FallbackFontAndShiftedLabels)
{
    platform::headless::HeadlessPlatform platform;
    platform.scriptedPlayer().setLegacy(true);
    MainViewController controller{platform};
    controller.view();
    for (std::int32_t index : {0, 1}) {
        SCOPED_TRACE(index);
        controller.setTape(index, platform::YES);
        const SkinRow row = readRow(index);
        EXPECT_EQ(controller.currentTitleLabel->font(), (platform::Font{"MarkerFelt-Thin", row.olderSize}));
        expectFrame(controller.currentArtistAlbumLabel->frame(), {row.olderArtistAlbumX, 20, 33.8f, 440});
        expectFrame(controller.currentTitleLabel->frame(), {row.olderTitleX, 20, 33.8f, 440});
    }
}

TEST_F(TapeSkins, ForwardWrapsFromTheLastToTheFirst)
{
    launchWithStoredTape(7);
    controller.showNextTapeSwipe();
    EXPECT_EQ(controller.selectedTape, 0);
    EXPECT_EQ(storedTape(), 0);
    EXPECT_EQ(skinImage(), "mc1-640.png");
    ASSERT_NE(pushTransition(), nullptr);
    EXPECT_EQ(pushTransition()->subtype, platform::TransitionSubtype::FromRight);
}

TEST_F(TapeSkins, BackwardWrapsFromTheFirstToTheLast)
{
    launchWithStoredTape(0);
    controller.showPreviousTapeSwipe();
    EXPECT_EQ(controller.selectedTape, 7);
    EXPECT_EQ(storedTape(), 7);
    EXPECT_EQ(skinImage(), "mc8-640.png");
    EXPECT_EQ(pushTransition()->subtype, platform::TransitionSubtype::FromLeft);
}

TEST_F(TapeSkins, OnlyTheFirstTwoSkinsRefreshTheTexts)
{
    player.setQueue({albumTrack(4)}, Notify::No);
    launchWithStoredTape(2);
    for (std::int32_t index : {2, 3, 4, 5, 6, 7, 0, 1}) {
        SCOPED_TRACE(index);
        controller.currentTitleLabel->setText("stale");
        controller.setTape(index, platform::YES);
        EXPECT_EQ(controller.currentTitleLabel->text(), readRow(index).refreshesTexts ? "Track 4" : "stale");
    }
}

TEST_F(TapeSkins, StoredIndexOutsideTheCatalogueShowsNothingUntilSteppedBack)
{
    launchWithStoredTape(12);
    EXPECT_EQ(controller.selectedTape, 12);
    EXPECT_EQ(skinImage(), std::nullopt);
    EXPECT_EQ(pushTransition(), nullptr);
    // Labels where construction left them, turned about their centres.
    expectTurnedFrame(controller.currentArtistAlbumLabel->frame(), {193.1f, -193.1f, 33.8f, 420});
    expectTurnedFrame(controller.currentTitleLabel->frame(), {133.1f, -133.1f, 33.8f, 300});

    for (std::int32_t expected : {11, 10, 9, 8}) {
        controller.showPreviousTapeSwipe();
        EXPECT_EQ(controller.selectedTape, expected);
        EXPECT_EQ(storedTape(), expected);
        EXPECT_EQ(skinImage(), std::nullopt);
    }
    controller.showPreviousTapeSwipe();
    EXPECT_EQ(skinImage(), "mc8-640.png");
}

TEST_F(TapeSkins, StoredTwelveGoesForwardToTheFirstSkin)
{
    launchWithStoredTape(12);
    controller.showNextTapeSwipe();
    EXPECT_EQ(controller.selectedTape, 0);
    EXPECT_EQ(skinImage(), "mc1-640.png");
}

TEST_F(TapeSkins, NegativeStoredIndexSteps)
{
    launchWithStoredTape(-2);
    controller.showNextTapeSwipe();
    EXPECT_EQ(controller.selectedTape, -1);
    EXPECT_EQ(skinImage(), std::nullopt);
    controller.showNextTapeSwipe();
    EXPECT_EQ(skinImage(), "mc1-640.png");

    controller.selectedTape = -2;
    controller.showPreviousTapeSwipe();
    EXPECT_EQ(controller.selectedTape, 7);
}

TEST_F(TapeSkins, AnyDirectionOtherThanNoPushesFromTheRight)
{
    launchWithStoredTape(0);
    controller.setTape(3, 5);
    EXPECT_EQ(pushTransition()->subtype, platform::TransitionSubtype::FromRight);
    controller.setTape(3, platform::NO);
    EXPECT_EQ(pushTransition()->subtype, platform::TransitionSubtype::FromLeft);
}

TEST_F(TapeSkins, TapeButtonKeepsTheToolbarUpAndGoesForward)
{
    launchWithStoredTape(3);
    platform.advance(2);
    controller.showNextTape();
    EXPECT_EQ(controller.selectedTape, 4);
    EXPECT_DOUBLE_EQ(secondsUntil(controller.hideControlsDate), 5.0);

    // A swipe leaves the deadline alone.
    platform.clock().setNow(platform.clock().now() + platform::nanosecondsFromSeconds(1));
    controller.showNextTapeSwipe();
    EXPECT_DOUBLE_EQ(secondsUntil(controller.hideControlsDate), 4.0);
}

TEST_F(TapeSkins, SwipesOnTheCassetteStepTheSkin)
{
    launchWithStoredTape(3);
    auto swipe = [&](float x, float y, float dx) {
        platform.window().touchDown({x, y});
        platform.window().touchMove({x + dx / 2, y});
        platform.window().touchUp({x + dx, y});
        platform.runDueNow();
    };
    swipe(250, 250, -150);   // left: next skin
    EXPECT_EQ(controller.selectedTape, 4);
    swipe(20, 250, 150);     // right: previous skin
    EXPECT_EQ(controller.selectedTape, 3);
    // Swipes that start on a cassette button or the toolbar change nothing.
    swipe(upperCassetteButton.x, upperCassetteButton.y, -150);
    swipe(200, 455, -150);
    EXPECT_EQ(controller.selectedTape, 3);
    EXPECT_EQ(storedTape(), 3);
}

TEST(TapeSkinsOlderPlatform, NoSwipesButTheTapeButtonWorks)
{
    platform::headless::HeadlessPlatform platform;
    platform.scriptedPlayer().setLegacy(true);
    MainViewController controller{platform};
    platform.window().addSubview(controller.takeView());
    platform.window().touchDown({250, 250});
    platform.window().touchUp({100, 250});
    EXPECT_EQ(controller.selectedTape, 0);
    controller.showNextTape();
    EXPECT_EQ(controller.selectedTape, 1);
}

} // namespace
