// The library of the listener's folders, as the screen sees it: contents and scan
// state that arrive on the main thread through the run loop.

#include "LibraryFiles.h"
#include "media/library/SqliteMusicLibrary.h"
#include "platform/headless/VirtualClock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace librarytest;

struct CountingObserver final : platform::MusicLibraryObserver {
    int changes = 0;
    void musicLibraryDidChange() override { ++changes; }
};

class SqliteLibrary : public ::testing::Test {
protected:
    TemporaryFolder temp;
    fs::path music = temp.path() / "Music";
    platform::headless::VirtualClock clock;
    platform::RunLoop runLoop{clock};

    media::LibrarySettings settings()
    {
        return media::LibrarySettings{{music.string()}, (temp.path() / "library.db").string(), 0.2};
    }

    // The worker runs on its own; the main thread only sees what it posted.
    static void waitForWorker(const media::SqliteMusicLibrary& library)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!library.isIdle() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_TRUE(library.isIdle());
    }
};

TEST_F(SqliteLibrary, ScanResultsArriveThroughTheRunLoop)
{
    for (int i = 1; i <= 3; ++i)
        writeMusicFile(music / ("s" + std::to_string(i) + ".flac"),
                       {{"TITLE", "Song " + std::to_string(i)}, {"ARTIST", "Ann"}, {"ALBUM", "First"},
                        {"TRACKNUMBER", std::to_string(i) + "/3"}});
    media::SqliteMusicLibrary library(runLoop, settings());
    CountingObserver observer;
    library.addObserver(observer);
    waitForWorker(library);
    EXPECT_EQ(library.contents()->trackCount(), 0u);   // nothing reaches the screen outside the run loop
    EXPECT_TRUE(library.scanState().scanning);

    runLoop.runDue();
    EXPECT_GT(observer.changes, 0);
    EXPECT_FALSE(library.scanState().scanning);
    EXPECT_EQ(library.scanState().filesSeen, 3);
    const auto contents = library.contents();
    ASSERT_EQ(contents->albums().size(), 1u);
    const auto& album = contents->albums()[0];
    EXPECT_EQ(album.title, "First");
    EXPECT_EQ(album.artist, "Ann");
    ASSERT_EQ(album.tracks.size(), 3u);
    const platform::MediaItemPtr secondItem = contents->item(album.tracks[1]);
    const platform::MediaItem& second = *secondItem;
    EXPECT_EQ(second.title, "Song 2");
    EXPECT_EQ(second.albumTrackNumberValue(), 2);
    EXPECT_EQ(second.albumTrackCountValue(), 3);
    EXPECT_NEAR(second.playbackDurationValue(), 1.0, 0.05);
    EXPECT_EQ(fs::path(second.location).filename(), "s2.flac");
    library.removeObserver(observer);
}

TEST_F(SqliteLibrary, ShowsOnlyTheFoldersOfThisRun)
{
    const fs::path other = temp.path() / "Other";
    writeMusicFile(music / "mine.flac");
    writeMusicFile(other / "theirs.flac");
    {
        auto both = settings();
        both.folders.push_back(other.string());
        media::SqliteMusicLibrary library(runLoop, both);
        waitForWorker(library);
        runLoop.runDue();
        EXPECT_EQ(library.contents()->trackCount(), 2u);
    }
    media::SqliteMusicLibrary library(runLoop, settings());
    waitForWorker(library);
    runLoop.runDue();
    ASSERT_EQ(library.contents()->trackCount(), 1u);
    EXPECT_EQ(library.contents()->item(0)->title, "mine");
}

TEST_F(SqliteLibrary, AnotherWriterLeavesItReadOnly)
{
    writeMusicFile(music / "a.flac");
    {
        media::SqliteMusicLibrary first(runLoop, settings());
        waitForWorker(first);
    }
    media::IndexWriterLock held(settings().databasePath, 0);
    ASSERT_TRUE(held.isHeld());
    writeMusicFile(music / "b.flac");
    media::SqliteMusicLibrary library(runLoop, settings());
    waitForWorker(library);
    runLoop.runDue();
    // What the index held is shown; the new file waits for a scan of its own.
    EXPECT_EQ(library.contents()->trackCount(), 1u);
}

TEST_F(SqliteLibrary, QuittingDoesNotWaitForAnotherWritersLock)
{
    media::IndexWriterLock held(settings().databasePath, 0);
    ASSERT_TRUE(held.isHeld());
    media::LibrarySettings patient = settings();
    patient.lockWaitSeconds = 30;
    const auto start = std::chrono::steady_clock::now();
    {
        media::SqliteMusicLibrary library(runLoop, patient);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(SqliteLibrary, FollowsTheFoldersWhileRunning)
{
    writeMusicFile(music / "Album" / "one.flac", {{"TITLE", "One"}});
    media::SqliteMusicLibrary library(runLoop, settings());
    waitForWorker(library);
    runLoop.runDue();
    ASSERT_EQ(library.contents()->trackCount(), 1u);

    // Watched from outside: a new folder with a file, and the first file removed.
    writeMusicFile(music / "Later" / "two.mp3", {{"TITLE", "Two"}});
    fs::remove(music / "Album" / "one.flac");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        runLoop.runDue();
        const auto contents = library.contents();
        if (contents->trackCount() == 1 && contents->item(0)->title == "Two")
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_EQ(library.contents()->trackCount(), 1u);
    EXPECT_EQ(library.contents()->item(0)->title, "Two");
}

} // namespace
