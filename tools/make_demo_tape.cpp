// Makes the demo tape: a short album that a fresh installation can play at once.
// Each track is synthesised here (a melody over a chord progression, bass, drums),
// encoded as Ogg Vorbis and tagged. The same arguments always give the same music.
//
// usage: spoolora_demo_tape OUTPUT_FOLDER

#include "AudioFileWriter.h"

#include <taglib/fileref.h>
#include <taglib/tpropertymap.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int sampleRate = 44100;
constexpr double pi = 3.14159265358979323846;

// A small deterministic generator, so that every build makes the same tape.
class Random {
public:
    explicit Random(std::uint32_t seed) : state_(seed * 2654435761u + 1) {}
    std::uint32_t next()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    double uniform() { return double(next() & 0xffffff) / double(0x1000000); }   // 0 to 1
    double noise() { return uniform() * 2 - 1; }

private:
    std::uint32_t state_;
};

double frequencyOf(int midiNote)
{
    return 440.0 * std::pow(2.0, (midiNote - 69) / 12.0);
}

struct TrackPlan {
    const char* title;
    int keyNote;                   // MIDI note of the key's root
    bool minor;
    double beatsPerMinute;
    std::vector<int> progression;  // scale degrees (0-based), one per bar, repeated
    int bars;
    std::uint32_t seed;
};

class Mixer {
public:
    explicit Mixer(double seconds) : left_(std::size_t(seconds * sampleRate) + sampleRate), right_(left_.size()) {}

    // Adds a voice that starts at the time; pan -1 (left) to 1 (right).
    template <class Voice>
    void add(double startSeconds, double lengthSeconds, double pan, Voice voice)
    {
        const auto start = std::size_t(startSeconds * sampleRate);
        const auto length = std::size_t(lengthSeconds * sampleRate);
        const double leftGain = std::sqrt((1 - pan) / 2), rightGain = std::sqrt((1 + pan) / 2);
        for (std::size_t i = 0; i < length && start + i < left_.size(); ++i) {
            const double value = voice(double(i) / sampleRate);
            left_[start + i] += value * leftGain;
            right_[start + i] += value * rightGain;
        }
    }

    audiogen::Sound finish(double seconds)
    {
        audiogen::Sound sound;
        sound.sampleRate = sampleRate;
        sound.channels = 2;
        const auto frames = std::size_t(seconds * sampleRate);
        sound.samples.resize(frames * 2);
        double peak = 1e-9;
        for (std::size_t i = 0; i < frames; ++i)
            peak = std::max({peak, std::fabs(left_[i]), std::fabs(right_[i])});
        const double gain = 0.85 / peak;
        for (std::size_t i = 0; i < frames; ++i) {
            const double t = double(i) / sampleRate;
            // Half a second in, two seconds out.
            const double fade = std::min({1.0, t / 0.5, (seconds - t) / 2.0});
            sound.samples[2 * i] = float(std::tanh(left_[i] * gain * 1.2) * fade);
            sound.samples[2 * i + 1] = float(std::tanh(right_[i] * gain * 1.2) * fade);
        }
        return sound;
    }

private:
    std::vector<double> left_, right_;
};

double envelope(double t, double attack, double decay)
{
    return t < attack ? t / attack : std::exp(-(t - attack) / decay);
}

