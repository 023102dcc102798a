#pragma once
// The player in a desktop window: SDL's events and the platform's run loop on the
// main thread, the compositor drawing only when the picture changes.

#include <filesystem>
#include <optional>

namespace spoolora {

struct WindowOptions {
    // Pixels per point of the 320 × 480-point screen in window units; 0 fits the display.
    float scale = 0;
    // Covers the whole display (the screen is letterboxed), as on a small touch panel.
    bool fullscreen = false;
    // Where the preferences live; none means $XDG_CONFIG_HOME/spoolora.
    std::optional<std::filesystem::path> configDir;
};

// Opens the window and runs the player until the window is closed or Q is pressed.
// Returns the process's exit status: 0 after a normal end, 1 when there is no
// display to open a window on (with a line on stderr saying so).
int runWindowed(const WindowOptions& options);

// The keyboard shortcuts, one per line, for --help.
const char* keyboardHelp();

} // namespace spoolora
