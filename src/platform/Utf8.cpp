#include "platform/Utf8.h"

#include <string>

namespace platform {

Utf8Character decodeUtf8At(std::string_view text, std::size_t at) noexcept
{
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80)
        return {lead, 1, true};

    std::size_t needed = 0;
    char32_t value = 0;
    unsigned char lower = 0x80, upper = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        needed = 1;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        needed = 2;
        value = lead & 0x0F;
        if (lead == 0xE0)
            lower = 0xA0;   // below: overlong
        if (lead == 0xED)
            upper = 0x9F;   // above: surrogates D800–DFFF
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        needed = 3;
        value = lead & 0x07;
        if (lead == 0xF0)
            lower = 0x90;   // below: overlong
        if (lead == 0xF4)
            upper = 0x8F;   // above: beyond U+10FFFF
    } else {
        // A stray continuation byte, C0/C1 (always overlong) or F5–FF (never used).
        return {};
    }

    std::size_t next = at + 1;
    std::size_t seen = 0;
    while (seen < needed && next < text.size()) {
        const auto byte = static_cast<unsigned char>(text[next]);
        if (byte < lower || byte > upper)
            break;
        value = (value << 6) | (byte & 0x3F);
        lower = 0x80;
        upper = 0xBF;
        ++next;
        ++seen;
    }
    if (seen == needed)
        return {value, next - at, true};
    return {0, next - at, false};
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
