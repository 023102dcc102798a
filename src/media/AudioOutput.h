#pragma once
// The sound card, through SDL's audio API (so every SDL driver works, dummy and
// disk included): float stereo at the device's rate. Its callback reads the ring
// without locks or allocation, fades in and out so that nothing clicks, skips
// what a later command made stale, and reports to the main thread which sound it
// handed to the device and when.

#include "media/AudioRing.h"
#include "media/SeqLocked.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace media {

// Where a block began in the stream of frames handed to the device.
struct PlayedMark {
    std::uint64_t frame = 0;
    std::uint64_t epoch = 0;
    std::int32_t item = -1;
    std::uint32_t itemSerial = 0;
    double position = 0;
    double rate = 1;
};

// What the callback last reported.
struct PlayedReport {
    static constexpr int markCapacity = 16;
    // Frames of sound handed to the device so far, and when (monotonic nanoseconds)
    // the callback that handed the latest ones ran.
    std::uint64_t handedFrames = 0;
    std::int64_t handedAtNs = 0;
    // The latest block starts, oldest first.
    std::array<PlayedMark, markCapacity> marks{};
    int markCount = 0;
    // Where the queue ran out (in handed frames), for which epoch; epoch 0: not yet.
    std::uint64_t endFrame = 0;
    std::uint64_t endEpoch = 0;
    // When the first sound of the latest epoch was handed over.
    std::uint64_t firstSoundEpoch = 0;
    std::int64_t firstSoundAtNs = 0;
};

// The system's monotonic clock in nanoseconds, as the callback stamps its reports.
std::int64_t monotonicNowNs() noexcept;

class AudioOutput {
public:
    // Opens the default output device, asking for `preferredRate`. With no device at
    // all, prints one warning and falls back to SDL's dummy driver, so time still
    // passes at the real speed. Throws std::runtime_error when even that fails.
    AudioOutput(AudioRing& ring, int preferredRate);
    ~AudioOutput();
    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    int sampleRate() const noexcept { return rate_; }
    // The device's buffer, which is also how long a frame waits before it is heard.
    int latencyFrames() const noexcept { return bufferFrames_; }
    const std::string& driverName() const noexcept { return driver_; }

    // Main thread. Blocks of earlier epochs are stale: faded out and dropped.
    void setEpoch(std::uint64_t epoch) noexcept { epoch_.store(epoch, std::memory_order_release); }
    // Main thread. Running plays the ring (fading in); not running fades out and
    // then stops taking frames, so that the next frame is the one heard on resuming.
    void setRunning(bool running);
    // Main thread, now and then. Once the sound has faded out after setRunning(false),
    // pauses the device, so that nothing calls the callback while nothing plays, and a
    // few seconds later closes it, so that SDL's audio thread ends too (it goes on
    // handing a paused device silence). setRunning(true) resumes or reopens it, and the
    // sound carries on from the next frame.
    void parkWhenSilent() noexcept;
    bool isParked() const noexcept { return parked_ || released_; }
    bool isReleased() const noexcept { return released_; }
    // Main thread. 0 to 1; the callback moves to it over a few milliseconds.
    void setVolume(float volume) noexcept;
    float volume() const noexcept { return volume_.load(std::memory_order_relaxed); }

    // Main thread, without waiting for the callback.
    PlayedReport report() const noexcept { return report_.load(); }

    // Main thread. Whether the device went away (unplugged, sound server gone). From
    // then on the callback hands silence and takes nothing from the ring.
    bool isDeviceLost() const;
    // Main thread. Closes the lost device and opens the chosen one again at the same
    // rate, or the default one when the chosen one is gone. Returns whether it worked
    // (with a line on stderr when it did not).
    bool reopen();
    // Main thread. The names of the output devices SDL's driver offers now.
    static std::vector<std::string> deviceNames();
    // Main thread. The chosen device's name; empty for the default device.
    const std::string& deviceName() const noexcept { return deviceName_; }
    // Main thread. Closes the device and opens the named one (empty: the default) at
    // the same rate. When it cannot be opened, says so on stderr, opens the one before
    // again and returns false. The callback starts afresh: what the old device had not
    // played yet is lost, so the caller hands the sound over again from the position heard.
    bool switchTo(const std::string& name);
    // For tests: behave from now on as if the device had been unplugged.
    void simulateDeviceLoss() noexcept { lost_.store(true, std::memory_order_release); }

private:
    static void callback(void* self, std::uint8_t* stream, int bytes) noexcept;
    void render(float* out, int frames) noexcept;
    // At the start of a callback that finds stale sound still sounding and the new
    // sound ready behind it: the old fades out while the new fades in, over the same
    // frames. Returns the frames written (0: no crossfade, the old fades out alone).
    int crossfade(float* out, int frames, std::uint64_t epoch, std::int64_t now, float volumeTarget) noexcept;
    void rampVolume(float target) noexcept;
    bool open(int rate, bool allowOtherRate);
    // After close(): the chosen device again at the same rate, or the default one.
    bool openAgain();
    void close() noexcept;
    void addMark(std::uint64_t frame, const AudioBlock& block) noexcept;

    AudioRing& ring_;
    std::uint32_t device_ = 0;
    int rate_ = 0;
    int bufferFrames_ = 0;
    std::string driver_;
    std::string deviceName_;

    std::atomic<std::uint64_t> epoch_{0};
    std::atomic<bool> running_{false};
    std::atomic<float> volume_{1.0f};
    std::atomic<bool> lost_{false};
    // Set by the callback when it ran not running and silent: the device may be paused.
    std::atomic<bool> quiet_{false};
    // Main thread: the device paused (since when), or closed while nothing plays.
    bool parked_ = false;
    std::int64_t parkedAtNs_ = 0;
    bool released_ = false;
    SeqLocked<PlayedReport> report_;

    // The callback's own state.
    float fade_ = 0;
    float fadeStep_ = 0;
    float volumeNow_ = 1.0f;
    float volumeStep_ = 0;
    std::uint32_t offset_ = 0;
    std::uint64_t reportedEndEpoch_ = 0;
    PlayedReport building_;
};

} // namespace media
