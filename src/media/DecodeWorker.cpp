#include "media/DecodeWorker.h"

#include "media/AudioDecoder.h"
#include "media/QueueOrder.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <pthread.h>

namespace media {

namespace {

// How far ahead of the listener the thread decodes: it fills the ring to half a
// second ahead, then sleeps until the listener has used half of that, so that it
// wakes a few times a second for a run of decoding rather than for every packet.
// The ring holds more than twice this (ringBlocksFor), so that after a skip the new
// sound finds room while the stale still waits to be dropped by the callback.
constexpr double fillAheadSeconds = 0.5;
constexpr double refillBelowSeconds = 0.25;
// A ring due for a refill within this long is refilled at once.
constexpr double toppedUpBelowSeconds = 0.05;
// Review plays the music backwards in stretches of this much source (a fifth of a
// second of sound at three times the speed).
constexpr double reviewStretchSeconds = 0.6;
// Cue and review sound about 12 dB below the music, as a tape deck's do.
constexpr float seekingGain = 0.2511886f;
// A ring full of stale sound is looked at again after this long.
constexpr auto fullRingWait = std::chrono::milliseconds(10);
// The shortest sleep worth taking.
constexpr auto shortestWait = std::chrono::milliseconds(2);

std::string fileNameOf(const std::string& path)
{
    const std::string name = std::filesystem::path(path).filename().string();
    return name.empty() ? path : name;
}

} // namespace

std::size_t DecodeWorker::ringBlocksFor(int outputRate) noexcept
{
    const auto needed = static_cast<std::size_t>(
        std::ceil(2 * fillAheadSeconds * std::max(outputRate, 8000) / AudioBlock::capacityFrames));
    std::size_t blocks = 1;
    while (blocks < needed)
        blocks *= 2;
    return blocks;
}

DecodeWorker::DecodeWorker(AudioRing& ring, int outputRate, ReplayGainMode replayGain)
    : ring_(ring), outputRate_(outputRate), replayGainMode_(replayGain)
{
    thread_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "spoolora-decode");
        run();
    });
}

