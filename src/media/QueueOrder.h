#pragma once
// Which queue entry comes next, by the repeat mode: the one rule the main thread
// (skips) and the decoding thread (an item's natural end) both follow.

#include "platform/MusicPlayer.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace media {

// After a skip by `step` (+1 or -1) from `index`: past either end of the queue the
// queue wraps under repeat all; otherwise there is nothing to play.
inline std::optional<std::size_t> skipTarget(std::size_t index, std::size_t count, int step,
                                             std::int32_t repeatMode) noexcept
{
    if (count == 0)
        return std::nullopt;
    const auto next = static_cast<std::ptrdiff_t>(index) + step;
    const auto size = static_cast<std::ptrdiff_t>(count);
    if (next >= 0 && next < size)
        return static_cast<std::size_t>(next);
    if (repeatMode != platform::RepeatMode::All)
        return std::nullopt;
    return static_cast<std::size_t>((next % size + size) % size);
}

// After `index` played to its end: itself again under repeat one, else the next,
// wrapping under repeat all.
inline std::optional<std::size_t> itemAfter(std::size_t index, std::size_t count, std::int32_t repeatMode) noexcept
{
    if (repeatMode == platform::RepeatMode::One && index < count)
        return index;
    return skipTarget(index, count, +1, repeatMode);
}

} // namespace media
