#include "app/ScriptJson.h"

#include "platform/Label.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>

namespace spoolora::json {

// --- Reading ------------------------------------------------------------------------

namespace {

constexpr int maxDepth = 64;

void appendUtf8(std::string& out, std::uint32_t codePoint)
{
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        // Lone surrogates land here too, deliberately: see parse().
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    Value document()
    {
        skipBlanks();
        Value value = parseValue(0);
        skipBlanks();
        if (pos_ != text_.size())
            fail("unexpected text after the value");
        return value;
    }

private:
    [[noreturn]] void fail(const std::string& what) const { throw ParseError(what, pos_); }

    bool atEnd() const noexcept { return pos_ >= text_.size(); }
    char peek() const noexcept { return atEnd() ? '\0' : text_[pos_]; }

    void skipBlanks() noexcept
    {
        while (!atEnd() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r'))
            ++pos_;
    }

    // Moves past a run of digits; whether there was one.
    bool skipDigits() noexcept
    {
        const std::size_t start = pos_;
        while (peek() >= '0' && peek() <= '9')
            ++pos_;
        return pos_ > start;
    }

    void expectWord(std::string_view word)
    {
        if (text_.substr(pos_, word.size()) != word)
            fail("unexpected character");
        pos_ += word.size();
    }

    Value parseValue(int depth)
    {
        if (depth > maxDepth)
            fail("nesting too deep");
        if (atEnd())
            fail("a value is missing");
        switch (peek()) {
        case '{':
            return Value{parseObject(depth + 1)};
        case '[':
            return Value{parseArray(depth + 1)};
        case '"':
            return Value{parseString()};
        case 't':
            expectWord("true");
            return Value{true};
        case 'f':
            expectWord("false");
            return Value{false};
        case 'n':
            expectWord("null");
            return Value{nullptr};
        default:
            if (peek() == '-' || (peek() >= '0' && peek() <= '9'))
                return Value{parseNumber()};
            fail("unexpected character");
        }
    }

    Object parseObject(int depth)
    {
        ++pos_;
        Object object;
        skipBlanks();
        if (peek() == '}') {
            ++pos_;
            return object;
        }
        for (;;) {
            skipBlanks();
            if (peek() != '"')
                fail("a key in double quotes is expected");
            const std::size_t keyStart = pos_;
            std::string key = parseString();
            for (const auto& member : object)
                if (member.first == key) {
                    pos_ = keyStart;
                    fail("duplicate key \"" + key + "\"");
                }
            skipBlanks();
            if (peek() != ':')
                fail("':' is expected");
            ++pos_;
            skipBlanks();
            Value value = parseValue(depth);
            object.emplace_back(std::move(key), std::move(value));
            skipBlanks();
            if (peek() == ',') {
                ++pos_;
                continue;
            }
            if (peek() == '}') {
                ++pos_;
                return object;
            }
            fail("',' or '}' is expected");
        }
    }

    Array parseArray(int depth)
    {
        ++pos_;
        Array array;
        skipBlanks();
        if (peek() == ']') {
            ++pos_;
            return array;
        }
        for (;;) {
            skipBlanks();
            array.push_back(parseValue(depth));
            skipBlanks();
            if (peek() == ',') {
                ++pos_;
                continue;
            }
            if (peek() == ']') {
                ++pos_;
                return array;
            }
            fail("',' or ']' is expected");
        }
    }

    std::uint32_t parseHex4()
    {
        if (pos_ + 4 > text_.size())
            fail("\\u needs four hex digits");
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = text_[pos_++];
            value <<= 4;
            if (c >= '0' && c <= '9')
                value |= static_cast<std::uint32_t>(c - '0');
            else if (c >= 'a' && c <= 'f')
                value |= static_cast<std::uint32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                value |= static_cast<std::uint32_t>(c - 'A' + 10);
            else {
                --pos_;
                fail("\\u needs four hex digits");
            }
        }
        return value;
    }

    std::string parseString()
    {
        ++pos_;
        std::string out;
        for (;;) {
            if (atEnd())
                fail("unterminated string");
            const auto c = static_cast<unsigned char>(text_[pos_]);
            if (c == '"') {
                ++pos_;
                return out;
            }
            if (c < 0x20)
                fail("control character in a string");
            if (c != '\\') {
                out += static_cast<char>(c);
                ++pos_;
                continue;
            }
            ++pos_;
            if (atEnd())
                fail("unterminated escape");
            const char e = text_[pos_++];
            switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                std::uint32_t unit = parseHex4();
                if (unit >= 0xD800 && unit <= 0xDBFF && text_.substr(pos_, 2) == "\\u") {
                    const std::size_t save = pos_;
                    pos_ += 2;
                    const std::uint32_t low = parseHex4();
                    if (low >= 0xDC00 && low <= 0xDFFF)
                        unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                    else
                        pos_ = save; // the high half stands alone; the next escape is read on its own
                }
                appendUtf8(out, unit);
                break;
            }
            default:
                --pos_;
                fail("unknown escape");
            }
        }
    }

