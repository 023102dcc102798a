#pragma once
// A value one thread publishes and others read without either side waiting: the
// writer never blocks, a reader that overlapped a write simply reads again.
// For small trivially copyable values (the audio callback's report to the main thread).

#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace media {

template <class T>
class SeqLocked {
    static_assert(std::is_trivially_copyable_v<T>);
    static constexpr std::size_t wordCount = (sizeof(T) + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t);

public:
    // One writing thread at a time.
    void store(const T& value) noexcept
    {
        std::array<std::uint64_t, wordCount> words{};
        std::memcpy(words.data(), &value, sizeof(T));
        const std::uint64_t sequence = sequence_.load(std::memory_order_relaxed);
        sequence_.store(sequence + 1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
        for (std::size_t i = 0; i < wordCount; ++i)
            words_[i].store(words[i], std::memory_order_relaxed);
        sequence_.store(sequence + 2, std::memory_order_release);
    }

    // Any thread. Retries only while a write is under way, which takes a moment.
    T load() const noexcept
    {
        std::array<std::uint64_t, wordCount> words{};
        for (;;) {
            const std::uint64_t before = sequence_.load(std::memory_order_acquire);
            for (std::size_t i = 0; i < wordCount; ++i)
                words[i] = words_[i].load(std::memory_order_relaxed);
            std::atomic_thread_fence(std::memory_order_acquire);
            if ((before & 1) == 0 && sequence_.load(std::memory_order_relaxed) == before)
                break;
        }
        T value{};
        std::memcpy(static_cast<void*>(&value), words.data(), sizeof(T));
        return value;
    }

private:
    std::atomic<std::uint64_t> sequence_{0};
    std::array<std::atomic<std::uint64_t>, wordCount> words_{};
};

} // namespace media
