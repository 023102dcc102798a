#pragma once
// ReplayGain: the loudness correction stored in the tags, as a factor on the samples.

#include "media/AudioDecoder.h"

namespace media {

enum class ReplayGainMode { Track, Album, Off };

// "track", "album" or "off" (any case); anything else gives the default, track.
ReplayGainMode replayGainModeFromName(const std::string& name) noexcept;

// The factor for the item: REPLAYGAIN_TRACK_GAIN (or R128_TRACK_GAIN, whose -23 LUFS
// reference is raised by 5 dB to ReplayGain's -18 LUFS), or the album's under Album
// (falling back to the track's), limited so that the tagged peak never clips.
// 1 when the tags say nothing usable, or under Off.
float replayGainFactor(const Tags& tags, ReplayGainMode mode) noexcept;

} // namespace media
