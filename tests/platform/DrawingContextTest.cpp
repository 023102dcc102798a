// A circle's line drawn by the context looks as cairo strokes it: painted directly
// where that is cheaper (an opaque colour on whole pixels), through cairo otherwise.

#include "platform/DrawingContext.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <numbers>

namespace {

using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;

struct Canvas {
    Surface surface;
    cairo_t* cairo;
    Canvas(int side, double scale, double clip)
        : surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, side, side), cairo_surface_destroy),
          cairo(cairo_create(surface.get()))
    {
        // Something below, so that the smooth edges are mixed with it.
        cairo_set_source_rgb(cairo, 0.2, 0.6, 0.9);
        cairo_paint(cairo);
        cairo_scale(cairo, scale, scale);
        cairo_rectangle(cairo, 0, 0, clip, clip);
        cairo_clip(cairo);
    }
    ~Canvas() { cairo_destroy(cairo); }
    std::uint32_t pixel(int x, int y) const
    {
        cairo_surface_flush(surface.get());
        const unsigned char* data = cairo_image_surface_get_data(surface.get());
        return *reinterpret_cast<const std::uint32_t*>(data + y * cairo_image_surface_get_stride(surface.get()) + x * 4);
    }
};

struct Comparison {
    int largest = 0;      // the largest difference of a channel
    long differing = 0;   // pixels differing by more than 8 in a channel
};

Comparison compare(const Canvas& a, const Canvas& b, int side)
{
    Comparison c;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const std::uint32_t p = a.pixel(x, y), q = b.pixel(x, y);
            int most = 0;
            for (int shift = 0; shift < 32; shift += 8)
                most = std::max(most, std::abs(int((p >> shift) & 0xff) - int((q >> shift) & 0xff)));
            c.largest = std::max(c.largest, most);
            c.differing += most > 8;
        }
    return c;
}

// The reference: cairo's own stroke of the circle.
void strokeWithCairo(Canvas& canvas, double x, double y, double side, double lineWidth, double alpha)
{
    cairo_new_path(canvas.cairo);
    cairo_arc(canvas.cairo, x + side / 2, y + side / 2, side / 2, 0, 2 * std::numbers::pi);
    cairo_set_source_rgba(canvas.cairo, 0, 0, 0, alpha);
    cairo_set_line_width(canvas.cairo, lineWidth);
    cairo_stroke(canvas.cairo);
}

void strokeWithContext(Canvas& canvas, double x, double y, double side, double lineWidth, double alpha)
{
    platform::GraphicsContext context(canvas.cairo);
    context.setLineWidth(static_cast<float>(lineWidth));
    context.setRGBStrokeColor(0, 0, 0, static_cast<float>(alpha));
    context.strokeEllipseInRect({static_cast<float>(x), static_cast<float>(y), static_cast<float>(side),
                                 static_cast<float>(side)});
}

} // namespace

TEST(DrawingContext, AWideCircleLineLooksAsCairoStrokesIt)
{
    // A tape roll's ring at 2×: a 153-point circle, a line 100 points wide whose outer
    // half the clip cuts off; a thin line on an odd centre that the clip does not reach;
    // a see-through colour.
    struct Case {
        double x, y, side, lineWidth, alpha;
    };
    for (const Case& k : {Case{0, 0, 153, 100, 1}, Case{20.25, 31.5, 80, 3, 1}, Case{0, 0, 153, 100, 0.5}}) {
        SCOPED_TRACE(::testing::Message() << "line " << k.lineWidth << " alpha " << k.alpha << " at " << k.x);
        constexpr int side = 306;
        Canvas reference(side, 2, 153), drawn(side, 2, 153);
        strokeWithCairo(reference, k.x, k.y, k.side, k.lineWidth, k.alpha);
        strokeWithContext(drawn, k.x, k.y, k.side, k.lineWidth, k.alpha);
        const Comparison c = compare(drawn, reference, side);
        // Only the smooth edges may differ, by how each rounds a pixel's share.
        EXPECT_LE(c.largest, 40);
        EXPECT_LT(c.differing, 2 * std::numbers::pi * k.side * 2 / 4);
    }
}

TEST(DrawingContext, ALineWiderThanTheCircleCoversAllOfIt)
{
    // Every point within half the line's width of the circle, the centre included.
    Canvas canvas(100, 1, 100);
    strokeWithContext(canvas, 30, 30, 40, 60, 1);
    EXPECT_EQ(canvas.pixel(50, 50), 0xff000000u);
    EXPECT_EQ(canvas.pixel(50, 2), 0xff000000u);
    EXPECT_NE(canvas.pixel(1, 1), 0xff000000u);
}

TEST(DrawingContext, OnAClearTargetClearingIsSkippedOnlyUntilSomethingIsDrawn)
{
    // Whichever way something was drawn, through the context or straight through cairo,
    // clearing after it takes it away again.
    for (const bool throughCairo : {false, true}) {
        SCOPED_TRACE(throughCairo ? "drawn through cairo" : "drawn through the context");
        Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 40, 40), cairo_surface_destroy);
        cairo_t* cairo = cairo_create(surface.get());
        platform::GraphicsContext context(cairo, platform::GraphicsContext::Target::Clear);
        context.clearRect({0, 0, 40, 40});
        if (throughCairo) {
            cairo_set_source_rgb(context.cairo(), 1, 0, 0);
            cairo_paint(context.cairo());
        } else {
            context.setRGBFillColor(1, 0, 0, 1);
            context.fillRect({0, 0, 40, 40});
        }
        context.clearRect({0, 0, 20, 40});
        cairo_destroy(cairo);
        cairo_surface_flush(surface.get());
        const auto* data = reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(surface.get()));
        const int stride = cairo_image_surface_get_stride(surface.get()) / 4;
        EXPECT_EQ(data[5 * stride + 10], 0u);
        EXPECT_EQ(data[5 * stride + 30], 0xffff0000u);
    }
}
