#include "app/MprisBridge.h"

#include "platform/MusicPlayer.h"
#include "platform/Platform.h"
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

MprisBridge::MprisBridge(MainViewController& controller, platform::MusicPlayer& player, Hooks hooks)
    : controller_(controller), player_(player), hooks_(std::move(hooks))
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
    if (hooks_.volume) {
        const double volume = hooks_.volume();
        state.volume = std::isfinite(volume) ? std::clamp(volume, 0.0, 1.0) : 1.0;
    }
    // The screen's controls act on whatever the queue holds.
    state.canGoNext = state.canGoPrevious = state.canPlay = state.canPause = state.hasTrack;
    // FIXME: the music player offers no way to move to a position yet; until it
    // does the bus is told that this player cannot seek.
    state.canSeek = false;
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

void MprisBridge::mprisSeek(std::int64_t)
{
    // Not asked while the state says the player cannot seek.
}

void MprisBridge::mprisSetPosition(const std::string&, std::int64_t)
{
    // Not asked while the state says the player cannot seek.
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
    : bridge_(controller, platform.systemMusicPlayer(), std::move(hooks))
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
    for (const char* name : {platform::NowPlayingItemDidChangeNotification, platform::PlaybackStateDidChangeNotification})
        center.addObserver(self, name, nullptr, [self](const platform::Notification&) { self->service_->refresh(); });
    session->observing_ = platform::ObserverRegistration(center, self);
    session->timer_ = platform.runLoop().scheduledTimer(dispatchIntervalSeconds, *self, &MprisSession::serve);
    return session;
}

void MprisSession::serve()
{
    service_->dispatch();
    service_->refresh();
}

} // namespace spoolora
