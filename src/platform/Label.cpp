#include "platform/Label.h"

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

// Decodes as a web browser does: a lead byte fixes how many continuation bytes follow
// and which range the first of them may take (that range shuts out overlong forms,
// surrogates and values beyond U+10FFFF). A byte that breaks the pattern ends the bad
// sequence with one U+FFFD and is then read afresh, so each maximal invalid part
// becomes exactly one U+FFFD and no valid character next to it is swallowed.
//
// NUL is valid UTF-8 but becomes U+FFFD too: text drawing and every C interface stop
// at it, so a tag with an embedded NUL would otherwise lose its tail without a trace.
std::string sanitizeUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead == 0) {
            out += replacementCharacter;
            ++i;
            continue;
        }
        if (lead < 0x80) {
            out += static_cast<char>(lead);
            ++i;
            continue;
        }
        int needed = 0;
        unsigned char lower = 0x80, upper = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF)
            needed = 1;
        else if (lead >= 0xE0 && lead <= 0xEF) {
            needed = 2;
            if (lead == 0xE0)
                lower = 0xA0;   // below: overlong
            if (lead == 0xED)
                upper = 0x9F;   // above: surrogates D800–DFFF
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            needed = 3;
            if (lead == 0xF0)
                lower = 0x90;   // below: overlong
            if (lead == 0xF4)
                upper = 0x8F;   // above: beyond U+10FFFF
        } else {
            // A stray continuation byte, C0/C1 (always overlong) or F5–FF (never used).
            out += replacementCharacter;
            ++i;
            continue;
        }
        std::size_t next = i + 1;
        int seen = 0;
        while (seen < needed && next < text.size()) {
            const auto byte = static_cast<unsigned char>(text[next]);
            if (byte < lower || byte > upper)
                break;
            lower = 0x80;
            upper = 0xBF;
            ++next;
            ++seen;
        }
        if (seen == needed)
            out.append(text.substr(i, next - i));
        else
            out += replacementCharacter;   // the offending byte, if any, is read again
        i = next;
    }
    return out;
}

} // namespace platform
