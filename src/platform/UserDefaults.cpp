#include "platform/UserDefaults.h"

#include "platform/AtomicFile.h"

// Sections: key rules · the in-memory store · the file format · the file store.

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <pwd.h>
#include <stdexcept>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

// --- Key rules --------------------------------------------------------------

// What a key may be so that it reads back the same from the file.
bool isStorableKey(const std::string& key)
{
    if (key.empty() || key.front() == '#')
        return false;
    for (const char c : key)
        if (c == '=' || c == '\n' || c == '\r' || c == '\0')
            return false;
    const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    return !isBlank(key.front()) && !isBlank(key.back());
}

// The key as one printable line, for messages.
std::string printable(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

// --- The in-memory store ----------------------------------------------------

std::int64_t MemoryUserDefaults::integerForKey(const std::string& key) const
{
    const auto it = values_.find(key);
    return it == values_.end() ? 0 : it->second;
}

void MemoryUserDefaults::setIntegerForKey(std::int64_t value, const std::string& key)
{
    strings_.erase(key);
    values_[key] = value;
}

std::optional<std::string> MemoryUserDefaults::stringForKey(const std::string& key) const
{
    const auto it = strings_.find(key);
    return it == strings_.end() ? std::nullopt : std::optional<std::string>(it->second);
}

void MemoryUserDefaults::setStringForKey(const std::string& value, const std::string& key)
{
    values_.erase(key);
    strings_[key] = value;
}

bool MemoryUserDefaults::hasValueForKey(const std::string& key) const
{
    return values_.count(key) > 0 || strings_.count(key) > 0;
}

// --- The file format --------------------------------------------------------
//
//     # Spoolora preferences
//     first_startup_parameter_userprefs = 1
//     selectedTapePreference = 3
//     outputDevicePreference = "USB \"DAC\" \x0a"
//
// The first line marks the file as ours; every line ends with a newline, so a
// file cut short is told from a complete one (unless it was cut exactly between
// lines). Blank lines and further '#' lines are allowed for hand edits.

namespace {

const std::string_view headerLine = "# Spoolora preferences";
constexpr std::uintmax_t largestSensibleFile = 1 << 20;

// A file that is not one we could have written. Thrown only inside this file.
struct BadPreferencesFile : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// A file that may well be good but cannot be read now (its permissions, its owner,
// the disk). Thrown only inside this file.
struct UnreadableFile : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// At most this many damaged files are kept beside the preferences: ".bad", ".bad.2", …
constexpr int maxBadCopies = 5;

std::string_view trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string lineError(const char* what, std::size_t lineNumber)
{
    char message[96];
    std::snprintf(message, sizeof message, "%s on line %zu", what, lineNumber);
    return message;
}

struct Preferences {
    std::map<std::string, std::int64_t> integers;
    std::map<std::string, std::string> strings;
};

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A quoted string as formatString() writes it; nothing when it is not one.
std::optional<std::string> parseString(std::string_view quoted)
{
    if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"')
        return std::nullopt;
    quoted = quoted.substr(1, quoted.size() - 2);
    std::string text;
    for (std::size_t i = 0; i < quoted.size(); ++i) {
        const char c = quoted[i];
        if (c == '"')
            return std::nullopt;
        if (c != '\\') {
            text += c;
            continue;
        }
        if (++i == quoted.size())
            return std::nullopt;
        if (quoted[i] == '\\' || quoted[i] == '"') {
            text += quoted[i];
            continue;
        }
        if (quoted[i] != 'x' || i + 2 >= quoted.size() || hexDigit(quoted[i + 1]) < 0 || hexDigit(quoted[i + 2]) < 0)
            return std::nullopt;
        text += static_cast<char>(hexDigit(quoted[i + 1]) * 16 + hexDigit(quoted[i + 2]));
        i += 2;
    }
    return text;
}

std::string formatString(const std::string& text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\' || c == '"') {
            quoted += '\\';
            quoted += c;
        } else if (byte < 0x20 || byte == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            quoted += escaped;
        } else {
            quoted += c;
        }
    }
    quoted += '"';
    return quoted;
}

