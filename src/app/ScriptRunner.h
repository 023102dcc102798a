#pragma once
// Scripted runs: the real application on the headless backend, driven line by
// line from a script. Virtual clock from 0, the simulated player, no window. The
// backend is made by the caller (main.cpp, or a test); see scriptHelpText() for
// the commands.

#include "app/StateDump.h"
#include "platform/Window.h"
#include "platform/headless/HeadlessPlatform.h"

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class SpooloraAppDelegate;

namespace spoolora {

// Draws the window as it looks now into a PNG file; false when that failed.
using ScreenshotFunction = std::function<bool(platform::Window& window, const std::string& path)>;

struct ScriptOptions {
    // Needed only by the screenshot command.
    ScreenshotFunction screenshot;
};

// A longer line is a bad line; no more than this is read of it.
inline constexpr std::size_t maxScriptLineBytes = std::size_t(1) << 20;
// One advance moves the clock at most this far.
inline constexpr double maxAdvanceSeconds = 24 * 60 * 60;

// Exit statuses of a run.
inline constexpr int scriptSucceeded = 0;
inline constexpr int scriptFailed = 1;      // the outside world failed (a file could not be read or written)
inline constexpr int scriptBadLine = 2;     // an unknown or malformed line, or one that cannot apply now

class ScriptLine;

class ScriptRunner {
public:
    // Runs the application on `platform`, which must outlive the runner. Dumps go to
    // `out`, messages to `err`.
    ScriptRunner(platform::headless::HeadlessPlatform& platform, ScriptOptions options, std::ostream& out,
                 std::ostream& err);
    ~ScriptRunner();
    ScriptRunner(const ScriptRunner&) = delete;
    ScriptRunner& operator=(const ScriptRunner&) = delete;

    // Runs every line of the script. Stops at the first bad line with a message that
    // names the script and the line. A UTF-8 byte order mark before the first line is
    // skipped. Returns one of the exit statuses above.
    int run(std::istream& script, const std::string& scriptName);

    // Runs one line (comments and blanks allowed) and everything due afterwards.
    // Throws ScriptError for a bad line, ScriptFailure for an outside failure.
    void runLine(std::string_view line);

    platform::headless::HeadlessPlatform& platform() noexcept { return platform_; }
    SpooloraAppDelegate* delegate() const noexcept { return delegate_.get(); }
    const std::vector<TransitionLogEntry>& transitions() const noexcept { return transitions_; }

    // One command of the script language: its words as --help shows them, what it
    // does, and the member that runs it. The table is in ScriptRunner.cpp.
    struct Command {
        std::string_view name;    // one or two words: "launch", "player item"
        std::string_view usage;   // the whole form: "player item {JSON} | none"
        std::string_view help;    // may run over several lines
        void (ScriptRunner::*run)(const ScriptLine&);
    };
    static const std::vector<Command>& commands();

private:
    void launch();
    void watchTransitions();
    void requireLaunch(const ScriptLine& line) const;

    // The commands, in the order of the table.
    void setPreference(const ScriptLine& line);
    void makePlayerLegacy(const ScriptLine& line);
    void setPlayerItem(const ScriptLine& line);
    void setPlayerQueue(const ScriptLine& line);
    void setPlayerState(const ScriptLine& line);
    void setPlayerTime(const ScriptLine& line);
    void setLibrary(const ScriptLine& line);
    void launchCommand(const ScriptLine& line);
    void activate(const ScriptLine& line);
    void terminate(const ScriptLine& line);
    void advance(const ScriptLine& line);
    void touch(const ScriptLine& line);
    void tap(const ScriptLine& line);
    void swipe(const ScriptLine& line);
    void wheel(const ScriptLine& line);
    void key(const ScriptLine& line);
    void type(const ScriptLine& line);
    void pick(const ScriptLine& line);
    void cancelPicker(const ScriptLine& line);
    void finishMail(const ScriptLine& line);
    void raiseMail(const ScriptLine& line);
    void dismissAlert(const ScriptLine& line);
    void dump(const ScriptLine& line);
    void screenshot(const ScriptLine& line);

    platform::headless::HeadlessPlatform& platform_;
    ScriptOptions options_;
    std::ostream& out_;
    std::ostream& err_;
    std::vector<TransitionLogEntry> transitions_;
    bool terminated_ = false;
    std::unique_ptr<SpooloraAppDelegate> delegate_;
};

struct ScriptError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
struct ScriptFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Runs the script in a file, or standard input for "-", on `platform`. Returns the exit status.
int runScriptFile(const std::string& pathOrDash, platform::headless::HeadlessPlatform& platform,
                  ScriptOptions options, std::ostream& out, std::ostream& err);

// The command list, for --help, made from the command table.
std::string scriptHelpText();

} // namespace spoolora
