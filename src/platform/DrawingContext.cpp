#include "platform/DrawingContext.h"

#include <cairo.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform {

namespace {

GraphicsContext* current = nullptr;

// Fills the pixels from `first` up to `end` with the colour, sixteen at a time where it can.
void fillPixels(std::uint32_t* first, std::uint32_t* end, std::uint32_t colour) noexcept
{
#if defined(__SSE2__)
    const __m128i four = _mm_set1_epi32(static_cast<int>(colour));
    for (; end - first >= 16; first += 16)
        for (int i = 0; i < 16; i += 4)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(first + i), four);
#endif
    std::fill(first, end, colour);
}

void setSource(cairo_t* cairo, Color color)
{
    cairo_set_source_rgba(cairo, color.red, color.green, color.blue, color.alpha);
}

// Paints the ring between two circles (centre and radii in the target's pixels) in an
// opaque colour over a pixel surface, each pixel by how much of it the ring covers,
// inside the clip. Stroking a wide circle through cairo costs many times more.
// Returns false, having painted nothing, where that is not how cairo would draw:
// a turned or unevenly scaled context, another operator, a clip other than one
// rectangle on whole pixels, a colour that is not opaque.
bool paintOpaqueRing(cairo_t* cairo, double centreX, double centreY, double outer, double inner, Color color)
{
    cairo_surface_t* target = cairo_get_target(cairo);
    if (color.alpha < 1 || cairo_get_operator(cairo) != CAIRO_OPERATOR_OVER
        || cairo_surface_get_type(target) != CAIRO_SURFACE_TYPE_IMAGE
        || (cairo_image_surface_get_format(target) != CAIRO_FORMAT_ARGB32
            && cairo_image_surface_get_format(target) != CAIRO_FORMAT_RGB24))
        return false;
    // A target moved up by whole rows (a band of a taller picture) holds the rows from
    // `firstRow` on: everything else is worked out as on the whole picture.
    double offsetX = 0, offsetY = 0;
    cairo_surface_get_device_offset(target, &offsetX, &offsetY);
    cairo_matrix_t m;
    cairo_get_matrix(cairo, &m);
    if (offsetX != 0 || offsetY > 0 || offsetY != std::floor(offsetY) || m.xy != 0 || m.yx != 0 || !(m.xx > 0)
        || m.xx != m.yy)
        return false;
    const int firstRow = static_cast<int>(-offsetY);
    const int width = cairo_image_surface_get_width(target), height = cairo_image_surface_get_height(target);
    int left = 0, top = firstRow, right = width, bottom = firstRow + height;
    cairo_rectangle_list_t* clips = cairo_copy_clip_rectangle_list(cairo);
    const bool plainClip = clips->status == CAIRO_STATUS_SUCCESS && clips->num_rectangles <= 1;
    if (plainClip && clips->num_rectangles == 1) {
        const cairo_rectangle_t& r = clips->rectangles[0];
        const double x0 = m.xx * r.x + m.x0, y0 = m.yy * r.y + m.y0;
        const double x1 = x0 + m.xx * r.width, y1 = y0 + m.yy * r.height;
        const auto whole = [](double v) { return std::fabs(v - std::round(v)) < 1e-6; };
        if (!whole(x0) || !whole(y0) || !whole(x1) || !whole(y1)) {
            cairo_rectangle_list_destroy(clips);
            return false;
        }
        left = std::max(left, static_cast<int>(std::lround(x0)));
        top = std::max(top, static_cast<int>(std::lround(y0)));
        right = std::min(right, static_cast<int>(std::lround(x1)));
        bottom = std::min(bottom, static_cast<int>(std::lround(y1)));
    }
    const int clipCount = clips->status == CAIRO_STATUS_SUCCESS ? clips->num_rectangles : -1;
    cairo_rectangle_list_destroy(clips);
    if (!plainClip || clipCount == 0)
        return plainClip;   // clipped away entirely: nothing to paint, as cairo would
    const double cx = m.xx * centreX + m.x0, cy = m.yy * centreY + m.y0;
    outer *= m.xx;
    inner *= m.xx;

    cairo_surface_flush(target);
    unsigned char* data = cairo_image_surface_get_data(target);
    const int stride = cairo_image_surface_get_stride(target);
    const auto channel = [](float v) { return static_cast<std::uint32_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255)); };
    const std::uint32_t solidColour =
        0xff000000u | channel(color.red) << 16 | channel(color.green) << 8 | channel(color.blue);
    const auto mix = [solidColour](std::uint32_t below, double coverage) {
        const auto a = static_cast<std::uint32_t>(std::lround(coverage * 255));
        if (a == 0)
            return below;
        if (a == 255)
            return solidColour;
        std::uint32_t out = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            const std::uint32_t s = (solidColour >> shift) & 0xff, d = (below >> shift) & 0xff;
            out |= ((s * a + d * (255 - a) + 127) / 255) << shift;
        }
        return out;
    };
    // How much of a pixel at distance d from the centre lies inside a circle of radius r.
    const auto within = [](double d, double r) { return std::clamp(r + 0.5 - d, 0.0, 1.0); };
    const auto chord = [](double r, double dy) { return r > 0 && r * r > dy * dy ? std::sqrt(r * r - dy * dy) : -1.0; };
    for (int y = std::max(top, static_cast<int>(std::floor(cy - outer - 1)));
         y < std::min(bottom, static_cast<int>(std::ceil(cy + outer + 1))); ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y - firstRow) * stride);
        const double dy = y + 0.5 - cy;
        const double reach = chord(outer + 0.5, dy);
        if (reach < 0)
            continue;
        // Pixels whose centres lie this far from the centre's column are wholly inside the
        // outer circle, wholly inside the hole, or touched by neither.
        const double full = chord(outer - 0.5, dy);
        const double hole = chord(inner - 0.5, dy);
        const double ringStarts = chord(inner + 0.5, dy);
        const int from = std::max(left, static_cast<int>(std::floor(cx - reach)));
        const int to = std::min(right, static_cast<int>(std::ceil(cx + reach)));
        // Columns (as a half-open range, cut to [from, to)) whose pixel centres lie
        // between two distances from the centre's column; a hair inwards, so that a pixel
        // on a boundary is worked out alone.
        const auto columns = [&](double near, double far) {
            const double nearest = near < 0 ? 0.0 : near + 1e-7, farthest = far - 1e-7;
            std::array<std::pair<int, int>, 2> runs{};
            if (far < 0 || farthest < nearest)
                return runs;
            runs[0] = {std::max(from, static_cast<int>(std::ceil(cx - farthest - 0.5))),
                       std::min(to, static_cast<int>(std::floor(cx - nearest - 0.5)) + 1)};
            runs[1] = {std::max({from, static_cast<int>(std::ceil(cx + nearest - 0.5)), runs[0].second}),
                       std::min(to, static_cast<int>(std::floor(cx + farthest - 0.5)) + 1)};
            return runs;
        };
        const auto solid = columns(ringStarts, full);
        const auto inHole = columns(-1, hole);
        for (int x = from; x < to;) {
            bool skipped = false;
            for (const auto& [first, end] : solid)
                if (x >= first && x < end) {
                    fillPixels(row + x, row + end, solidColour);
                    x = end;
                    skipped = true;
                }
            for (const auto& [first, end] : inHole)
                if (x >= first && x < end) {
                    x = end;
                    skipped = true;
                }
            if (skipped)
                continue;
            const double d = std::hypot(x + 0.5 - cx, dy);
            row[x] = mix(row[x], within(d, outer) - (inner > 0 ? within(d, inner) : 0.0));
            ++x;
        }
    }
    cairo_surface_mark_dirty_rectangle(target, left, top, right - left, bottom - top);
    return true;
}

} // namespace

