#pragma once
// The JSON of scripted runs: a small strict reader for the items a script
// describes, and a writer for the one-line state dumps.
//
// Sections: values · reading · writing.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace spoolora::json {

// --- Values -------------------------------------------------------------------------

struct Value;
using Array = std::vector<Value>;
// Members in the order written; a key appears once.
using Object = std::vector<std::pair<std::string, Value>>;

struct Value {
    struct Number {
        double value = 0;
        // Written without fraction or exponent, and exactly representable.
        std::optional<std::int64_t> integer;
    };
    std::variant<std::nullptr_t, bool, Number, std::string, Array, Object> data = nullptr;

    bool isNull() const noexcept { return std::holds_alternative<std::nullptr_t>(data); }
    const Object* object() const noexcept { return std::get_if<Object>(&data); }
    const Array* array() const noexcept { return std::get_if<Array>(&data); }
    const std::string* string() const noexcept { return std::get_if<std::string>(&data); }
    const Number* number() const noexcept { return std::get_if<Number>(&data); }
};

// --- Reading ------------------------------------------------------------------------

class ParseError : public std::runtime_error {
public:
    ParseError(const std::string& what, std::size_t offset)
        : std::runtime_error(what + " at character " + std::to_string(offset + 1)), offset(offset)
    {
    }
    std::size_t offset;
};

// Parses exactly one value, with nothing but blanks around it. Strict: no comments,
// no trailing commas, no leading zeros, no control characters in strings, no
// duplicate keys, nesting at most 64 deep. Bytes of strings pass through as they
// are, invalid UTF-8 included (it stands for text as a device's tags may carry it);
// \u escapes become UTF-8, a surrogate pair one code point, and a lone surrogate
// its three-byte form, which is not valid UTF-8 and is cleaned wherever text is shown.
// Throws ParseError.
Value parse(std::string_view text);

// --- Writing ------------------------------------------------------------------------

// Builds one line of JSON. Commas are placed by the writer; keys only inside objects.
class Writer {
public:
    Writer& beginObject();
    Writer& endObject();
    Writer& beginArray();
    Writer& endArray();
    Writer& key(std::string_view name);

    Writer& null();
    Writer& boolean(bool value);
    Writer& integer(std::int64_t value);
    Writer& unsignedInteger(std::uint64_t value);
    // Shortest text that reads back as the same float or double; NaN and infinities as null.
    Writer& number(float value);
    Writer& number(double value);
    // Invalid UTF-8 is written with U+FFFD in its place, so that the line stays valid JSON.
    Writer& string(std::string_view value);

    const std::string& text() const noexcept { return text_; }

private:
    void beforeValue();
    void appendQuoted(std::string_view value);
    std::string text_;
    // One entry per open container: whether it has a member yet.
    std::vector<bool> hasMember_;
    bool afterKey_ = false;
};

// Shortest round-trip text of a number, as the writer gives it ("null" for NaN and infinities).
std::string formatNumber(float value);
std::string formatNumber(double value);

} // namespace spoolora::json
