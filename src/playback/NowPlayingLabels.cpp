// The two cassette labels show the now-playing item's title, and its artist
// and album. Only the texts are set here; their look belongs to the skin.

#include "player/MainViewController.h"

#include "playback/LabelText.h"

#include "platform/Utf8.h"

#include <cstdint>
#include <optional>

namespace {

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
        const platform::Utf8Character c = platform::decodeUtf8At(text, at);
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
