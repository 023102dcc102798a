#pragma once
// Scripted runs: the real application on the headless backend, driven line by
// line from a script. Virtual clock from 0, the simulated player, preferences in
// memory or in a folder, no window. See scriptHelpText() for the commands.

#include "app/StateDump.h"
#include "platform/Window.h"
#include "platform/headless/HeadlessPlatform.h"

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <stdexcept>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class SpooloraAppDelegate;

namespace spoolora {

// Draws the window as it looks now into a PNG file; false when that failed.
using ScreenshotFunction = std::function<bool(platform::Window& window, const std::string& path)>;

struct ScriptOptions {
    // Preferences in the file store of this folder; in memory when not given.
    std::optional<std::filesystem::path> configDir;
    // Needed only by the screenshot command.
    ScreenshotFunction screenshot;
};

// Exit statuses of a run.
inline constexpr int scriptSucceeded = 0;
inline constexpr int scriptFailed = 1;      // the outside world failed (a file could not be read or written)
inline constexpr int scriptBadLine = 2;     // an unknown or malformed line, or one that cannot apply now

class ScriptRunner {
public:
    // Dumps go to `out`, messages to `err`.
    ScriptRunner(ScriptOptions options, std::ostream& out, std::ostream& err);
    ~ScriptRunner();
    ScriptRunner(const ScriptRunner&) = delete;
    ScriptRunner& operator=(const ScriptRunner&) = delete;

    // Runs every line of the script. Stops at the first bad line with a message that
    // names the script and the line. Returns one of the exit statuses above.
    int run(std::istream& script, const std::string& scriptName);

    // Runs one line (comments and blanks allowed) and everything due afterwards.
    // Throws ScriptError for a bad line, ScriptFailure for an outside failure.
    void runLine(std::string_view line);

    platform::headless::HeadlessPlatform& platform() noexcept { return *platform_; }
    SpooloraAppDelegate* delegate() const noexcept { return delegate_.get(); }
    const std::vector<TransitionLogEntry>& transitions() const noexcept { return transitions_; }

private:
    void launch();
    void watchTransitions();

    ScriptOptions options_;
    std::ostream& out_;
    std::ostream& err_;
    std::unique_ptr<platform::headless::HeadlessPlatform> platform_;
    std::vector<TransitionLogEntry> transitions_;
    // Declared last: the application goes before the platform it runs on.
    std::unique_ptr<SpooloraAppDelegate> delegate_;
};

struct ScriptError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
struct ScriptFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Runs the script in a file, or standard input for "-". Returns the exit status.
int runScriptFile(const std::string& pathOrDash, ScriptOptions options, std::ostream& out, std::ostream& err);

// The command list, for --help.
const char* scriptHelpText() noexcept;

} // namespace spoolora
