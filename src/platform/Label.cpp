#include "platform/Label.h"

#include "platform/DrawingContext.h"
#include "platform/TextLayout.h"
#include "platform/Utf8.h"

namespace platform {

void Label::setText(std::string_view text)
{
    std::string clean = sanitizeUtf8(text);
    if (clean == text_)
        return;
    text_ = std::move(clean);
    contentChanged();
}

void Label::setFont(Font font)
{
    if (font == font_)
        return;
    font_ = std::move(font);
    contentChanged();
}

void Label::setLineHeightPoints(float height)
{
    if (!(height > 0))
        height = 0;
    if (height == lineHeight_)
        return;
    lineHeight_ = height;
    contentChanged();
}

void Label::setTextColor(Color color)
{
    if (color == textColor_)
        return;
    textColor_ = color;
    contentChanged();
}

void Label::setTextAlignment(TextAlignment alignment)
{
    if (alignment == alignment_)
        return;
    alignment_ = alignment;
    contentChanged();
}

void Label::setLineBreakMode(LineBreakMode mode)
{
    if (mode == lineBreakMode_)
        return;
    lineBreakMode_ = mode;
    contentChanged();
}

void Label::setNumberOfLines(int lines)
{
    if (lines == numberOfLines_)
        return;
    numberOfLines_ = lines;
    contentChanged();
}

void Label::drawRect(Rect)
{
    if (GraphicsContext* context = currentGraphicsContext())
        drawLabelText(context->cairo(), *this);
}

} // namespace platform
