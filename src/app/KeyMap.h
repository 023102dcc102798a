#pragma once
// The keyboard's shortcuts for the player screen: which key does what to the
// controller. The window hands over the keys that no screen took.

#include "platform/Keys.h"
#include "platform/Window.h"

#include <functional>

class MainViewController;
class SpooloraAppDelegate;

namespace spoolora {

class KeyMap {
public:
    // The delegate and the window must outlive the key map. `quit` ends the
    // application (the window closes as it would from its close button).
    KeyMap(SpooloraAppDelegate& delegate, const platform::Window& window, std::function<void()> quit);

    // Acts on a key as the window's key command handler; returns whether it did.
    // Ctrl+Q quits at any time, and Q alone wherever no screen takes it as typing (the
    // music picker gives it to its search field). The cassette's shortcuts act only
    // where a finger could reach the cassette: not while a picker, composer or alert
    // covers it, nor while a touch is down. A held arrow is one press whatever the
    // keyboard repeats, and its release acts only after a press that acted here: a
    // short press skips a track, a long one seeks until the release, as the arrow
    // buttons of the toolbar do.
    bool keyEvent(const platform::KeyEvent& event, platform::KeyPhase phase);

private:
    bool acceptsShortcuts() const;
    bool arrowKey(bool forward, const platform::KeyEvent& event, platform::KeyPhase phase);
    bool openVolumePanel(MainViewController& controller);

    SpooloraAppDelegate& delegate_;
    const platform::Window& window_;
    std::function<void()> quit_;
    bool rightKeyHeld_ = false;
    bool leftKeyHeld_ = false;
};

// The keyboard shortcuts, one per line, for --help.
const char* keyboardHelp();

} // namespace spoolora
