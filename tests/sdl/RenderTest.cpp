// The composed player screen, probed where the geometry says what must be there.
// Screen points are doubled into pixels; the cassette lies on its side with the
// left reel centred at (148, 106) and the right reel at (148, 369).

#include "RenderSupport.h"

#include "mechanics/TapeBandCircleUIView.h"
#include "platform/Label.h"

#include <cmath>

using namespace rendertest;

namespace {

constexpr double upperReelX = 148, upperReelY = 106;
constexpr double lowerReelY = 369;
constexpr double reelRadiusPoints = 68;

bool insideReelSquare(int px, int py)
{
    const double x = px / 2.0, y = py / 2.0;
    const bool across = std::fabs(x - upperReelX) <= reelRadiusPoints + 1;
    return across && (std::fabs(y - upperReelY) <= reelRadiusPoints + 1 || std::fabs(y - lowerReelY) <= reelRadiusPoints + 1);
}

// Pixels of the difference that fall outside both reels' squares.
long outsideReels(const Frame& a, const Frame& b)
{
    long count = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            if (channelDifference(a.pixel(x, y), b.pixel(x, y)) > 8 && !insideReelSquare(x, y))
                ++count;
    return count;
}

// The brightest channel along a short horizontal run of points, so that a dark
// groove of the tape cannot pass for the black ring.
int brightestAround(const Frame& f, double x, double y)
{
    int brightest = 0;
    for (double dx = -6; dx <= 6; dx += 0.5)
        brightest = std::max(brightest, f.atPoint(x + dx, y).brightest());
    return brightest;
}

} // namespace

class PlayerScreen : public ::testing::Test, protected Screen {
protected:
    // Launched, playing, and past the first skin's push transition; the next tick
    // is 0.1 s away.
    void playing(std::vector<platform::MediaItemPtr> queue = {track(1, 4), track(2, 4)})
    {
        launch(std::move(queue), platform::PlaybackState::Playing, 30);
        world.advance(1.1);
    }
};

TEST_F(PlayerScreen, ReelIsDrawnAndTurnsWhilePlaying)
{
    playing();
    const Frame before = frame();
    world.advance(0.05);   // no tick in between: only the reels may move
    const Frame after = frame();

    const Difference turned = differenceOf(before, after);
    EXPECT_GT(turned.count, 2000) << after.keep("reel-turning");
    EXPECT_EQ(outsideReels(before, after), 0) << after.keep("reel-turning-outside");

    controller().leftWheelImageView->setHidden(true);
    const Frame withoutReel = frame();
    const Difference reel = differenceOf(after, withoutReel);
    EXPECT_GT(reel.count, 5000) << withoutReel.keep("reel-hidden");
    EXPECT_GE(reel.left / 2.0, upperReelX - reelRadiusPoints - 1);
    EXPECT_LE(reel.right / 2.0, upperReelX + reelRadiusPoints + 1);
    EXPECT_GE(reel.top / 2.0, upperReelY - reelRadiusPoints - 1);
    EXPECT_LE(reel.bottom / 2.0, upperReelY + reelRadiusPoints + 1);
}

TEST_F(PlayerScreen, ReelsStandStillWhilePaused)
{
    launch({track(1, 4)}, platform::PlaybackState::Paused, 30);
    world.advance(1.1);
    const Frame before = frame();
    world.advance(0.45);   // ticks run, but nothing moves
    const Frame after = frame();
    EXPECT_EQ(differenceOf(before, after).count, 0) << after.keep("paused-moved");
}

TEST_F(PlayerScreen, TapeEdgeLiesWhereTheBandWidthPutsIt)
{
    // Album position 0.75 (track 4 of 4 from its start) winds 19.2875 mm on the
    // left reel and leaves 13.1625 mm on the right; 6.8 points per millimetre of
    // diameter, truncated, gives roll radii of 131 and 89 points. The tape then
    // shows out to one point beyond the roll radius, 132 and 90 points from the
    // reel centres, and the black ring of the tape-roll view hides the rest.
    struct Case {
        int number;
        int upperVisible, lowerVisible;
    };
    const Case cases[] = {
        {4, 132, 90},   // position 0.75
        {2, 90, 132},   // position 0.25: 13.1625 and 19.2875 mm, the other way round
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        Screen screen;
        screen.launch({track(c.number, 4)}, platform::PlaybackState::Paused, 0);
        screen.world.advance(1.1);
        const Frame f = screen.frame();
        // Down from the upper reel's centre and up from the lower one's, through the
        // cassette's window, where the two rolls face each other.
        const double upperEdge = upperReelY + c.upperVisible;
        const double lowerEdge = lowerReelY - c.lowerVisible;
        EXPECT_GT(brightestAround(f, upperReelX, upperEdge - 3), 40) << f.keep("tape-edge-upper");
        EXPECT_LT(brightestAround(f, upperReelX, upperEdge + 3), 24) << f.keep("tape-edge-upper");
        EXPECT_GT(brightestAround(f, upperReelX, lowerEdge + 3), 40) << f.keep("tape-edge-lower");
        EXPECT_LT(brightestAround(f, upperReelX, lowerEdge - 3), 24) << f.keep("tape-edge-lower");
    }
}

