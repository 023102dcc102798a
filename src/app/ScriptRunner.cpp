#include "app/ScriptRunner.h"

#include "app/ScriptJson.h"
#include "app/SpooloraAppDelegate.h"
#include "player/MainViewController.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iostream>
#include <limits>
#include <system_error>
#include <type_traits>

// Sections: reading a line · items from JSON · the commands · running a script.

namespace spoolora {

namespace {

using platform::headless::Notify;

// --- Reading a line -------------------------------------------------------------------

bool isBlank(char c) noexcept
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// The line without its comment: a '#' outside a JSON string starts one.
std::string_view withoutComment(std::string_view line) noexcept
{
    bool inString = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '#') {
            return line.substr(0, i);
        }
    }
    return line;
}

std::string_view trimmed(std::string_view text) noexcept
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// The words of a line, and for commands that end in free text, what follows a given word.
class Words {
public:
    explicit Words(std::string_view line) : line_(line)
    {
        std::size_t i = 0;
        while (i < line.size()) {
            while (i < line.size() && isBlank(line[i]))
                ++i;
            if (i >= line.size())
                break;
            const std::size_t start = i;
            while (i < line.size() && !isBlank(line[i]))
                ++i;
            words_.push_back(line.substr(start, i - start));
            starts_.push_back(start);
        }
    }
    std::size_t size() const noexcept { return words_.size(); }
    bool empty() const noexcept { return words_.empty(); }
    std::string_view operator[](std::size_t i) const noexcept { return i < words_.size() ? words_[i] : std::string_view{}; }
    // Everything from word i to the end of the line, blanks around it removed.
    std::string_view restFrom(std::size_t i) const noexcept
    {
        return i < words_.size() ? trimmed(line_.substr(starts_[i])) : std::string_view{};
    }

private:
    std::string_view line_;
    std::vector<std::string_view> words_;
    std::vector<std::size_t> starts_;
};

[[noreturn]] void bad(const std::string& message)
{
    throw ScriptError(message);
}

std::string inQuotes(std::string_view text)
{
    return "\"" + std::string(text) + "\"";
}

void expectWordCount(const Words& words, std::size_t count, const char* usage)
{
    if (words.size() != count)
        bad(std::string("expected: ") + usage);
}

// A whole number or, for double, any number from_chars reads ("nan", "inf" and "-3.5"
// included), as the whole word; a leading '+' is allowed.
template <class Number>
Number parseNumber(std::string_view text, const char* what)
{
    Number value = 0;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (!text.empty() && text.front() == '+')
        ++first;
    const auto [end, error] = std::from_chars(first, last, value);
    if (text.empty() || error != std::errc() || end != last) {
        const char* kind = std::is_integral_v<Number> ? "a whole number" : "a number";
        bad(std::string(what) + " must be " + kind + ", not " + inQuotes(text));
    }
    return value;
}

std::int32_t parseInt32(std::string_view text, const char* what)
{
    const auto value = parseNumber<std::int64_t>(text, what);
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
        bad(std::string(what) + " " + inQuotes(text) + " is out of range");
    return static_cast<std::int32_t>(value);
}

double parseFiniteNumber(std::string_view text, const char* what)
{
    const double value = parseNumber<double>(text, what);
    if (!std::isfinite(value))
        bad(std::string(what) + " must be a finite number, not " + inQuotes(text));
    return value;
}

platform::Point parsePoint(const Words& words, std::size_t first)
{
    const double x = parseFiniteNumber(words[first], "X");
    const double y = parseFiniteNumber(words[first + 1], "Y");
    return {static_cast<float>(x), static_cast<float>(y)};
}

// --- Items from JSON --------------------------------------------------------------------

json::Value parseJson(std::string_view text)
{
    try {
        return json::parse(text);
    } catch (const json::ParseError& e) {
        bad(std::string("bad JSON: ") + e.what());
    }
}

