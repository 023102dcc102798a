#pragma once
// cos and sin of a turn, for placing views and drawing them where they were placed.

#include <cmath>
#include <numbers>

namespace platform {

// Angles within a hair of a quarter turn use the exact values, because cos(π/2) in
// floating point is not 0 and would leave a turned label a few billionths of a
// point off its place.
struct Turn {
    double cos = 1, sin = 0;
    bool quarter = true;   // an exact multiple of a quarter turn
    bool swapsSides() const noexcept { return quarter && sin != 0; }
};

inline Turn turnFor(double radians) noexcept
{
    const double quarterTurn = std::numbers::pi / 2;
    const double quarters = std::round(radians / quarterTurn);
    if (std::fabs(radians - quarters * quarterTurn) <= 1e-6) {
        const long q = ((static_cast<long>(std::fmod(quarters, 4.0)) % 4) + 4) % 4;
        static constexpr double cosines[4] = {1, 0, -1, 0};
        static constexpr double sines[4] = {0, 1, 0, -1};
        return {cosines[q], sines[q], true};
    }
    return {std::cos(radians), std::sin(radians), false};
}

} // namespace platform
