#pragma once
// The arithmetic of the cassette mechanics, free of views and players so that
// it can be checked to the bit. Stored quantities are float or int32; every
// product and sum is formed in double and rounded once, where it is stored.

#include <cmath>
#include <cstdint>
#include <numbers>

// Compact cassette playing speed, 1 7/8 inches per second; seeking runs at three
// times that and the spin after a skip at six times.
inline constexpr float playingTapeSpeedmmPerSecond = 47.625f;
inline constexpr float seekingTapeSpeedmmPerSecond = 142.875f;
inline constexpr float skippingTapeSpeedmmPerSecond = 285.75f;

// An empty reel is the bare hub; tape only moves from one reel to the other, so
// the two diameters always sum to the same length.
inline constexpr double emptyReelDiameterMM = 10.1;
inline constexpr double fullReelDiameterMM = 22.35;
inline constexpr double diameterRangeMM = 12.25;

// Reel picture scale: points of roll radius per millimetre of wound diameter.
inline constexpr double pointsPerMillimetreOfDiameter = 6.8;
// A roll of this radius would show the whole band picture.
inline constexpr std::int32_t fullBandRadiusPoints = 152;

// Rotation animations last this long; the new one starts this far ahead of the
// angle shown, in the direction of turning, so the reel never seems to step back.
inline constexpr double spinAnimationSeconds = 100.0;
inline constexpr double spinLeadSeconds = 0.03;
// While the tape moves, a spin animation this old is rebuilt before it runs out,
// however long the item: a moving tape never shows stopped reels.
inline constexpr double spinRefreshAgeSeconds = 90.0;

struct Diameters {
    float leftMM = 0;
    float rightMM = 0;
};

// How much of the item has played, 0 to 1. A time that is not positive, a
// duration that is missing, zero or negative, and a time beyond the duration all
// give 0: without a trustworthy ratio the reels show the start of the track.
inline float trackFraction(double playbackTimeSeconds, double durationSeconds) noexcept
{
    if (!(playbackTimeSeconds > 0))
        return 0.0f;
    const double quotient = playbackTimeSeconds / durationSeconds;
    if (quotient >= 0 && quotient <= 1)
        return static_cast<float>(quotient);
    return 0.0f;
}

// How much of the album has played, 0 to 1, from the item's track number
// (counted from 1) and the album's track count. Metadata that cannot place the
// track treats it as an album of one track. Computed in float, as stored.
inline float albumPosition(std::int32_t trackNumber, std::int32_t trackCount, float fraction) noexcept
{
    if (trackCount >= 1 && trackNumber >= 1 && trackNumber <= trackCount)
        return (static_cast<float>(trackNumber - 1) + fraction) / static_cast<float>(trackCount);
    return fraction;
}

// At the start of an album the left reel holds the least tape.
inline Diameters diametersForAlbumPosition(float position) noexcept
{
    const double woundMM = static_cast<double>(position) * diameterRangeMM;
    Diameters d;
    d.rightMM = static_cast<float>(fullReelDiameterMM - woundMM);
    d.leftMM = static_cast<float>(emptyReelDiameterMM + woundMM);
    return d;
}

// Radians per second, signed like the tape speed; a thin reel turns faster.
inline float angularSpeed(float tapeSpeedmmPerSecond, float diameterMM) noexcept
{
    return static_cast<float>(static_cast<double>(tapeSpeedmmPerSecond / diameterMM) * 0.8);
}

// Whole points, truncated toward zero.
inline std::int32_t rollRadiusPoints(float diameterMM) noexcept
{
    return static_cast<std::int32_t>(static_cast<double>(diameterMM) * pointsPerMillimetreOfDiameter);
}

// The angle a rotation shows, from the first two entries (cos, sin) of its
// transform: -π/2 up to 3π/2, so that a half-turned reel is not read as a small angle.
inline double presentedAngle(float m11, float m12) noexcept
{
    const double arcSine = std::asin(static_cast<double>(m12));
    if (m11 < 0)
        return std::numbers::pi - arcSine;
    return arcSine;
}

// Start value of a new spin animation: the angle shown, led by a little turning.
inline float spinStartValue(double presentAngle, float radiansPerSecond) noexcept
{
    return static_cast<float>(static_cast<double>(static_cast<float>(presentAngle)) +
                              static_cast<double>(radiansPerSecond) * -spinLeadSeconds);
}

// A positive tape speed turns the reels with a decreasing angle.
inline float spinByValue(float radiansPerSecond) noexcept
{
    return radiansPerSecond * -100.0f;
}
