#include "media/AudioOutput.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <utility>

namespace media {

namespace {

// play and pause fade over this long, and so does the hand-over to a new position.
constexpr double fadeSeconds = 0.010;
// A change of volume spreads over this long.
constexpr double volumeRampSeconds = 0.005;
// A device paused this long is closed.
constexpr std::int64_t releaseAfterNs = 3'000'000'000;
// About 23 ms at 44.1 kHz: short enough for a skip to be heard at once, long
// enough for a loaded machine.
constexpr int deviceBufferFrames = 1024;

} // namespace

std::int64_t monotonicNowNs() noexcept
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

AudioOutput::AudioOutput(AudioRing& ring, int preferredRate) : ring_(ring)
{
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0 && open(preferredRate, true))
        return;
    std::fprintf(stderr, "spoolora: no audio output (%s); playing silently\n", SDL_GetError());
    if (SDL_WasInit(SDL_INIT_AUDIO))
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        throw std::runtime_error(std::string("SDL cannot start its audio: ") + SDL_GetError());
    if (!open(preferredRate, true)) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        throw std::runtime_error(std::string("SDL cannot open even its dummy audio device: ") + SDL_GetError());
    }
}

AudioOutput::~AudioOutput()
{
    if (device_)
        SDL_CloseAudioDevice(device_);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

bool AudioOutput::open(int rate, bool allowOtherRate)
{
    SDL_AudioSpec want{};
    want.freq = rate;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = deviceBufferFrames;
    want.callback = &AudioOutput::callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    const SDL_AudioDeviceID device =
        SDL_OpenAudioDevice(deviceName_.empty() ? nullptr : deviceName_.c_str(), 0, &want, &have,
                            allowOtherRate ? SDL_AUDIO_ALLOW_FREQUENCY_CHANGE : 0);
    if (device == 0)
        return false;
    device_ = device;
    rate_ = have.freq;
    bufferFrames_ = have.samples;
    fadeStep_ = static_cast<float>(1.0 / (fadeSeconds * rate_));
    volumeStep_ = static_cast<float>(1.0 / (volumeRampSeconds * rate_));
    const char* driver = SDL_GetCurrentAudioDriver();
    driver_ = driver ? driver : "";
    lost_.store(false, std::memory_order_release);
    parked_ = false;
    released_ = false;
    SDL_PauseAudioDevice(device_, 0);
    return true;
}

void AudioOutput::setRunning(bool running)
{
    if (!running)
        quiet_.store(false, std::memory_order_release);   // to be told again, after this fade
    running_.store(running, std::memory_order_release);
    if (!running)
        return;
    if (parked_ && device_) {
        SDL_PauseAudioDevice(device_, 0);
        parked_ = false;
    } else if (released_) {
        // A device that cannot be opened again is a lost one: the player sees it and interrupts.
        released_ = false;
        lost_.store(true, std::memory_order_release);
        openAgain();
    }
}

void AudioOutput::parkWhenSilent() noexcept
{
    if (released_ || !device_ || running_.load(std::memory_order_acquire))
        return;
    if (!parked_) {
        if (!quiet_.load(std::memory_order_acquire))
            return;
        // The callback has faded out and takes nothing more: SDL hands the device silence itself.
        SDL_PauseAudioDevice(device_, 1);
        parked_ = true;
        parkedAtNs_ = monotonicNowNs();
    } else if (monotonicNowNs() - parkedAtNs_ >= releaseAfterNs) {
        // The callback is not called while paused, so its state is as the next frame needs it.
        SDL_CloseAudioDevice(device_);
        device_ = 0;
        parked_ = false;
        released_ = true;
    }
}

void AudioOutput::setVolume(float volume) noexcept
{
    volume_.store(std::clamp(std::isnan(volume) ? 0.0f : volume, 0.0f, 1.0f), std::memory_order_relaxed);
}

bool AudioOutput::isDeviceLost() const
{
    if (released_)
        return false;   // closed on purpose while nothing plays
    return lost_.load(std::memory_order_acquire) || !device_ ||
           SDL_GetAudioDeviceStatus(device_) == SDL_AUDIO_STOPPED;
}

void AudioOutput::close() noexcept
{
    lost_.store(true, std::memory_order_release);
    if (device_)
        SDL_CloseAudioDevice(device_);   // waits for the callback to finish
    device_ = 0;
    parked_ = false;
    released_ = false;
    fade_ = 0;
}

bool AudioOutput::reopen()
{
    close();
    return openAgain();
}

bool AudioOutput::openAgain()
{
    if (open(rate_, false))
        return true;
    if (!deviceName_.empty()) {
        // The chosen device went away for good: the sound goes to the default one.
        const std::string gone = std::exchange(deviceName_, std::string());
        if (open(rate_, false)) {
            std::fprintf(stderr, "spoolora: the audio device \"%s\" is gone; playing on the default one\n",
                         gone.c_str());
            return true;
        }
    }
    std::fprintf(stderr, "spoolora: cannot open the audio device again: %s\n", SDL_GetError());
    return false;
}

std::vector<std::string> AudioOutput::deviceNames()
{
    std::vector<std::string> names;
    const int count = SDL_GetNumAudioDevices(0);
    for (int index = 0; index < count; ++index)
        if (const char* name = SDL_GetAudioDeviceName(index, 0); name && *name)
            names.emplace_back(name);
    return names;
}

bool AudioOutput::switchTo(const std::string& name)
{
    const std::string before = deviceName_;
    close();
    deviceName_ = name;
    if (open(rate_, false))
        return true;
    std::fprintf(stderr, "spoolora: cannot open the audio device \"%s\": %s\n",
                 name.empty() ? "default" : name.c_str(), SDL_GetError());
    deviceName_ = before;
    if (open(rate_, false))
        return false;
    // The one before is gone as well: the default, or no sound until play tries again.
    deviceName_.clear();
    open(rate_, false);
    return false;
}

void AudioOutput::callback(void* self, std::uint8_t* stream, int bytes) noexcept
{
    static_cast<AudioOutput*>(self)->render(reinterpret_cast<float*>(stream),
                                            bytes / int(2 * sizeof(float)));
}

void AudioOutput::addMark(std::uint64_t frame, const AudioBlock& block) noexcept
{
    if (building_.markCount == PlayedReport::markCapacity) {
        std::copy(building_.marks.begin() + 1, building_.marks.end(), building_.marks.begin());
        --building_.markCount;
    }
    building_.marks[std::size_t(building_.markCount++)] =
        PlayedMark{frame, block.epoch, block.item, block.itemSerial, block.position, block.rate};
}

void AudioOutput::rampVolume(float target) noexcept
{
    if (volumeNow_ != target)
        volumeNow_ = target > volumeNow_ ? std::min(target, volumeNow_ + volumeStep_)
                                         : std::max(target, volumeNow_ - volumeStep_);
}

int AudioOutput::crossfade(float* out, int frames, std::uint64_t epoch, std::int64_t now, float volumeTarget) noexcept
{
    const AudioBlock* head = ring_.readable();
    if (fade_ <= 0.0f || !head || head->epoch >= epoch)
        return 0;
    // The old sound is silent after this many frames; the whole fade happens in this callback.
    const int length = static_cast<int>(std::ceil(fade_ / fadeStep_));
    if (length > frames)
        return 0;
    // The new sound: the first block of the current command, and enough of the same
    // item behind it to cover the fade.
    std::size_t first = 1;
    AudioBlock* incoming = nullptr;
    while ((incoming = ring_.readableAhead(first)) && incoming->epoch < epoch)
        ++first;
    if (!incoming || incoming->epoch != epoch)
        return 0;
    int ready = 0;
    for (std::size_t at = first; ready < length; ++at) {
        const AudioBlock* block = ring_.readableAhead(at);
        if (!block || block->epoch != epoch || (block->flags & AudioBlock::endOfQueue) ||
            block->itemSerial != incoming->itemSerial)
            return 0;
        ready += int(block->frames);
    }
    if (!ring_.admit(*incoming))
        return 0;

    const std::uint64_t handedBefore = building_.handedFrames;
    addMark(handedBefore, *incoming);
    building_.firstSoundEpoch = epoch;
    building_.firstSoundAtNs = now;
    float gainIn = 0.0f;
    std::size_t oldAt = 0, inAt = first;
    std::uint32_t inOffset = 0;
    const AudioBlock* in = incoming;
    for (int k = 0; k < length; ++k) {
        fade_ = std::max(0.0f, fade_ - fadeStep_);
        gainIn = std::min(1.0f, gainIn + fadeStep_);
        rampVolume(volumeTarget);
        float left = 0.0f, right = 0.0f;
        // The old sound, while the stale blocks last (an end of the queue among them has no frames).
        while (oldAt < first && offset_ >= ring_.readableAhead(oldAt)->frames) {
            ++oldAt;
            offset_ = 0;
        }
        if (oldAt < first) {
            const float* old = ring_.readableAhead(oldAt)->samples + std::size_t(offset_) * 2;
            left = old[0] * fade_;
            right = old[1] * fade_;
            ++offset_;
        }
        if (inOffset == in->frames) {
            in = ring_.readableAhead(++inAt);
            inOffset = 0;
            addMark(handedBefore + std::uint64_t(k), *in);
        }
        const float* sound = in->samples + std::size_t(inOffset) * 2;
        left += sound[0] * gainIn;
        right += sound[1] * gainIn;
        ++inOffset;
        out[2 * k] = left * volumeNow_;
        out[2 * k + 1] = right * volumeNow_;
    }
    // The stale sound is dropped; the new goes on from here, fading in the rest of the way.
    for (std::size_t i = 0; i < inAt; ++i)
        ring_.release();
    offset_ = inOffset;
    if (offset_ >= in->frames) {
        ring_.release();
        offset_ = 0;
    }
    fade_ = gainIn;
    return length;
}

void AudioOutput::render(float* out, int frames) noexcept
{
    const std::int64_t now = monotonicNowNs();
    if (lost_.load(std::memory_order_acquire)) {
        // A removed device is still called on: nothing may be taken or counted.
        std::memset(out, 0, std::size_t(frames) * 2 * sizeof(float));
        return;
    }
    const std::uint64_t epoch = epoch_.load(std::memory_order_acquire);
    const bool running = running_.load(std::memory_order_acquire);
    const float volumeTarget = volume_.load(std::memory_order_relaxed);
    const std::uint64_t handedBefore = building_.handedFrames;

    int done = running ? crossfade(out, frames, epoch, now, volumeTarget) : 0;
    while (done < frames) {
        AudioBlock* block = ring_.readable();
        const bool stale = block && block->epoch < epoch;
        if (block && !stale && (block->flags & AudioBlock::endOfQueue)) {
            if (!running && fade_ <= 0)
                break;
            if (!ring_.admit(*block)) {
                ring_.release();   // taken back: something else follows after all
                continue;
            }
            // The music ends here by itself: nothing to fade.
            building_.endFrame = handedBefore + std::uint64_t(done);
            building_.endEpoch = block->epoch;
            ring_.release();
            offset_ = 0;
            fade_ = 0;
            continue;
        }
        const bool audible = running && block && !stale;
        if (!audible && fade_ <= 0) {
            if (stale) {
                ring_.release();
                offset_ = 0;
                continue;
            }
            break;   // paused, or waiting for sound
        }
        if (!block) {
            // Ran dry while sounding: what comes next fades in.
            fade_ = 0;
            break;
        }
        if (offset_ == 0) {
            if (!stale && !ring_.admit(*block)) {
                ring_.release();   // an item taken back before it began: the next block follows seamlessly
                continue;
            }
            addMark(handedBefore + std::uint64_t(done), *block);
            if (block->epoch != building_.firstSoundEpoch && block->epoch == epoch) {
                building_.firstSoundEpoch = block->epoch;
                building_.firstSoundAtNs = now + std::int64_t(double(done) * 1e9 / rate_);
            }
        }
        const float target = audible ? 1.0f : 0.0f;
        const int available = int(block->frames - offset_);
        int count = std::min(frames - done, available);
        const float* source = block->samples + std::size_t(offset_) * 2;
        float* target_out = out + std::size_t(done) * 2;
        int k = 0;
        // Frame by frame while a fade or a volume change is under way…
        for (; k < count && (fade_ != target || volumeNow_ != volumeTarget); ++k) {
            if (fade_ != target)
                fade_ = target > fade_ ? std::min(1.0f, fade_ + fadeStep_) : std::max(0.0f, fade_ - fadeStep_);
            rampVolume(volumeTarget);
            if (target == 0.0f && fade_ <= 0.0f) {
                count = k;   // faded out: this frame waits for the next start
                break;
            }
            const float gain = fade_ * volumeNow_;
            target_out[2 * k] = source[2 * k] * gain;
            target_out[2 * k + 1] = source[2 * k + 1] * gain;
        }
        // …then one gain for the rest of the stretch.
        if (k < count && target > 0.0f) {
            const float gain = fade_ * volumeNow_;
            for (int i = 2 * k; i < 2 * count; ++i)
                target_out[i] = source[i] * gain;
        }
        done += count;
        offset_ += std::uint32_t(count);
        if (offset_ >= block->frames) {
            ring_.release();
            offset_ = 0;
        }
    }
    if (done < frames)
        std::memset(out + std::size_t(done) * 2, 0, std::size_t(frames - done) * 2 * sizeof(float));
    quiet_.store(!running && fade_ <= 0.0f, std::memory_order_release);
    if (done == 0 && building_.endEpoch == reportedEndEpoch_)
        return;   // nothing new: the last report stands, and its time with it
    reportedEndEpoch_ = building_.endEpoch;
    if (done > 0) {
        building_.handedFrames = handedBefore + std::uint64_t(done);
        building_.handedAtNs = now;
    }
    report_.store(building_);
}

} // namespace media
