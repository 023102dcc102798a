#include "platform/Button.h"
#include "platform/DrawingContext.h"
#include "platform/Label.h"
#include "platform/Utf8.h"
#include "platform/View.h"

#include <gtest/gtest.h>

#include <cairo.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <string>

using namespace platform;

namespace {

class ViewTree : public ::testing::Test {
protected:
    ViewTree() : root(Rect{0, 0, 320, 480}) {}

    Button& addButton(View& parent, Rect frame)
    {
        return parent.addSubview(std::make_unique<Button>(frame));
    }

    View root;
};

TEST_F(ViewTree, HitTestFindsFrontMostViewThatTakesTouches)
{
    Button& back = addButton(root, {0, 0, 320, 420});
    Button& front = addButton(root, {98, 56, 100, 100});
    // A label over the front button takes no touches and so does not shadow it.
    root.addSubview(std::make_unique<Label>(Rect{90, 50, 120, 120}));

    EXPECT_EQ(root.hitTest({150, 100}), &front);
    EXPECT_EQ(root.hitTest({20, 300}), &back);
    EXPECT_EQ(root.hitTest({20, 450}), nullptr);

    front.setHidden(true);
    EXPECT_EQ(root.hitTest({150, 100}), &back);
}

TEST_F(ViewTree, HiddenOrDisabledContainersHideTheirWholeSubtree)
{
    Button& back = addButton(root, {0, 0, 320, 480});
    View& container = root.addSubview(std::make_unique<View>(Rect{0, 400, 320, 80}));
    Button& inner = addButton(container, {10, 10, 50, 50});   // screen (10, 410) to (60, 460)

    EXPECT_EQ(root.hitTest({30, 430}), &inner);
    container.setHidden(true);
    EXPECT_EQ(root.hitTest({30, 430}), &back);
    container.setHidden(false);
    container.setUserInteractionEnabled(false);
    EXPECT_EQ(root.hitTest({30, 430}), &back);
}

TEST_F(ViewTree, SubviewOutsideItsSuperviewBoundsIsNotHit)
{
    View& strip = root.addSubview(std::make_unique<View>(Rect{0, 0, 100, 100}));
    addButton(strip, {120, 0, 40, 40});
    EXPECT_EQ(root.hitTest({130, 10}), nullptr);
}

TEST_F(ViewTree, HitTestFollowsTheTurnOfASuperview)
{
    // 200 × 40 turned a quarter turn counter-clockwise about (160, 240): it covers
    // x 140..180, y 140..340 on screen. Its bounds' left end (x 0..40) lies at the bottom.
    View& turned = root.addSubview(std::make_unique<View>(Rect{60, 220, 200, 40}));
    turned.setTransform(AffineTransform::makeRotation(-1.5707964f));
    Button& leftEnd = addButton(turned, {0, 0, 40, 40});

    EXPECT_EQ(root.hitTest({160, 320}), &leftEnd);   // 20 points above the bottom end
    EXPECT_EQ(root.hitTest({160, 160}), nullptr);    // the other end of the bar
    EXPECT_EQ(root.hitTest({100, 240}), nullptr);    // where the unturned bar would be

    const Point local = leftEnd.convertFromScreen({160, 320});
    EXPECT_NEAR(local.x, 20, 1e-4);
    EXPECT_NEAR(local.y, 20, 1e-4);
}

TEST_F(ViewTree, QuarterTurnedLabelCoversExactRectangle)
{
    // The cassette's artist label: 420 × 33.8 turned by the float nearest -π/2.
    Label artist(Rect{0, 0, 420, 33.8f});
    artist.setTransform(AffineTransform::makeRotation(-1.5707964f));
    const float centreX = 0 + 420.0f / 2;
    const float centreY = 0 + 33.8f / 2;
    const Rect expected{centreX - 33.8f / 2, centreY - 420.0f / 2, 33.8f, 420.0f};

    EXPECT_EQ(artist.frame(), expected);
    EXPECT_FLOAT_EQ(expected.x, 193.1f);
    EXPECT_FLOAT_EQ(expected.y, -193.1f);

    Label title(Rect{0, 0, 300, 33.8f});
    title.setTransform(AffineTransform::makeRotation(-1.5707964f));
    EXPECT_EQ(title.frame(), (Rect{150.0f - 16.9f, 16.9f - 150.0f, 33.8f, 300.0f}));
}

TEST_F(ViewTree, SetFrameSolvesBoundsThroughTheTurn)
{
    View quarter(Rect{0, 0, 420, 33.8f});
    quarter.setTransform(AffineTransform::makeRotation(-1.5707964f));
    quarter.setFrame({100, 50, 30, 200});
    EXPECT_EQ(quarter.bounds().size(), (Size{200, 30}));
    EXPECT_EQ(quarter.center(), (Point{115, 150}));
    EXPECT_EQ(quarter.frame(), (Rect{100, 50, 30, 200}));

    // 30°: a 100 × 40 bounds covers 100·cos30 + 40·sin30 by 100·sin30 + 40·cos30.
    const double c = std::cos(std::numbers::pi / 6), s = std::sin(std::numbers::pi / 6);
    View thirty(Rect{0, 0, 10, 10});
    thirty.setTransform(AffineTransform::makeRotation(static_cast<float>(std::numbers::pi / 6)));
    thirty.setFrame({0, 0, static_cast<float>(100 * c + 40 * s), static_cast<float>(100 * s + 40 * c)});
    // Tolerance: the angle is a float, so cos and sin are off in the 8th digit.
    EXPECT_NEAR(thirty.bounds().width, 100, 1e-3);
    EXPECT_NEAR(thirty.bounds().height, 40, 1e-3);

    // At 45° every bounds with the same w + h covers the same frame: the size stays.
    View diagonal(Rect{0, 0, 60, 20});
    diagonal.setTransform(AffineTransform::makeRotation(static_cast<float>(std::numbers::pi / 4)));
    diagonal.setFrame({0, 0, 90, 90});
    EXPECT_EQ(diagonal.bounds().size(), (Size{60, 20}));
    EXPECT_EQ(diagonal.center(), (Point{45, 45}));
}

TEST_F(ViewTree, InsertBelowSubviewReordersStacking)
{
    View& a = root.addSubview(std::make_unique<View>());
    View& b = root.addSubview(std::make_unique<View>());
    View& c = root.addSubview(std::make_unique<View>());

    root.insertSubviewBelowSubview(c, a);   // c a b
    EXPECT_EQ(c.indexInSuperview(), 0u);
    EXPECT_EQ(a.indexInSuperview(), 1u);
    EXPECT_EQ(b.indexInSuperview(), 2u);

    root.insertSubviewBelowSubview(c, b);   // a c b
    EXPECT_EQ(a.indexInSuperview(), 0u);
    EXPECT_EQ(c.indexInSuperview(), 1u);
    EXPECT_EQ(b.indexInSuperview(), 2u);

    std::unique_ptr<View> taken = c.removeFromSuperview();
    EXPECT_EQ(taken.get(), &c);
    EXPECT_EQ(c.superview(), nullptr);
    EXPECT_EQ(b.indexInSuperview(), 1u);
}

TEST_F(ViewTree, ContentVersionFollowsWhatTheViewShows)
{
    Label label(Rect{0, 0, 100, 20});
    label.setText("A");
    struct Step {
        const char* what;
        std::function<void()> change;
        bool bumps;
    };
    const Step steps[] = {
        {"same text", [&] { label.setText("A"); }, false},
        {"new text", [&] { label.setText("B"); }, true},
        {"same font", [&] { label.setFont(label.font()); }, false},
        {"new font", [&] { label.setFont(Font::fontWithNameSize("Casino Hand", 26)); }, true},
        {"text colour", [&] { label.setTextColor(Color::white()); }, true},
        {"alignment", [&] { label.setTextAlignment(TextAlignment::Center); }, true},
        {"background", [&] { label.setBackgroundColor(Color::black()); }, true},
        {"same background", [&] { label.setBackgroundColor(Color::black()); }, false},
        {"move", [&] { label.setFrame({5, 5, 100, 20}); }, false},
        {"centre", [&] { label.setCenter({60, 60}); }, false},
        {"hide", [&] { label.setHidden(true); }, false},
        {"turn", [&] { label.setTransform(AffineTransform::makeRotation(1)); }, false},
        {"redraw request", [&] { label.setNeedsDisplay(); }, true},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        const unsigned long before = label.contentVersion();
        step.change();
        EXPECT_EQ(label.contentVersion() != before, step.bumps);
    }
}

TEST_F(ViewTree, DisplayDrawsWithTheContextCurrentAndClearsTheRequest)
{
    struct Probe : View {
        using View::View;
        void drawRect(Rect area) override
        {
            drawnWith = currentGraphicsContext();
            drawnArea = area;
        }
        GraphicsContext* drawnWith = nullptr;
        Rect drawnArea;
    };
    Probe probe(Rect{10, 10, 30, 20});
    probe.setNeedsDisplay();
    probe.setNeedsDisplay();
    EXPECT_EQ(probe.displayRequestCount(), 2u);
    EXPECT_TRUE(probe.needsDisplay());

    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 30, 20);
    cairo_t* cr = cairo_create(surface);
    GraphicsContext context(cr);
    probe.display(context);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);

    EXPECT_EQ(probe.drawnWith, &context);
    EXPECT_EQ(probe.drawnArea, (Rect{0, 0, 30, 20}));
    EXPECT_FALSE(probe.needsDisplay());
    EXPECT_EQ(currentGraphicsContext(), nullptr);
}

