#include "app/ScriptRunner.h"

#include "app/ScriptJson.h"
#include "app/SpooloraAppDelegate.h"
#include "player/MainViewController.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iostream>
#include <limits>
#include <optional>
#include <system_error>
#include <type_traits>

// Sections: reading a line · items from JSON · the command table · the commands ·
// running a script.

namespace spoolora {

using platform::headless::Notify;

namespace {

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

[[noreturn]] void bad(const std::string& message)
{
    throw ScriptError(message);
}

std::string inQuotes(std::string_view text)
{
    return "\"" + std::string(text) + "\"";
}

} // namespace

// The words of a line, the command they name, and, for commands that end in free
// text, what follows a given word.
class ScriptLine {
public:
    explicit ScriptLine(std::string_view line) : line_(line)
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

    void setCommand(const ScriptRunner::Command& command) noexcept { command_ = &command; }
    // A bad line whose message shows the command's usage.
    [[noreturn]] void badUsage() const { bad("expected: " + std::string(command_->usage)); }
    void expectWords(std::size_t count) const
    {
        if (size() != count)
            badUsage();
    }
    void expectAtLeastWords(std::size_t count) const
    {
        if (size() < count)
            badUsage();
    }

private:
    std::string_view line_;
    std::vector<std::string_view> words_;
    std::vector<std::size_t> starts_;
    const ScriptRunner::Command* command_ = nullptr;
};

namespace {

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

platform::Point parsePoint(const ScriptLine& words, std::size_t first)
{
    const double x = parseFiniteNumber(words[first], "X");
    const double y = parseFiniteNumber(words[first + 1], "Y");
    return {static_cast<float>(x), static_cast<float>(y)};
}

// --- Items from JSON --------------------------------------------------------------------

json::Json parseJson(std::string_view text)
{
    try {
        return json::parse(text);
    } catch (const json::ParseError& e) {
        bad(std::string("bad JSON: ") + e.what());
    }
}

platform::MediaItemPtr itemFromJson(const json::Json& value)
{
    if (!value.is_object())
        bad("an item must be a JSON object");
    auto item = std::make_shared<platform::MediaItem>();
    for (const auto& [key, member] : value.items()) {
        // A null member is a missing property, like a key left out.
        if (member.is_null())
            continue;
        const auto text = [&, &key = key, &member = member]() {
            if (!member.is_string())
                bad("item key " + inQuotes(key) + " must be a string");
            return member.get<std::string>();
        };
        const auto whole = [&, &key = key, &member = member]() {
            const bool fits = member.is_number_integer() &&
                              (!member.is_number_unsigned() ||
                               member.get<std::uint64_t>() <= std::uint64_t(std::numeric_limits<std::int64_t>::max()));
            if (!fits)
                bad("item key " + inQuotes(key) + " must be a whole number");
            return member.get<std::int64_t>();
        };
        if (key == "title")
            item->title = text();
        else if (key == "artist")
            item->artist = text();
        else if (key == "album")
            item->albumTitle = text();
        else if (key == "duration") {
            if (!member.is_number())
                bad("item key \"duration\" must be a number of seconds");
            item->playbackDuration = member.get<double>();
        } else if (key == "number")
            item->albumTrackNumber = whole();
        else if (key == "count")
            item->albumTrackCount = whole();
        else
            bad("unknown item key " + inQuotes(key) + " (known: title, artist, album, duration, number, count)");
    }
    return item;
}

std::vector<platform::MediaItemPtr> itemsFromJson(std::string_view text)
{
    const json::Json value = parseJson(text);
    if (!value.is_array())
        bad("expected a JSON array of items");
    std::vector<platform::MediaItemPtr> items;
    for (const json::Json& element : value)
        items.push_back(itemFromJson(element));
    return items;
}

// The first word of a command's name, and the second if it has one.
std::pair<std::string_view, std::string_view> nameWords(std::string_view name)
{
    const auto space = name.find(' ');
    if (space == std::string_view::npos)
        return {name, {}};
    return {name.substr(0, space), name.substr(space + 1)};
}

} // namespace

// --- The command table ----------------------------------------------------------------------

const std::vector<ScriptRunner::Command>& ScriptRunner::commands()
{
    static const std::vector<Command> table = {
        {"prefs", "prefs KEY N", "write integer N under KEY into the preferences", &ScriptRunner::setPreference},
        {"player legacy", "player legacy", "before launch: the player does not offer indexOfNowPlayingItem",
         &ScriptRunner::makePlayerLegacy},
        {"player item", "player item {JSON} | none",
         "the now-playing item changes, as if from outside\nkeys: title, artist, album, duration, number, count",
         &ScriptRunner::setPlayerItem},
        {"player queue", "player queue [{JSON}, ...]", "replace the player's queue, the first item now playing",
         &ScriptRunner::setPlayerQueue},
        {"player state", "player state N", "the playback state becomes N, as if from outside",
         &ScriptRunner::setPlayerState},
        {"player time", "player time T", "the playback position becomes T seconds (nan, negative allowed)",
         &ScriptRunner::setPlayerTime},
        {"library", "library [{JSON}, ...]",
         "the music library the picker shows as albums, artists and songs: one track per item\n"
         "(keys as for player item; tracks of one album and artist make an album);\n"
         "picker pick counts the tracks from 0 in this order; an open picker shows the change",
         &ScriptRunner::setLibrary},
        {"launch", "launch", "start the application and make it active", &ScriptRunner::launchCommand},
        {"activate", "activate", "the application becomes active again", &ScriptRunner::activate},
        {"terminate", "terminate", "the application will terminate; nothing may follow", &ScriptRunner::terminate},
        {"advance", "advance S",
         "move the virtual clock S seconds ahead (at most a day), running all that is due",
         &ScriptRunner::advance},
        {"touch", "touch down|move|up X Y", "one finger", &ScriptRunner::touch},
        {"tap", "tap X Y", "touch down and up at the same instant", &ScriptRunner::tap},
        {"swipe", "swipe left|right X Y", "a quick horizontal swipe of 150 points from X Y", &ScriptRunner::swipe},
        {"wheel", "wheel X Y D", "the mouse wheel over X Y moves D points (positive: later rows come up)",
         &ScriptRunner::wheel},
        {"key", "key NAME",
         "press and release a key: escape, return, backspace, tab, left, right, up, down,\n"
         "home, end, pageup, pagedown, or one character",
         &ScriptRunner::key},
        {"type", "type TEXT", "type the rest of the line, key by key (the picker's search field takes it)",
         &ScriptRunner::type},
        {"picker pick", "picker pick I J ... | none", "the open picker confirms library items (from 0), or nothing",
         &ScriptRunner::pick},
        {"picker cancel", "picker cancel", "the open picker is cancelled", &ScriptRunner::cancelPicker},
        {"mail result", "mail result N", "the open mail composer finishes with result N", &ScriptRunner::finishMail},
        {"mail raise", "mail raise", "the next mail composer cannot be made (raises)", &ScriptRunner::raiseMail},
        {"alert dismiss", "alert dismiss", "tap the button of the alert on screen", &ScriptRunner::dismissAlert},
        {"dump", "dump", "print the state as one line of JSON", &ScriptRunner::dump},
        {"screenshot", "screenshot PATH", "draw the screen into a PNG file", &ScriptRunner::screenshot},
    };
    return table;
}

std::string scriptHelpText()
{
    constexpr std::size_t usageColumn = 29;
    std::string text = "Script commands (one per line; '#' starts a comment; coordinates are screen points):\n";
    const std::string indent(2 + usageColumn, ' ');
    for (const ScriptRunner::Command& command : ScriptRunner::commands()) {
        std::string line = "  " + std::string(command.usage);
        if (command.usage.size() < usageColumn)
            line.append(usageColumn - command.usage.size(), ' ');
        else
            line += "\n" + indent;
        std::string_view help = command.help;
        for (std::size_t end; (end = help.find('\n')) != std::string_view::npos; help.remove_prefix(end + 1))
            line += std::string(help.substr(0, end)) + "\n" + indent;
        text += line + std::string(help) + "\n";
    }
    text += "After launch, player commands also post the notification their change brings.\n"
            "A bad line, or one longer than 1 MiB, stops the run with exit status 2.\n";
    return text;
}

// --- The commands -------------------------------------------------------------------------

ScriptRunner::ScriptRunner(platform::headless::HeadlessPlatform& platform, ScriptOptions options,
                           std::ostream& out, std::ostream& err)
    : platform_(platform), options_(std::move(options)), out_(out), err_(err)
{
}

ScriptRunner::~ScriptRunner() = default;

void ScriptRunner::launch()
{
    delegate_ = makeApplicationDelegate(platform_);
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
    ScriptLine words(withoutComment(rawLine));
    if (words.empty())
        return;
    const Command* found = nullptr;
    std::string known;
    for (const Command& command : commands()) {
        const auto [first, second] = nameWords(command.name);
        if (first != words[0])
            continue;
        if (second.empty() || second == words[1]) {
            found = &command;
            break;
        }
        known += (known.empty() ? "" : " | ") + std::string(command.usage);
    }
    // The process is ending: nothing of the application may run after that.
    if (terminated_)
        bad("nothing can follow terminate");
    if (!found && known.empty())
        bad("unknown command " + inQuotes(words[0]));
    if (!found)
        bad("expected: " + known);
    words.setCommand(*found);
    (this->*found->run)(words);
    // Whatever the command set in motion for the present moment happens before the next one.
    platform_.runDueNow();
}

void ScriptRunner::setPreference(const ScriptLine& line)
{
    line.expectWords(3);
    platform::UserDefaults& defaults = platform_.standardUserDefaults();
    defaults.setIntegerForKey(parseNumber<std::int64_t>(line[2], "N"), std::string(line[1]));
    defaults.synchronize();
}

void ScriptRunner::makePlayerLegacy(const ScriptLine& line)
{
    line.expectWords(2);
    if (delegate_)
        bad("player legacy must come before launch");
    platform_.scriptedPlayer().setLegacy(true);
}

void ScriptRunner::setPlayerItem(const ScriptLine& line)
{
    line.expectAtLeastWords(3);
    const Notify notify = delegate_ ? Notify::Yes : Notify::No;
    if (line.size() == 3 && line[2] == "none")
        platform_.scriptedPlayer().setNowPlayingItem(nullptr, notify);
    else
        platform_.scriptedPlayer().setNowPlayingItem(itemFromJson(parseJson(line.restFrom(2))), notify);
}

void ScriptRunner::setPlayerQueue(const ScriptLine& line)
{
    line.expectAtLeastWords(3);
    platform_.scriptedPlayer().setQueue(itemsFromJson(line.restFrom(2)), delegate_ ? Notify::Yes : Notify::No);
}

void ScriptRunner::setPlayerState(const ScriptLine& line)
{
    line.expectWords(3);
    platform_.scriptedPlayer().setState(parseInt32(line[2], "N"), delegate_ ? Notify::Yes : Notify::No);
}

void ScriptRunner::setPlayerTime(const ScriptLine& line)
{
    line.expectWords(3);
    platform_.scriptedPlayer().setTime(parseNumber<double>(line[2], "T"));
}

void ScriptRunner::setLibrary(const ScriptLine& line)
{
    line.expectAtLeastWords(2);
    platform_.setLibrary(itemsFromJson(line.restFrom(1)));
}

void ScriptRunner::launchCommand(const ScriptLine& line)
{
    line.expectWords(1);
    if (delegate_)
        bad("the application was launched already");
    launch();
}

void ScriptRunner::requireLaunch(const ScriptLine& line) const
{
    line.expectWords(1);
    if (!delegate_)
        bad(std::string(line[0]) + " needs launch first");
}

void ScriptRunner::activate(const ScriptLine& line)
{
    requireLaunch(line);
    delegate_->applicationDidBecomeActive();
}

void ScriptRunner::terminate(const ScriptLine& line)
{
    requireLaunch(line);
    delegate_->applicationWillTerminate();
    terminated_ = true;
}

void ScriptRunner::advance(const ScriptLine& line)
{
    line.expectWords(2);
    const double seconds = parseFiniteNumber(line[1], "S");
    if (seconds < 0)
        bad("advance cannot go back in time");
    if (seconds > maxAdvanceSeconds)
        bad("advance moves at most one day (86400 seconds) at a time");
    platform_.advance(seconds);
}

void ScriptRunner::touch(const ScriptLine& line)
{
    line.expectWords(4);
    const platform::Point at = parsePoint(line, 2);
    if (line[1] == "down")
        platform_.window().touchDown(at);
    else if (line[1] == "move")
        platform_.window().touchMove(at);
    else if (line[1] == "up")
        platform_.window().touchUp(at);
    else
        line.badUsage();
}

void ScriptRunner::tap(const ScriptLine& line)
{
    line.expectWords(3);
    const platform::Point at = parsePoint(line, 1);
    platform_.window().touchDown(at);
    platform_.window().touchUp(at);
}

void ScriptRunner::swipe(const ScriptLine& line)
{
    line.expectWords(4);
    const platform::Point start = parsePoint(line, 2);
    constexpr float swipeLengthPoints = 150;
    float dx = 0;
    if (line[1] == "left")
        dx = -swipeLengthPoints;
    else if (line[1] == "right")
        dx = swipeLengthPoints;
    else
        line.badUsage();
    const platform::Point end{start.x + dx, start.y};
    platform_.window().touchDown(start);
    platform_.window().touchMove({start.x + dx / 2, start.y});
    platform_.window().touchMove(end);
    platform_.window().touchUp(end);
}

void ScriptRunner::wheel(const ScriptLine& line)
{
    line.expectWords(4);
    const platform::Point at = parsePoint(line, 1);
    platform_.window().scrollWheel(at, static_cast<float>(parseFiniteNumber(line[3], "D")));
}

namespace {

std::optional<platform::KeyEvent> namedKey(std::string_view name)
{
    using platform::Key;
    static const std::pair<std::string_view, Key> names[] = {
        {"escape", Key::Escape}, {"return", Key::Return}, {"backspace", Key::Backspace}, {"delete", Key::Delete},
        {"tab", Key::Tab}, {"left", Key::Left}, {"right", Key::Right}, {"up", Key::Up}, {"down", Key::Down},
        {"home", Key::Home}, {"end", Key::End}, {"pageup", Key::PageUp}, {"pagedown", Key::PageDown},
    };
    for (const auto& [known, key] : names)
        if (name == known)
            return platform::KeyEvent::named(key);
    if (name.size() == 1 && static_cast<unsigned char>(name[0]) > 0x20 && static_cast<unsigned char>(name[0]) < 0x7F)
        return platform::KeyEvent::typing(static_cast<char32_t>(std::tolower(static_cast<unsigned char>(name[0]))));
    return std::nullopt;
}

} // namespace

void ScriptRunner::key(const ScriptLine& line)
{
    line.expectWords(2);
    const auto event = namedKey(line[1]);
    if (!event)
        bad("unknown key " + inQuotes(line[1]));
    platform_.window().keyEvent(*event, platform::KeyPhase::Down);
    platform_.window().keyEvent(*event, platform::KeyPhase::Up);
}

void ScriptRunner::type(const ScriptLine& line)
{
    line.expectAtLeastWords(2);
    const std::string_view text = line.restFrom(1);
    // Each character as a keyboard gives it: its key goes down, its text arrives, the key comes up.
    for (std::size_t at = 0; at < text.size();) {
        std::size_t next = at + 1;
        while (next < text.size() && (static_cast<unsigned char>(text[next]) & 0xC0) == 0x80)
            ++next;
        const auto first = static_cast<unsigned char>(text[at]);
        const char32_t character = first < 0x80 ? static_cast<char32_t>(std::tolower(first)) : 0xFFFD;
        const platform::KeyEvent event = platform::KeyEvent::typing(character);
        platform_.window().keyEvent(event, platform::KeyPhase::Down);
        platform_.window().textInput(std::string(text.substr(at, next - at)));
        platform_.window().keyEvent(event, platform::KeyPhase::Up);
        at = next;
    }
}

void ScriptRunner::pick(const ScriptLine& line)
{
    line.expectAtLeastWords(3);
    std::vector<std::size_t> indices;
    if (!(line.size() == 3 && line[2] == "none")) {
        for (std::size_t i = 2; i < line.size(); ++i) {
            const auto index = parseNumber<std::int64_t>(line[i], "a library index");
            if (index < 0)
                bad("library indices count from 0, not " + inQuotes(line[i]));
            indices.push_back(static_cast<std::size_t>(index));
        }
    }
    auto* picker = platform_.presentedPicker();
    if (!picker)
        bad("no picker is open");
    for (const std::size_t index : indices)
        if (index >= platform_.musicLibrary().contents()->trackCount())
            bad("the library has no item " + std::to_string(index) + " (it has " +
                std::to_string(platform_.musicLibrary().contents()->trackCount()) + ")");
    platform_.pickersMade(); // its settings as it was shown, before it goes
    picker->pick(indices);
}

void ScriptRunner::cancelPicker(const ScriptLine& line)
{
    line.expectWords(2);
    auto* picker = platform_.presentedPicker();
    if (!picker)
        bad("no picker is open");
    platform_.pickersMade(); // its settings as it was shown, before it goes
    picker->cancel();
}

void ScriptRunner::finishMail(const ScriptLine& line)
{
    line.expectWords(3);
    const std::int32_t result = parseInt32(line[2], "N");
    auto* composer = platform_.presentedComposer();
    if (!composer)
        bad("no mail composer is open");
    composer->finish(result);
}

void ScriptRunner::raiseMail(const ScriptLine& line)
{
    line.expectWords(2);
    platform_.armMailException();
}

void ScriptRunner::dismissAlert(const ScriptLine& line)
{
    line.expectWords(2);
    if (!platform_.window().isAlertVisible())
        bad("no alert is shown");
    platform_.window().dismissAlert();
}

void ScriptRunner::dump(const ScriptLine& line)
{
    line.expectWords(1);
    out_ << dumpState(platform_, delegate_.get(), transitions_) << '\n' << std::flush;
}

void ScriptRunner::screenshot(const ScriptLine& line)
{
    const std::string path(line.restFrom(1));
    if (path.empty())
        line.badUsage();
    if (!options_.screenshot)
        bad("screenshot: this build has no renderer for pictures");
    if (!options_.screenshot(platform_.window(), path))
        throw ScriptFailure("cannot write the screenshot " + inQuotes(path));
}

// --- Running a script ----------------------------------------------------------------------

namespace {

enum class LineRead { Line, End, TooLong };

// The next line without its line feed, reading at most maxScriptLineBytes of it.
LineRead readLine(std::istream& script, std::vector<char>& buffer, std::string& line)
{
    buffer.resize(maxScriptLineBytes + 2);
    script.getline(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const auto got = static_cast<std::size_t>(script.gcount());
    if (script.fail() && !script.eof() && got == buffer.size() - 1)
        return LineRead::TooLong;   // the buffer filled before a line feed came
    if (got == 0)
        return LineRead::End;   // the end, or a read error that run() reports
    // gcount counts the line feed when there was one; a last line may lack it.
    const bool hadLineFeed = !script.eof();
    line.assign(buffer.data(), hadLineFeed ? got - 1 : got);
    if (line.size() > maxScriptLineBytes)
        return LineRead::TooLong;
    script.clear(script.rdstate() & std::ios::eofbit);
    return LineRead::Line;
}

} // namespace

int ScriptRunner::run(std::istream& script, const std::string& scriptName)
{
    constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
    std::vector<char> buffer;
    std::string line;
    std::size_t lineNumber = 0;
    for (;;) {
        const LineRead read = readLine(script, buffer, line);
        if (read == LineRead::End)
            break;
        ++lineNumber;
        const std::string prefix = "spoolora: " + scriptName + ":" + std::to_string(lineNumber) + ": ";
        if (read == LineRead::TooLong) {
            err_ << prefix << "the line is longer than " << maxScriptLineBytes << " bytes\n";
            return scriptBadLine;
        }
        if (lineNumber == 1 && line.starts_with(byteOrderMark))
            line.erase(0, byteOrderMark.size());
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

int runScriptFile(const std::string& pathOrDash, platform::headless::HeadlessPlatform& platform,
                  ScriptOptions options, std::ostream& out, std::ostream& err)
{
    ScriptRunner runner(platform, std::move(options), out, err);
    if (pathOrDash == "-")
        return runner.run(std::cin, "<stdin>");
    std::ifstream file(pathOrDash, std::ios::binary);
    if (!file) {
        err << "spoolora: cannot read the script \"" << pathOrDash << "\": " << std::strerror(errno) << '\n';
        return scriptFailed;
    }
    return runner.run(file, pathOrDash);
}

} // namespace spoolora