DecodeWorker::~DecodeWorker()
{
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void DecodeWorker::start(DecodeProgram program)
{
    {
        std::lock_guard lock(mutex_);
        repeatMode_ = program.repeatMode;
        program_ = std::move(program);
        status_ = DecodeStatus{program_.epoch, -1, false, 0};
    }
    wake_.notify_one();
}

void DecodeWorker::setRepeatMode(std::int32_t mode)
{
    {
        std::lock_guard lock(mutex_);
        repeatMode_ = mode;
    }
    wake_.notify_one();
}

void DecodeWorker::setReplayGainMode(ReplayGainMode mode)
{
    std::lock_guard lock(mutex_);
    replayGainMode_ = mode;
}

DecodeStatus DecodeWorker::status() const
{
    std::lock_guard lock(mutex_);
    return status_;
}

void DecodeWorker::run()
{
    std::unique_lock lock(mutex_);
    while (!quit_) {
        if (program_.epoch != active_.epoch) {
            active_ = program_;
            lock.unlock();
            begin();
            lock.lock();
            continue;
        }
        if (active_.repeatMode != repeatMode_) {
            const std::int32_t mode = repeatMode_;
            lock.unlock();
            reconsider(mode);
            lock.lock();
            continue;
        }
        const std::optional<std::chrono::nanoseconds> rest = restBeforeWork();
        if (!rest) {
            wake_.wait(lock);   // until a new program or the end
        } else if (rest->count() == 0) {
            lock.unlock();
            step();
            lock.lock();
        } else {
            wake_.wait_for(lock, *rest);
        }
    }
}

std::optional<std::chrono::nanoseconds> DecodeWorker::restBeforeWork()
{
    if (idle_)
        return std::nullopt;
    if (!ring_.writable())
        return fullRingWait;
    const auto blocksFor = [this](double seconds) {
        return static_cast<std::uint64_t>(std::ceil(seconds * outputRate_ / AudioBlock::capacityFrames));
    };
    const std::uint64_t ahead = ring_.written() - std::max(ring_.released(), epochStartWritten_);
    if (filling_ && ahead < blocksFor(fillAheadSeconds))
        return std::chrono::nanoseconds(0);
    filling_ = false;
    const std::uint64_t refillAt = blocksFor(refillBelowSeconds);
    if (ahead < refillAt) {
        filling_ = true;
        return std::chrono::nanoseconds(0);
    }
    // The listener takes the ring at the output's rate (or not at all while paused:
    // then this simply looks again).
    const double seconds = double((ahead - refillAt) * AudioBlock::capacityFrames) / outputRate_;
    if (seconds < toppedUpBelowSeconds) {
        // Nearly due: topped up now. Paused just above the refill mark, the thread would
        // otherwise look again every few milliseconds for as long as the pause lasts.
        filling_ = true;
        return std::chrono::nanoseconds(0);
    }
    return std::max<std::chrono::nanoseconds>(shortestWait, std::chrono::nanoseconds(std::int64_t(seconds * 1e9)));
}

void DecodeWorker::begin()
{
    decoder_.reset();
    pending_.clear();
    pendingOffset_ = 0;
    block_ = nullptr;   // never published: the slot is simply written again
    item_ = -1;
    itemSerial_ = 0;
    boundaries_.clear();
    failuresInARow_ = 0;
    anySound_ = false;
    endPending_ = false;
    filling_ = true;
    epochStartWritten_ = ring_.written();
    idle_ = active_.item < 0 || !active_.paths || static_cast<std::size_t>(active_.item) >= active_.paths->size();
    if (idle_)
        return;
    rate_ = active_.motion == Motion::Play ? 1.0 : active_.motion == Motion::Cue ? seekSpeed : -seekSpeed;
    if (active_.motion == Motion::Review) {
        if (!openItem(active_.item, 0))
            idle_ = true;
        reviewPosition_ = std::max(0.0, active_.position);
        return;
    }
    if (!openItem(active_.item, active_.position))
        moveToNextItem(true);
}

bool DecodeWorker::openItem(std::int32_t item, double position)
{
    const std::string& path = (*active_.paths)[static_cast<std::size_t>(item)];
    ReplayGainMode mode;
    {
        std::lock_guard lock(mutex_);
        mode = replayGainMode_;
    }
    try {
        auto decoder = std::make_unique<AudioDecoder>(path, outputRate_);
        // A fresh decoder starts at the exact start, with the encoder's delay trimmed.
        if (position > 0)
            decoder->seek(position);
        gain_ = replayGainFactor(decoder->tags(), mode) * (active_.motion == Motion::Play ? 1.0f : seekingGain);
        decoder_ = std::move(decoder);
    } catch (const DecodeError& error) {
        std::fprintf(stderr, "spoolora: cannot play \"%s\": %s\n", fileNameOf(path).c_str(), error.what());
        return false;
    }
    if (item_ >= 0 && block_)
        closeBlock();
    item_ = item;
    itemHadSound_ = false;
    startedPartWay_ = position > 0;
    pendingPosition_ = std::max(0.0, position);
    std::lock_guard lock(mutex_);
    if (status_.epoch == active_.epoch && status_.firstItem < 0)
        status_.firstItem = item;
    return true;
}

std::optional<std::size_t> DecodeWorker::successor(const Boundary& boundary, std::int32_t repeatMode) const
{
    const std::size_t count = active_.paths->size();
    if ((boundary.failed ? boundary.failuresBefore + 1 : 0) >= count)
        return std::nullopt;
    const auto from = static_cast<std::size_t>(boundary.fromItem);
    // A failed entry is never repeated by itself: the queue moves on.
    return boundary.failed ? skipTarget(from, count, +1, repeatMode) : itemAfter(from, count, repeatMode);
}

void DecodeWorker::moveToNextItem(bool failed)
{
    std::int32_t current = item_ >= 0 ? item_ : active_.item;
    for (;;) {
        decoder_.reset();
        // Every item begun, and the queue's end, has a number of its own.
        Boundary boundary{++itemSerial_, current, failed, failuresInARow_, std::nullopt};
        const auto next = boundary.next = successor(boundary, active_.repeatMode);
        if (boundaries_.size() == maxBoundaries)
            boundaries_.erase(boundaries_.begin());
        boundaries_.push_back(boundary);
        failuresInARow_ = failed ? failuresInARow_ + 1 : 0;
        {
            std::lock_guard lock(mutex_);
            if (status_.epoch == active_.epoch)
                status_.itemSerial = itemSerial_;
        }
        if (!next) {
            endPending_ = true;
            return;
        }
        if (openItem(static_cast<std::int32_t>(*next), 0))
            return;
        current = static_cast<std::int32_t>(*next);
        failed = true;
    }
}

void DecodeWorker::reconsider(std::int32_t repeatMode)
{
    active_.repeatMode = repeatMode;
    if (active_.motion == Motion::Review || !active_.paths)
        return;
    // The first item end decided otherwise than the new mode would, whose next item
    // the listener has not begun yet, is decided again.
    for (auto at = boundaries_.begin(); at != boundaries_.end(); ++at) {
        if (at->next == successor(*at, repeatMode))
            continue;
        if (!ring_.withdrawItems(active_.epoch, at->serial, itemSerial_))
            continue;   // already heard: the new mode applies from the next end on
        const Boundary boundary = *at;
        boundaries_.erase(at, boundaries_.end());
        decoder_.reset();
        pending_.clear();
        pendingOffset_ = 0;
        block_ = nullptr;   // of a withdrawn item: never published
        endPending_ = false;
        idle_ = false;
        filling_ = true;
        item_ = boundary.fromItem;
        failuresInARow_ = boundary.failuresBefore;
        moveToNextItem(boundary.failed);
        return;
    }
}

void DecodeWorker::step()
{
    if (pendingOffset_ * 2 < pending_.size()) {
        pushPending();
        return;
    }
    if (endPending_) {
        closeBlock();
        if (writeEnd()) {
            endPending_ = false;
            idle_ = true;
        }
        return;
    }
    if (active_.motion == Motion::Review) {
        stepReview();
        return;
    }
    if (!decoder_) {
        idle_ = true;
        return;
    }
    pending_.clear();
    pendingOffset_ = 0;
    const int speed = active_.motion == Motion::Cue ? seekSpeed : 1;
    if (decoder_->decodeInto(pending_, speed)) {
        itemHadSound_ = true;
        anySound_ = true;
        if (gain_ != 1.0f)
            for (float& sample : pending_)
                sample *= gain_;
        pushPending();
        return;
    }
    closeBlock();
    // An item entered at (or past) its end, after a jump, ended as playing through would.
    const bool failed = !itemHadSound_ && !startedPartWay_;
    if (failed)
        std::fprintf(stderr, "spoolora: cannot play \"%s\": no sound in it\n",
                     fileNameOf((*active_.paths)[static_cast<std::size_t>(item_)]).c_str());
    moveToNextItem(failed);
}

void DecodeWorker::stepReview()
{
    if (reviewPosition_ <= 0 || !decoder_) {
        // Review stops at the item's start.
        closeBlock();
        idle_ = true;
        return;
    }
    const double from = std::max(0.0, reviewPosition_ - reviewStretchSeconds);
    pending_.clear();
    pendingOffset_ = 0;
    try {
        decoder_->decodeStretch(from, reviewPosition_, seekSpeed, pending_);
    } catch (const DecodeError& error) {
        std::fprintf(stderr, "spoolora: cannot review \"%s\": %s\n",
                     fileNameOf((*active_.paths)[static_cast<std::size_t>(item_)]).c_str(), error.what());
        idle_ = true;
        return;
    }
    // The stretch backwards: the last frame first.
    const std::size_t frames = pending_.size() / 2;
    for (std::size_t i = 0; i < frames / 2; ++i) {
        std::swap(pending_[2 * i], pending_[2 * (frames - 1 - i)]);
        std::swap(pending_[2 * i + 1], pending_[2 * (frames - 1 - i) + 1]);
    }
    for (float& sample : pending_)
        sample *= gain_;
    if (!block_)
        pendingPosition_ = reviewPosition_;
    reviewPosition_ = from;
    if (frames > 0)
        anySound_ = true;
    pushPending();
}

bool DecodeWorker::pushPending()
{
    const std::size_t total = pending_.size() / 2;
    while (pendingOffset_ < total) {
        if (!block_) {
            block_ = ring_.writable();
            if (!block_)
                return false;
            block_->frames = 0;
            block_->flags = 0;
            block_->epoch = active_.epoch;
            block_->item = item_;
            block_->itemSerial = itemSerial_;
            block_->position = pendingPosition_;
            block_->rate = rate_;
        }
        const std::size_t count =
            std::min<std::size_t>(AudioBlock::capacityFrames - block_->frames, total - pendingOffset_);
        std::memcpy(block_->samples + std::size_t(block_->frames) * 2, pending_.data() + pendingOffset_ * 2,
                    count * 2 * sizeof(float));
        block_->frames += static_cast<std::uint32_t>(count);
        pendingOffset_ += count;
        pendingPosition_ += double(count) * rate_ / outputRate_;
        if (block_->frames == AudioBlock::capacityFrames) {
            ring_.publish();
            block_ = nullptr;
        }
    }
    return true;
}

bool DecodeWorker::closeBlock()
{
    if (!block_)
        return true;
    if (block_->frames > 0)
        ring_.publish();
    block_ = nullptr;
    return true;
}

bool DecodeWorker::writeEnd()
{
    AudioBlock* end = ring_.writable();
    if (!end)
        return false;
    end->frames = 0;
    end->flags = AudioBlock::endOfQueue;
    end->epoch = active_.epoch;
    end->item = item_;
    end->itemSerial = itemSerial_;
    end->position = pendingPosition_;
    end->rate = rate_;
    ring_.publish();
    std::lock_guard lock(mutex_);
    if (status_.epoch == active_.epoch && !anySound_)
        status_.endedWithoutSound = true;
    return true;
}

} // namespace media
