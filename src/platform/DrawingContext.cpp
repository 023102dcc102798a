#include "platform/DrawingContext.h"

#include <cairo.h>

#include <numbers>

namespace platform {

namespace {

GraphicsContext* current = nullptr;

void setSource(cairo_t* cairo, Color color)
{
    cairo_set_source_rgba(cairo, color.red, color.green, color.blue, color.alpha);
}

} // namespace

void GraphicsContext::clearRect(Rect area)
{
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
    cairo_new_path(cairo_);
    if (rect.width == rect.height) {
        // A circle's line is the ring between two circles: filled as such it costs a
        // fraction of what cairo's stroking of a wide line costs.
        const double cx = double(rect.x) + double(rect.width) / 2, cy = double(rect.y) + double(rect.height) / 2;
        const double radius = double(rect.width) / 2, half = double(lineWidth_) / 2;
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
