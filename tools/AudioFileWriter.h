#pragma once
// Writes sound into an audio file with FFmpeg's libraries: the container follows the
// file name ending (.wav, .flac, .mp3, .ogg, .opus), the codec is named. For the demo
// tape generator, the tests and the benchmarks, which make their music themselves.

#include <stdexcept>
#include <string>
#include <vector>

namespace audiogen {

class EncodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Sound {
    std::vector<float> samples;   // interleaved, -1 to 1
    int sampleRate = 44100;
    int channels = 2;
};

// The codec ("pcm_s16le", "flac", "libmp3lame", "libvorbis", "libopus"); a bit rate of
// 0 leaves the codec's own. Throws EncodeError.
void writeAudioFile(const std::string& path, const Sound& sound, const std::string& codec, long bitRate = 0);

// A plain tone, for files whose sound does not matter.
Sound sineTone(double seconds, double frequencyHz = 440, int sampleRate = 44100, int channels = 2);

} // namespace audiogen
