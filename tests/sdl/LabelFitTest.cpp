// The two cassette labels on every skin, composed as the window shows them: the
// letters of one line never run into the other's, and a text longer than its label
// ends with an ellipsis inside the label.

#include "RenderSupport.h"

#include "player/MainViewController.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace {

using rendertest::Frame;
using rendertest::Screen;

// Titles with capitals, accents and deep letters, the parts of a line that reach furthest.
const char* const shortTitle = "Jog";
// Longer than any label at any size a skin draws it.
const char* const longTitle =
    "The Harbour Reels - Salt & Static Jangling Through Quiet Bays (Long Play Edit, Remastered With Every Outtake)";
const char* const artistAlbum = "Ylva Quip - Deep Sky Gypsy Blues, Volume Eighty";

// The pixels where a frame differs from the frame with both labels empty.
std::vector<bool> inkAgainst(const Frame& frame, const Frame& empty)
{
    std::vector<bool> ink(frame.pixels.size());
    for (int y = 0; y < frame.height; ++y)
        for (int x = 0; x < frame.width; ++x)
            ink[std::size_t(y) * std::size_t(frame.width) + std::size_t(x)] =
                rendertest::channelDifference(frame.pixel(x, y), empty.pixel(x, y)) > 40;
    return ink;
}

class LabelFit : public ::testing::TestWithParam<std::int32_t> {
protected:
    Screen screen;

    Frame withTexts(const std::string& title, const std::string& artist)
    {
        screen.controller().currentTitleLabel->setText(title);
        screen.controller().currentArtistAlbumLabel->setText(artist);
        screen.world.runDueNow();
        return screen.frame();
    }
};

TEST_P(LabelFit, TheTwoLinesNeverInkTheSamePixels)
{
    const std::int32_t skin = GetParam();
    screen.launch({rendertest::track(1, 1)}, 2, 0, skin);
    // Past the skin's slide and the toolbar's time: from here on only the labels change.
    screen.world.advance(6);
    const Frame empty = withTexts("", "");
    for (const char* title : {shortTitle, longTitle}) {
        SCOPED_TRACE(title);
        const Frame titleOnly = withTexts(title, "");
        const Frame artistOnly = withTexts("", artistAlbum);
        const std::vector<bool> titleInk = inkAgainst(titleOnly, empty);
        const std::vector<bool> artistInk = inkAgainst(artistOnly, empty);
        long titlePixels = 0, artistPixels = 0, shared = 0;
        Frame overlap = withTexts(title, artistAlbum);
        for (std::size_t i = 0; i < titleInk.size(); ++i) {
            titlePixels += titleInk[i];
            artistPixels += artistInk[i];
            if (titleInk[i] && artistInk[i]) {
                ++shared;
                overlap.pixels[i] = 0xffff00ff;
            }
        }
        ASSERT_GT(titlePixels, 100) << "the title is drawn";
        ASSERT_GT(artistPixels, 100) << "the artist and album are drawn";
        EXPECT_EQ(shared, 0) << overlap.keep("label-overlap-skin" + std::to_string(skin));
    }
}

TEST_P(LabelFit, ALongTitleEndsInsideItsLabel)
{
    const std::int32_t skin = GetParam();
    screen.launch({rendertest::track(1, 1)}, 2, 0, skin);
    // Past the skin's slide and the toolbar's time: from here on only the labels change.
    screen.world.advance(6);
    const Frame empty = withTexts("", "");
    const Frame frame = withTexts(longTitle, "");
    const std::vector<bool> ink = inkAgainst(frame, empty);
    // The label turned a quarter turn: its text runs up the screen from the bottom of
    // its frame, so the line's end is the ink nearest the frame's top.
    const platform::Rect label = screen.controller().currentTitleLabel->frame();
    int topmost = frame.height;
    for (int y = 0; y < frame.height; ++y)
        for (int x = 0; x < frame.width; ++x)
            if (ink[std::size_t(y) * std::size_t(frame.width) + std::size_t(x)]) {
                const bool inside = x >= label.x * 2 - 1 && x <= (label.x + label.width) * 2 + 1 &&
                                    y >= label.y * 2 - 1 && y <= (label.y + label.height) * 2 + 1;
                EXPECT_TRUE(inside) << "ink outside the label at " << x << ", " << y
                                    << frame.keep("label-outside-skin" + std::to_string(skin));
                topmost = std::min(topmost, y);
            }
    // It runs to the label's far end, where the ellipsis stands (its dots are checked
    // on a label alone, in TextLayoutTest).
    EXPECT_LT(topmost, (label.y + 12) * 2) << frame.keep("label-end-skin" + std::to_string(skin));
}

INSTANTIATE_TEST_SUITE_P(EverySkin, LabelFit, ::testing::Range<std::int32_t>(0, 8));

} // namespace
