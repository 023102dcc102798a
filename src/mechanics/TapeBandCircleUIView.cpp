#include "mechanics/TapeBandCircleUIView.h"

#include "platform/DrawingContext.h"

TapeBandCircleUIView::TapeBandCircleUIView(platform::Rect frame) : platform::View(frame)
{
    pixelFromBandToSuppressInt = 0;
}

void TapeBandCircleUIView::drawRect(platform::Rect area)
{
    currentRect = area;
    platform::GraphicsContext* context = platform::currentGraphicsContext();
    if (!context)
        return;
    context->clearRect(area);
    // The stroke is centred on the circle and the view's edge clips its outer half,
    // so twice the band width leaves exactly the band width visible inside.
    context->setLineWidth(static_cast<float>(2.0 * pixelFromBandToSuppressInt));
    context->setRGBStrokeColor(0, 0, 0, 1);
    context->strokeEllipseInRect({0, 0, area.width, area.height});
}

void TapeBandCircleUIView::setPixelFromBandToSuppress(std::int32_t pixels)
{
    pixelFromBandToSuppressInt = pixels > 0 ? pixels : 0;
}