void GraphicsContext::clearRect(Rect area)
{
    if (clear_)
        return;
    pixelwise_ = false;
    cairo_save(cairo_);
    cairo_set_operator(cairo_, CAIRO_OPERATOR_CLEAR);
    cairo_new_path(cairo_);
    cairo_rectangle(cairo_, area.x, area.y, area.width, area.height);
    cairo_fill(cairo_);
    cairo_restore(cairo_);
}

void GraphicsContext::setLineWidth(float width)
{
    // Negative and NaN widths stroke nothing rather than putting cairo into an error state.
    lineWidth_ = width > 0 ? width : 0;
    cairo_set_line_width(cairo_, lineWidth_);
}

void GraphicsContext::setRGBStrokeColor(float red, float green, float blue, float alpha)
{
    stroke_ = {red, green, blue, alpha};
}

void GraphicsContext::setRGBFillColor(float red, float green, float blue, float alpha)
{
    fill_ = {red, green, blue, alpha};
}

void GraphicsContext::strokeEllipseInRect(Rect rect)
{
    // A flat rectangle would need a singular scale, which cairo treats as a fatal error.
    if (!(rect.width > 0) || !(rect.height > 0) || !(lineWidth_ > 0))
        return;
    clear_ = false;
    cairo_new_path(cairo_);
    if (rect.width == rect.height) {
        // A circle's line is the ring between two circles: filled as such it costs a
        // fraction of what cairo's stroking of a wide line costs.
        const double cx = double(rect.x) + double(rect.width) / 2, cy = double(rect.y) + double(rect.height) / 2;
        const double radius = double(rect.width) / 2, half = double(lineWidth_) / 2;
        if (paintOpaqueRing(cairo_, cx, cy, radius + half, std::max(0.0, radius - half), stroke_))
            return;
        pixelwise_ = false;
        cairo_arc(cairo_, cx, cy, radius + half, 0, 2 * std::numbers::pi);
        cairo_close_path(cairo_);
        if (half < radius) {
            cairo_new_sub_path(cairo_);
            cairo_arc_negative(cairo_, cx, cy, radius - half, 2 * std::numbers::pi, 0);
            cairo_close_path(cairo_);
        }
        setSource(cairo_, stroke_);
        const cairo_fill_rule_t rule = cairo_get_fill_rule(cairo_);
        cairo_set_fill_rule(cairo_, CAIRO_FILL_RULE_WINDING);
        cairo_fill(cairo_);
        cairo_set_fill_rule(cairo_, rule);
        return;
    }
    pixelwise_ = false;
    cairo_save(cairo_);
    // The unit circle scaled into the rectangle; the path keeps its shape after the
    // restore, so the line width is not scaled with it.
    cairo_translate(cairo_, double(rect.x) + double(rect.width) / 2, double(rect.y) + double(rect.height) / 2);
    cairo_scale(cairo_, double(rect.width) / 2, double(rect.height) / 2);
    cairo_arc(cairo_, 0, 0, 1, 0, 2 * std::numbers::pi);
    cairo_close_path(cairo_);
    cairo_restore(cairo_);
    setSource(cairo_, stroke_);
    cairo_set_line_width(cairo_, lineWidth_);
    cairo_stroke(cairo_);
}