// Throws BadPreferencesFile.
Preferences parsePreferences(std::string_view text)
{
    if (text.empty())
        throw BadPreferencesFile("empty file");
    if (text.find('\0') != std::string_view::npos)
        throw BadPreferencesFile("binary data");
    if (text.back() != '\n')
        throw BadPreferencesFile("truncated: the last line is incomplete");

    Preferences values;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);

        if (lineNumber == 1) {
            if (trimmed(line) != headerLine)
                throw BadPreferencesFile("not a Spoolora preferences file");
            continue;
        }
        const auto content = trimmed(line);
        if (content.empty() || content.front() == '#')
            continue;

        const auto equals = content.find('=');
        if (equals == std::string_view::npos)
            throw BadPreferencesFile(lineError("no \"key = value\"", lineNumber));
        const auto key = trimmed(content.substr(0, equals));
        auto number = trimmed(content.substr(equals + 1));
        // A hand-written plus sign is harmless; from_chars alone would refuse it.
        if (number.size() > 1 && number.front() == '+' && number[1] != '-')
            number.remove_prefix(1);
        if (key.empty())
            throw BadPreferencesFile(lineError("empty key", lineNumber));
        if (!number.empty() && number.front() == '"') {
            auto string = parseString(number);
            if (!string)
                throw BadPreferencesFile(lineError("not a quoted string", lineNumber));
            values.integers.erase(std::string(key));
            values.strings.insert_or_assign(std::string(key), std::move(*string));
            continue;
        }

        std::int64_t value = 0;
        const auto [rest, error] = std::from_chars(number.data(), number.data() + number.size(), value);
        // Saturating a number this file could not have held would invent a value; the
        // whole file is treated as damaged instead.
        if (error == std::errc::result_out_of_range)
            throw BadPreferencesFile(lineError("number out of range", lineNumber));
        if (error != std::errc() || rest != number.data() + number.size() || number.empty())
            throw BadPreferencesFile(lineError("not a whole number", lineNumber));
        values.strings.erase(std::string(key));
        values.integers.insert_or_assign(std::string(key), value);
    }
    return values;
}

std::string formatPreferences(const std::map<std::string, std::int64_t>& values,
                              const std::map<std::string, std::string>& strings)
{
    std::string text(headerLine);
    text += '\n';
    for (const auto& [key, value] : strings) {
        text += key;
        text += " = ";
        text += formatString(value);
        text += '\n';
    }
    for (const auto& [key, value] : values) {
        char number[32];
        std::snprintf(number, sizeof number, "%lld", static_cast<long long>(value));
        text += key;
        text += " = ";
        text += number;
        text += '\n';
    }
    return text;
}

// Throws UnreadableFile when the file cannot be read, BadPreferencesFile when what
// is there cannot be a preferences file.
std::string readWholeFile(const std::filesystem::path& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0 && errno == ELOOP)
        throw BadPreferencesFile("a loop of symbolic links");
    if (fd < 0)
        throw UnreadableFile(std::strerror(errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};

    struct stat info {};
    if (::fstat(fd, &info) != 0)
        throw UnreadableFile(std::strerror(errno));
    if (!S_ISREG(info.st_mode))
        throw BadPreferencesFile("not a regular file");
    if (static_cast<std::uintmax_t>(info.st_size) > largestSensibleFile)
        throw BadPreferencesFile("far too large");

    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw UnreadableFile(std::strerror(errno));
        if (got == 0)
            return text;
        text.append(buffer, static_cast<std::size_t>(got));
        if (text.size() > largestSensibleFile)
            throw BadPreferencesFile("far too large");
    }
}

// Moves the damaged file to the first free name of ".bad", ".bad.2" … ".bad.5", or over
// the oldest of them when all are taken, so that a later damaged file never replaces
// an earlier one while there is room. The name it now has, or none when it could not move.
std::optional<std::filesystem::path> setAside(const std::filesystem::path& path)
{
    std::vector<std::filesystem::path> names;
    for (int n = 1; n <= maxBadCopies; ++n)
        names.push_back(path.string() + ".bad" + (n == 1 ? "" : "." + std::to_string(n)));
    for (const auto& name : names) {
        if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) == 0)
            return name;
        if (errno == EEXIST)
            continue;
        // A file system that cannot refuse to replace: look first, then move.
        if (errno == EINVAL || errno == ENOSYS) {
            std::error_code error;
            if (std::filesystem::exists(std::filesystem::symlink_status(name, error)))
                continue;
            if (::rename(path.c_str(), name.c_str()) == 0)
                return name;
        }
        return std::nullopt;
    }
    auto oldest = names.front();
    std::error_code error;
    for (const auto& name : names)
        if (std::filesystem::last_write_time(name, error) < std::filesystem::last_write_time(oldest, error))
            oldest = name;
    if (::rename(path.c_str(), oldest.c_str()) == 0)
        return oldest;
    return std::nullopt;
}

} // namespace

// --- The file store ---------------------------------------------------------

