// Label text with pango: the font names resolve to installed handwriting faces,
// text is plain and on one line, right-to-left text starts at the right, and
// glyphs a face lacks come from another.

#include "platform/Label.h"
#include "platform/TextLayout.h"

#include <cairo.h>
#include <gtest/gtest.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using platform::Font;
using platform::Label;
using platform::Rect;
using platform::TextAlignment;

namespace {

// The columns (in points) that the label's text inks, drawn at 2 pixels a point.
struct Ink {
    double left = 1e9, right = -1;
    long pixels = 0;
};

// Whether each pixel of the label, drawn at 2 pixels a point, is inked; row by row.
struct Coverage {
    int width = 0, height = 0;
    std::vector<bool> inked;
    bool at(int x, int y) const { return inked[std::size_t(y) * std::size_t(width) + std::size_t(x)]; }
};

Coverage coverageOf(const Label& label)
{
    Coverage coverage;
    coverage.width = int(label.bounds().width * 2);
    coverage.height = int(label.bounds().height * 2);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, coverage.width, coverage.height);
    cairo_t* cairo = cairo_create(surface);
    cairo_scale(cairo, 2, 2);
    platform::drawLabelText(cairo, label);
    cairo_destroy(cairo);
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < coverage.height; ++y)
        for (int x = 0; x < coverage.width; ++x)
            coverage.inked.push_back(data[y * stride + x * 4 + 3] > 64);
    cairo_surface_destroy(surface);
    return coverage;
}

Ink inkOf(const Label& label)
{
    const Coverage coverage = coverageOf(label);
    Ink ink;
    for (int y = 0; y < coverage.height; ++y)
        for (int x = 0; x < coverage.width; ++x)
            if (coverage.at(x, y)) {
                ++ink.pixels;
                ink.left = std::min(ink.left, x / 2.0);
                ink.right = std::max(ink.right, (x + 1) / 2.0);
            }
    return ink;
}

std::unique_ptr<Label> makeLabel(const std::string& text, TextAlignment alignment)
{
    auto label = std::make_unique<Label>(Rect{0, 0, 300, 33.8f});
    label->setFont(Font::fontWithNameSize("Casino Hand", 26));
    label->setTextAlignment(alignment);
    label->setText(text);
    return label;
}

// The family of the face fontconfig actually picks for a font name.
std::string chosenFamily(const std::string& systemName)
{
    PangoFontMap* map = pango_cairo_font_map_get_default();
    PangoContext* context = pango_font_map_create_context(map);
    PangoFontDescription* description = pango_font_description_from_string(platform::fontFamilyFor(systemName).c_str());
    PangoFont* font = pango_context_load_font(context, description);
    std::string family;
    if (font) {
        PangoFontDescription* loaded = pango_font_describe(font);
        family = pango_font_description_get_family(loaded);
        pango_font_description_free(loaded);
        g_object_unref(font);
    }
    pango_font_description_free(description);
    g_object_unref(context);
    return family;
}

} // namespace

TEST(TextLayout, HandwritingFontNamesResolveToInstalledFaces)
{
    // A missing font package would silently fall back to a plain sans.
    EXPECT_EQ(chosenFamily("Casino Hand"), "DkgHandwriting");
    EXPECT_EQ(chosenFamily("MarkerFelt-Thin"), "Comic Neue");
    EXPECT_EQ(chosenFamily("Helvetica"), "DejaVu Sans");
}

TEST(TextLayout, AlignmentFollowsTheTextsDirection)
{
    struct Case {
        const char* what;
        std::string text;
        TextAlignment alignment;
        double expectedMiddle;   // where the ink's middle lies, roughly
    };
    const Case cases[] = {
        {"latin left", "Tape", TextAlignment::Left, 0},
        {"latin centre", "Tape", TextAlignment::Center, 150},
        // Hebrew set to align left starts at the right end, where its reader begins.
        {"hebrew left", "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D", TextAlignment::Left, 300},
        {"hebrew centre", "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D", TextAlignment::Center, 150},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Ink ink = inkOf(*makeLabel(c.text, c.alignment));
        ASSERT_GT(ink.pixels, 50);
        const double width = ink.right - ink.left;
        ASSERT_LT(width, 120);
        const double middle = (ink.left + ink.right) / 2;
        // Within the text's own width (plus side bearings) of where it belongs.
        EXPECT_NEAR(middle, std::clamp(c.expectedMiddle, width / 2, 300 - width / 2), 6);
    }
}

// The inked columns of the label, as runs of whole pixel columns [first, last].
std::vector<std::pair<int, int>> inkedColumnRuns(const Label& label, int fromPixel, int toPixel, int* top, int* bottom)
{
    const Coverage coverage = coverageOf(label);
    std::vector<std::pair<int, int>> runs;
    *top = coverage.height;
    *bottom = -1;
    for (int x = std::max(fromPixel, 0); x < std::min(toPixel, coverage.width); ++x) {
        bool inked = false;
        for (int y = 0; y < coverage.height; ++y)
            if (coverage.at(x, y)) {
                inked = true;
                *top = std::min(*top, y);
                *bottom = std::max(*bottom, y);
            }
        if (inked && !runs.empty() && runs.back().second == x - 1)
            runs.back().second = x;
        else if (inked)
            runs.push_back({x, x});
    }
    return runs;
}

