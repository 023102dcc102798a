#include "platform/Label.h"

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

namespace {
constexpr char replacementCharacter[] = "\xEF\xBF\xBD";   // U+FFFD in UTF-8
}

// Each maximal invalid part becomes exactly one U+FFFD.
//
// NUL is valid UTF-8 but becomes U+FFFD too: text drawing and every C interface stop
// at it, so a tag with an embedded NUL would otherwise lose its tail without a trace.
std::string sanitizeUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const Utf8Character c = decodeUtf8At(text, i);
        if (c.valid && c.codePoint != 0)
            out.append(text.substr(i, c.length));
        else
            out += replacementCharacter;
        i += c.length;
    }
    return out;
}

} // namespace platform
