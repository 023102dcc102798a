#include "app/ScriptRunner.h"

#include "app/ScriptJson.h"
#include "app/SpooloraAppDelegate.h"
#include "player/MainViewController.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

using namespace spoolora;

namespace {

struct RunResult {
    int status = -1;
    std::vector<std::string> dumps;
    std::string errors;
};

RunResult runScript(const std::string& script, ScriptOptions options = {},
                    std::optional<std::filesystem::path> configDir = std::nullopt)
{
    std::istringstream in(script);
    std::ostringstream out;
    std::ostringstream err;
    RunResult result;
    {
        auto platform = configDir ? std::make_unique<platform::headless::HeadlessPlatform>(*configDir)
                                  : std::make_unique<platform::headless::HeadlessPlatform>();
        ScriptRunner runner(*platform, std::move(options), out, err);
        result.status = runner.run(in, "test.script");
    }
    std::istringstream lines(out.str());
    for (std::string line; std::getline(lines, line);)
        result.dumps.push_back(line);
    result.errors = err.str();
    return result;
}

using json::Json;

// A member of a dump by path, e.g. member(dump, {"labels", "currentTitleLabel", "text"}).
const Json& member(const Json& value, std::initializer_list<const char*> path)
{
    const Json* at = &value;
    for (const char* name : path) {
        if (!at->is_object())
            throw std::runtime_error(std::string("not an object before ") + name);
        if (!at->contains(name))
            throw std::runtime_error(std::string("no member ") + name);
        at = &at->at(name);
    }
    return *at;
}

std::string text(const Json& value)
{
    return value.is_string() ? value.get<std::string>() : "<not a string>";
}

double number(const Json& value)
{
    return value.is_number() ? value.get<double>() : -999999;
}

TEST(ScriptRunner, StopsAtABadLineWithExitStatusTwoAndNamesTheLine)
{
    const char* bad[] = {
        "fly away",
        "launch now",
        "prefs selectedTapePreference",
        "prefs selectedTapePreference 1.5",
        "player state 99999999999",
        "player state two",
        "player time",
        "player item {\"title\": 5}",
        "player item {\"title\": \"a\", \"rating\": 5}",
        "player item {\"number\": 1.5}",
        "player item {\"title\": \"a\"",
        "player item [{\"title\": \"a\"}]",
        "player queue {\"title\": \"a\"}",
        "player queue [{\"title\": \"a\"}] trailing",
        "library [1, 2]",
        "advance -1",
        "advance nan",
        "advance",
        "tap 10",
        "tap 10 inf",
        "touch sideways 1 2",
        "swipe up 1 2",
        "picker pick 0",
        "picker cancel",
        "mail result 2",
        "mail send",
        "alert dismiss",
        "activate",
        "terminate",
        "dump now",
        "screenshot",
    };
    for (const char* line : bad) {
        SCOPED_TRACE(line);
        const RunResult result = runScript("# a comment\n\n" + std::string(line) + "\ndump\n");
        EXPECT_EQ(result.status, scriptBadLine);
        EXPECT_TRUE(result.dumps.empty()) << "the run stops at the bad line";
        EXPECT_NE(result.errors.find("test.script:3:"), std::string::npos) << result.errors;
    }
}

TEST(ScriptRunner, HelpAndDispatchComeFromOneTable)
{
    const std::string help = scriptHelpText();
    std::set<std::string_view> names;
    for (const ScriptRunner::Command& command : ScriptRunner::commands()) {
        SCOPED_TRACE(command.name);
        EXPECT_TRUE(names.insert(command.name).second) << "a second row of the same name is never reached";
        EXPECT_NE(help.find("\n  " + std::string(command.usage) + " "), std::string::npos) << help;
        EXPECT_NE(help.find(std::string(command.help.substr(0, command.help.find('\n')))), std::string::npos);
    }
    // A known first word with an unknown second one lists the forms of that command.
    const RunResult result = runScript("player fly\n");
    EXPECT_EQ(result.status, scriptBadLine);
    EXPECT_NE(result.errors.find("expected: player legacy | player item {JSON} | none | "), std::string::npos)
        << result.errors;
    EXPECT_NE(result.errors.find("player time T in line: player fly"), std::string::npos) << result.errors;
}

// Endless text without a line feed, counting what is read of it.
class EndlessLine : public std::streambuf {
public:
    std::size_t handedOut = 0;

protected:
    int_type underflow() override
    {
        chunk_.assign(4096, 'x');
        handedOut += chunk_.size();
        setg(chunk_.data(), chunk_.data(), chunk_.data() + chunk_.size());
        return traits_type::to_int_type('x');
    }

private:
    std::string chunk_;
};

TEST(ScriptRunner, LineLongerThanOneMebibyteIsABadLineAndNoMoreIsRead)
{
    EndlessLine endless;
    std::istream in(&endless);
    std::ostringstream out, err;
    platform::headless::HeadlessPlatform platform;
    ScriptRunner runner(platform, {}, out, err);
    EXPECT_EQ(runner.run(in, "zero"), scriptBadLine);
    EXPECT_LE(endless.handedOut, maxScriptLineBytes + 2 * 4096) << "read no further than the limit";
    EXPECT_NE(err.str().find("zero:1: the line is longer than 1048576 bytes"), std::string::npos) << err.str();

    // A comment line of exactly the limit is still a line.
    const std::string longest = "#" + std::string(maxScriptLineBytes - 1, 'x');
    EXPECT_EQ(runScript(longest + "\nlaunch\n").status, scriptSucceeded);
    EXPECT_EQ(runScript(longest).status, scriptSucceeded) << "without a final line feed";
    EXPECT_EQ(runScript(longest + "x\nlaunch\n").status, scriptBadLine);
}

TEST(ScriptRunner, ByteOrderMarkIsSkippedAtTheStartOnly)
{
    const RunResult result = runScript("\xEF\xBB\xBFlaunch\ndump\n");
    EXPECT_EQ(result.status, scriptSucceeded) << result.errors;
    EXPECT_EQ(result.dumps.size(), 1u);
    EXPECT_EQ(runScript("launch\n\xEF\xBB\xBF" "dump\n").status, scriptBadLine);
}

TEST(ScriptRunner, NothingFollowsTerminate)
{
    EXPECT_EQ(runScript("launch\nterminate\n# the end\n\n").status, scriptSucceeded);
    for (const char* line : {"dump", "advance 1", "terminate", "activate", "launch"}) {
        SCOPED_TRACE(line);
        const RunResult result = runScript(std::string("launch\nterminate\n") + line + "\n");
        EXPECT_EQ(result.status, scriptBadLine);
        EXPECT_NE(result.errors.find(":3: nothing can follow terminate"), std::string::npos) << result.errors;
    }
}

TEST(ScriptRunner, AdvanceMovesAtMostOneDay)
{
    const RunResult day = runScript("launch\nadvance 86400\ndump\n");
    ASSERT_EQ(day.status, scriptSucceeded) << day.errors;
    EXPECT_EQ(number(member(json::parse(day.dumps.at(0)), {"time"})), 86400);
    for (const char* line : {"advance 86400.001", "advance 1e9", "advance 1e308"}) {
        SCOPED_TRACE(line);
        const RunResult result = runScript(std::string("launch\n") + line + "\ndump\n");
        EXPECT_EQ(result.status, scriptBadLine);
        EXPECT_TRUE(result.dumps.empty());
    }
}

TEST(ScriptRunner, RefusesWhatCannotApplyAfterLaunch)
{
    for (const char* line : {"launch", "player legacy", "picker pick 0", "mail result 0"}) {
        SCOPED_TRACE(line);
        const RunResult result = runScript(std::string("launch\n") + line + "\n");
        EXPECT_EQ(result.status, scriptBadLine);
        EXPECT_NE(result.errors.find(":2:"), std::string::npos) << result.errors;
    }
}

TEST(ScriptRunner, ScreenshotWithoutARendererIsABadLine)
{
    RunResult result = runScript("launch\nscreenshot /tmp/x.png\n");
    EXPECT_EQ(result.status, scriptBadLine);

    std::vector<std::string> paths;
    ScriptOptions options;
    options.screenshot = [&](platform::Window&, const std::string& path) {
        paths.push_back(path);
        return path != "fails.png";
    };
    result = runScript("launch\nscreenshot a picture.png   # where\nscreenshot fails.png\ndump\n", options);
    EXPECT_EQ(paths, (std::vector<std::string>{"a picture.png", "fails.png"}));
    EXPECT_EQ(result.status, scriptFailed);
    EXPECT_TRUE(result.dumps.empty());
}

TEST(ScriptRunner, DumpHasEveryMemberAndIsValidJson)
{
    const RunResult result = runScript("dump\nlaunch\ndump\n");
    ASSERT_EQ(result.status, scriptSucceeded) << result.errors;
    ASSERT_EQ(result.dumps.size(), 2u);
    const char* members[] = {"time",     "controller", "toolbar", "labels",      "skin",
                             "transitions", "cassette", "tapeRolls", "reels",     "player",
                             "preferences", "idleTimerDisabled", "modal", "picker", "pickerScreen", "mail", "alerts"};
    for (const std::string& line : result.dumps) {
        const Json dump = json::parse(line);
        ASSERT_TRUE(dump.is_object());
        std::vector<std::string> keys;
        for (const auto& m : dump.items())
            keys.push_back(m.key());
        EXPECT_EQ(keys, std::vector<std::string>(std::begin(members), std::end(members)));
    }
    const Json before = json::parse(result.dumps[0]);
    EXPECT_TRUE(member(before, {"controller"}).is_null());
    const Json after = json::parse(result.dumps[1]);
    EXPECT_EQ(number(member(after, {"preferences", "first_startup_parameter_userprefs"})), 100);
    EXPECT_EQ(member(after, {"idleTimerDisabled"}), true);
    EXPECT_EQ(static_cast<float>(number(member(after, {"controller", "leftDiameterWheelMM"}))), 10.1f)
        << "a float field reads back as the same float";
    EXPECT_EQ(text(member(after, {"skin"})), "mc1-640.png");
    const Json& transitions = member(after, {"transitions"});
    ASSERT_EQ(transitions.size(), 1u) << "the first skin is pushed in too";
    EXPECT_EQ(text(member(transitions[0], {"subtype"})), "fromRight");
}

TEST(ScriptRunner, PlayerChangesPostNotificationsOnlyAfterLaunch)
{
    const RunResult result = runScript(R"(
player item {"title": "Before", "artist": "A", "album": "B"}   # set up only
launch
dump
player item {"title": "After # not a comment", "artist": "C", "album": null}
dump
player item none
player state 3
dump
)");
    ASSERT_EQ(result.status, scriptSucceeded) << result.errors;
    ASSERT_EQ(result.dumps.size(), 3u);
    const Json first = json::parse(result.dumps[0]);
    EXPECT_EQ(text(member(first, {"labels", "currentTitleLabel", "text"})), "Before") << "read at launch";
    const Json second = json::parse(result.dumps[1]);
    EXPECT_EQ(text(member(second, {"labels", "currentTitleLabel", "text"})), "After # not a comment")
        << "the change was announced and the labels followed";
    EXPECT_EQ(text(member(second, {"player", "item"})), "After # not a comment");
    const Json third = json::parse(result.dumps[2]);
    EXPECT_EQ(number(member(third, {"player", "state"})), 3);
    EXPECT_TRUE(member(third, {"player", "item"}).is_null());
}

TEST(ScriptRunner, InvalidUtf8InATitleShowsAsReplacementCharacters)
{
    const RunResult result = runScript("player item {\"title\": \"Caf\xE9 \\udc00 ok\"}\nlaunch\ndump\n");
    ASSERT_EQ(result.status, scriptSucceeded) << result.errors;
    const Json dump = json::parse(result.dumps.at(0));
    // The lone surrogate arrives as three bytes that begin no valid sequence: one U+FFFD each.
    EXPECT_EQ(text(member(dump, {"labels", "currentTitleLabel", "text"})),
              "Caf\xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD ok");
}

TEST(ScriptRunner, PreferencesGoToTheFolderGivenAndSurviveTheRun)
{
    const auto folder = std::filesystem::path(::testing::TempDir()) / "spoolora-script-prefs";
    std::filesystem::remove_all(folder);
    RunResult result = runScript("launch\nswipe left 300 240\n", {}, folder);
    ASSERT_EQ(result.status, scriptSucceeded) << result.errors;

    result = runScript("dump\nlaunch\ndump\n", {}, folder);
    ASSERT_EQ(result.status, scriptSucceeded) << result.errors;
    const Json dump = json::parse(result.dumps.at(1));
    EXPECT_EQ(number(member(dump, {"preferences", "selectedTapePreference"})), 1);
    EXPECT_EQ(text(member(dump, {"skin"})), "mc2-640.png");
    std::filesystem::remove_all(folder);
}

} // namespace
