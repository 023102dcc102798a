#pragma once
// What a view shows of itself, told to the backend that puts it on screen. A view
// describes its own pieces (its drawRect drawing, pictures by name, filled
// rectangles, the glow of a touch) in its bounds coordinates, bottom first; its
// background colour and its subviews are the backend's business. A backend that
// meets a new kind of view needs no change as long as the view describes itself.

#include "platform/Geometry.h"

#include <cstdint>

namespace platform {

struct Image;

// How a picture takes its place in an area.
enum class PictureFit : std::int32_t {
    Fill,           // stretched over the area
    CentredShrunk,  // its own size, centred; shrunk evenly when larger than the area
    CentredCut,     // its own size, centred; each side no longer than the area's
};

// Receives a view's pieces. `piece` tells the pieces of one view apart from one
// frame to the next (0 to 199); the same piece must keep its number while it shows.
class ContentRecorder {
public:
    virtual ~ContentRecorder() = default;
    // What the view's drawRect draws over its bounds.
    virtual void drawing(int piece) = 0;
    virtual void picture(const Image& image, Rect area, PictureFit fit, int piece) = 0;
    virtual void fill(Rect area, Color color, int piece) = 0;
    // The soft glow of a touched control, centred on the point.
    virtual void glow(Point center, int piece) = 0;
};

} // namespace platform
