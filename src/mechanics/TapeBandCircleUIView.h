#pragma once
// The tape-roll view: a transparent square with one opaque black ring stroked on
// the circle inscribed in it. Laid over a picture of a full reel on a black
// cassette, the ring hides the outer part of the picture, so its width decides
// how much tape the reel seems to hold.

#include "platform/Geometry.h"
#include "platform/View.h"

#include <cstdint>
#include <optional>

class TapeBandCircleUIView final : public platform::View {
public:
    // The band width starts at 0.
    explicit TapeBandCircleUIView(platform::Rect frame);

    // The ring hides this many points at the view's edge; drawn half outside the
    // view, the stroke is twice as wide. Never negative.
    std::int32_t pixelFromBandToSuppressInt = 0;
    // The area of the latest drawRect.
    platform::Rect currentRect;

    void drawRect(platform::Rect area) override;
    bool drawsContent() const noexcept override { return true; }
    // The ring is all it draws: the same width, the same picture.
    std::optional<std::uint64_t> drawingKey() const noexcept override
    {
        return static_cast<std::uint64_t>(pixelFromBandToSuppressInt);
    }

    // Stores the band width, with zero for anything not positive. Does not redraw:
    // the caller asks for that.
    void setPixelFromBandToSuppress(std::int32_t pixels);
};
