#include "app/MprisBridge.h"

#include "platform/MusicPlayer.h"
#include "platform/Platform.h"
#include "platform/VolumeControl.h"
#include "player/MainViewController.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace spoolora {

namespace {

std::int64_t microseconds(double seconds)
{
    if (!std::isfinite(seconds) || seconds <= 0)
        return 0;
    return static_cast<std::int64_t>(std::llround(seconds * 1e6));
}

} // namespace

MprisBridge::MprisBridge(MainViewController& controller, platform::MusicPlayer& player,
                         platform::VolumeControl& volume, Hooks hooks)
    : controller_(controller), player_(player), volume_(volume), hooks_(std::move(hooks))
{
}

bool MprisBridge::isPlaying() const
{
    const std::int32_t state = player_.playbackState();
    return state == platform::PlaybackState::Playing || state == platform::PlaybackState::SeekingForward ||
           state == platform::PlaybackState::SeekingBackward;
}

platform::sdl::MprisState MprisBridge::mprisState()
{
    platform::sdl::MprisState state;
    const std::int32_t playback = player_.playbackState();
    state.playbackStatus = isPlaying() ? "Playing" : playback == platform::PlaybackState::Stopped ? "Stopped" : "Paused";
    switch (player_.repeatMode()) {
    case platform::RepeatMode::One: state.loopStatus = "Track"; break;
    case platform::RepeatMode::All: state.loopStatus = "Playlist"; break;
    default: state.loopStatus = "None"; break;
    }

    const platform::MediaItemPtr item = player_.nowPlayingItem();
    if (item != lastItem_) {
        lastItem_ = item;
        ++trackSerial_;
    }
    state.hasTrack = item != nullptr;
    if (item) {
        state.trackId = "/example/spoolora/track/" + std::to_string(trackSerial_);
        state.lengthMicroseconds = microseconds(item->playbackDurationValue());
        state.title = item->title.value_or("");
        state.artist = item->artist.value_or("");
        state.album = item->albumTitle.value_or("");
        state.trackNumber = item->albumTrackNumberValue();
        if (!item->location.empty())
            state.url = platform::sdl::MprisService::fileUri(item->location);
        state.positionMicroseconds = microseconds(player_.currentPlaybackTime());
    }
    state.volume = volume_.volume();
    // The screen's controls act on whatever the queue holds.
    state.canGoNext = state.canGoPrevious = state.canPlay = state.canPause = state.canSeek = state.hasTrack;
    return state;
}

void MprisBridge::mprisNext()
{
    // A tap on the upper reel: touch down starts a seek, the quick release skips.
    controller_.startSeekForward();
    controller_.skipToNextSongAction();
}

void MprisBridge::mprisPrevious()
{
    controller_.startSeekBackward();
    controller_.skipToPreviousSongAction();
}

void MprisBridge::mprisPlayPause()
{
    controller_.playOrPauseSongAction();
}

void MprisBridge::mprisPlay()
{
    if (!isPlaying())
        controller_.playOrPauseSongAction();
}

void MprisBridge::mprisPause()
{
    if (isPlaying())
        controller_.playOrPauseSongAction();
}

void MprisBridge::mprisStop()
{
    // A cassette deck's stop leaves the tape where it is: the same as pause here.
    mprisPause();
}

// A jump has no button on the screen: the player moves, and the next tick derives
// the tape on the reels from the new position, as it does five times a second.
void MprisBridge::mprisSeek(std::int64_t offsetMicroseconds)
{
    const platform::MediaItemPtr item = player_.nowPlayingItem();
    if (!item)
        return;
    const double now = player_.currentPlaybackTime();
    const double target = (std::isfinite(now) ? now : 0.0) + double(offsetMicroseconds) / 1e6;
    const double duration = item->playbackDurationValue();
    // Past the end is the next track, as the interface asks; before the start is the start.
    if (duration > 0 && target >= duration) {
        mprisNext();
        return;
    }
    player_.setCurrentPlaybackTime(std::max(0.0, target));
}

void MprisBridge::mprisSetPosition(const std::string&, std::int64_t positionMicroseconds)
{
    // The service has checked the track and the range.
    player_.setCurrentPlaybackTime(double(positionMicroseconds) / 1e6);
}

void MprisBridge::mprisSetVolume(double volume)
{
    volume_.setVolume(std::isnan(volume) ? 0.0f : static_cast<float>(std::clamp(volume, 0.0, 1.0)));
}

void MprisBridge::mprisOpenFiles(const std::vector<std::string>& paths)
{
    platform::MediaItemCollection collection;
    if (hooks_.itemsForPaths) {
        collection.items = hooks_.itemsForPaths(paths);
    } else {
        for (const std::string& path : paths) {
            auto item = std::make_shared<platform::MediaItem>();
            item->location = path;
            item->title = std::filesystem::path(path).stem().string();
            collection.items.push_back(std::move(item));
        }
    }
    // As a pick in the music picker does: the files become the queue and play.
    if (collection.count() > 0)
        controller_.updatePlayerQueueWithMediaCollection(collection);
}

void MprisBridge::mprisRaise()
{
    if (hooks_.raise)
        hooks_.raise();
}

void MprisBridge::mprisQuit()
{
    if (hooks_.quit)
        hooks_.quit();
}

// --- The session on the run loop -------------------------------------------------------------

MprisSession::MprisSession(platform::Platform& platform, MainViewController& controller, MprisBridge::Hooks hooks)
    : bridge_(controller, platform.systemMusicPlayer(), platform.volumeControl(), std::move(hooks))
{
}

MprisSession::~MprisSession() = default;

std::unique_ptr<MprisSession> MprisSession::start(platform::Platform& platform, MainViewController& controller,
                                                  MprisBridge::Hooks hooks)
{
    std::unique_ptr<MprisSession> session(new MprisSession(platform, controller, std::move(hooks)));
    session->service_ = platform::sdl::MprisService::start(session->bridge_, "example.spoolora.Spoolora");
    if (!session->service_)
        return nullptr;
    MprisSession* self = session.get();
    platform::NotificationCenter& center = platform.defaultCenter();
    for (const char* name : {platform::NowPlayingItemDidChangeNotification, platform::PlaybackStateDidChangeNotification,
                             platform::VolumeDidChangeNotification})
        center.addObserver(self, name, nullptr, [self](const platform::Notification&) { self->service_->refresh(); });
    session->observing_ = platform::ObserverRegistration(center, self);
    session->timer_ = platform.runLoop().scheduledTimer(dispatchIntervalSeconds, *self, &MprisSession::serve);
    // Nothing on the bus is in a hurry: while the reels turn, the bus is served when
    // the loop wakes for a frame anyway.
    session->timer_->setTolerance(dispatchIntervalSeconds / 2);
    return session;
}

void MprisSession::serve()
{
    service_->dispatch();
    service_->refresh();
}

} // namespace spoolora
