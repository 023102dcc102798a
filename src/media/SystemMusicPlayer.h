#pragma once
// The real system music player: the queue, the playback state and the position on
// the main thread; decoding on a worker thread; sound through SDL. The main
// thread never waits for the other two: it hands the decoder a program and reads
// the audio callback's latest report.
//
// Sections: construction · the player as the application sees it · engine controls ·
// inner workings.

#include "media/AudioOutput.h"
#include "media/AudioRing.h"
#include "media/DecodeWorker.h"
#include "media/ReplayGain.h"
#include "platform/MusicPlayer.h"
#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace media {

struct PlayerOptions {
    ReplayGainMode replayGain = ReplayGainMode::Track;
    // The rate asked of the device; it may give another, which the decoder then follows.
    int preferredRate = 44100;
};

// What the player holds that outlives the process (see SavedPlayerState).
struct PlayerSnapshot {
    std::vector<std::string> queue;       // file paths
    std::optional<std::size_t> index;     // the now-playing entry
    double position = 0;                  // seconds into it
    std::int32_t playbackState = 0;
    std::int32_t repeatMode = 0;
};

class SystemMusicPlayer final : public platform::MusicPlayer, public platform::AudioRoute {
public:
    // Opens the audio device (falling back to SDL's dummy driver with one warning) and
    // starts the decoding thread. Both references must outlive the player.
    // Throws std::runtime_error when not even the dummy device opens.
    SystemMusicPlayer(platform::RunLoop& runLoop, platform::NotificationCenter& center, PlayerOptions options = {});
    ~SystemMusicPlayer() override;
    SystemMusicPlayer(const SystemMusicPlayer&) = delete;
    SystemMusicPlayer& operator=(const SystemMusicPlayer&) = delete;

    // --- The player as the application sees it (main thread) -----------------------
    bool respondsToIndexOfNowPlayingItem() const override { return true; }
    std::int32_t playbackState() const override { return state_; }
    platform::MediaItemPtr nowPlayingItem() const override;
    std::uint64_t indexOfNowPlayingItem() const override;
    // The position of the sound leaving the device: frames handed to it less its
    // latency, moved on by the time since. Never waits for another thread.
    double currentPlaybackTime() const override;
    std::int32_t repeatMode() const override { return repeatMode_; }
    platform::AudioRoute& audioRoute() override { return *this; }

    // play: with an item, from stopped, paused or interrupted (reopening a lost
    //   device), fading in. pause: fades out; the next play resumes at the same sample.
    // beginSeeking…: cue (three times the speed and pitch, about 12 dB down, on into
    //   the next item) or review (backwards in short stretches, stopping at the start).
    // endSeeking: the state before the seek, at the position the seek reached.
    // skipTo…Item: the neighbouring entry from its start; past either end the queue
    //   wraps under repeat all, else the player stops with no item.
    // setQueueWithItemCollection: the collection is the queue, its first item current.
    void play() override;
    void pause() override;
    void beginSeekingForward() override;
    void beginSeekingBackward() override;
    void endSeeking() override;
    // The decoder starts again at the position, in the same state (a cue or review
    // goes on from there); what the device still held of the old place is dropped.
    void setCurrentPlaybackTime(double seconds) override;
    void skipToNextItem() override;
    void skipToPreviousItem() override;
    void setRepeatMode(std::int32_t mode) override;
    void setQueueWithItemCollection(const platform::MediaItemCollection& collection) override;
    void beginGeneratingPlaybackNotifications() override;
    void endGeneratingPlaybackNotifications() override;

    // --- The audio route (main thread) --------------------------------------------------
    // The volume ramps over a few milliseconds. A device switch reopens the output as
    // after a lost device and hands the sound over from the position heard, in the
    // same state; a lost device that is back is used at once.
    float volume() const override { return output_->volume(); }
    void setVolume(float volume) override { output_->setVolume(volume); }
    std::vector<std::string> outputDeviceNames() const override { return AudioOutput::deviceNames(); }
    std::string currentOutputDevice() const override { return output_->deviceName(); }
    bool setOutputDevice(const std::string& name) override;

    // --- Engine controls (main thread) -------------------------------------------------
    void setReplayGainMode(ReplayGainMode mode);
    // The queue, the item, the position, the state and the repeat mode, to be saved.
    PlayerSnapshot snapshot() const;
    // Puts back a saved player: its queue, item and position, paused (stopped when there
    // is no item), posting nothing. Items come from `items`, one per queue path; those
    // marked in `unread` get their tags read when they become the now-playing item.
    void restore(const std::vector<platform::MediaItemPtr>& items, std::optional<std::size_t> index,
                 double position, std::int32_t repeatMode, std::vector<bool> unread = {});
    // Called after every change worth saving (item change, pause, …); main thread.
    void setChangeHandler(std::function<void()> handler) { changed_ = std::move(handler); }

    const AudioOutput& output() const noexcept { return *output_; }
    AudioOutput& output() noexcept { return *output_; }
    std::uint64_t epoch() const noexcept { return epoch_; }
    // What the decoding thread has got to in the running program.
    DecodeStatus decodeStatus() const { return worker_->status(); }

private:
    struct DevicePoint {
        PlayedMark mark;
        double position = 0;
        double playedFrame = 0;
    };
    // The mark and position of the sound leaving the device now, if any was handed.
    std::optional<DevicePoint> devicePoint(const PlayedReport& report) const;
    // Catches up with the audio: item changes, the queue's end, a lost device.
    void refresh();
    // Whether an item change or the queue's end may come soon, and the refresh timer
    // set to match.
    bool changeMayBeNear() const;
    void paceRefresh();
    void startProgram(double position);
    void stopWithNoItem();
    // Sets the now-playing entry, reading its tags first if they were left unread.
    void setCurrent(std::size_t index);
    void changeState(std::int32_t state);
    bool isSeeking() const noexcept;
    bool isRunning() const noexcept;
    Motion motionForState() const noexcept;
    void skipBy(int step);
    void post(const char* name);
    void noteChange();

    platform::RunLoop& runLoop_;
    platform::NotificationCenter& center_;

    std::vector<platform::MediaItemPtr> queue_;
    std::vector<bool> unread_;   // per queue entry, or empty: all read
    std::shared_ptr<const std::vector<std::string>> paths_;
    std::optional<std::size_t> current_;
    std::int32_t state_ = platform::PlaybackState::Stopped;
    std::int32_t stateBeforeSeeking_ = platform::PlaybackState::Stopped;
    std::int32_t repeatMode_ = platform::RepeatMode::Default;
    bool generating_ = false;

    // Every program given to the decoder has a new epoch; sound of older ones is stale.
    std::uint64_t epoch_ = 0;
    // Where the running program started, heard until its first sound leaves the device.
    double programPosition_ = 0;
    // The (item, serial) of the running program already reported as now playing.
    std::int32_t reportedItem_ = -1;
    std::uint32_t reportedSerial_ = 0;
    bool reportedAny_ = false;
    // The position held while the device is lost.
    double frozenPosition_ = 0;
    bool deviceLost_ = false;
    platform::Nanoseconds lastReopenAttempt_ = 0;

    std::unique_ptr<AudioRing> ring_;
    std::unique_ptr<AudioOutput> output_;
    std::unique_ptr<DecodeWorker> worker_;
    platform::MonotonicClock clock_;
    platform::TimerHandle refreshTimer_;
    double refreshInterval_ = 0;
    std::function<void()> changed_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

} // namespace media
