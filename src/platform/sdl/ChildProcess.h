#pragma once
// Starting helper programs (a mail program, the desktop's opener) from the player
// without a shell and without waiting for them.

#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace platform::sdl {

// The full path of a program named by `command`: itself when it contains a slash,
// else the first executable of that name along $PATH. Empty when there is none.
std::optional<std::string> findExecutable(const std::string& command);

// Runs `program` (a full path) with `arguments` as its argument vector, exactly as
// given: no shell sees them, so quotes, `;` or `$()` in them stay text. The child
// runs in a session of its own with its standard streams on /dev/null, so it
// outlives the player and a Ctrl+C in the player's terminal does not reach it.
// Returns at once with the child's id, or nothing when it could not be started
// (no such program, not executable). The child is reaped when it ends, from a
// SIGCHLD handler that waits for the children started here and no others.
// Main thread.
std::optional<pid_t> startDetached(const std::string& program, const std::vector<std::string>& arguments);

} // namespace platform::sdl
