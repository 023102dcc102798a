#include "mechanics/TapeBandCircleUIView.h"

#include "platform/DrawingContext.h"
#include "support/TestOutput.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace {

constexpr int side = 306;

// Draws the view into a fresh 306 × 306 picture that starts out opaque red, so that
// a pixel left transparent proves the view cleared it.
class TapeRollPicture : public ::testing::Test {
protected:
    TapeRollPicture()
        : surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, side, side), cairo_surface_destroy),
          cairo(cairo_create(surface.get()), cairo_destroy)
    {
        cairo_set_source_rgba(cairo.get(), 1, 0, 0, 1);
        cairo_paint(cairo.get());
        // The view's bounds clip its drawing, as the backend's clip does.
        cairo_rectangle(cairo.get(), 0, 0, side, side);
        cairo_clip(cairo.get());
    }

    void draw(std::int32_t band)
    {
        view.setPixelFromBandToSuppress(band);
        platform::GraphicsContext context(cairo.get());
        platform::CurrentGraphicsContextScope scope(context);
        view.drawRect(view.bounds());
        cairo_surface_flush(surface.get());
    }

    // Premultiplied ARGB, as cairo stores it.
    std::uint32_t pixel(int x, int y) const
    {
        const unsigned char* data = cairo_image_surface_get_data(surface.get());
        const int stride = cairo_image_surface_get_stride(surface.get());
        return *reinterpret_cast<const std::uint32_t*>(data + y * stride + x * 4);
    }

    void keepPictureIfFailed(const std::string& name) const
    {
        if (!HasFailure())
            return;
        const std::filesystem::path path = testsupport::testOutputFolder() / (name + ".png");
        cairo_surface_write_to_png(surface.get(), path.c_str());
    }

    TapeBandCircleUIView view{{10, 20, side, side}};
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface;
    std::unique_ptr<cairo_t, decltype(&cairo_destroy)> cairo;
};

constexpr std::uint32_t opaqueBlack = 0xff000000;
constexpr std::uint32_t transparent = 0;
// The pixel just inside the ring's inner edge touches the axis with one side only, so
// the circle bends into its outer corner: about 1/900 of its area geometrically, a few
// levels of alpha with cairo's antialiasing grid.
constexpr std::uint32_t maxCornerAlpha = 8;

// Pixel columns (or rows) whose centres lie d + 0.5 points from the view's centre, in
// each of the four directions along the axes; pixel 153 + d ends d + 1 points out.
struct AxisPixel {
    int x, y;
};
AxisPixel axisPixel(int direction, int pointsOut)
{
    const int near = side / 2 + pointsOut;       // covers pointsOut .. pointsOut + 1 to the right/below
    const int far = side / 2 - 1 - pointsOut;    // the same distance to the left/above
    switch (direction) {
    case 0: return {near, side / 2};
    case 1: return {far, side / 2};
    case 2: return {side / 2, near};
    default: return {side / 2, far};
    }
}

TEST_F(TapeRollPicture, WideBandHidesEverythingBeyondSixtyNinePoints)
{
    draw(84);
    EXPECT_EQ(view.currentRect, (platform::Rect{0, 0, side, side}));
    for (int direction = 0; direction < 4; ++direction) {
        for (int out = 0; out < side / 2; ++out) {
            SCOPED_TRACE("direction " + std::to_string(direction) + ", " + std::to_string(out) + " points out");
            const auto [x, y] = axisPixel(direction, out);
            // Pixel 68 ends at the ring's inner edge; the curve clips its far corner (see below).
            if (out <= 67) {
                EXPECT_EQ(pixel(x, y), transparent);
            } else if (out == 68) {
                EXPECT_LE(pixel(x, y) >> 24, maxCornerAlpha);
            } else {
                EXPECT_EQ(pixel(x, y), opaqueBlack);
            }
        }
    }
    // 153 + 84 points from the centre reaches past the corners.
    for (const auto [x, y] : {AxisPixel{0, 0}, {side - 1, 0}, {0, side - 1}, {side - 1, side - 1}}) {
        SCOPED_TRACE("corner " + std::to_string(x) + "," + std::to_string(y));
        EXPECT_EQ(pixel(x, y), opaqueBlack);
    }
    keepPictureIfFailed("TapeRollBand84");
}

TEST_F(TapeRollPicture, NarrowBandCoversOnlyTheOutermostPoint)
{
    draw(1);
    for (int direction = 0; direction < 4; ++direction) {
        SCOPED_TRACE("direction " + std::to_string(direction));
        const auto [edgeX, edgeY] = axisPixel(direction, 152);
        EXPECT_EQ(pixel(edgeX, edgeY), opaqueBlack);
        const auto [innerX, innerY] = axisPixel(direction, 151);
        EXPECT_LE(pixel(innerX, innerY) >> 24, maxCornerAlpha);
        for (int out = 0; out < 151; ++out) {
            const auto [x, y] = axisPixel(direction, out);
            EXPECT_EQ(pixel(x, y), transparent) << out << " points out";
        }
    }
    EXPECT_EQ(pixel(0, 0), transparent);
    EXPECT_EQ(pixel(side - 1, side - 1), transparent);
    keepPictureIfFailed("TapeRollBand1");
}

TEST_F(TapeRollPicture, NegativeBandStoresZeroAndDrawsNoRing)
{
    view.setPixelFromBandToSuppress(84);
    view.setPixelFromBandToSuppress(-3);
    EXPECT_EQ(view.pixelFromBandToSuppressInt, 0);
    draw(-3);
    for (const auto [x, y] : {AxisPixel{0, 0}, {side - 1, side / 2}, {side / 2, side / 2}})
        EXPECT_EQ(pixel(x, y), transparent);
    keepPictureIfFailed("TapeRollBandNegative");
}

TEST_F(TapeRollPicture, SettingTheBandAloneLeavesThePictureAsDrawn)
{
    draw(84);
    const auto requests = view.displayRequestCount();
    view.setPixelFromBandToSuppress(1);
    EXPECT_EQ(view.displayRequestCount(), requests);
    EXPECT_EQ(view.pixelFromBandToSuppressInt, 1);
}

} // namespace
