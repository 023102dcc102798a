#include "media/SystemMusicPlayer.h"

#include "media/MediaTags.h"
#include "media/QueueOrder.h"

#include <algorithm>
#include <cmath>

namespace media {

using platform::PlaybackState::Interrupted;
using platform::PlaybackState::Paused;
using platform::PlaybackState::Playing;
using platform::PlaybackState::SeekingBackward;
using platform::PlaybackState::SeekingForward;
using platform::PlaybackState::Stopped;

namespace {

// How often the main thread catches up with the audio: item changes and the queue's
// end show within the short interval (taken while one may be near), a lost device
// and whatever else within the long one.
constexpr double refreshIntervalSeconds = 0.05;
constexpr double slowRefreshIntervalSeconds = 0.25;
// An item end this close, in real time, may be near: the player catches up often.
constexpr double nearTheEndSeconds = 0.5;
// A lost device is tried again this often while the player is interrupted.
constexpr double reopenIntervalSeconds = 1.0;
constexpr double reviewStartSnapSeconds = 0.001;

} // namespace

SystemMusicPlayer::SystemMusicPlayer(platform::RunLoop& runLoop, platform::NotificationCenter& center,
                                     PlayerOptions options)
    : runLoop_(runLoop),
      center_(center),
      paths_(std::make_shared<const std::vector<std::string>>()),
      // Sized for the rate asked; a device that gives a higher one leaves less slack, no less sound.
      ring_(std::make_unique<AudioRing>(DecodeWorker::ringBlocksFor(options.preferredRate))),
      output_(std::make_unique<AudioOutput>(*ring_, options.preferredRate)),
      worker_(std::make_unique<DecodeWorker>(*ring_, output_->sampleRate(), options.replayGain))
{
    paceRefresh();
}

SystemMusicPlayer::~SystemMusicPlayer() = default;

// --- Reading -------------------------------------------------------------------------------

platform::MediaItemPtr SystemMusicPlayer::nowPlayingItem() const
{
    return current_ ? queue_[*current_] : nullptr;
}

std::uint64_t SystemMusicPlayer::indexOfNowPlayingItem() const
{
    return current_ ? static_cast<std::uint64_t>(*current_) : platform::NotFound;
}

std::optional<SystemMusicPlayer::DevicePoint> SystemMusicPlayer::devicePoint(const PlayedReport& report) const
{
    if (report.markCount == 0)
        return std::nullopt;
    const double rate = output_->sampleRate();
    const double handed = double(report.handedFrames);
    const double latest = std::max(0.0, handed - output_->latencyFrames());
    // The device plays on from what it was handed, at its own rate, but never past it.
    const double sinceSeconds = double(monotonicNowNs() - report.handedAtNs) / 1e9;
    const double played = std::clamp(latest + std::max(0.0, sinceSeconds) * rate, latest, handed);
    int at = 0;
    for (int i = 0; i < report.markCount; ++i)
        if (double(report.marks[std::size_t(i)].frame) <= played)
            at = i;
    const PlayedMark& mark = report.marks[std::size_t(at)];
    const double offsetFrames = std::max(0.0, played - double(mark.frame));
    return DevicePoint{mark, mark.position + offsetFrames * mark.rate / rate, played};
}

double SystemMusicPlayer::currentPlaybackTime() const
{
    if (!current_)
        return 0;
    if (deviceLost_)
        return frozenPosition_;
    const auto point = devicePoint(output_->report());
    if (!point || point->mark.epoch != epoch_)
        return programPosition_;
    if (point->mark.item != static_cast<std::int32_t>(*current_)) {
        // The next item is already heard and the main thread has not caught up yet:
        // the current one has ended.
        const double duration = queue_[*current_]->playbackDurationValue();
        return duration > 0 ? duration : programPosition_;
    }
    // Review ends on the item's start give or take the rounding of its stretches.
    if (point->mark.rate < 0 && point->position < reviewStartSnapSeconds)
        return 0;
    return std::max(0.0, point->position);
}

bool SystemMusicPlayer::isSeeking() const noexcept
{
    return state_ == SeekingForward || state_ == SeekingBackward;
}

bool SystemMusicPlayer::isRunning() const noexcept
{
    return !deviceLost_ && (state_ == Playing || isSeeking());
}

Motion SystemMusicPlayer::motionForState() const noexcept
{
    if (state_ == SeekingForward)
        return Motion::Cue;
    if (state_ == SeekingBackward)
        return Motion::Review;
    return Motion::Play;
}

PlayerSnapshot SystemMusicPlayer::snapshot() const
{
    PlayerSnapshot saved;
    saved.queue = *paths_;
    saved.index = current_;
    saved.position = currentPlaybackTime();
    saved.playbackState = state_;
    saved.repeatMode = repeatMode_;
    return saved;
}

// --- Inner workings ----------------------------------------------------------------------

void SystemMusicPlayer::post(const char* name)
{
    if (!generating_)
        return;
    std::weak_ptr<int> alive = alive_;
    runLoop_.post([this, alive, name] {
        if (alive.expired() || !generating_)
            return;
        center_.post(platform::Notification{name, static_cast<const platform::MusicPlayer*>(this)});
    });
}

void SystemMusicPlayer::noteChange()
{
    if (changed_)
        changed_();
}

void SystemMusicPlayer::changeState(std::int32_t state)
{
    if (state == SeekingForward || state == SeekingBackward) {
        if (!isSeeking())
            stateBeforeSeeking_ = state_;
    }
    state_ = state;
    post(platform::PlaybackStateDidChangeNotification);
}

void SystemMusicPlayer::startProgram(double position)
{
    ++epoch_;
    programPosition_ = std::max(0.0, std::isfinite(position) ? position : 0.0);
    reportedAny_ = false;
    output_->setEpoch(epoch_);
    DecodeProgram program;
    program.epoch = epoch_;
    program.paths = paths_;
    program.item = current_ ? static_cast<std::int32_t>(*current_) : -1;
    program.position = programPosition_;
    program.motion = motionForState();
    program.repeatMode = repeatMode_;
    worker_->start(std::move(program));
    output_->setRunning(isRunning());
    paceRefresh();
}

void SystemMusicPlayer::setCurrent(std::size_t index)
{
    current_ = index;
    if (index < unread_.size() && unread_[index] && queue_[index]) {
        unread_[index] = false;
        try {
            queue_[index] = readMediaItem(queue_[index]->location);
        } catch (const DecodeError&) {
            // Left as it is: the decoder says what is wrong with it when it gets there.
        }
    }
}

void SystemMusicPlayer::stopWithNoItem()
{
    current_.reset();
    const bool wasStopped = state_ == Stopped;
    state_ = Stopped;
    startProgram(0);
    post(platform::NowPlayingItemDidChangeNotification);
    if (!wasStopped)
        post(platform::PlaybackStateDidChangeNotification);
    noteChange();
}

bool SystemMusicPlayer::changeMayBeNear() const
{
    if (!current_ || !isRunning() || state_ == SeekingBackward)
        return false;
    if (!reportedAny_)
        return true;   // the program's first sound is still to come, or an entry to be skipped
    const double duration = queue_[*current_]->playbackDurationValue();
    if (duration <= 0)
        return true;
    const double speed = state_ == SeekingForward ? DecodeWorker::seekSpeed : 1;
    return (duration - currentPlaybackTime()) / speed < nearTheEndSeconds;
}

void SystemMusicPlayer::paceRefresh()
{
    const double interval = changeMayBeNear() ? refreshIntervalSeconds : slowRefreshIntervalSeconds;
    if (refreshTimer_ && refreshInterval_ == interval)
        return;
    refreshInterval_ = interval;
    refreshTimer_ = runLoop_.scheduledTimer(interval, [this] {
        refresh();
        output_->parkWhenSilent();
        paceRefresh();
    });
    // Looking a little late costs nothing, and while the reels turn the look then
    // rides on a frame's wake-up instead of waking the program on its own.
    refreshTimer_->setTolerance(interval / 2);
}

void SystemMusicPlayer::refresh()
{
    if (!current_)
        return;
    const platform::Nanoseconds now = clock_.now();
    if (!deviceLost_ && output_->isDeviceLost()) {
        frozenPosition_ = currentPlaybackTime();
        deviceLost_ = true;
        output_->simulateDeviceLoss();   // from now on the callback takes nothing
        output_->setRunning(false);
        lastReopenAttempt_ = now;
        if (state_ == Playing || isSeeking()) {
            changeState(Interrupted);
            noteChange();
        }
        return;
    }
    if (deviceLost_) {
        // The interruption ends when a device opens again; the listener then carries on.
        if (state_ == Interrupted &&
            platform::secondsFromNanoseconds(now - lastReopenAttempt_) >= reopenIntervalSeconds) {
            lastReopenAttempt_ = now;
            if (output_->reopen()) {
                deviceLost_ = false;
                state_ = Paused;
                startProgram(frozenPosition_);
                post(platform::PlaybackStateDidChangeNotification);
            }
        }
        return;
    }

    const PlayedReport report = output_->report();
    const auto point = devicePoint(report);
    if (report.endEpoch == epoch_ && point && point->playedFrame >= double(report.endFrame)) {
        stopWithNoItem();
        return;
    }
    if (point && point->mark.epoch == epoch_) {
        const PlayedMark& mark = point->mark;
        if (reportedAny_ && mark.item == reportedItem_ && mark.itemSerial == reportedSerial_)
            return;
        const bool changed = reportedAny_ || mark.item != static_cast<std::int32_t>(*current_);
        reportedAny_ = true;
        reportedItem_ = mark.item;
        reportedSerial_ = mark.itemSerial;
        if (changed && mark.item >= 0 && static_cast<std::size_t>(mark.item) < queue_.size()) {
            setCurrent(static_cast<std::size_t>(mark.item));
            post(platform::NowPlayingItemDidChangeNotification);
            noteChange();
        }
        return;
    }
    // Nothing of this program heard yet: the decoder may already know that an entry
    // was skipped, or that nothing in the queue plays at all.
    const DecodeStatus status = worker_->status();
    if (status.epoch != epoch_)
        return;
    if (status.endedWithoutSound) {
        stopWithNoItem();
        return;
    }
    if (status.firstItem >= 0 && static_cast<std::size_t>(status.firstItem) != *current_ &&
        static_cast<std::size_t>(status.firstItem) < queue_.size()) {
        setCurrent(static_cast<std::size_t>(status.firstItem));
        programPosition_ = 0;
        post(platform::NowPlayingItemDidChangeNotification);
        noteChange();
    }
}

// --- Commands ------------------------------------------------------------------------------

void SystemMusicPlayer::play()
{
    refresh();
    if (!current_ || state_ == Playing)
        return;
    if (deviceLost_) {
        if (!output_->reopen())
            return;
        deviceLost_ = false;
        state_ = Playing;
        startProgram(frozenPosition_);
    } else if (isSeeking()) {
        const double position = currentPlaybackTime();
        state_ = Playing;
        startProgram(position);
    } else {
        state_ = Playing;
        output_->setRunning(true);
        paceRefresh();
    }
    post(platform::PlaybackStateDidChangeNotification);
    noteChange();
}

void SystemMusicPlayer::pause()
{
    refresh();
    if (state_ == Playing || state_ == Interrupted) {
        state_ = Paused;
        output_->setRunning(false);
    } else if (isSeeking()) {
        const double position = currentPlaybackTime();
        state_ = Paused;
        startProgram(position);
    } else {
        return;
    }
    post(platform::PlaybackStateDidChangeNotification);
    noteChange();
}

void SystemMusicPlayer::beginSeekingForward()
{
    refresh();
    if (!current_ || state_ == SeekingForward)
        return;
    const double position = currentPlaybackTime();
    changeState(SeekingForward);
    startProgram(position);
}

void SystemMusicPlayer::beginSeekingBackward()
{
    refresh();
    if (!current_ || state_ == SeekingBackward)
        return;
    const double position = currentPlaybackTime();
    changeState(SeekingBackward);
    startProgram(position);
}

void SystemMusicPlayer::endSeeking()
{
    refresh();
    if (!isSeeking())
        return;
    const double position = currentPlaybackTime();
    changeState(stateBeforeSeeking_);
    startProgram(position);
    noteChange();
}

void SystemMusicPlayer::setCurrentPlaybackTime(double seconds)
{
    refresh();
    if (!current_)
        return;
    double position = std::isfinite(seconds) ? std::max(0.0, seconds) : 0.0;
    const double duration = queue_[*current_]->playbackDurationValue();
    if (duration > 0)
        position = std::min(position, duration);
    if (deviceLost_) {
        frozenPosition_ = position;   // the reopened device starts there
    } else {
        startProgram(position);
    }
    noteChange();
}

bool SystemMusicPlayer::setOutputDevice(const std::string& name)
{
    refresh();
    if (!deviceLost_ && name == output_->deviceName())
        return true;
    const double position = deviceLost_ ? frozenPosition_ : currentPlaybackTime();
    const bool moved = output_->switchTo(name);
    if (output_->isDeviceLost()) {
        // Nothing opened at all: the next refresh finds the device lost and interrupts.
        return false;
    }
    if (deviceLost_) {
        deviceLost_ = false;
        if (state_ == Interrupted) {
            state_ = Paused;
            post(platform::PlaybackStateDidChangeNotification);
        }
    }
    startProgram(position);
    return moved;
}

void SystemMusicPlayer::skipBy(int step)
{
    refresh();
    if (!current_ || queue_.empty())
        return;
    const auto next = skipTarget(*current_, queue_.size(), step, repeatMode_);
    if (!next) {
        stopWithNoItem();
        return;
    }
    setCurrent(*next);
    startProgram(0);
    post(platform::NowPlayingItemDidChangeNotification);
    noteChange();
}

void SystemMusicPlayer::skipToNextItem()
{
    skipBy(+1);
}

void SystemMusicPlayer::skipToPreviousItem()
{
    skipBy(-1);
}

void SystemMusicPlayer::setRepeatMode(std::int32_t mode)
{
    repeatMode_ = mode;
    worker_->setRepeatMode(mode);
}

void SystemMusicPlayer::setQueueWithItemCollection(const platform::MediaItemCollection& collection)
{
    refresh();
    queue_ = collection.items;
    unread_.clear();
    auto paths = std::make_shared<std::vector<std::string>>();
    paths->reserve(queue_.size());
    for (const platform::MediaItemPtr& item : queue_)
        paths->push_back(item ? item->location : std::string());
    paths_ = std::move(paths);
    if (queue_.empty()) {
        stopWithNoItem();
        return;
    }
    current_ = 0;
    startProgram(0);
    post(platform::NowPlayingItemDidChangeNotification);
    noteChange();
}

void SystemMusicPlayer::beginGeneratingPlaybackNotifications()
{
    generating_ = true;
}

void SystemMusicPlayer::endGeneratingPlaybackNotifications()
{
    generating_ = false;
}

void SystemMusicPlayer::setReplayGainMode(ReplayGainMode mode)
{
    worker_->setReplayGainMode(mode);
}

void SystemMusicPlayer::restore(const std::vector<platform::MediaItemPtr>& items, std::optional<std::size_t> index,
                                double position, std::int32_t repeatMode, std::vector<bool> unread)
{
    queue_ = items;
    unread_ = std::move(unread);
    auto paths = std::make_shared<std::vector<std::string>>();
    for (const platform::MediaItemPtr& item : queue_)
        paths->push_back(item ? item->location : std::string());
    paths_ = std::move(paths);
    repeatMode_ = repeatMode;
    worker_->setRepeatMode(repeatMode);
    if (index && *index < queue_.size()) {
        setCurrent(*index);
        state_ = Paused;
    } else {
        current_.reset();
        state_ = Stopped;
    }
    startProgram(current_ ? position : 0);
}

} // namespace media
