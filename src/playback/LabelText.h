#pragma once
// Text of the cassette labels, from the now-playing item's tags. Tags come from
// files of any origin, so the text is decoded as UTF-8 strictly: bytes that do
// not form a character are never taken for white space and are kept for the
// label to show as U+FFFD.

#include <string>
#include <string_view>

// The text without white space and line breaks at either end: the Unicode space
// separators (category Z, including the line and paragraph separators), tab,
// U+000A to U+000D and U+0085. Characters inside the text stay as they are.
std::string trimmedWhitespaceAndNewlines(std::string_view text);

// "Artist - Album", or whichever of the two is not empty, or the empty string.
std::string artistAlbumLine(const std::string& artist, const std::string& album);
