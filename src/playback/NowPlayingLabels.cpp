// The two cassette labels show the now-playing item's title, and its artist
// and album. Only the texts are set here; their look belongs to the skin.

#include "player/MainViewController.h"

#include "playback/LabelText.h"

#include <cstdint>
#include <optional>

namespace {

struct DecodedCharacter {
    char32_t codePoint = 0;
    std::size_t length = 1;
    bool valid = false;
};

bool isContinuation(unsigned char byte, unsigned char low = 0x80, unsigned char high = 0xBF)
{
    return byte >= low && byte <= high;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF. A byte
// that does not start a well-formed character is reported alone as invalid.
DecodedCharacter decodeAt(std::string_view text, std::size_t at)
{
    const auto byte = [&](std::size_t offset) -> unsigned char {
        return at + offset < text.size() ? static_cast<unsigned char>(text[at + offset]) : 0;
    };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return {lead, 1, true};

    std::size_t length = 0;
    unsigned char secondLow = 0x80, secondHigh = 0xBF;
    char32_t value = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        if (lead == 0xE0)
            secondLow = 0xA0;
        if (lead == 0xED)
            secondHigh = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        if (lead == 0xF0)
            secondLow = 0x90;
        if (lead == 0xF4)
            secondHigh = 0x8F;
    } else {
        return {};
    }

    if (at + length > text.size() || !isContinuation(byte(1), secondLow, secondHigh))
        return {};
    value = (value << 6) | (byte(1) & 0x3F);
    for (std::size_t i = 2; i < length; ++i) {
        if (!isContinuation(byte(i)))
            return {};
        value = (value << 6) | (byte(i) & 0x3F);
    }
    return {value, length, true};
}

bool isWhitespaceOrNewline(char32_t c)
{
    if (c == 0x09 || (c >= 0x0A && c <= 0x0D) || c == 0x85)
        return true;
    // Unicode general category Z: Zs, Zl, Zp.
    return c == 0x20 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 ||
           c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// Missing tags and tags of white space alone both read as empty.
std::string tagText(const std::optional<std::string>& tag)
{
    return tag ? trimmedWhitespaceAndNewlines(*tag) : std::string();
}

} // namespace

std::string trimmedWhitespaceAndNewlines(std::string_view text)
{
    std::size_t first = text.size();
    std::size_t end = 0;
    for (std::size_t at = 0; at < text.size();) {
        const DecodedCharacter c = decodeAt(text, at);
        if (!c.valid || !isWhitespaceOrNewline(c.codePoint)) {
            if (first == text.size())
                first = at;
            end = at + c.length;
        }
        at += c.length;
    }
    if (first >= end)
        return {};
    return std::string(text.substr(first, end - first));
}

std::string artistAlbumLine(const std::string& artist, const std::string& album)
{
    if (artist.empty())
        return album;
    if (album.empty())
        return artist;
    return artist + " - " + album;
}

void MainViewController::setLabelStrings()
{
    const platform::MediaItemPtr item = musicPlayer->nowPlayingItem();
    if (!item) {
        currentArtistAlbumLabel->setText("");
        currentTitleLabel->setText("");
        return;
    }
    const std::string artist = tagText(item->artist);
    const std::string title = tagText(item->title);
    const std::string album = tagText(item->albumTitle);

    // The labels sanitise what they are given: bad bytes show as U+FFFD.
    currentTitleLabel->setText(title);
    currentArtistAlbumLabel->setText(artistAlbumLine(artist, album));
}