platform::MediaItemPtr itemFromJson(const json::Value& value)
{
    const json::Object* object = value.object();
    if (!object)
        bad("an item must be a JSON object");
    auto item = std::make_shared<platform::MediaItem>();
    for (const auto& [key, member] : *object) {
        // A null member is a missing property, like a key left out.
        if (member.isNull())
            continue;
        const auto text = [&, &key = key, &member = member]() {
            if (!member.string())
                bad("item key " + inQuotes(key) + " must be a string");
            return *member.string();
        };
        const auto whole = [&, &key = key, &member = member]() {
            const auto* number = member.number();
            if (!number || !number->integer)
                bad("item key " + inQuotes(key) + " must be a whole number");
            return *number->integer;
        };
        if (key == "title")
            item->title = text();
        else if (key == "artist")
            item->artist = text();
        else if (key == "album")
            item->albumTitle = text();
        else if (key == "duration") {
            if (!member.number())
                bad("item key \"duration\" must be a number of seconds");
            item->playbackDuration = member.number()->value;
        } else if (key == "number")
            item->albumTrackNumber = whole();
        else if (key == "count")
            item->albumTrackCount = whole();
        else
            bad("unknown item key " + inQuotes(key) +
                " (known: title, artist, album, duration, number, count)");
    }
    return item;
}

std::vector<platform::MediaItemPtr> itemsFromJson(std::string_view text)
{
    const json::Value value = parseJson(text);
    const json::Array* array = value.array();
    if (!array)
        bad("expected a JSON array of items");
    std::vector<platform::MediaItemPtr> items;
    for (const json::Value& element : *array)
        items.push_back(itemFromJson(element));
    return items;
}

} // namespace

// --- The commands -------------------------------------------------------------------------

ScriptRunner::ScriptRunner(ScriptOptions options, std::ostream& out, std::ostream& err)
    : options_(std::move(options)), out_(out), err_(err)
{
    if (options_.configDir)
        platform_ = std::make_unique<platform::headless::HeadlessPlatform>(*options_.configDir);
    else
        platform_ = std::make_unique<platform::headless::HeadlessPlatform>();
}

ScriptRunner::~ScriptRunner() = default;

void ScriptRunner::launch()
{
    delegate_ = makeApplicationDelegate(*platform_);
    delegate_->applicationDidFinishLaunching();
    watchTransitions();
    delegate_->applicationDidBecomeActive();
}

void ScriptRunner::watchTransitions()
{
    MainViewController* controller = delegate_->mainViewController();
    if (!controller || !controller->swipeHelperUIView)
        return;
    platform::Layer& layer = controller->swipeHelperUIView->layer();
    // Whatever building the screen added came before the observer could be there.
    std::vector<TransitionLogEntry> early;
    for (const auto& [key, transition] : layer.transitions())
        early.push_back({transition.subtype, transition.beginTime});
    std::stable_sort(early.begin(), early.end(), [](const auto& a, const auto& b) { return a.at < b.at; });
    transitions_.insert(transitions_.end(), early.begin(), early.end());
    layer.setTransitionObserver([this](const platform::Transition& transition, const std::string&) {
        transitions_.push_back({transition.subtype, transition.beginTime});
    });
}