TEST(TextLayout, TooLongTextKeepsItsStartAndEndsWithAnEllipsisInside)
{
    const std::string start = "Begin";
    const std::string longText = start + " and then a great many more words than the label can hold";
    for (const TextAlignment alignment : {TextAlignment::Left, TextAlignment::Center}) {
        SCOPED_TRACE(int(alignment));
        const auto label = makeLabel(longText, alignment);
        const Ink alone = inkOf(*makeLabel(start, TextAlignment::Left));
        const Ink shortened = inkOf(*label);
        // The start sits at the left edge, as it would on its own.
        EXPECT_NEAR(shortened.left, alone.left, 0.5);
        // The end lies inside the label, close to its far edge.
        EXPECT_GT(shortened.right, 270);
        EXPECT_LT(shortened.right, 300);

        // The last ink is three dots: three short runs of columns, low on the line.
        int top = 0, bottom = 0;
        const auto lastRuns = inkedColumnRuns(*label, int(shortened.right * 2) - 30, 600, &top, &bottom);
        ASSERT_GE(lastRuns.size(), 3u);
        const auto dots = std::vector<std::pair<int, int>>(lastRuns.end() - 3, lastRuns.end());
        for (const auto& [first, last] : dots)
            EXPECT_LT(last - first, 8) << "a dot, not a letter";
        int dotTop = 0, dotBottom = 0;
        inkedColumnRuns(*label, dots.front().first, dots.back().second + 1, &dotTop, &dotBottom);
        EXPECT_LT(dotBottom - dotTop, 10) << "dots, not letters";
    }
}

TEST(TextLayout, TheLineOfATallFaceIsFittedToTheLabelsHeight)
{
    // The handwriting face's line is far taller than its size: at 26 it would not fit
    // a 33.8-point label. Drawn fitted, the ink of deep and tall letters stays inside.
    for (const float height : {33.8f, 22.0f}) {
        SCOPED_TRACE(height);
        Label label(Rect{0, 0, 300, height});
        label.setFont(Font::fontWithNameSize("Casino Hand", 26));
        label.setText("Tjgpqy ÅÉ");
        int top = 0, bottom = 0;
        inkedColumnRuns(label, 0, 600, &top, &bottom);
        ASSERT_GE(bottom, 0) << "nothing drawn";
        EXPECT_GT(top, 0) << "the top of the ink is cut";
        EXPECT_LT(bottom, int(height * 2) - 1) << "the bottom of the ink is cut";
        // Fitted, not shrunk away: the letters still fill most of the label.
        EXPECT_GT(bottom - top, height * 2 * 0.6);
    }
}

TEST(TextLayout, TextIsPlainAndStaysOnOneLine)
{
    const Font font = Font::fontWithNameSize("Casino Hand", 26);
    // "&amp;" read as markup would be one character wide.
    EXPECT_GT(platform::measureTextWidth("&amp;", font), 3 * platform::measureTextWidth("&", font));
    // A tag that is not markup shows as its characters.
    EXPECT_GT(platform::measureTextWidth("<b>x</b>", font), 4 * platform::measureTextWidth("x", font));
    // Line breaks in a tag become spaces: the line is as wide as with a space.
    EXPECT_NEAR(platform::measureTextWidth("Side\nA", font), platform::measureTextWidth("Side A", font), 0.01);
    EXPECT_NEAR(platform::measureTextWidth("Side\xE2\x80\xA8" "A", font), platform::measureTextWidth("Side A", font), 0.01);
}

TEST(TextLayout, GlyphsTheFaceLacksComeFromAnotherFace)
{
    // The handwriting face has Latin letters only.
    struct Case {
        const char* what;
        const char* text;
    };
    for (const Case c : {Case{"cyrillic", "\xD0\x9A\xD0\xB0\xD1\x81\xD1\x81\xD0\xB5\xD1\x82\xD0\xB0"},
                         Case{"greek", "\xCE\x9A\xCE\xB1\xCF\x83\xCE\xad\xCF\x84\xCE\xb1"},
                         Case{"japanese", "\xE6\xBC\xA2\xE5\xAD\x97"},
                         Case{"arabic", "\xD9\x85\xD9\x88\xD8\xB3\xD9\x8A\xD9\x82\xD9\x89"}}) {
        SCOPED_TRACE(c.what);
        EXPECT_GT(inkOf(*makeLabel(c.text, TextAlignment::Center)).pixels, 100);
    }
}

TEST(TextLayout, InvalidBytesInATagDoNotStopTheRest)
{
    Label label(Rect{0, 0, 300, 33.8f});
    label.setFont(Font::fontWithNameSize("Casino Hand", 26));
    label.setText(std::string("Tape\xFF\xFE Deck\0Two", 16));
    const Ink ink = inkOf(label);
    const Ink plain = inkOf(*makeLabel("Tape Deck", TextAlignment::Left));
    EXPECT_GT(ink.right - ink.left, plain.right - plain.left);
}