audiogen::Sound composeTrack(const TrackPlan& plan)
{
    const double beat = 60.0 / plan.beatsPerMinute;
    const double bar = 4 * beat;
    const double seconds = plan.bars * bar + 2.5;
    Mixer mix(seconds);
    Random random(plan.seed);

    const std::vector<int> majorScale = {0, 2, 4, 5, 7, 9, 11};
    const std::vector<int> minorScale = {0, 2, 3, 5, 7, 8, 10};
    const auto& scale = plan.minor ? minorScale : majorScale;
    const auto noteOf = [&](int degree, int octave) {
        const int steps = int(scale.size());
        const int wrapped = ((degree % steps) + steps) % steps;
        const int octaves = (degree - wrapped) / steps;
        return plan.keyNote + 12 * (octave + octaves) + scale[std::size_t(wrapped)];
    };

    int melodyDegree = 7;   // the key note an octave up
    for (int b = 0; b < plan.bars; ++b) {
        const double barStart = b * bar + 0.3;
        const int chordRoot = plan.progression[std::size_t(b) % plan.progression.size()];
        const bool intro = b < 2, outro = b >= plan.bars - 1;

        // Chords: a soft triad held through the bar.
        for (int voice = 0; voice < 3; ++voice) {
            const double f = frequencyOf(noteOf(chordRoot + 2 * voice, 0));
            mix.add(barStart, bar + 0.4, -0.3 + 0.3 * voice, [f](double t) {
                const double env = std::min(1.0, t / 0.15) * std::exp(-t / 3.0);
                return 0.06 * env * (std::sin(2 * pi * f * t) + 0.3 * std::sin(4 * pi * f * t));
            });
        }

        // Bass: the chord's root on the eighths, the fifth on the last one.
        for (int e = 0; e < 8; ++e) {
            const int degree = e == 7 ? chordRoot + 4 : chordRoot;
            const double f = frequencyOf(noteOf(degree, -2));
            mix.add(barStart + e * beat / 2, beat / 2, 0, [f](double t) {
                const double env = envelope(t, 0.005, 0.12);
                return 0.22 * env * (std::sin(2 * pi * f * t) + 0.4 * std::sin(4 * pi * f * t) + 0.15 * std::sin(6 * pi * f * t));
            });
        }

        // Drums: kick on one and three, snare on two and four, hats on the eighths.
        if (!intro || b == 1) {
            for (int k : {0, 2}) {
                mix.add(barStart + k * beat, 0.4, 0, [](double t) {
                    const double sweep = 45 + 90 * std::exp(-t / 0.04);
                    return 0.55 * std::exp(-t / 0.14) * std::sin(2 * pi * sweep * t);
                });
            }
            for (int s : {1, 3}) {
                std::uint32_t seed = random.next();
                mix.add(barStart + s * beat, 0.25, 0.1, [seed](double t) mutable {
                    seed ^= seed << 13;
                    seed ^= seed >> 17;
                    seed ^= seed << 5;
                    const double noise = double(seed & 0xffff) / 32768.0 - 1;
                    return std::exp(-t / 0.07) * (0.22 * noise + 0.18 * std::sin(2 * pi * 185 * t));
                });
            }
        }
        for (int h = 0; h < 8 && !intro; ++h) {
            std::uint32_t seed = random.next();
            double previous = 0;
            mix.add(barStart + h * beat / 2, 0.08, 0.4, [seed, previous](double t) mutable {
                seed ^= seed << 13;
                seed ^= seed >> 17;
                seed ^= seed << 5;
                const double noise = double(seed & 0xffff) / 32768.0 - 1;
                const double high = noise - previous;   // a first difference keeps the hiss
                previous = noise;
                return 0.07 * std::exp(-t / 0.02) * high;
            });
        }

        // Melody: steps on the scale that lean towards the chord, in a rhythm of
        // eighths and quarters; quiet in the intro, home on the key note at the end.
        if (intro)
            continue;
        double at = 0;
        while (at < 4 - 1e-9) {
            const double length = (random.uniform() < 0.35 || at > 3.4) ? 0.5 : 1.0;
            const double rest = random.uniform();
            if (rest < 0.12 && at > 0) {
                at += length;
                continue;
            }
            const int target = chordRoot + 7 + 2 * int(random.next() % 3);
            const int step = melodyDegree < target ? 1 : melodyDegree > target ? -1 : (random.uniform() < 0.5 ? 1 : -1);
            melodyDegree += random.uniform() < 0.75 ? step : 2 * step;
            if (outro && at >= 3)
                melodyDegree = 7;
            melodyDegree = std::clamp(melodyDegree, 3, 13);
            const double f = frequencyOf(noteOf(melodyDegree, 0));
            const double noteSeconds = length * beat;
            mix.add(barStart + at * beat, noteSeconds + 0.3, 0.15, [f, noteSeconds](double t) {
                const double vibrato = 1 + 0.004 * std::sin(2 * pi * 5.5 * t) * std::min(1.0, t / 0.3);
                const double phase = 2 * pi * f * vibrato * t;
                const double release = t < noteSeconds ? 1.0 : std::exp(-(t - noteSeconds) / 0.08);
                const double env = std::min(1.0, t / 0.02) * (0.7 + 0.3 * std::exp(-t / 0.2)) * release;
                // A reedy tone: odd harmonics falling off.
                return 0.16 * env * (std::sin(phase) + 0.35 * std::sin(3 * phase) + 0.15 * std::sin(5 * phase) +
                                     0.2 * std::sin(2 * phase));
            });
            at += length;
        }
    }
    return mix.finish(seconds);
}

void tag(const std::string& path, const TrackPlan& plan, int number, int count)
{
    TagLib::FileRef file(path.c_str());
    if (file.isNull())
        throw std::runtime_error("cannot tag " + path);
    TagLib::PropertyMap properties;
    const auto set = [&](const char* key, const std::string& value) {
        properties.replace(key, TagLib::StringList(TagLib::String(value, TagLib::String::UTF8)));
    };
    set("TITLE", plan.title);
    set("ARTIST", "The Spoolora Demo Band");
    set("ALBUM", "Demo Tape");
    set("ALBUMARTIST", "The Spoolora Demo Band");
    set("TRACKNUMBER", std::to_string(number) + "/" + std::to_string(count));
    set("DATE", "2026");
    set("GENRE", "Synthpop");
    file.file()->setProperties(properties);
    if (!file.save())
        throw std::runtime_error("cannot save the tags of " + path);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: spoolora_demo_tape OUTPUT_FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    const std::vector<TrackPlan> plans = {
        {"Side A Sunrise", 60, false, 104, {0, 4, 5, 3}, 12, 11},
        {"Reel to Reel", 57, true, 118, {0, 5, 2, 6}, 14, 23},
        {"Counter at Zero", 62, false, 96, {0, 3, 4, 4, 0, 5, 3, 4}, 10, 37},
        {"Auto-Reverse", 64, true, 124, {0, 6, 5, 4}, 16, 41},
        {"Play It Again", 65, false, 100, {0, 5, 3, 4}, 11, 53},
    };
    try {
        std::filesystem::create_directories(folder);
        int number = 0;
        for (const TrackPlan& plan : plans) {
            ++number;
            char name[128];
            std::snprintf(name, sizeof name, "%02d %s.ogg", number, plan.title);
            const std::string path = (folder / name).string();
            audiogen::writeAudioFile(path, composeTrack(plan), "libvorbis", 128000);
            tag(path, plan, number, int(plans.size()));
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "spoolora_demo_tape: %s\n", error.what());
        return 1;
    }
    return 0;
}