void ScriptRunner::runLine(std::string_view rawLine)
{
    const Words words(withoutComment(rawLine));
    if (words.empty())
        return;
    const std::string_view command = words[0];
    const bool launched = delegate_ != nullptr;
    const Notify notify = launched ? Notify::Yes : Notify::No;
    auto& player = platform_->scriptedPlayer();

    if (command == "prefs") {
        expectWordCount(words, 3, "prefs KEY N");
        platform::UserDefaults& defaults = platform_->standardUserDefaults();
        defaults.setIntegerForKey(parseNumber<std::int64_t>(words[2], "N"), std::string(words[1]));
        defaults.synchronize();
    } else if (command == "player") {
        const std::string_view what = words[1];
        if (what == "legacy") {
            expectWordCount(words, 2, "player legacy");
            if (launched)
                bad("player legacy must come before launch");
            player.setLegacy(true);
        } else if (what == "item") {
            if (words.size() < 3)
                bad("expected: player item {JSON} | player item none");
            if (words.size() == 3 && words[2] == "none")
                player.setNowPlayingItem(nullptr, notify);
            else
                player.setNowPlayingItem(itemFromJson(parseJson(words.restFrom(2))), notify);
        } else if (what == "queue") {
            if (words.size() < 3)
                bad("expected: player queue [{JSON}, ...]");
            player.setQueue(itemsFromJson(words.restFrom(2)), notify);
        } else if (what == "state") {
            expectWordCount(words, 3, "player state N");
            player.setState(parseInt32(words[2], "N"), notify);
        } else if (what == "time") {
            expectWordCount(words, 3, "player time T");
            player.setTime(parseNumber<double>(words[2], "T"));
        } else {
            bad("unknown player command " + inQuotes(what) + " (known: legacy, item, queue, state, time)");
        }
    } else if (command == "library") {
        if (words.size() < 2)
            bad("expected: library [{JSON}, ...]");
        platform_->setLibrary(itemsFromJson(words.restFrom(1)));
    } else if (command == "launch") {
        expectWordCount(words, 1, "launch");
        if (launched)
            bad("the application was launched already");
        launch();
    } else if (command == "activate" || command == "terminate") {
        expectWordCount(words, 1, command == "activate" ? "activate" : "terminate");
        if (!launched)
            bad(std::string(command) + " needs launch first");
        if (command == "activate")
            delegate_->applicationDidBecomeActive();
        else
            delegate_->applicationWillTerminate();
    } else if (command == "advance") {
        expectWordCount(words, 2, "advance S");
        const double seconds = parseFiniteNumber(words[1], "S");
        if (seconds < 0)
            bad("advance cannot go back in time");
        platform_->advance(seconds);
    } else if (command == "touch") {
        expectWordCount(words, 4, "touch down|move|up X Y");
        const platform::Point at = parsePoint(words, 2);
        if (words[1] == "down")
            platform_->window().touchDown(at);
        else if (words[1] == "move")
            platform_->window().touchMove(at);
        else if (words[1] == "up")
            platform_->window().touchUp(at);
        else
            bad("expected: touch down|move|up X Y");
    } else if (command == "tap") {
        expectWordCount(words, 3, "tap X Y");
        const platform::Point at = parsePoint(words, 1);
        platform_->window().touchDown(at);
        platform_->window().touchUp(at);
    } else if (command == "swipe") {
        expectWordCount(words, 4, "swipe left|right X Y");
        const platform::Point start = parsePoint(words, 2);
        constexpr float swipeLengthPoints = 150;
        float dx = 0;
        if (words[1] == "left")
            dx = -swipeLengthPoints;
        else if (words[1] == "right")
            dx = swipeLengthPoints;
        else
            bad("expected: swipe left|right X Y");
        const platform::Point end{start.x + dx, start.y};
        platform_->window().touchDown(start);
        platform_->window().touchMove({start.x + dx / 2, start.y});
        platform_->window().touchMove(end);
        platform_->window().touchUp(end);
    } else if (command == "picker") {
        auto* picker = platform_->presentedPicker();
        if (words[1] == "cancel") {
            expectWordCount(words, 2, "picker cancel");
            if (!picker)
                bad("no picker is open");
            platform_->pickersMade(); // its settings as it was shown, before it goes
            picker->cancel();
        } else if (words[1] == "pick") {
            if (words.size() < 3)
                bad("expected: picker pick I J ... | picker pick none");
            std::vector<std::size_t> indices;
            if (!(words.size() == 3 && words[2] == "none")) {
                for (std::size_t i = 2; i < words.size(); ++i) {
                    const auto index = parseNumber<std::int64_t>(words[i], "a library index");
                    if (index < 0)
                        bad("library indices count from 0, not " + inQuotes(words[i]));
                    indices.push_back(static_cast<std::size_t>(index));
                }
            }
            if (!picker)
                bad("no picker is open");
            for (const std::size_t index : indices)
                if (index >= picker->library().size())
                    bad("the library has no item " + std::to_string(index) + " (it has " +
                        std::to_string(picker->library().size()) + ")");
            platform_->pickersMade(); // its settings as it was shown, before it goes
            picker->pick(indices);
        } else {
            bad("expected: picker pick I J ... | picker pick none | picker cancel");
        }
    } else if (command == "mail") {
        if (words[1] == "raise") {
            expectWordCount(words, 2, "mail raise");
            platform_->armMailException();
        } else if (words[1] == "result") {
            expectWordCount(words, 3, "mail result N");
            const std::int32_t result = parseInt32(words[2], "N");
            auto* composer = platform_->presentedComposer();
            if (!composer)
                bad("no mail composer is open");
            composer->finish(result);
        } else {
            bad("expected: mail result N | mail raise");
        }
    } else if (command == "alert") {
        expectWordCount(words, 2, "alert dismiss");
        if (words[1] != "dismiss")
            bad("expected: alert dismiss");
        if (!platform_->window().isAlertVisible())
            bad("no alert is shown");
        platform_->window().dismissAlert();
    } else if (command == "dump") {
        expectWordCount(words, 1, "dump");
        out_ << dumpState(*platform_, delegate_.get(), transitions_) << '\n' << std::flush;
    } else if (command == "screenshot") {
        const std::string path(words.restFrom(1));
        if (path.empty())
            bad("expected: screenshot PATH");
        if (!options_.screenshot)
            bad("screenshot: this build has no renderer for pictures");
        if (!options_.screenshot(platform_->window(), path))
            throw ScriptFailure("cannot write the screenshot " + inQuotes(path));
    } else {
        bad("unknown command " + inQuotes(command));
    }
    // Whatever the command set in motion for the present moment happens before the next one.
    platform_->runDueNow();
}