    Value::Number parseNumber()
    {
        const std::size_t start = pos_;
        bool integral = true;
        if (peek() == '-')
            ++pos_;
        // No leading zeros: a 0 stands alone.
        if (peek() == '0')
            ++pos_;
        else if (!skipDigits())
            fail("a digit is expected");
        if (peek() == '.') {
            integral = false;
            ++pos_;
            if (!skipDigits())
                fail("a digit is expected after '.'");
        }
        if (peek() == 'e' || peek() == 'E') {
            integral = false;
            ++pos_;
            if (peek() == '+' || peek() == '-')
                ++pos_;
            if (!skipDigits())
                fail("a digit is expected in the exponent");
        }
        const std::string_view digits = text_.substr(start, pos_ - start);
        Value::Number number;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number.value);
        if (error == std::errc::result_out_of_range || end != digits.data() + digits.size() ||
            !std::isfinite(number.value)) {
            pos_ = start;
            fail("number out of range");
        }
        if (integral) {
            std::int64_t whole = 0;
            const auto [intEnd, intError] = std::from_chars(digits.data(), digits.data() + digits.size(), whole);
            if (intError == std::errc() && intEnd == digits.data() + digits.size())
                number.integer = whole;
        }
        return number;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

} // namespace

Value parse(std::string_view text)
{
    return Parser(text).document();
}

// --- Writing ------------------------------------------------------------------------

namespace {

template <class T>
std::string shortest(T value)
{
    if (!std::isfinite(value))
        return "null";
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (error != std::errc())
        return "null";
    return std::string(buffer, end);
}

} // namespace

std::string formatNumber(float value)
{
    return shortest(value);
}

std::string formatNumber(double value)
{
    return shortest(value);
}

void Writer::beforeValue()
{
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!hasMember_.empty()) {
        if (hasMember_.back())
            text_ += ',';
        hasMember_.back() = true;
    }
}

Writer& Writer::beginObject()
{
    beforeValue();
    text_ += '{';
    hasMember_.push_back(false);
    return *this;
}

Writer& Writer::endObject()
{
    hasMember_.pop_back();
    text_ += '}';
    return *this;
}

Writer& Writer::beginArray()
{
    beforeValue();
    text_ += '[';
    hasMember_.push_back(false);
    return *this;
}

Writer& Writer::endArray()
{
    hasMember_.pop_back();
    text_ += ']';
    return *this;
}

Writer& Writer::key(std::string_view name)
{
    beforeValue();
    appendQuoted(name);
    text_ += ':';
    afterKey_ = true;
    return *this;
}

Writer& Writer::null()
{
    beforeValue();
    text_ += "null";
    return *this;
}

Writer& Writer::boolean(bool value)
{
    beforeValue();
    text_ += value ? "true" : "false";
    return *this;
}

Writer& Writer::integer(std::int64_t value)
{
    beforeValue();
    text_ += std::to_string(value);
    return *this;
}

Writer& Writer::unsignedInteger(std::uint64_t value)
{
    beforeValue();
    text_ += std::to_string(value);
    return *this;
}

Writer& Writer::number(float value)
{
    beforeValue();
    text_ += formatNumber(value);
    return *this;
}

Writer& Writer::number(double value)
{
    beforeValue();
    text_ += formatNumber(value);
    return *this;
}

Writer& Writer::string(std::string_view value)
{
    beforeValue();
    appendQuoted(value);
    return *this;
}

void Writer::appendQuoted(std::string_view value)
{
    const std::string clean = platform::sanitizeUtf8(value);
    std::string out;
    out.reserve(clean.size() + 2);
    out += '"';
    for (const char ch : clean) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", c);
                out += escape;
            } else {
                out += ch;
            }
        }
    }
    out += '"';
    text_ += out;
}

} // namespace spoolora::json
