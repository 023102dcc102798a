#pragma once
// One audio file decoded with FFmpeg into float stereo at the output's rate:
// mono and multichannel mixed down, other rates resampled, encoder delay and
// padding trimmed (FFmpeg reports them for MP3 with a LAME header, AAC and Opus).
// It can also deliver the music at three times its speed and pitch, for the tape
// deck's cue and review. Used by one thread at a time.

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

struct AVFormatContext;

namespace media {

// A file that cannot be played. what() is the reason, e.g. "invalid data found".
class DecodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The reason FFmpeg gives for an error code, in words.
std::string ffmpegErrorText(int code);

// Tag names in upper case, as the container stores them (TITLE, ARTIST, REPLAYGAIN_TRACK_GAIN…).
using Tags = std::map<std::string, std::string>;

// Opens a file with FFmpeg for reading its tags or decoding it. Refuses anything but a
// regular file first, so that a FIFO or a device never blocks the caller.
// Throws DecodeError.
struct FormatContextDeleter {
    void operator()(AVFormatContext* context) const noexcept;
};
using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextDeleter>;
FormatContextPtr openAudioFile(const std::filesystem::path& path);
// The container's and the audio stream's tags, the stream's taking precedence.
Tags readTags(AVFormatContext& format, int streamIndex);

class AudioDecoder {
public:
    // Opens the file and its best audio stream. Throws DecodeError when the file is
    // missing, not a regular file, empty, not audio, or not decodable.
    AudioDecoder(const std::filesystem::path& path, int outputRate);
    ~AudioDecoder();
    AudioDecoder(const AudioDecoder&) = delete;
    AudioDecoder& operator=(const AudioDecoder&) = delete;

    // Seconds; 0 when the file does not say.
    double durationSeconds() const noexcept { return duration_; }
    const Tags& tags() const noexcept { return tags_; }

    // The next frames start at this source position (negative reads as 0). A position
    // beyond the end leaves nothing to decode. Throws DecodeError when the file cannot seek.
    void seek(double seconds);

    // Appends the next stretch of decoded frames (interleaved left, right) at `speed`
    // times the normal speed and pitch (1 or 3), and returns true; returns false
    // once the item has ended and nothing more was appended. A run of decode errors
    // ends the item early, with one line on stderr. Changing the speed takes a seek.
    bool decodeInto(std::vector<float>& out, int speed);

    // Decodes the source stretch [fromSeconds, toSeconds) at `speed` and appends it
    // whole; for review, which plays short stretches backwards.
    void decodeStretch(double fromSeconds, double toSeconds, int speed, std::vector<float>& out);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    double duration_ = 0;
    Tags tags_;
};

} // namespace media
