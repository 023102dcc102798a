#pragma once
// The hand-over between the decoding thread and the audio callback: a ring of
// fixed-size blocks of float stereo frames, one writer and one reader, no locks
// and no allocation once built. Each block says where its sound comes from (which
// program, which queue entry, which source position and at which speed), so the
// reader can skip what a later command made stale and the main thread can tell
// what the listener hears.

#include <atomic>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace media {

struct AudioBlock {
    static constexpr std::size_t capacityFrames = 512;
    static constexpr std::uint32_t endOfQueue = 1;   // no sound: the queue has run out here

    std::uint32_t frames = 0;
    std::uint32_t flags = 0;
    // The command generation that produced the block; an older one is stale.
    std::uint64_t epoch = 0;
    // Queue index of the item, and a count that grows each time an item begins
    // within one epoch (so that an item repeated by itself still counts as a change).
    std::int32_t item = -1;
    std::uint32_t itemSerial = 0;
    // Source seconds at the first frame, and source seconds per output second
    // (1 playing, 3 cueing, -3 reviewing).
    double position = 0;
    double rate = 1;
    float samples[capacityFrames * 2];
};

class AudioRing {
public:
    // blockCount must be a power of two.
    explicit AudioRing(std::size_t blockCount) : blocks_(blockCount), mask_(blockCount - 1)
    {
        assert(blockCount > 0 && (blockCount & (blockCount - 1)) == 0 && "ring size must be a power of two");
    }
    AudioRing(const AudioRing&) = delete;
    AudioRing& operator=(const AudioRing&) = delete;

    std::size_t capacity() const noexcept { return blocks_.size(); }

    // Writer: the next free block, or nullptr when the ring is full. Fill it, then publish().
    AudioBlock* writable() noexcept
    {
        const std::uint64_t w = write_.load(std::memory_order_relaxed);
        if (w - read_.load(std::memory_order_acquire) >= blocks_.size())
            return nullptr;
        return &blocks_[w & mask_];
    }
    void publish() noexcept { write_.store(write_.load(std::memory_order_relaxed) + 1, std::memory_order_release); }

    // Reader: the oldest published block, or nullptr when there is none. release() frees it.
    AudioBlock* readable() noexcept
    {
        const std::uint64_t r = read_.load(std::memory_order_relaxed);
        if (r == write_.load(std::memory_order_acquire))
            return nullptr;
        return &blocks_[r & mask_];
    }
    void release() noexcept { read_.store(read_.load(std::memory_order_relaxed) + 1, std::memory_order_release); }
    // Reader: the published block `ahead` places after the oldest, or nullptr.
    AudioBlock* readableAhead(std::size_t ahead) noexcept
    {
        const std::uint64_t at = read_.load(std::memory_order_relaxed) + ahead;
        if (at >= write_.load(std::memory_order_acquire))
            return nullptr;
        return &blocks_[at & mask_];
    }

    // Counts of blocks ever published and released; any thread.
    std::uint64_t written() const noexcept { return write_.load(std::memory_order_acquire); }
    std::uint64_t released() const noexcept { return read_.load(std::memory_order_acquire); }

    // The writer decodes ahead, past the ends of items, so what follows an item is
    // decided before the listener gets there. When that decision changes (the repeat
    // mode did), the writer takes back the items not yet begun and writes others.
    //
    // Writer: takes back the items of `epoch` numbered `fromSerial` to `toSerial`
    // (their blocks are dropped unheard), unless the reader has already begun the
    // first of them: then returns false and nothing changes.
    bool withdrawItems(std::uint64_t epoch, std::uint32_t fromSerial, std::uint32_t toSerial) noexcept
    {
        std::uint64_t word = gate_.load(std::memory_order_acquire);
        for (;;) {
            Gate gate = Gate::unpack(word);
            if (gate.epoch != std::uint16_t(epoch))
                gate = Gate{std::uint16_t(epoch), std::uint16_t(fromSerial - 1), 0, 0};
            else if (std::int16_t(std::uint16_t(gate.begun - fromSerial)) >= 0)
                return false;
            gate.from = std::uint16_t(fromSerial);
            gate.count = std::uint16_t(toSerial - fromSerial + 1);
            if (gate_.compare_exchange_weak(word, gate.pack(), std::memory_order_acq_rel, std::memory_order_acquire))
                return true;
        }
    }
    // Reader, before handing out the first frame of a block of the current epoch:
    // whether it may be played (it was not taken back); if so its item counts as begun.
    bool admit(const AudioBlock& block) noexcept
    {
        const auto epoch = std::uint16_t(block.epoch), serial = std::uint16_t(block.itemSerial);
        std::uint64_t word = gate_.load(std::memory_order_acquire);
        for (;;) {
            Gate gate = Gate::unpack(word);
            if (gate.epoch != epoch) {
                gate = Gate{epoch, serial, 0, 0};
            } else {
                if (gate.count && std::uint16_t(serial - gate.from) < gate.count)
                    return false;
                if (std::int16_t(std::uint16_t(serial - gate.begun)) <= 0)
                    return true;
                gate.begun = serial;
            }
            if (gate_.compare_exchange_weak(word, gate.pack(), std::memory_order_acq_rel, std::memory_order_acquire))
                return true;
        }
    }

private:
    // One word, so that both sides change it together: the epoch (its low bits), the
    // newest item begun in it and the items taken back, item numbers modulo 2^16
    // (only nearby items are ever compared).
    struct Gate {
        std::uint16_t epoch = 0, begun = 0, from = 0, count = 0;
        static Gate unpack(std::uint64_t word) noexcept
        {
            return Gate{std::uint16_t(word >> 48), std::uint16_t(word >> 32), std::uint16_t(word >> 16),
                        std::uint16_t(word)};
        }
        std::uint64_t pack() const noexcept
        {
            return std::uint64_t(epoch) << 48 | std::uint64_t(begun) << 32 | std::uint64_t(from) << 16 | count;
        }
    };

    std::vector<AudioBlock> blocks_;
    std::size_t mask_;
    alignas(64) std::atomic<std::uint64_t> write_{0};
    alignas(64) std::atomic<std::uint64_t> read_{0};
    alignas(64) std::atomic<std::uint64_t> gate_{0};
};

} // namespace media
