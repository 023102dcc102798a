#include "platform/AtomicFile.h"

#include "support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>

namespace fs = std::filesystem;
using platform::AtomicWriteError;
using platform::writeFileAtomically;

namespace {

mode_t modeOf(const fs::path& path)
{
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

std::size_t entriesIn(const fs::path& folder)
{
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

class AtomicFile : public ::testing::Test {
protected:
    testsupport::ScratchFolder scratch{"spoolora-atomic"};
    const fs::path& folder = scratch.path();
};

TEST_F(AtomicFile, CreatesTheFileAndItsFoldersWithTheGivenMode)
{
    const fs::path path = folder / "a" / "b" / "file.txt";
    writeFileAtomically(path, std::string("line\n\0binary", 12), 0640);
    EXPECT_EQ(testsupport::readWholeFile(path), std::string("line\n\0binary", 12));
    EXPECT_EQ(modeOf(path), 0640u);
    EXPECT_EQ(entriesIn(path.parent_path()), 1u) << "no temporary file is left";

    writeFileAtomically(folder / "empty", "");
    EXPECT_EQ(testsupport::readWholeFile(folder / "empty"), "");
    EXPECT_EQ(modeOf(folder / "empty"), 0600u) << "private unless told otherwise";
}

TEST_F(AtomicFile, ReplacesAFileAndKeepsItsPermissionBits)
{
    const fs::path path = folder / "file.txt";
    writeFileAtomically(path, "old contents that are longer\n");
    ::chmod(path.c_str(), 0644);
    writeFileAtomically(path, "new\n", 0600);
    EXPECT_EQ(testsupport::readWholeFile(path), "new\n");
    EXPECT_EQ(modeOf(path), 0644u);
    EXPECT_EQ(entriesIn(folder), 1u);
}

TEST_F(AtomicFile, WritesThroughSymbolicLinksAndKeepsThem)
{
    const fs::path elsewhere = folder / "dotfiles";
    fs::create_directories(elsewhere);
    writeFileAtomically(elsewhere / "real.conf", "old\n");
    ::chmod((elsewhere / "real.conf").c_str(), 0664);
    // A relative link to a relative link, as dotfile managers make them.
    fs::create_symlink("dotfiles/real.conf", folder / "middle");
    fs::create_symlink("middle", folder / "file.conf");

    writeFileAtomically(folder / "file.conf", "new\n");
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(folder / "file.conf")));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(folder / "middle")));
    EXPECT_EQ(testsupport::readWholeFile(elsewhere / "real.conf"), "new\n");
    EXPECT_EQ(modeOf(elsewhere / "real.conf"), 0664u);
    EXPECT_EQ(entriesIn(elsewhere), 1u);

    // A link whose file does not exist yet makes that file.
    fs::create_symlink(elsewhere / "later.conf", folder / "dangling");
    writeFileAtomically(folder / "dangling", "made\n");
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(folder / "dangling")));
    EXPECT_EQ(testsupport::readWholeFile(elsewhere / "later.conf"), "made\n");
}

TEST_F(AtomicFile, LinkLoopIsAnErrorNotAHang)
{
    fs::create_symlink("two", folder / "one");
    fs::create_symlink("one", folder / "two");
    EXPECT_THROW(writeFileAtomically(folder / "one", "x"), AtomicWriteError);
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(folder / "one")));
}

TEST_F(AtomicFile, FailureNamesTheFileAndLeavesNothingBehind)
{
    // A folder where the file should be: the rename over it fails after everything was written.
    const fs::path path = folder / "taken";
    fs::create_directories(path / "inside");
    try {
        writeFileAtomically(path, "text");
        FAIL() << "no error";
    } catch (const AtomicWriteError& error) {
        EXPECT_NE(std::string(error.what()).find("\"" + path.string() + "\""), std::string::npos) << error.what();
        EXPECT_NE(error.reason.find("cannot replace the file"), std::string::npos) << error.reason;
    }
    EXPECT_TRUE(fs::is_directory(path / "inside"));
    EXPECT_EQ(entriesIn(folder), 1u) << "the temporary file is removed";

    // A plain file where a folder should be: no folder can be made there, even as root.
    std::ofstream(folder / "blocked") << "in the way";
    EXPECT_THROW(writeFileAtomically(folder / "blocked" / "file", "text"), AtomicWriteError);
    EXPECT_EQ(testsupport::readWholeFile(folder / "blocked"), "in the way");
}

TEST(AtomicFileLeftovers, AreRecognisedByTheTargetName)
{
    EXPECT_TRUE(platform::isAtomicWriteLeftover("preferences.conf.tmp-k3Zq9a", "preferences.conf"));
    EXPECT_FALSE(platform::isAtomicWriteLeftover("preferences.conf.tmp-", "preferences.conf"));
    EXPECT_FALSE(platform::isAtomicWriteLeftover("preferences.conf", "preferences.conf"));
    EXPECT_FALSE(platform::isAtomicWriteLeftover("other.conf.tmp-k3Zq9a", "preferences.conf"));
}

} // namespace