TEST_F(PlayerScreen, SkinChangeMixesBothHalfWayAndShowsTheNewSkinAfterwards)
{
    playing();
    controller().leftWheelImageView->setHidden(true);   // the reels would differ frame to frame
    controller().rightWheelImageView->setHidden(true);
    const Frame oldSkin = frame();

    controller().showNextTapeSwipe();   // pushed in from the right, 0.25 s
    world.advance(0.125);
    const Frame halfWay = frame();
    world.advance(0.3);
    const Frame newSkin = frame();

    EXPECT_GT(differenceOf(oldSkin, newSkin).count, 100000) << newSkin.keep("skin-unchanged");
    // Half-way, the old picture has moved half a screen to the left and the new one
    // fills the right half. Probed on a grid, away from the seam.
    int matchesOld = 0, matchesNew = 0, probes = 0;
    for (int y = 10; y < 950; y += 20)
        for (int x = 10; x < 300; x += 20) {
            ++probes;
            matchesOld += channelDifference(halfWay.pixel(x, y), oldSkin.pixel(x + 320, y)) <= 8;
            matchesNew += channelDifference(halfWay.pixel(x + 330, y), newSkin.pixel(x + 10, y)) <= 8;
        }
    EXPECT_GE(matchesOld, probes * 95 / 100) << halfWay.keep("skin-half-way");
    EXPECT_GE(matchesNew, probes * 95 / 100) << halfWay.keep("skin-half-way");
}

TEST_F(PlayerScreen, SecondSkinChangePushesOutWhatTheFirstShowedMidway)
{
    playing();
    controller().leftWheelImageView->setHidden(true);
    controller().rightWheelImageView->setHidden(true);
    controller().showNextTapeSwipe();
    world.advance(0.125);
    const Frame mixed = frame();   // old and new skin side by side
    controller().showNextTapeSwipe();   // replaces the running transition
    world.advance(0.125);
    const Frame second = frame();
    // The mixed picture is now half pushed out to the left.
    int matches = 0, probes = 0;
    for (int y = 10; y < 950; y += 20)
        for (int x = 10; x < 300; x += 20) {
            ++probes;
            matches += channelDifference(second.pixel(x, y), mixed.pixel(x + 320, y)) <= 8;
        }
    EXPECT_GE(matches, probes * 95 / 100) << second.keep("second-push");
}

TEST_F(PlayerScreen, LabelTextStaysInsideItsRectangle)
{
    playing();
    controller().leftWheelImageView->setHidden(true);
    controller().rightWheelImageView->setHidden(true);
    // Skin 0 puts the title label on the rectangle (60, 20, 33.8, 440).
    const double left = 60, top = 20, right = 60 + 33.8, bottom = 20 + 440;
    const char* titles[] = {
        "Walking on the Shore",
        "An extremely long title that cannot possibly fit on the label of a cassette",
        "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D \xD7\xA2\xD7\x95\xD7\x9C\xD7\x9D",   // Hebrew
        "\xE6\xBC\xA2\xE5\xAD\x97\xE3\x81\xA8\xE4\xBB\xAE\xE5\x90\x8D",        // Japanese
    };
    platform::Label& label = *controller().currentTitleLabel;
    for (const char* title : titles) {
        SCOPED_TRACE(title);
        label.setText("");
        const Frame empty = frame();
        label.setText(title);
        const Frame written = frame();
        const Difference ink = differenceOf(empty, written, 24);
        EXPECT_GT(ink.count, 200) << written.keep("label-text");
        EXPECT_GE(ink.left / 2.0, left - 0.5) << written.keep("label-text");
        EXPECT_LE((ink.right + 1) / 2.0, right + 0.5) << written.keep("label-text");
        EXPECT_GE(ink.top / 2.0, top - 0.5) << written.keep("label-text");
        EXPECT_LE((ink.bottom + 1) / 2.0, bottom + 0.5) << written.keep("label-text");
    }
}

