#include "platform/UserDefaults.h"

#include "support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>

namespace fs = std::filesystem;
using platform::FileUserDefaults;

namespace {

std::size_t lineCount(const std::string& text)
{
    std::size_t lines = 0;
    for (const char c : text)
        lines += c == '\n';
    return lines;
}

class PreferencesFile : public ::testing::Test {
protected:
    testsupport::ScratchFolder scratch{"spoolora-prefs"};

    fs::path file() const { return folder / "preferences.conf"; }
    fs::path badFile() const { return folder / "preferences.conf.bad"; }

    const fs::path& folder = scratch.path();
};

TEST_F(PreferencesFile, RoundTripsAsReadableText)
{
    const auto nested = folder / "config" / "spoolora";
    {
        FileUserDefaults store(nested);
        store.setIntegerForKey(1, "first_startup_parameter_userprefs");
        store.setIntegerForKey(std::numeric_limits<std::int64_t>::min(), "selectedTapePreference");
        store.setIntegerForKey(std::numeric_limits<std::int64_t>::max(), "largest");
        ASSERT_TRUE(store.synchronize());
    }
    EXPECT_EQ(testsupport::readWholeFile(nested / "preferences.conf"), "# Spoolora preferences\n"
                                                     "first_startup_parameter_userprefs = 1\n"
                                                     "largest = 9223372036854775807\n"
                                                     "selectedTapePreference = -9223372036854775808\n");
    FileUserDefaults reread(nested);
    EXPECT_EQ(reread.integerForKey("first_startup_parameter_userprefs"), 1);
    EXPECT_EQ(reread.integerForKey("selectedTapePreference"), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(reread.integerForKey("largest"), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(reread.integerForKey("never written"), 0);
    // Nothing else, such as a temporary file, is left in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(nested), fs::directory_iterator()), 1);
}

TEST_F(PreferencesFile, StringsOfAnyBytesRoundTripAndReplaceIntegers)
{
    const std::string awkward = std::string("USB \"DAC\" \\ 2\n\tend \xff\x7f") + '\0' + "z";
    {
        FileUserDefaults store(folder);
        store.setStringForKey(awkward, "outputDevicePreference");
        store.setIntegerForKey(4, "selectedTapePreference");
        store.setIntegerForKey(9, "changes kind");
        store.setStringForKey("now text", "changes kind");
        ASSERT_TRUE(store.synchronize());
        EXPECT_EQ(store.integerForKey("changes kind"), 0);
    }
    // One line per key: what would break a line is escaped.
    EXPECT_EQ(lineCount(testsupport::readWholeFile(file())), 4u);
    FileUserDefaults reread(folder);
    EXPECT_EQ(reread.stringForKey("outputDevicePreference"), awkward);
    EXPECT_EQ(reread.integerForKey("selectedTapePreference"), 4);
    EXPECT_EQ(reread.stringForKey("changes kind"), "now text");
    EXPECT_EQ(reread.stringForKey("selectedTapePreference"), std::nullopt);
    EXPECT_TRUE(reread.hasValueForKey("outputDevicePreference"));
    EXPECT_FALSE(reread.hasValueForKey("never written"));

    // A hand edit in the same form reads too.
    testsupport::writeWholeFile(file(), "# Spoolora preferences\n  name =  \"a = \\x41 \\\"q\\\"\"  \n");
    EXPECT_EQ(FileUserDefaults(folder).stringForKey("name"), "a = A \"q\"");

    platform::MemoryUserDefaults memory;
    memory.setIntegerForKey(3, "key");
    memory.setStringForKey("text", "key");
    EXPECT_EQ(memory.integerForKey("key"), 0);
    EXPECT_EQ(memory.stringForKey("key"), "text");
    memory.setIntegerForKey(3, "key");
    EXPECT_EQ(memory.stringForKey("key"), std::nullopt);
    EXPECT_TRUE(memory.hasValueForKey("key"));
}

TEST_F(PreferencesFile, CrashBeforeTheRenameKeepsTheOldValues)
{
    {
        FileUserDefaults store(folder);
        store.setIntegerForKey(3, "selectedTapePreference");
        ASSERT_TRUE(store.synchronize());
    }
    // What a save cut short between writing and renaming leaves behind.
    const auto leftover = folder / "preferences.conf.tmp-k3Zq9a";
    testsupport::writeWholeFile(leftover, "# Spoolora preferences\nselectedTapePreference = 7\n");

    testing::internal::CaptureStderr();
    FileUserDefaults store(folder);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(store.integerForKey("selectedTapePreference"), 3);
    EXPECT_FALSE(fs::exists(leftover));
    EXPECT_FALSE(fs::exists(badFile()));
}

TEST_F(PreferencesFile, DamagedFileIsSetAsideAndReadsAsEmpty)
{
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"garbage", "\x7f" "ELF\x02\x01\x01 binary junk"},
        {"empty", ""},
        {"cut mid-line", "# Spoolora preferences\nselectedTapePreference = 3\nfirst_sta"},
        {"cut before the last newline", "# Spoolora preferences\nselectedTapePreference = 3"},
        {"someone else's file", "selectedTapePreference = 3\n"},
        {"line without a value", "# Spoolora preferences\nselectedTapePreference\n"},
        {"not a number", "# Spoolora preferences\nselectedTapePreference = 3x\n"},
        {"two signs", "# Spoolora preferences\nselectedTapePreference = +-3\n"},
        {"empty value", "# Spoolora preferences\nselectedTapePreference = \n"},
        {"too large", "# Spoolora preferences\nselectedTapePreference = 9223372036854775808\n"},
        {"too small", "# Spoolora preferences\nselectedTapePreference = -99999999999999999999999\n"},
        {"unclosed string", "# Spoolora preferences\nselectedTapePreference = \"USB\n"},
        {"quote inside a string", "# Spoolora preferences\nselectedTapePreference = \"a\"b\"\n"},
        {"bad escape", "# Spoolora preferences\nselectedTapePreference = \"a\\q\"\n"},
        {"short hex escape", "# Spoolora preferences\nselectedTapePreference = \"a\\x4\"\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(badFile());
        testsupport::writeWholeFile(file(), c.text);

        testing::internal::CaptureStderr();
        FileUserDefaults store(folder);
        const std::string said = testing::internal::GetCapturedStderr();

        EXPECT_EQ(store.integerForKey("selectedTapePreference"), 0);
        EXPECT_EQ(lineCount(said), 1u) << said;
        EXPECT_EQ(said.rfind("spoolora: preferences file \"" + file().string() + "\" is unreadable (", 0), 0u) << said;
        EXPECT_NE(said.find("the old file is kept as \"" + badFile().string() + "\"\n"), std::string::npos) << said;
        EXPECT_FALSE(fs::exists(file()));
        EXPECT_EQ(testsupport::readWholeFile(badFile()), c.text);

        // The next save writes a fresh file and leaves the damaged one alone.
        store.setIntegerForKey(5, "selectedTapePreference");
        EXPECT_TRUE(store.synchronize());
        EXPECT_EQ(FileUserDefaults(folder).integerForKey("selectedTapePreference"), 5);
        EXPECT_EQ(testsupport::readWholeFile(badFile()), c.text);
    }
}

TEST_F(PreferencesFile, LaterDamagedFilesNeverReplaceEarlierCopies)
{
    std::vector<std::string> damaged;
    for (int round = 1; round <= 7; ++round) {
        SCOPED_TRACE(round);
        damaged.push_back("damaged file number " + std::to_string(round));
        testsupport::writeWholeFile(file(), damaged.back());
        // Distinct times, so that "the oldest copy" means something.
        fs::last_write_time(file(), fs::file_time_type::clock::now() - std::chrono::hours(100 - round));
        testing::internal::CaptureStderr();
        FileUserDefaults store(folder);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("the old file is kept as"), std::string::npos) << said;
    }
    std::vector<std::string> kept;
    for (const auto& entry : fs::directory_iterator(folder))
        kept.push_back(testsupport::readWholeFile(entry.path()));
    std::sort(kept.begin(), kept.end());
    // Five copies at most: the first two made way for the last two, oldest first.
    EXPECT_EQ(kept, (std::vector<std::string>(damaged.begin() + 2, damaged.end())));
    EXPECT_EQ(testsupport::readWholeFile(badFile()), damaged[5]);
    EXPECT_EQ(testsupport::readWholeFile(folder / "preferences.conf.bad.5"), damaged[4]);
}

TEST_F(PreferencesFile, LinkedFileIsWrittenThroughAndKeepsItsPermissions)
{
    const fs::path dotfiles = folder / "dotfiles";
    fs::create_directories(dotfiles);
    testsupport::writeWholeFile(dotfiles / "spoolora.conf", "# Spoolora preferences\nselectedTapePreference = 2\n");
    ::chmod((dotfiles / "spoolora.conf").c_str(), 0640);
    fs::create_symlink("dotfiles/spoolora.conf", file());

    FileUserDefaults store(folder);
    EXPECT_EQ(store.integerForKey("selectedTapePreference"), 2);
    store.setIntegerForKey(6, "selectedTapePreference");
    ASSERT_TRUE(store.synchronize());

    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(file())));
    EXPECT_EQ(testsupport::readWholeFile(dotfiles / "spoolora.conf"),
              "# Spoolora preferences\nselectedTapePreference = 6\n");
    EXPECT_EQ(fs::status(dotfiles / "spoolora.conf").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

// Runs the check as a user that cannot read files of mode 000: the test user, or, for
// root (who reads everything), a child process that has become "nobody".
void asUserWhoCannotRead(const std::function<void()>& check)
{
    if (::geteuid() != 0) {
        check();
        return;
    }
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const bool dropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
        if (dropped)
            check();
        std::_Exit(!dropped ? 3 : ::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the check failed as the other user (3: could not become that user)";
}

TEST_F(PreferencesFile, GoodFileThatCannotBeReadIsLeftAlone)
{
    const std::string good = "# Spoolora preferences\nselectedTapePreference = 4\n";
    testsupport::writeWholeFile(file(), good);
    ::chmod(file().c_str(), 0);
    ::chmod(folder.c_str(), 0777);

    asUserWhoCannotRead([&] {
        testing::internal::CaptureStderr();
        FileUserDefaults store(folder);
        store.setIntegerForKey(6, "selectedTapePreference");
        EXPECT_FALSE(store.synchronize()) << "nothing is written over the file";
        EXPECT_FALSE(store.synchronize());
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(lineCount(said), 1u) << said;
        EXPECT_NE(said.find("cannot read the preferences file \"" + file().string() + "\""), std::string::npos)
            << said;
        EXPECT_NE(said.find("left as it is"), std::string::npos) << said;
        EXPECT_EQ(store.integerForKey("selectedTapePreference"), 6) << "the run goes on in memory";
    });
    EXPECT_EQ(testsupport::readWholeFile(file()), good);
    EXPECT_FALSE(fs::exists(badFile()));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

TEST_F(PreferencesFile, HandEditsWithCommentsAndBlanksAreRead)
{
    testsupport::writeWholeFile(file(), "# Spoolora preferences\r\n\n  # chosen by hand\n\tselectedTapePreference=+4\n x = -2 \n");
    testing::internal::CaptureStderr();
    FileUserDefaults edited(folder);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(edited.integerForKey("selectedTapePreference"), 4);
    EXPECT_EQ(edited.integerForKey("x"), -2);
}

TEST_F(PreferencesFile, KeysThatCannotBeWrittenAreRefused)
{
    FileUserDefaults store(folder);
    for (const std::string key : {"a=b", "two\nlines", "", "#hidden", " padded"}) {
        SCOPED_TRACE(key);
        testing::internal::CaptureStderr();
        store.setIntegerForKey(9, key);
        EXPECT_EQ(lineCount(testing::internal::GetCapturedStderr()), 1u);
        EXPECT_EQ(store.integerForKey(key), 0);
    }
    store.setIntegerForKey(2, "fine key");
    ASSERT_TRUE(store.synchronize());
    EXPECT_EQ(testsupport::readWholeFile(file()), "# Spoolora preferences\nfine key = 2\n");
}

TEST_F(PreferencesFile, FailedSaveReportsFalseOnceAndKeepsTheValues)
{
    // A plain file where the folder should be: no folder can be made there, even as root.
    testsupport::writeWholeFile(folder / "blocked", "");
    FileUserDefaults store(folder / "blocked" / "spoolora");
    store.setIntegerForKey(6, "selectedTapePreference");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(store.synchronize());
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(lineCount(said), 1u);
    EXPECT_EQ(said.rfind("spoolora: cannot save preferences to ", 0), 0u) << said;
    EXPECT_EQ(store.integerForKey("selectedTapePreference"), 6);
}

TEST(PreferencesFolder, FollowsXdgConfigHome)
{
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string restore = saved ? saved : "";
    ::setenv("XDG_CONFIG_HOME", "/tmp/xdg-test", 1);
    EXPECT_EQ(FileUserDefaults::defaultFolder(), fs::path("/tmp/xdg-test/spoolora"));
    // A relative value is invalid and falls back to the home folder.
    ::setenv("XDG_CONFIG_HOME", "relative", 1);
    EXPECT_NE(FileUserDefaults::defaultFolder(), fs::path("relative/spoolora"));
    if (saved)
        ::setenv("XDG_CONFIG_HOME", restore.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
}

} // namespace
