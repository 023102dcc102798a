#pragma once
// Reading one audio file's tags and duration: TagLib first, FFmpeg for the duration
// when TagLib cannot tell it.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace media {

// A file the library cannot take: the message says why, in a few words.
class UnreadableFile : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What the library keeps of a file's tags. Strings are valid UTF-8, empty when the
// tag is missing; numbers are 0 when missing.
struct TrackTags {
    std::string title;
    std::string artist;
    std::string album;
    std::string albumArtist;
    std::int32_t trackNumber = 0;
    std::int32_t trackCount = 0;
    std::int32_t discNumber = 0;
    std::int32_t year = 0;
    double durationSeconds = 0;
};

// Reads the file's tags. A missing title becomes the file name without its
// extension. Throws UnreadableFile when TagLib cannot open the file as audio.
// Any thread; never blocks on a file that is not regular (the caller checks).
TrackTags readTrackTags(const std::string& path);

// "3/10" → 3 and 10; "3" → 3 and none; garbage → none. Leading spaces and zeros are fine.
struct NumberPair {
    std::optional<std::int32_t> number;
    std::optional<std::int32_t> count;
};
NumberPair parseNumberPair(std::string_view text) noexcept;

// The first four-digit year in a date tag ("2019-03-01" → 2019), else 0.
std::int32_t parseYear(std::string_view text) noexcept;

// Valid UTF-8 with each invalid byte sequence replaced by U+FFFD.
std::string validUtf8(std::string_view text);

// Seconds of audio as FFmpeg reads them from the container, or 0 when it cannot tell.
double probeDurationSeconds(const std::string& path) noexcept;

} // namespace media
