#include "platform/headless/ScriptedMusicPlayer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace platform::headless {

namespace {

bool isSeeking(std::int32_t state) noexcept
{
    return state == PlaybackState::SeekingForward || state == PlaybackState::SeekingBackward;
}

} // namespace

ScriptedMusicPlayer::ScriptedMusicPlayer(const Clock& clock, RunLoop& runLoop, NotificationCenter& center)
    : clock_(clock), runLoop_(runLoop), center_(center), anchor_(clock.now())
{
}

ScriptedMusicPlayer::~ScriptedMusicPlayer() = default;

double ScriptedMusicPlayer::rateForState(std::int32_t state) noexcept
{
    switch (state) {
    case PlaybackState::Playing:
        return 1.0;
    case PlaybackState::SeekingForward:
        return seekRate;
    case PlaybackState::SeekingBackward:
        return -seekRate;
    default:
        return 0.0;
    }
}

MediaItemPtr ScriptedMusicPlayer::nowPlayingItem() const
{
    return current_ ? queue_[*current_] : nullptr;
}

std::uint64_t ScriptedMusicPlayer::indexOfNowPlayingItem() const
{
    return current_ ? static_cast<std::uint64_t>(*current_) : NotFound;
}

double ScriptedMusicPlayer::currentPlaybackTime() const
{
    const double rate = hasItem() ? rateForState(state_) : 0.0;
    if (rate == 0.0 || !std::isfinite(positionAtAnchor_))
        return positionAtAnchor_;
    const double elapsed = secondsFromNanoseconds(clock_.now() - anchor_);
    double position = positionAtAnchor_ + rate * elapsed;
    if (rate < 0)
        return std::max(position, std::min(positionAtAnchor_, 0.0));
    // Between the item's end and the run loop noticing it (only with a real clock)
    // the position must not run past the end.
    const double duration = queue_[*current_]->playbackDurationValue();
    if (duration > 0 && positionAtAnchor_ <= duration)
        position = std::min(position, duration);
    return position;
}

void ScriptedMusicPlayer::anchorPosition()
{
    positionAtAnchor_ = currentPlaybackTime();
    anchor_ = clock_.now();
}

void ScriptedMusicPlayer::changeState(std::int32_t state, Notify notify)
{
    anchorPosition();
    if (isSeeking(state) && !isSeeking(state_))
        stateBeforeSeeking_ = state_;
    state_ = state;
    scheduleItemEnd();
    if (notify == Notify::Yes)
        postLater(PlaybackStateDidChangeNotification);
}

void ScriptedMusicPlayer::moveTo(std::optional<std::size_t> index, Notify notify)
{
    anchorPosition();
    current_ = index;
    positionAtAnchor_ = 0;
    scheduleItemEnd();
    if (notify == Notify::Yes)
        postLater(NowPlayingItemDidChangeNotification);
}

void ScriptedMusicPlayer::stopWithNoItem(Notify notify)
{
    moveTo(std::nullopt, notify);
    if (state_ != PlaybackState::Stopped)
        changeState(PlaybackState::Stopped, notify);
}

void ScriptedMusicPlayer::skipBy(int step)
{
    if (!current_ || queue_.empty())
        return;
    const auto count = static_cast<std::ptrdiff_t>(queue_.size());
    std::ptrdiff_t next = static_cast<std::ptrdiff_t>(*current_) + step;
    if (next < 0 || next >= count) {
        if (repeatMode_ != RepeatMode::All) {
            stopWithNoItem(Notify::Yes);
            return;
        }
        next = (next % count + count) % count;
    }
    moveTo(static_cast<std::size_t>(next), Notify::Yes);
}

void ScriptedMusicPlayer::scheduleItemEnd()
{
    ++endGeneration_;
    endTimer_.reset();
    endDeadline_.reset();
    if (!hasItem())
        return;
    const double rate = rateForState(state_);
    const double duration = queue_[*current_]->playbackDurationValue();
    // An item without a known length plays on until something else changes.
    if (rate <= 0 || !(duration > 0) || !std::isfinite(duration) || !std::isfinite(positionAtAnchor_))
        return;
    const double remainingSeconds = std::max(0.0, (duration - positionAtAnchor_) / rate);
    const Nanoseconds deadline = anchor_ + nanosecondsFromSeconds(remainingSeconds);
    endDeadline_ = deadline;
    const std::uint64_t generation = endGeneration_;
    const Nanoseconds now = clock_.now();
    if (deadline <= now) {
        // Already over (a position set past the end): handled at the next turn, not inside the caller.
        std::weak_ptr<int> alive = alive_;
        runLoop_.post([this, alive, generation] {
            if (!alive.expired())
                itemDidEnd(generation);
        });
        return;
    }
    endTimer_ = runLoop_.scheduledTimer(secondsFromNanoseconds(deadline - now),
                                        [this, generation] { itemDidEnd(generation); });
}

void ScriptedMusicPlayer::itemDidEnd(std::uint64_t generation)
{
    if (generation != endGeneration_ || !endDeadline_ || !current_)
        return;
    if (endTimer_)
        endTimer_->invalidate();
    const Nanoseconds endedAt = *endDeadline_;
    std::optional<std::size_t> next;
    if (repeatMode_ == RepeatMode::One)
        next = *current_;
    else if (*current_ + 1 < queue_.size())
        next = *current_ + 1;
    else if (repeatMode_ == RepeatMode::All)
        next = 0;

    if (!next) {
        stopWithNoItem(Notify::Yes);
        return;
    }
    // The next item began when the last one ended, however late this runs.
    current_ = next;
    positionAtAnchor_ = 0;
    anchor_ = endedAt;
    scheduleItemEnd();
    postLater(NowPlayingItemDidChangeNotification);
}

