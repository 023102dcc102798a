#include "media/ReplayGain.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <optional>

namespace media {

namespace {

// A number at the start of the text ("-6.54 dB"), if there is one.
std::optional<double> leadingNumber(const Tags& tags, const char* key)
{
    const auto found = tags.find(key);
    if (found == tags.end())
        return std::nullopt;
    const char* text = found->second.c_str();
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<double> gainDecibels(const Tags& tags, bool album)
{
    if (auto gain = leadingNumber(tags, album ? "REPLAYGAIN_ALBUM_GAIN" : "REPLAYGAIN_TRACK_GAIN"))
        return gain;
    // Q7.8 fixed point, in decibels relative to -23 LUFS.
    if (auto gain = leadingNumber(tags, album ? "R128_ALBUM_GAIN" : "R128_TRACK_GAIN"))
        return *gain / 256.0 + 5.0;
    return std::nullopt;
}

} // namespace

ReplayGainMode replayGainModeFromName(const std::string& name) noexcept
{
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower == "album")
        return ReplayGainMode::Album;
    if (lower == "off")
        return ReplayGainMode::Off;
    return ReplayGainMode::Track;
}

float replayGainFactor(const Tags& tags, ReplayGainMode mode) noexcept
{
    if (mode == ReplayGainMode::Off)
        return 1.0f;
    bool album = mode == ReplayGainMode::Album;
    std::optional<double> gain = gainDecibels(tags, album);
    if (!gain && album) {
        album = false;
        gain = gainDecibels(tags, false);
    }
    if (!gain)
        return 1.0f;
    // Tags beyond this range are damaged, not loud or quiet music.
    double factor = std::pow(10.0, std::clamp(*gain, -60.0, 30.0) / 20.0);
    const auto peak = leadingNumber(tags, album ? "REPLAYGAIN_ALBUM_PEAK" : "REPLAYGAIN_TRACK_PEAK");
    if (peak && *peak > 0)
        factor = std::min(factor, 1.0 / *peak);
    return static_cast<float>(factor);
}

} // namespace media