FileUserDefaults::FileUserDefaults(std::filesystem::path folder, std::string fileName)
    : folder_(std::move(folder)), path_(folder_ / fileName)
{
    std::error_code error;
    // Left by a save that was cut short: the file they were meant to replace is still whole.
    for (std::filesystem::directory_iterator it(folder_, error), end; !error && it != end; it.increment(error))
        if (isAtomicWriteLeftover(it->path().filename().string(), fileName)) {
            std::error_code ignored;   // another leftover that stays is as harmless as this one
            std::filesystem::remove(it->path(), ignored);
        }

    if (!std::filesystem::exists(std::filesystem::symlink_status(path_, error)))
        return;

    try {
        Preferences read = parsePreferences(readWholeFile(path_));
        values_ = std::move(read.integers);
        strings_ = std::move(read.strings);
    } catch (const UnreadableFile& unreadable) {
        values_.clear();
        strings_.clear();
        leftAlone_ = true;
        std::fprintf(stderr,
                     "spoolora: cannot read the preferences file \"%s\" (%s); starting with defaults, and the "
                     "file is left as it is\n",
                     path_.c_str(), unreadable.what());
    } catch (const BadPreferencesFile& bad) {
        values_.clear();
        strings_.clear();
        // Set aside before anything can overwrite it, so that it can still be looked at.
        if (const auto aside = setAside(path_)) {
            std::fprintf(stderr,
                         "spoolora: preferences file \"%s\" is unreadable (%s); starting with defaults, "
                         "the old file is kept as \"%s\"\n",
                         path_.c_str(), bad.what(), aside->c_str());
        } else {
            leftAlone_ = true;
            std::fprintf(stderr,
                         "spoolora: preferences file \"%s\" is unreadable (%s); starting with defaults, "
                         "and it cannot be set aside (%s), so it is left as it is\n",
                         path_.c_str(), bad.what(), std::strerror(errno));
        }
    }
}

std::int64_t FileUserDefaults::integerForKey(const std::string& key) const
{
    const auto it = values_.find(key);
    return it == values_.end() ? 0 : it->second;
}

namespace {

// Whether a key can go into the file; one that cannot is named on stderr and its value ignored.
bool acceptsKey(const std::string& key)
{
    if (isStorableKey(key))
        return true;
    std::fprintf(stderr,
                 "spoolora: preference key \"%s\" cannot be stored (empty, a line break, '=', or a leading "
                 "'#' or blank); the value is ignored\n",
                 printable(key).c_str());
    return false;
}

// Puts value under key in `into`, taking the key out of `other` (a key holds one kind of
// value); says whether anything changed.
template <typename Value, typename Other>
bool store(std::map<std::string, Value>& into, Other& other, const std::string& key, const Value& value)
{
    bool changed = other.erase(key) > 0;
    const auto [it, inserted] = into.try_emplace(key, value);
    if (inserted || !(it->second == value)) {
        it->second = value;
        changed = true;
    }
    return changed;
}

} // namespace

void FileUserDefaults::setIntegerForKey(std::int64_t value, const std::string& key)
{
    if (!acceptsKey(key))
        return;
    if (store(values_, strings_, key, value))
        dirty_ = true;
}

std::optional<std::string> FileUserDefaults::stringForKey(const std::string& key) const
{
    const auto it = strings_.find(key);
    return it == strings_.end() ? std::nullopt : std::optional<std::string>(it->second);
}

void FileUserDefaults::setStringForKey(const std::string& value, const std::string& key)
{
    if (!acceptsKey(key))
        return;
    if (store(strings_, values_, key, value))
        dirty_ = true;
}

bool FileUserDefaults::hasValueForKey(const std::string& key) const
{
    return values_.count(key) > 0 || strings_.count(key) > 0;
}

bool FileUserDefaults::synchronize()
{
    if (leftAlone_)
        return false;   // said once, when the file was found
    if (!dirty_)
        return true;
    try {
        writeFileAtomically(path_, formatPreferences(values_, strings_));
    } catch (const AtomicWriteError& failure) {
        std::fprintf(stderr, "spoolora: cannot save preferences to \"%s\": %s\n", path_.c_str(),
                     failure.reason.c_str());
        return false;
    }
    dirty_ = false;
    return true;
}

std::filesystem::path FileUserDefaults::defaultFolder()
{
    // Relative values are invalid by the XDG rules and are ignored.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
        return std::filesystem::path(config) / "spoolora";
    if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        return std::filesystem::path(home) / ".config" / "spoolora";
    if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir && user->pw_dir[0] == '/')
        return std::filesystem::path(user->pw_dir) / ".config" / "spoolora";
    return std::filesystem::path(".config") / "spoolora";
}

} // namespace platform
