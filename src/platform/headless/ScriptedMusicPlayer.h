#pragma once
// A simulated system music player. It keeps a queue and a playback state, derives
// its position from the clock, moves to the next item when one ends, and posts
// its two notifications at the next turn of the run loop, after the command that
// caused them has returned. It works on any clock and run loop: tests drive it
// with the virtual clock, the desktop uses it with the real one until an audio
// engine takes its place. Its audio route is make-believe too: a list of output
// devices the script sets, a volume that is only kept.
//
// Sections: construction · the player as the application sees it · script hooks ·
// what the player received.

#include "platform/Clock.h"
#include "platform/MusicPlayer.h"
#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::headless {

// Whether a change made as if from outside brings the notification it would on a device.
enum class Notify { No, Yes };

class ScriptedMusicPlayer final : public MusicPlayer, public AudioRoute {
public:
    // Seeking runs the position at this multiple of real time, in the seek's direction.
    static constexpr double seekRate = 3.0;

    // All three must outlive the player. Starts stopped, with an empty queue.
    ScriptedMusicPlayer(const Clock& clock, RunLoop& runLoop, NotificationCenter& center);
    ~ScriptedMusicPlayer() override;
    ScriptedMusicPlayer(const ScriptedMusicPlayer&) = delete;
    ScriptedMusicPlayer& operator=(const ScriptedMusicPlayer&) = delete;

    // --- The player as the application sees it (main thread) ------------------
    bool respondsToIndexOfNowPlayingItem() const override { return !legacy_; }
    std::int32_t playbackState() const override { return state_; }
    MediaItemPtr nowPlayingItem() const override;
    std::uint64_t indexOfNowPlayingItem() const override;
    // Derived from the clock: the position at the last change plus the time since,
    // at the rate of the state (1 playing, ±3 seeking). A backward seek stops at the
    // item's start. NaN stays NaN.
    double currentPlaybackTime() const override;
    std::int32_t repeatMode() const override { return repeatMode_; }
    AudioRoute& audioRoute() override { return *this; }

    // Each command is recorded, then acts as a device player would:
    // play: stopped, paused or interrupted with an item → playing (no item: nothing).
    // pause: playing, interrupted or seeking → paused.
    // beginSeeking…: with an item → seeking (4 or 5), remembering the state before.
    // endSeeking: seeking → the state before the seek; otherwise nothing.
    // skipTo…Item: the neighbouring queue item from its start, in the same state;
    //   past either end the queue wraps under repeat all, else the player stops with no item.
    // setQueueWithItemCollection: the collection becomes the queue, its first item
    //   current from its start, in the same state (an empty one leaves no item).
    void play() override;
    void pause() override;
    void beginSeekingForward() override;
    void beginSeekingBackward() override;
    void endSeeking() override;
    // setCurrentPlaybackTime: recorded with its argument; clamped as the interface says.
    void setCurrentPlaybackTime(double seconds) override;
    void skipToNextItem() override;
    void skipToPreviousItem() override;
    void setRepeatMode(std::int32_t mode) override;
    void setQueueWithItemCollection(const MediaItemCollection& collection) override;
    void beginGeneratingPlaybackNotifications() override;
    void endGeneratingPlaybackNotifications() override;

    // --- The audio route (not recorded as commands) -------------------------------
    // The devices are those of setOutputDevices(), none at first; a name not among
    // them cannot be opened. Switching keeps item, position and state, as a device would.
    float volume() const override { return volume_; }
    void setVolume(float volume) override;
    std::vector<std::string> outputDeviceNames() const override { return devices_; }
    std::string currentOutputDevice() const override { return device_; }
    bool setOutputDevice(const std::string& name) override;

    // --- Script hooks: changes as if from outside the application --------------
    // None of these is recorded as a command. With Notify::Yes the notification the
    // change brings is posted at the next turn (only while notifications are on).

    // The player no longer offers indexOfNowPlayingItem, like an older system's.
    void setLegacy(bool legacy) noexcept { legacy_ = legacy; }
    // Replaces the now-playing entry of the queue (or appends the item when there is
    // none) and starts it from 0; nullptr leaves the queue without a now-playing item.
    void setNowPlayingItem(MediaItemPtr item, Notify notify);
    // The items become the queue, the first now playing from 0; the state stays.
    void setQueue(std::vector<MediaItemPtr> items, Notify notify);
    // Any value is accepted; unknown values hold the position still.
    void setState(std::int32_t state, Notify notify);
    // The position becomes this, from now on; NaN and negative values are kept as given.
    void setTime(double seconds);
    // The output devices the system offers from now on; the one in use stays in use
    // even when it is no longer listed.
    void setOutputDevices(std::vector<std::string> names) { devices_ = std::move(names); }

    // --- What the player received and holds -----------------------------------
    // Every command in order by name, with its argument after a colon where it takes one.
    const std::vector<std::string>& commands() const noexcept { return commands_; }
    const std::vector<MediaItemPtr>& queue() const noexcept { return queue_; }
    bool isGeneratingPlaybackNotifications() const noexcept { return generating_; }
    // How many times the sound moved to another device.
    int outputSwitches() const noexcept { return outputSwitches_; }

private:
    static double rateForState(std::int32_t state) noexcept;
    bool hasItem() const noexcept { return current_.has_value(); }
    // Folds the time run since the last change into the stored position.
    void anchorPosition();
    void changeState(std::int32_t state, Notify notify);
    // Makes queue entry `index` current from its start, or leaves no item.
    void moveTo(std::optional<std::size_t> index, Notify notify);
    void stopWithNoItem(Notify notify);
    void skipBy(int step);
    // Re-arms the one-shot deadline for the end of the current item.
    void scheduleItemEnd();
    void itemDidEnd(std::uint64_t generation);
    void postLater(const char* name);
    void record(std::string command) { commands_.push_back(std::move(command)); }

    const Clock& clock_;
    RunLoop& runLoop_;
    NotificationCenter& center_;

    std::vector<MediaItemPtr> queue_;
    std::optional<std::size_t> current_;
    std::int32_t state_ = PlaybackState::Stopped;
    std::int32_t stateBeforeSeeking_ = PlaybackState::Stopped;
    std::int32_t repeatMode_ = RepeatMode::Default;
    bool legacy_ = false;
    bool generating_ = false;

    double positionAtAnchor_ = 0;
    Nanoseconds anchor_ = 0;

    TimerHandle endTimer_;
    std::optional<Nanoseconds> endDeadline_;
    // Invalidates item-end work that was handed to the run loop before a later change.
    std::uint64_t endGeneration_ = 0;
    // Work posted to the run loop checks this so that it never outlives the player.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);

    std::vector<std::string> commands_;

    float volume_ = 1.0f;
    std::vector<std::string> devices_;
    std::string device_;
    int outputSwitches_ = 0;
};

} // namespace platform::headless
