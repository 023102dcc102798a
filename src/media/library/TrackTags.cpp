#include "media/library/TrackTags.h"

#include "platform/DisplayText.h"
#include "platform/Utf8.h"

#include <taglib/audioproperties.h>
#include <taglib/fileref.h>
#include <taglib/tag.h>
#include <taglib/tpropertymap.h>

extern "C" {
#include <libavformat/avformat.h>
}

#include <charconv>

namespace media {

namespace {

std::string firstValue(const TagLib::PropertyMap& properties, const char* key)
{
    const auto found = properties.find(key);
    if (found == properties.end() || found->second.isEmpty())
        return {};
    return validUtf8(found->second.front().to8Bit(true));
}

std::string trimmed(std::string text)
{
    const auto start = text.find_first_not_of(" \t\r\n");
    if (start == std::string::npos)
        return {};
    const auto end = text.find_last_not_of(" \t\r\n");
    return text.substr(start, end - start + 1);
}

std::optional<std::int32_t> parseCount(std::string_view text) noexcept
{
    return parseNumberPair(text).number;
}

} // namespace

std::string validUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const platform::Utf8Character c = platform::decodeUtf8At(text, at);
        if (c.valid)
            out.append(text.substr(at, c.length));
        else
            out += "\xEF\xBF\xBD";
        at += c.length;
    }
    return out;
}

NumberPair parseNumberPair(std::string_view text) noexcept
{
    const auto readNumber = [](std::string_view part) -> std::optional<std::int32_t> {
        const auto start = part.find_first_not_of(' ');
        if (start == std::string_view::npos)
            return std::nullopt;
        part.remove_prefix(start);
        std::int32_t value = 0;
        const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
        if (error != std::errc() || end == part.data() || value < 0)
            return std::nullopt;
        return value;
    };
    const auto slash = text.find('/');
    if (slash == std::string_view::npos)
        return {readNumber(text), std::nullopt};
    return {readNumber(text.substr(0, slash)), readNumber(text.substr(slash + 1))};
}

std::int32_t parseYear(std::string_view text) noexcept
{
    for (std::size_t i = 0; i + 4 <= text.size(); ++i) {
        std::int32_t year = 0;
        bool digits = true;
        for (std::size_t k = 0; k < 4 && digits; ++k) {
            const char c = text[i + k];
            digits = c >= '0' && c <= '9';
            year = year * 10 + (c - '0');
        }
        if (digits)
            return year;
    }
    return 0;
}

TrackTags readTrackTags(const std::string& path)
{
    TagLib::FileRef file(path.c_str(), true, TagLib::AudioProperties::Average);
    if (file.isNull() || !file.tag())
        throw UnreadableFile("not an audio file TagLib can read");

    TrackTags tags;
    const TagLib::PropertyMap properties = file.file()->properties();
    tags.title = trimmed(firstValue(properties, "TITLE"));
    if (tags.title.empty())
        tags.title = validUtf8(platform::fileNameWithoutExtension(path));
    tags.artist = trimmed(firstValue(properties, "ARTIST"));
    tags.album = trimmed(firstValue(properties, "ALBUM"));
    tags.albumArtist = trimmed(firstValue(properties, "ALBUMARTIST"));

    // Track numbers come as "3/10", or as a number with the count in a field of its own.
    const NumberPair track = parseNumberPair(firstValue(properties, "TRACKNUMBER"));
    tags.trackNumber = track.number.value_or(0);
    std::optional<std::int32_t> count = track.count;
    for (const char* key : {"TRACKTOTAL", "TOTALTRACKS"})
        if (!count)
            count = parseCount(firstValue(properties, key));
    tags.trackCount = count.value_or(0);
    tags.discNumber = parseNumberPair(firstValue(properties, "DISCNUMBER")).number.value_or(0);
    tags.year = parseYear(firstValue(properties, "DATE"));
    if (tags.year == 0 && file.tag())
        tags.year = static_cast<std::int32_t>(file.tag()->year());

    if (const TagLib::AudioProperties* audio = file.audioProperties())
        tags.durationSeconds = audio->lengthInMilliseconds() / 1000.0;
    // Some files (odd headers, streams without a length field) make TagLib report
    // nothing; FFmpeg reads further.
    if (tags.durationSeconds <= 0)
        tags.durationSeconds = probeDurationSeconds(path);
    // TagLib takes a file of noise with an audio name for an empty stream; neither
    // reader finding any sound in it, there is nothing to play.
    if (tags.durationSeconds <= 0)
        throw UnreadableFile("no audio found in it");
    return tags;
}

double probeDurationSeconds(const std::string& path) noexcept
{
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0)
        return 0;
    double seconds = 0;
    if (avformat_find_stream_info(format, nullptr) >= 0 && format->duration > 0)
        seconds = static_cast<double>(format->duration) / AV_TIME_BASE;
    avformat_close_input(&format);
    return seconds;
}

} // namespace media
