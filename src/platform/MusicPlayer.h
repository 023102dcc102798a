#pragma once
// The system music player: queue, playback state, position, and two
// notifications posted on the main thread after a change has taken effect.
// The contract every player keeps (the simulated one, an audio engine) is written
// on the MusicPlayer class below.

#include "platform/AudioRoute.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Playback states as the player numbers them. Other values may arrive and are
// passed through unchanged.
namespace PlaybackState {
inline constexpr std::int32_t Stopped = 0;
inline constexpr std::int32_t Playing = 1;
inline constexpr std::int32_t Paused = 2;
inline constexpr std::int32_t Interrupted = 3;
inline constexpr std::int32_t SeekingForward = 4;
inline constexpr std::int32_t SeekingBackward = 5;
} // namespace PlaybackState

namespace RepeatMode {
inline constexpr std::int32_t Default = 0;
inline constexpr std::int32_t None = 1;
inline constexpr std::int32_t One = 2;
inline constexpr std::int32_t All = 3;
} // namespace RepeatMode

// indexOfNowPlayingItem when there is no now-playing item.
inline constexpr std::uint64_t NotFound = 2147483647;

inline constexpr const char* NowPlayingItemDidChangeNotification =
    "MPMusicPlayerControllerNowPlayingItemDidChangeNotification";
inline constexpr const char* PlaybackStateDidChangeNotification =
    "MPMusicPlayerControllerPlaybackStateDidChangeNotification";

// A piece of music. Every property may be missing; missing numbers read as 0.
struct MediaItem {
    std::optional<std::string> title;
    std::optional<std::string> artist;
    std::optional<std::string> albumTitle;
    std::optional<double> playbackDuration;     // seconds
    std::optional<std::int64_t> albumTrackNumber; // counted from 1
    std::optional<std::int64_t> albumTrackCount;
    std::string location;                        // where the audio lives (a path), empty if none

    double playbackDurationValue() const noexcept { return playbackDuration.value_or(0.0); }
    // intValue of the number: the low 32 bits, as a number object would give them.
    std::int32_t albumTrackNumberValue() const noexcept { return static_cast<std::int32_t>(albumTrackNumber.value_or(0)); }
    std::int32_t albumTrackCountValue() const noexcept { return static_cast<std::int32_t>(albumTrackCount.value_or(0)); }
};

using MediaItemPtr = std::shared_ptr<const MediaItem>;

// An item of an album with every property present and no location, as a built-in
// library, a test or a tool lists its music.
inline MediaItemPtr makeAlbumItem(std::string title, std::string artist, std::string albumTitle,
                                  double playbackDuration, std::int64_t albumTrackNumber, std::int64_t albumTrackCount)
{
    auto item = std::make_shared<MediaItem>();
    item->title = std::move(title);
    item->artist = std::move(artist);
    item->albumTitle = std::move(albumTitle);
    item->playbackDuration = playbackDuration;
    item->albumTrackNumber = albumTrackNumber;
    item->albumTrackCount = albumTrackCount;
    return item;
}

struct MediaItemCollection {
    std::vector<MediaItemPtr> items;
    std::size_t count() const noexcept { return items.size(); }
};

// The one player of the process, as the application sees it.
//
// Threads. Every call is made on the main thread, the one that turns the run
// loop, at any time between the player's construction and its destruction. A
// player that works on threads of its own (decoding, audio output) hands what
// they find to the main thread by posting to the run loop; it never posts a
// notification, nor changes what the queries below return, from another thread.
//
// Commands. A command takes effect before it returns: the queries answer with
// the new state, item and position at once (a real player may still be filling
// its buffers; the state is what it is doing, not what can be heard). A command
// that changes nothing (play while playing, pause while stopped, a seek or skip
// with no item) is accepted and does nothing. No call throws: a failure of the
// outside world (a file that cannot be decoded, no audio device) is handled
// inside the player, with one line on stderr, and shows as a state change (the
// item skipped, the player stopped or paused).
//
// Notifications. Only between beginGeneratingPlaybackNotifications and
// endGeneratingPlaybackNotifications does the player post to the notification
// centre, always on the main thread at a later turn of the run loop, never from
// inside the call that caused the change, so the caller finishes its own update
// first. The notification's object is the player. Each change posts once:
//   PlaybackStateDidChangeNotification when playbackState changes, whatever the
//     cause (a command, the queue running out, a seek ending, an interruption);
//   NowPlayingItemDidChangeNotification when the now-playing item changes (a
//     skip, a new queue, an item ending and the next one starting, no item left).
// A command that changes both posts both. A notification may arrive after a
// later change has already happened: its receiver reads the player's state then,
// not the state at the moment of the change.
class MusicPlayer {
public:
    virtual ~MusicPlayer() = default;

    // Older players do not offer indexOfNowPlayingItem.
    virtual bool respondsToIndexOfNowPlayingItem() const = 0;

    // One of PlaybackState; other values may arrive and are passed through.
    virtual std::int32_t playbackState() const = 0;
    virtual MediaItemPtr nowPlayingItem() const = 0;           // nullptr when none
    virtual std::uint64_t indexOfNowPlayingItem() const = 0;   // NotFound when none
    // Seconds into the current item, read five times a second by the tick: cheap,
    // and running on from the last change without a notification. May be 0,
    // negative or NaN when nothing meaningful plays.
    virtual double currentPlaybackTime() const = 0;
    virtual std::int32_t repeatMode() const = 0;
    // Where the sound goes and how loud: the player's own output.
    virtual AudioRoute& audioRoute() = 0;

    // Stopped, paused or interrupted with an item: plays it from where it stands.
    virtual void play() = 0;
    // Playing, interrupted or seeking: pauses where it stands.
    virtual void pause() = 0;
    // With an item: runs the position forward (backward) faster than playing until
    // endSeeking; a backward seek stops at the item's start.
    virtual void beginSeekingForward() = 0;
    virtual void beginSeekingBackward() = 0;
    // Ends a seek and returns to the state before it; otherwise does nothing.
    virtual void endSeeking() = 0;
    // With an item: moves it to `seconds` (below 0 or not a number: its start; past a
    // known duration: its end, which then ends it as playing through would), in the
    // same state; a seek in progress goes on from there. No item: nothing. Posts
    // nothing of its own: the position is read, not announced.
    virtual void setCurrentPlaybackTime(double seconds) = 0;
    // The neighbouring queue item from its start, in the same state. Past either end
    // the queue wraps under RepeatMode::All; otherwise the player stops with no item.
    virtual void skipToNextItem() = 0;
    virtual void skipToPreviousItem() = 0;
    // Any value is kept and read back; the player acts on those of RepeatMode.
    virtual void setRepeatMode(std::int32_t mode) = 0;
    // The collection becomes the whole queue; its first item becomes current from
    // its start, in the same state. An empty collection leaves the player stopped
    // with no item.
    virtual void setQueueWithItemCollection(const MediaItemCollection& collection) = 0;
    virtual void beginGeneratingPlaybackNotifications() = 0;
    // Notifications already handed to the run loop but not yet posted are dropped.
    virtual void endGeneratingPlaybackNotifications() = 0;
};

} // namespace platform
