#include "media/MediaTags.h"


extern "C" {
#include <libavformat/avformat.h>
}

#include <charconv>
#include <memory>
#include <optional>
#include <string_view>

namespace media {

namespace {

std::optional<std::string> tag(const Tags& tags, std::initializer_list<const char*> keys)
{
    for (const char* key : keys) {
        const auto found = tags.find(key);
        if (found != tags.end() && !found->second.empty())
            return found->second;
    }
    return std::nullopt;
}

// The leading whole number of "3", "3/10" or " 03 ".
std::optional<std::int64_t> leadingInteger(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data())
        return std::nullopt;
    return value;
}

} // namespace

platform::MediaItemPtr mediaItemFromTags(const Tags& tags, double durationSeconds, const std::filesystem::path& path)
{
    auto item = std::make_shared<platform::MediaItem>();
    item->title = tag(tags, {"TITLE"});
    if (!item->title)
        item->title = path.stem().string();
    item->artist = tag(tags, {"ARTIST", "ALBUM_ARTIST", "ALBUMARTIST"});
    item->albumTitle = tag(tags, {"ALBUM"});
    if (durationSeconds > 0)
        item->playbackDuration = durationSeconds;
    if (const auto track = tag(tags, {"TRACK", "TRACKNUMBER"})) {
        item->albumTrackNumber = leadingInteger(*track);
        if (const auto slash = track->find('/'); slash != std::string::npos)
            item->albumTrackCount = leadingInteger(std::string_view(*track).substr(slash + 1));
    }
    if (!item->albumTrackCount)
        if (const auto total = tag(tags, {"TRACKTOTAL", "TOTALTRACKS"}))
            item->albumTrackCount = leadingInteger(*total);
    item->location = path.string();
    return item;
}

platform::MediaItemPtr unreadMediaItem(const std::filesystem::path& path)
{
    return mediaItemFromTags({}, 0, path);
}

platform::MediaItemPtr readMediaItem(const std::filesystem::path& path)
{
    FormatContextPtr format = openAudioFile(path);
    const int stream = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (stream < 0)
        throw DecodeError("no audio in it");
    double duration = 0;
    const AVStream* audio = format->streams[stream];
    if (audio->duration != AV_NOPTS_VALUE && audio->duration > 0)
        duration = double(audio->duration) * av_q2d(audio->time_base);
    else if (format->duration != AV_NOPTS_VALUE && format->duration > 0)
        duration = double(format->duration) / AV_TIME_BASE;
    return mediaItemFromTags(readTags(*format, stream), duration, path);
}

} // namespace media
