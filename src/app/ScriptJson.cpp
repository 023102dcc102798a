#include "app/ScriptJson.h"

#include "platform/Utf8.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <set>
#include <system_error>
#include <vector>

// Sections: bytes JSON forbids · reading · writing.

namespace spoolora::json {

namespace {

// --- Bytes JSON forbids -------------------------------------------------------------
//
// The library accepts valid UTF-8 only, and no lone surrogates. Before parsing, each
// such byte inside a string is carried by a code point of its own from the end of the
// last private-use plane (U+10FF00 + byte); after parsing, the carriers become those
// bytes again. Real characters from that range are carried byte by byte too, so the
// way back is exact.

constexpr char32_t carrierBase = 0x10FF00;
constexpr std::size_t carrierLength = 4;

void appendUtf8(std::string& out, char32_t codePoint)
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

void appendCarriers(std::string& out, std::string_view bytes)
{
    for (const char byte : bytes)
        appendUtf8(out, carrierBase + static_cast<unsigned char>(byte));
}

void appendCarriersOf(std::string& out, char32_t codePoint)
{
    std::string bytes;
    appendUtf8(bytes, codePoint);
    appendCarriers(out, bytes);
}

// The value of four hex digits at the offset, if they are there.
std::optional<char32_t> hex4(std::string_view text, std::size_t at)
{
    if (at + 4 > text.size())
        return std::nullopt;
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data() + at, text.data() + at + 4, value, 16);
    if (error != std::errc() || end != text.data() + at + 4)
        return std::nullopt;
    return static_cast<char32_t>(value);
}

bool isHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The text with what JSON forbids inside strings put into carriers. Anything else,
// malformed escapes included, is left for the library to judge.
std::string carryForbiddenBytes(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    bool inString = false;
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (!inString || c == '"') {
            inString = inString ? false : c == '"';
            out += c;
            ++i;
            continue;
        }
        if (c == '\\') {
            const auto unit = text.substr(i + 1, 1) == "u" ? hex4(text, i + 2) : std::nullopt;
            if (!unit) {
                out += text.substr(i, 2);   // an escaped quote does not end the string
                i += 2;
                continue;
            }
            if (isHighSurrogate(*unit) && text.substr(i + 6, 2) == "\\u") {
                if (const auto low = hex4(text, i + 8); low && isLowSurrogate(*low)) {
                    const char32_t codePoint = 0x10000 + ((*unit - 0xD800) << 10) + (*low - 0xDC00);
                    if (codePoint >= carrierBase)
                        appendCarriersOf(out, codePoint);
                    else
                        out += text.substr(i, 12);
                    i += 12;
                    continue;
                }
            }
            if (isHighSurrogate(*unit) || isLowSurrogate(*unit))
                appendCarriersOf(out, *unit);   // a lone half; the next escape is read on its own
            else
                out += text.substr(i, 6);
            i += 6;
            continue;
        }
        if (static_cast<unsigned char>(c) < 0x80) {
            out += c;
            ++i;
            continue;
        }
        const platform::Utf8Character character = platform::decodeUtf8At(text, i);
        if (character.valid && character.codePoint < carrierBase)
            out += text.substr(i, character.length);
        else
            appendCarriers(out, text.substr(i, character.length));
        i += character.length;
    }
    return out;
}

// The bytes the carriers in the text stand for.
std::string releaseCarriers(const std::string& text)
{
    // Carriers are F4 8F BC..BF xx; nothing else starts with F4 8F BC..BF in valid UTF-8.
    if (text.find("\xF4\x8F") == std::string::npos)
        return text;
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const platform::Utf8Character character = platform::decodeUtf8At(text, i);
        if (character.valid && character.codePoint >= carrierBase)
            out += static_cast<char>(character.codePoint - carrierBase);
        else
            out.append(text, i, character.length);
        i += character.length;
    }
    return out;
}

void releaseCarriersIn(Json& value)
{
    if (value.is_string()) {
        value = releaseCarriers(value.get_ref<const std::string&>());
    } else if (value.is_array()) {
        for (Json& element : value)
            releaseCarriersIn(element);
    } else if (value.is_object()) {
        Json released = Json::object();
        for (auto& [key, member] : value.items()) {
            releaseCarriersIn(member);
            released[releaseCarriers(key)] = std::move(member);
        }
        value = std::move(released);
    }
}

// --- Reading ------------------------------------------------------------------------

constexpr int maxDepth = 64;

// The library's message without its own prefix ("[json.exception.parse_error.101] ").
std::string withoutPrefix(const char* what)
{
    const std::string_view message = what;
    const auto end = message.find("] ");
    return std::string(message.starts_with("[json.exception.") && end != std::string_view::npos
                           ? message.substr(end + 2)
                           : message);
}

} // namespace

Json parse(std::string_view text)
{
    // One set of the keys seen so far for each object open at the moment.
    std::vector<std::set<std::string>> openObjects;
    const auto check = [&](int depth, Json::parse_event_t event, Json& parsed) {
        using Event = Json::parse_event_t;
        if ((event == Event::object_start || event == Event::array_start) && depth >= maxDepth)
            throw ParseError("nesting deeper than " + std::to_string(maxDepth));
        if (event == Event::object_start)
            openObjects.emplace_back();
        else if (event == Event::object_end)
            openObjects.pop_back();
        else if (event == Event::key && !openObjects.back().insert(parsed.get<std::string>()).second)
            throw ParseError("duplicate key \"" + releaseCarriers(parsed.get<std::string>()) + "\"");
        return true;
    };
    try {
        Json value = Json::parse(carryForbiddenBytes(text), check);
        releaseCarriersIn(value);
        return value;
    } catch (const Json::exception& e) {
        throw ParseError(withoutPrefix(e.what()));
    }
}

// --- Writing ------------------------------------------------------------------------

Json number(float value)
{
    if (!std::isfinite(value))
        return nullptr;
    char shortest[32];
    const auto [end, error] = std::to_chars(shortest, shortest + sizeof shortest, value);
    double widened = value;
    // The double nearest to the float's shortest text prints as that text again.
    if (error == std::errc())
        std::from_chars(shortest, end, widened);
    return widened;
}

Json number(double value)
{
    if (!std::isfinite(value))
        return nullptr;
    return value;
}

Json text(std::string_view value)
{
    return platform::sanitizeUtf8(value);
}

std::string oneLine(const Json& value)
{
    // Every string in a dump went through text(); replace guards against one that did not.
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

} // namespace spoolora::json
