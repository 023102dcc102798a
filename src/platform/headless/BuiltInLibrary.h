#pragma once
// Made-up music for running the player without an audio engine: a small library
// and the simulated player over it, on whatever clock and run loop it is given.

#include "platform/MusicPlayer.h"
#include "platform/Platform.h"

#include <memory>
#include <vector>

namespace platform::headless {

// A few albums of made-up music, in album order.
std::vector<MediaItemPtr> builtInLibrary();

// The simulated player, stopped, with the library's first album queued so that
// Play plays (nothing queued for an empty library).
std::unique_ptr<MusicPlayer> makeSimulatedPlayer(const BackendServices& services,
                                                 const std::vector<MediaItemPtr>& library);

} // namespace platform::headless
