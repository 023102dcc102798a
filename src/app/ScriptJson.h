#pragma once
// The JSON of scripted runs, on nlohmann's JSON library: a strict reader for the
// items a script describes, and the values of the one-line state dumps.

#include <nlohmann/json.hpp>

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace spoolora::json {

// Members keep the order they were added or read in.
using Json = nlohmann::ordered_json;

class ParseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Parses exactly one value, with nothing but blanks around it. Strict: no comments,
// no trailing commas, no leading zeros, no control characters in strings, no
// duplicate keys, nesting at most 64 deep.
//
// Strings stand for text as a device's tags may carry it, so they may hold what JSON
// itself forbids, and it reaches the application byte for byte: bytes that are not
// valid UTF-8 pass through as they are, and a \u escape of a lone surrogate becomes
// that surrogate's three-byte form (not valid UTF-8 either; it is cleaned wherever
// text is shown). A surrogate pair is one code point. Throws ParseError.
Json parse(std::string_view text);

// --- Writing --------------------------------------------------------------------

// A 32-bit float as the number whose shortest text reads back as the same float, so
// 33.8f is written 33.8 and not as its widened double; NaN and infinities as null.
Json number(float value);
// A double as itself; NaN and infinities as null.
Json number(double value);
// Text made valid UTF-8 (each invalid part, and NUL, becomes U+FFFD), so that the
// line stays valid JSON and shows what a label would show.
Json text(std::string_view value);
// The value as one line, without spaces.
std::string oneLine(const Json& value);

} // namespace spoolora::json
