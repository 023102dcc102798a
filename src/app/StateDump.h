#pragma once
// The state of a scripted run as one line of JSON: the clock, the controller's
// fields, what the screen shows, the simulated player and the platform's records.

#include "platform/Animation.h"
#include "platform/Clock.h"
#include "platform/headless/HeadlessPlatform.h"

#include <string>
#include <vector>

class SpooloraAppDelegate;

namespace spoolora {

// A push transition as it was added to the cassette view, kept after later ones replaced it.
struct TransitionLogEntry {
    platform::TransitionSubtype subtype = platform::TransitionSubtype::FromRight;
    platform::Nanoseconds at = 0;
};

// Before launch (no delegate) the members about the screen are null. Dates are
// seconds on the virtual clock or null when unset; rectangles [x, y, width, height];
// floats in their shortest round-trip form; NaN and infinities as null.
std::string dumpState(platform::headless::HeadlessPlatform& platform, const SpooloraAppDelegate* delegate,
                      const std::vector<TransitionLogEntry>& transitions);

} // namespace spoolora