// --- Running a script ----------------------------------------------------------------------

int ScriptRunner::run(std::istream& script, const std::string& scriptName)
{
    std::string line;
    std::size_t lineNumber = 0;
    while (std::getline(script, line)) {
        ++lineNumber;
        const std::string prefix = "spoolora: " + scriptName + ":" + std::to_string(lineNumber) + ": ";
        try {
            runLine(line);
        } catch (const ScriptError& e) {
            err_ << prefix << e.what() << " in line: " << trimmed(line) << '\n';
            return scriptBadLine;
        } catch (const ScriptFailure& e) {
            err_ << prefix << e.what() << '\n';
            return scriptFailed;
        } catch (const std::exception& e) {
            // Nothing of the application should throw this far; say where it happened.
            err_ << prefix << "unexpected failure: " << e.what() << '\n';
            return scriptFailed;
        }
    }
    if (script.bad()) {
        err_ << "spoolora: cannot read the script " << scriptName << '\n';
        return scriptFailed;
    }
    return scriptSucceeded;
}

int runScriptFile(const std::string& pathOrDash, ScriptOptions options, std::ostream& out, std::ostream& err)
{
    ScriptRunner runner(std::move(options), out, err);
    if (pathOrDash == "-")
        return runner.run(std::cin, "<stdin>");
    std::ifstream file(pathOrDash, std::ios::binary);
    if (!file) {
        err << "spoolora: cannot read the script \"" << pathOrDash << "\": " << std::strerror(errno) << '\n';
        return scriptFailed;
    }
    return runner.run(file, pathOrDash);
}

const char* scriptHelpText() noexcept
{
    return R"(Script commands (one per line; '#' starts a comment; coordinates are screen points):
  prefs KEY N                  write integer N under KEY into the preferences
  player legacy                before launch: the player does not offer indexOfNowPlayingItem
  player item {JSON} | none    the now-playing item changes, as if from outside
                               keys: title, artist, album, duration, number, count
  player queue [{JSON}, ...]   replace the player's queue, the first item now playing
  player state N               the playback state becomes N, as if from outside
  player time T                the playback position becomes T seconds (nan, negative allowed)
  library [{JSON}, ...]        the music the picker offers
  launch                       start the application and make it active
  activate | terminate         the application becomes active again / will terminate
  advance S                    move the virtual clock S seconds ahead, running all that is due
  touch down|move|up X Y       one finger
  tap X Y                      touch down and up at the same instant
  swipe left|right X Y         a quick horizontal swipe of 150 points from X Y
  picker pick I J ... | picker pick none | picker cancel
                               the open picker confirms library items (from 0), nothing, or cancels
  mail result N                the open mail composer finishes with result N
  mail raise                   the next mail composer cannot be made (raises)
  alert dismiss                tap the button of the alert on screen
  dump                         print the state as one line of JSON
  screenshot PATH              draw the screen into a PNG file
After launch, player commands also post the notification their change brings.
A bad line stops the run with exit status 2.
)";
}

} // namespace spoolora
