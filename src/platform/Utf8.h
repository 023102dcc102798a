#pragma once
// Strict UTF-8 decoding, as web browsers do it: no overlong forms, no surrogates,
// nothing beyond U+10FFFF.

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

struct Utf8Character {
    char32_t codePoint = 0;
    std::size_t length = 1;   // bytes taken; for an invalid part, its maximal invalid subpart (at least 1)
    bool valid = false;
};

// The character that starts at the byte offset (which must lie inside the text).
// A lead byte fixes how many continuation bytes follow and which range the first of
// them may take; a byte that breaks the pattern ends the invalid part and is read
// afresh, so no valid character next to bad bytes is swallowed.
Utf8Character decodeUtf8At(std::string_view text, std::size_t at) noexcept;

// Valid UTF-8 with every invalid sequence (bad bytes, overlong forms, surrogates,
// truncated sequences) replaced by U+FFFD, one for each maximal invalid part. NUL
// becomes U+FFFD too, so that no text is cut short where it is drawn or handed on.
std::string sanitizeUtf8(std::string_view text);

} // namespace platform
