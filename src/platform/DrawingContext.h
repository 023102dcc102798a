#pragma once
// 2-D drawing over cairo, in points. A view's drawRect draws into the context
// that currentGraphicsContext() returns while the view is being displayed.

#include "platform/Geometry.h"

#include <vector>

typedef struct _cairo cairo_t;

namespace platform {

class GraphicsContext {
public:
    // What the target holds before anything is drawn: a target known to be clear (a
    // new picture) needs no clearing until something is drawn on it.
    enum class Target { Unknown, Clear };
    // Draws through the given cairo context (not owned); its user space is points.
    explicit GraphicsContext(cairo_t* cairo, Target target = Target::Unknown) noexcept
        : cairo_(cairo), clear_(target == Target::Clear)
    {
    }

    // Makes the area fully transparent.
    void clearRect(Rect area);
    void setLineWidth(float width);
    void setRGBStrokeColor(float red, float green, float blue, float alpha);
    void setRGBFillColor(float red, float green, float blue, float alpha);
    // Strokes the ellipse inscribed in the rectangle; the stroke is centred on the
    // ellipse and clipped to whatever clip the context has (the view's bounds).
    void strokeEllipseInRect(Rect rect);
    void fillRect(Rect rect);
    void rotateCTM(float radians);
    void translateCTM(float dx, float dy);
    void saveGState();
    void restoreGState();

    // For drawing straight through cairo.
    cairo_t* cairo() noexcept
    {
        clear_ = false;
        pixelwise_ = false;
        return cairo_;
    }
    // Whether all that was drawn was worked out pixel by pixel from where each pixel lies
    // on the whole target (a ring in an opaque colour), so that drawing a band of the
    // target at a time gives the same pixels; cairo may rasterise a shape clipped
    // differently in other ways.
    bool paintedPixelwise() const noexcept { return pixelwise_; }

private:
    struct State {
        Color stroke;
        Color fill;
    };
    cairo_t* cairo_;
    // Nothing has been drawn on a target that was clear.
    bool clear_ = false;
    bool pixelwise_ = true;
    Color stroke_ = Color::black();
    Color fill_ = Color::black();
    float lineWidth_ = 1;
    // Cairo keeps one source for stroke and fill, so both colours live here and are
    // saved alongside cairo's own state.
    std::vector<State> savedStates_;
};

// The context of the view being drawn, or nullptr outside a drawing pass. Main thread only.
GraphicsContext* currentGraphicsContext() noexcept;

// Makes a context current for its lifetime (nests).
class CurrentGraphicsContextScope {
public:
    explicit CurrentGraphicsContextScope(GraphicsContext& context) noexcept;
    ~CurrentGraphicsContextScope();
    CurrentGraphicsContextScope(const CurrentGraphicsContextScope&) = delete;
    CurrentGraphicsContextScope& operator=(const CurrentGraphicsContextScope&) = delete;

private:
    GraphicsContext* previous_;
};

} // namespace platform
