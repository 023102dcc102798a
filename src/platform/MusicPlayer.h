#pragma once
// The system music player: queue, playback state, position, and two
// notifications posted on the main thread after a change has taken effect.
// All calls come from the main thread.

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

class MusicPlayer {
public:
    virtual ~MusicPlayer() = default;

    // Older players do not offer indexOfNowPlayingItem.
    virtual bool respondsToIndexOfNowPlayingItem() const = 0;

    virtual std::int32_t playbackState() const = 0;
    virtual MediaItemPtr nowPlayingItem() const = 0;           // nullptr when none
    virtual std::uint64_t indexOfNowPlayingItem() const = 0;   // NotFound when none
    // Seconds into the current item; may be 0, negative or NaN when nothing meaningful plays.
    virtual double currentPlaybackTime() const = 0;
    virtual std::int32_t repeatMode() const = 0;

    virtual void play() = 0;
    virtual void pause() = 0;
    virtual void beginSeekingForward() = 0;
    virtual void beginSeekingBackward() = 0;
    // Ends a seek and returns to the state before it.
    virtual void endSeeking() = 0;
    virtual void skipToNextItem() = 0;
    virtual void skipToPreviousItem() = 0;
    virtual void setRepeatMode(std::int32_t mode) = 0;
    // The collection becomes the whole queue; its first item becomes current.
    virtual void setQueueWithItemCollection(const MediaItemCollection& collection) = 0;
    virtual void beginGeneratingPlaybackNotifications() = 0;
    virtual void endGeneratingPlaybackNotifications() = 0;
};

} // namespace platform
