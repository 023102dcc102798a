#pragma once
// Test audio made with the ffmpeg command line, SDL's disk driver as the sound
// card, and measurements of what came out.

#include "media/SystemMusicPlayer.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace media::test {

// A fresh folder under the test output folder (or the system's temporary one).
std::filesystem::path freshFolder(const std::string& name);

// Runs ffmpeg with a lavfi source, e.g. "sine=frequency=440:duration=1", writing `path`
// with its extension's usual encoder; `extra` goes before the output (codec, channels…).
void makeAudio(const std::filesystem::path& path, const std::string& source, const std::string& extra = "");
// A tone at 44.1 kHz (mono unless extra says otherwise).
void makeTone(const std::filesystem::path& path, double hertz, double seconds, const std::string& extra = "");

// Frequency of a stretch of one channel, from its upward zero crossings.
double frequencyOf(const std::vector<float>& left, std::size_t from, std::size_t to, double rate);
double rmsOf(const std::vector<float>& left, std::size_t from, std::size_t to);

// What the disk driver wrote: float stereo frames.
struct Recording {
    std::vector<float> left, right;
    double rate = 44100;
    // Indices of the first and one past the last frame that is not exact silence.
    std::size_t firstSound() const;
    std::size_t endOfSound() const;
};
Recording readRecording(const std::filesystem::path& file);
// The left channel from the first sound to the last with the silence of pauses taken
// out: runs of exact zeros longer than one frame (a tone is exactly 0 at a frame now
// and then, never twice in a row).
std::vector<float> soundWithoutPauses(const Recording& recording);

// A player on the real clock with SDL's disk driver writing into `folder`/out.raw.
class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    void makePlayer(PlayerOptions options = {});
    // Stops the player so that the recording is complete, then reads it.
    Recording finishRecording();
    // Runs the run loop for this long of real time.
    void pump(double seconds);
    // Pumps until the condition holds or the time is up; returns whether it held.
    template <class Condition>
    bool pumpUntil(Condition condition, double seconds)
    {
        const platform::Nanoseconds deadline = clock.now() + platform::nanosecondsFromSeconds(seconds);
        while (clock.now() < deadline) {
            if (condition())
                return true;
            pump(0.005);
        }
        return condition();
    }
    platform::MediaItemPtr item(const std::filesystem::path& path) const;
    void setQueue(const std::vector<std::filesystem::path>& paths);

    platform::MonotonicClock clock;
    platform::RunLoop runLoop{clock};
    platform::NotificationCenter center;
    std::filesystem::path folder;
    std::unique_ptr<SystemMusicPlayer> player;
};

} // namespace media::test