TEST(Utf8Cleaning, ReplacesEachMaximalInvalidPartOnce)
{
    const std::string fffd = "\xEF\xBF\xBD";
    struct Case {
        const char* what;
        std::string input;
        std::string expected;
    };
    const Case cases[] = {
        {"ascii", "Side A", "Side A"},
        {"two, three and four byte characters", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xB5", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xB5"},
        {"largest code point", "\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},
        {"stray continuation bytes", "a\x80\xBFz", "a" + fffd + fffd + "z"},
        {"overlong slash", "\xC0\xAF", fffd + fffd},
        {"overlong three-byte", "\xE0\x80\xAF", fffd + fffd + fffd},
        {"overlong four-byte", "\xF0\x8F\xBF\xBF", fffd + fffd + fffd + fffd},
        {"surrogate", "\xED\xA0\x80", fffd + fffd + fffd},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},
        {"never-used lead bytes", "\xF5\xFF", fffd + fffd},
        {"truncated three-byte at end", "ok\xE2\x82", "ok" + fffd},
        {"truncated four-byte before ascii", "\xF0\x9F\x8E" "A", fffd + "A"},
        {"lead byte cut off by another lead", "\xE2\xC3\xA9", fffd + "\xC3\xA9"},
        {"NUL", std::string("a\0b", 3), "a" + fffd + "b"},
        {"empty", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(sanitizeUtf8(c.input), c.expected);
    }

    Label label;
    label.setText("Caf\xE9");   // Latin-1 tag text
    EXPECT_EQ(label.text(), "Caf" + fffd);
}

} // namespace