TEST_F(PlayerScreen, TheSkinKeepsOnlyTheRowsThatShowAndLiesWhereTheWholePictureWould)
{
    playing();
    const Frame shown = frame();
    // The skin: the picture that reaches past the screen's top and bottom edges.
    const auto& commands = renderer.compositor().displayList().commands;
    const auto skin = std::find_if(commands.begin(), commands.end(), [](const platform::sdl::DrawCommand& c) {
        return c.texture && c.texture->partTop > 0;
    });
    ASSERT_NE(skin, commands.end());
    // 640 × 1114 pixels, of which the screen shows rows 76 to 1035: a few more are kept,
    // far from all.
    EXPECT_EQ(skin->texture->widthPixels, 640);
    EXPECT_GE(skin->texture->heightPixels, 960);
    EXPECT_LE(skin->texture->heightPixels, 1010);
    EXPECT_LE(skin->destination.y, -2);
    EXPECT_GE(skin->destination.y + skin->destination.h, 962);
    // Where the picture is opaque and nothing lies over it, the screen shows its pixels
    // exactly where the whole picture puts them.
    cairo_surface_t* whole =
        cairo_image_surface_create_from_png((platform::sdl::resourceDirectory() / "mc1-640.png").c_str());
    ASSERT_EQ(cairo_surface_status(whole), CAIRO_STATUS_SUCCESS);
    ASSERT_EQ(cairo_image_surface_get_height(whole), 1114);
    std::vector<SDL_Rect> above;
    for (auto it = skin + 1; it != commands.end(); ++it)
        above.push_back(it->bounds());
    long compared = 0, differing = 0;
    for (int y = 0; y < shown.height; ++y)
        for (int x = 0; x < shown.width; ++x) {
            const SDL_Point p{x, y};
            const auto* row = reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(whole)
                                                                     + std::ptrdiff_t(y + 76) * cairo_image_surface_get_stride(whole));
            if ((row[x] >> 24) != 0xff || std::any_of(above.begin(), above.end(), [&](const SDL_Rect& r) { return SDL_PointInRect(&p, &r); }))
                continue;
            ++compared;
            differing += (shown.pixels[std::size_t(y) * std::size_t(shown.width) + std::size_t(x)] & 0xffffff) != (row[x] & 0xffffff);
        }
    cairo_surface_destroy(whole);
    EXPECT_GT(compared, 250'000);
    EXPECT_EQ(differing, 0) << shown.keep("skin-rows");
}

TEST_F(PlayerScreen, SkinSevenWritesWhiteTheOthersBlack)
{
    struct Case {
        int skin;
        bool white;
    };
    for (const Case c : {Case{6, true}, Case{0, false}, Case{7, false}}) {
        SCOPED_TRACE(c.skin);
        Screen screen;
        screen.launch({track(1, 4)}, platform::PlaybackState::Paused, 0, c.skin);
        screen.world.advance(1.1);
        platform::Label& label = *screen.controller().currentTitleLabel;
        label.setText("");
        const Frame empty = screen.frame();
        label.setText("WWWW MMMM");
        const Frame written = screen.frame();
        // The strongest ink of the text: the pixel that changed most.
        int most = 0;
        Rgb ink;
        for (int y = 0; y < written.height; ++y)
            for (int x = 0; x < written.width; ++x) {
                const int d = channelDifference(empty.pixel(x, y), written.pixel(x, y));
                if (d > most) {
                    most = d;
                    ink = written.pixel(x, y);
                }
            }
        EXPECT_GT(most, 100) << written.keep("skin-text");
        if (c.white)
            EXPECT_GT(ink.darkest(), 200) << written.keep("skin-text-white");
        else
            EXPECT_LT(ink.brightest(), 60) << written.keep("skin-text-black");
    }
}

TEST_F(PlayerScreen, BareAmpersandInATitleIsShownAsText)
{
    playing();
    platform::Label& label = *controller().currentTitleLabel;
    label.setText("");
    const Frame empty = frame();
    label.setText("Rock & Roll");
    const Frame withAmpersand = frame();
    label.setText("Rock Roll");
    const Frame without = frame();
    // Read as markup, the whole title would fail and draw nothing.
    const long ampersandInk = differenceOf(empty, withAmpersand, 24).count;
    EXPECT_GT(ampersandInk, 200) << withAmpersand.keep("ampersand");
    EXPECT_GT(ampersandInk, differenceOf(empty, without, 24).count) << withAmpersand.keep("ampersand");
}
