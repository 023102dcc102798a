#pragma once
// The user-preferences store: integers and strings under string keys. A key holds
// one value at a time: writing one kind replaces a value of the other.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace platform {

class UserDefaults {
public:
    virtual ~UserDefaults() = default;
    // The integer stored under the key; 0 when the key was never written.
    virtual std::int64_t integerForKey(const std::string& key) const = 0;
    virtual void setIntegerForKey(std::int64_t value, const std::string& key) = 0;
    // The string stored under the key (any bytes); nothing when none is.
    virtual std::optional<std::string> stringForKey(const std::string& key) const = 0;
    virtual void setStringForKey(const std::string& value, const std::string& key) = 0;
    // Whether the key holds a value of either kind.
    virtual bool hasValueForKey(const std::string& key) const = 0;
    // Makes every write so far survive the end of the process. Returns false when
    // the store could not be written (the reason has been printed once on stderr).
    virtual bool synchronize() = 0;
};

// Kept in memory only; synchronize() always succeeds. Tests may preload it.
class MemoryUserDefaults final : public UserDefaults {
public:
    std::int64_t integerForKey(const std::string& key) const override;
    void setIntegerForKey(std::int64_t value, const std::string& key) override;
    std::optional<std::string> stringForKey(const std::string& key) const override;
    void setStringForKey(const std::string& value, const std::string& key) override;
    bool hasValueForKey(const std::string& key) const override;
    bool synchronize() override { return true; }
    const std::map<std::string, std::int64_t>& values() const { return values_; }

private:
    std::map<std::string, std::int64_t> values_;
    std::map<std::string, std::string> strings_;
};

// A small text file, one "key = value" line per key, in the given folder
// (normally $XDG_CONFIG_HOME/spoolora). synchronize() replaces it atomically
// (writeFileAtomically: through a symbolic link, keeping the permission bits).
// Strings are written in double quotes, with \\, \" and \xHH for the bytes that
// would break the line (control characters).
// Nothing the user had is ever lost:
// - A file that cannot be parsed is set aside as "<name>.bad" (then ".bad.2" up to
//   ".bad.5", the oldest replaced when all are taken) and the store starts empty.
// - A file that cannot be read at all (permissions, another owner) is left where it
//   is and never written over: the store runs on defaults in memory, and
//   synchronize() returns false.
// Either case is said once on stderr.
class FileUserDefaults final : public UserDefaults {
public:
    // Reads the file if it exists. Never throws for a bad or unreadable file.
    explicit FileUserDefaults(std::filesystem::path folder, std::string fileName = "preferences.conf");
    std::int64_t integerForKey(const std::string& key) const override;
    void setIntegerForKey(std::int64_t value, const std::string& key) override;
    std::optional<std::string> stringForKey(const std::string& key) const override;
    void setStringForKey(const std::string& value, const std::string& key) override;
    bool hasValueForKey(const std::string& key) const override;
    bool synchronize() override;

    const std::filesystem::path& path() const { return path_; }
    // $XDG_CONFIG_HOME/spoolora, or ~/.config/spoolora.
    static std::filesystem::path defaultFolder();

private:
    std::filesystem::path folder_;
    std::filesystem::path path_;
    std::map<std::string, std::int64_t> values_;
    std::map<std::string, std::string> strings_;
    bool dirty_ = false;
    bool leftAlone_ = false;
};

} // namespace platform