void ScriptedMusicPlayer::postLater(const char* name)
{
    if (!generating_)
        return;
    std::weak_ptr<int> alive = alive_;
    runLoop_.post([this, alive, name] {
        if (alive.expired() || !generating_)
            return;
        center_.post(Notification{name, static_cast<const MusicPlayer*>(this)});
    });
}

// --- Commands -------------------------------------------------------------------

void ScriptedMusicPlayer::play()
{
    record("play");
    if (!hasItem() || state_ == PlaybackState::Playing)
        return;
    changeState(PlaybackState::Playing, Notify::Yes);
}

void ScriptedMusicPlayer::pause()
{
    record("pause");
    switch (state_) {
    case PlaybackState::Playing:
    case PlaybackState::Interrupted:
    case PlaybackState::SeekingForward:
    case PlaybackState::SeekingBackward:
        changeState(PlaybackState::Paused, Notify::Yes);
        return;
    default:
        return;
    }
}

void ScriptedMusicPlayer::beginSeekingForward()
{
    record("beginSeekingForward");
    if (hasItem() && state_ != PlaybackState::SeekingForward)
        changeState(PlaybackState::SeekingForward, Notify::Yes);
}

void ScriptedMusicPlayer::beginSeekingBackward()
{
    record("beginSeekingBackward");
    if (hasItem() && state_ != PlaybackState::SeekingBackward)
        changeState(PlaybackState::SeekingBackward, Notify::Yes);
}

void ScriptedMusicPlayer::endSeeking()
{
    record("endSeeking");
    if (isSeeking(state_))
        changeState(stateBeforeSeeking_, Notify::Yes);
}

void ScriptedMusicPlayer::setCurrentPlaybackTime(double seconds)
{
    char text[40];
    std::snprintf(text, sizeof text, "setCurrentPlaybackTime:%g", seconds);
    record(text);
    if (!hasItem())
        return;
    double position = std::isfinite(seconds) ? std::max(0.0, seconds) : 0.0;
    const double duration = queue_[*current_]->playbackDurationValue();
    if (duration > 0)
        position = std::min(position, duration);
    // Reaching the end ends the item, at the next turn, as playing through would.
    setTime(position);
}

void ScriptedMusicPlayer::skipToNextItem()
{
    record("skipToNextItem");
    skipBy(+1);
}

void ScriptedMusicPlayer::skipToPreviousItem()
{
    record("skipToPreviousItem");
    skipBy(-1);
}

void ScriptedMusicPlayer::setRepeatMode(std::int32_t mode)
{
    record("setRepeatMode:" + std::to_string(mode));
    repeatMode_ = mode;
}

void ScriptedMusicPlayer::setQueueWithItemCollection(const MediaItemCollection& collection)
{
    record("setQueueWithItemCollection:" + std::to_string(collection.count()));
    anchorPosition();
    current_.reset();
    queue_ = collection.items;
    if (queue_.empty()) {
        stopWithNoItem(Notify::Yes);
        return;
    }
    moveTo(0, Notify::Yes);
}

void ScriptedMusicPlayer::beginGeneratingPlaybackNotifications()
{
    record("beginGeneratingPlaybackNotifications");
    generating_ = true;
}

void ScriptedMusicPlayer::endGeneratingPlaybackNotifications()
{
    record("endGeneratingPlaybackNotifications");
    generating_ = false;
}

// --- The audio route --------------------------------------------------------------

void ScriptedMusicPlayer::setVolume(float volume)
{
    volume_ = std::isnan(volume) ? 0.0f : std::clamp(volume, 0.0f, 1.0f);
}

bool ScriptedMusicPlayer::setOutputDevice(const std::string& name)
{
    if (!name.empty() && std::find(devices_.begin(), devices_.end(), name) == devices_.end()) {
        std::fprintf(stderr, "spoolora: cannot open the audio device \"%s\": no such device\n", name.c_str());
        return false;
    }
    if (name != device_)
        ++outputSwitches_;
    device_ = name;
    return true;
}

// --- Script hooks -----------------------------------------------------------------

void ScriptedMusicPlayer::setNowPlayingItem(MediaItemPtr item, Notify notify)
{
    if (!item) {
        moveTo(std::nullopt, notify);
        return;
    }
    if (current_) {
        queue_[*current_] = std::move(item);
        moveTo(current_, notify);
        return;
    }
    queue_.push_back(std::move(item));
    moveTo(queue_.size() - 1, notify);
}

void ScriptedMusicPlayer::setQueue(std::vector<MediaItemPtr> items, Notify notify)
{
    anchorPosition();
    current_.reset();
    queue_ = std::move(items);
    moveTo(queue_.empty() ? std::nullopt : std::optional<std::size_t>(0), notify);
}

void ScriptedMusicPlayer::setState(std::int32_t state, Notify notify)
{
    // A script may repeat a state to have its notification delivered again.
    changeState(state, notify);
}

void ScriptedMusicPlayer::setTime(double seconds)
{
    positionAtAnchor_ = seconds;
    anchor_ = clock_.now();
    scheduleItemEnd();
}

} // namespace platform::headless