void GraphicsContext::fillRect(Rect rect)
{
    clear_ = false;
    pixelwise_ = false;
    cairo_new_path(cairo_);
    cairo_rectangle(cairo_, rect.x, rect.y, rect.width, rect.height);
    setSource(cairo_, fill_);
    cairo_fill(cairo_);
}

void GraphicsContext::rotateCTM(float radians)
{
    cairo_rotate(cairo_, radians);
}

void GraphicsContext::translateCTM(float dx, float dy)
{
    cairo_translate(cairo_, dx, dy);
}

void GraphicsContext::saveGState()
{
    cairo_save(cairo_);
    savedStates_.push_back({stroke_, fill_});
}

void GraphicsContext::restoreGState()
{
    // An unbalanced restore is ignored, as cairo would otherwise enter an error state.
    if (savedStates_.empty())
        return;
    cairo_restore(cairo_);
    stroke_ = savedStates_.back().stroke;
    fill_ = savedStates_.back().fill;
    savedStates_.pop_back();
    lineWidth_ = static_cast<float>(cairo_get_line_width(cairo_));
}

GraphicsContext* currentGraphicsContext() noexcept
{
    return current;
}

CurrentGraphicsContextScope::CurrentGraphicsContextScope(GraphicsContext& context) noexcept : previous_(current)
{
    current = &context;
}

CurrentGraphicsContextScope::~CurrentGraphicsContextScope()
{
    current = previous_;
}

} // namespace platform
