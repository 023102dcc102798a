#pragma once
// A media item for a file, from the tags FFmpeg reads: title, artist, album, track
// number and count, duration.

#include "media/AudioDecoder.h"
#include "platform/MusicPlayer.h"

#include <filesystem>

namespace media {

// Throws DecodeError when the file cannot be opened as audio. A file without a
// title tag is titled by its name without the extension.
platform::MediaItemPtr readMediaItem(const std::filesystem::path& path);

// The item for a file whose tags are not read yet: its location and, for a title,
// its name without the extension.
platform::MediaItemPtr unreadMediaItem(const std::filesystem::path& path);

// The item for the tags, as readMediaItem builds it (for tests and the library).
platform::MediaItemPtr mediaItemFromTags(const Tags& tags, double durationSeconds, const std::filesystem::path& path);

} // namespace media
