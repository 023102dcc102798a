// The scan and the index: tags as the files carry them, files the library cannot
// take, incremental rescans, and an index that survives damage and a killed scan.

#include "LibraryFiles.h"
#include "media/library/LibraryScanner.h"
#include "media/library/MusicFolders.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>

namespace {

namespace fs = std::filesystem;
using namespace librarytest;
using media::LibraryDatabase;
using media::TrackRecord;

class LibraryScan : public ::testing::Test {
protected:
    TemporaryFolder temp;
    fs::path music = temp.path() / "Music";
    std::string databasePath = (temp.path() / "cache" / "library.db").string();

    media::ScanReport scan(const std::vector<std::string>& folders = {})
    {
        LibraryDatabase database(databasePath);
        return media::scanMusicFolders(database, folders.empty() ? std::vector<std::string>{music.string()} : folders);
    }

    std::map<std::string, TrackRecord> tracks()
    {
        std::map<std::string, TrackRecord> byName;
        LibraryDatabase database(databasePath);
        database.forEachTrack([&](const TrackRecord& t) { byName[fs::path(t.path).filename().string()] = t; });
        return byName;
    }
};

TEST_F(LibraryScan, ReadsTheTagsOfEachFormat)
{
    const Tags tags{{"TITLE", "Blå Kväll"}, {"ARTIST", "Åsa & The Band"}, {"ALBUM", "Nattåg"},
                    {"ALBUMARTIST", "Various"}, {"TRACKNUMBER", "3/10"}, {"DISCNUMBER", "2/2"}, {"DATE", "2019-05-01"}};
    for (const char* name : {"a.flac", "b.mp3", "c.ogg", "d.opus"})
        writeMusicFile(music / "Album" / name, tags);
    const auto report = scan();
    EXPECT_EQ(report.tagsRead, 4);
    EXPECT_TRUE(report.skipped.empty());

    const auto found = tracks();
    ASSERT_EQ(found.size(), 4u);
    for (const auto& [name, track] : found) {
        SCOPED_TRACE(name);
        EXPECT_EQ(track.tags.title, "Blå Kväll");
        EXPECT_EQ(track.tags.artist, "Åsa & The Band");
        EXPECT_EQ(track.tags.album, "Nattåg");
        EXPECT_EQ(track.tags.albumArtist, "Various");
        EXPECT_EQ(track.tags.trackNumber, 3);
        EXPECT_EQ(track.tags.trackCount, 10);
        EXPECT_EQ(track.tags.discNumber, 2);
        EXPECT_EQ(track.tags.year, 2019);
        // The files hold one second of sound; encoders add a little padding.
        EXPECT_NEAR(track.tags.durationSeconds, 1.0, 0.1);
        EXPECT_EQ(track.root, fs::canonical(music).string());
    }
}

TEST_F(LibraryScan, TrackNumberAndCountFromEachForm)
{
    struct Case {
        const char* file;
        Tags tags;
        int number, count;
    };
    const std::vector<Case> cases = {
        {"slash.mp3", {{"TRACKNUMBER", "3/10"}}, 3, 10},                 // ID3's own TRCK frame
        {"slash.flac", {{"TRACKNUMBER", " 04/12"}}, 4, 12},
        {"tracktotal.flac", {{"TRACKNUMBER", "5"}, {"TRACKTOTAL", "9"}}, 5, 9},
        {"totaltracks.ogg", {{"TRACKNUMBER", "6"}, {"TOTALTRACKS", "11"}}, 6, 11},
        {"alone.flac", {{"TRACKNUMBER", "7"}}, 7, 0},
        {"garbage.flac", {{"TRACKNUMBER", "side B"}}, 0, 0},
    };
    for (const Case& c : cases)
        writeMusicFile(music / c.file, c.tags);
    scan();
    const auto found = tracks();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        ASSERT_TRUE(found.contains(c.file));
        EXPECT_EQ(found.at(c.file).tags.trackNumber, c.number);
        EXPECT_EQ(found.at(c.file).tags.trackCount, c.count);
    }
}

TEST_F(LibraryScan, MissingTagsLeaveTheFileNameAsTitle)
{
    writeMusicFile(music / "07 Untitled Demo.wav");
    scan();
    const auto found = tracks();
    ASSERT_EQ(found.size(), 1u);
    const TrackRecord& track = found.begin()->second;
    EXPECT_EQ(track.tags.title, "07 Untitled Demo");
    EXPECT_EQ(track.tags.artist, "");
    EXPECT_EQ(track.tags.album, "");
    EXPECT_EQ(track.tags.trackNumber, 0);
    EXPECT_EQ(track.tags.trackCount, 0);
    EXPECT_NEAR(track.tags.durationSeconds, 1.0, 0.05);
}

TEST_F(LibraryScan, SkipsWhatItCannotTakeWithoutBlocking)
{
    writeMusicFile(music / "good.flac", {{"TITLE", "Good"}});
    writeBytes(music / "noise.mp3", std::string(4096, '\x5a'));
    writeBytes(music / "empty.flac", "");
    ASSERT_EQ(mkfifo((music / "pipe.mp3").c_str(), 0644), 0);   // opening it would wait for a writer for ever
    writeBytes(music / "cover.jpg", "not music, not looked at");
    writeBytes(music / "text.ogg", "plain text with the name of a sound file");
    fs::create_directories(music / "loop");
    fs::create_directory_symlink(music, music / "loop" / "back");   // a link back up the tree

    const auto report = scan();
    std::vector<std::string> skipped;
    for (const auto& s : report.skipped)
        skipped.push_back(fs::path(s.path).filename().string() + ": " + s.reason);
    std::sort(skipped.begin(), skipped.end());
    EXPECT_EQ(skipped, (std::vector<std::string>{"empty.flac: empty file", "noise.mp3: no audio found in it",
                                                 "pipe.mp3: not a regular file",
                                                 "text.ogg: not an audio file TagLib can read"}));
    const auto found = tracks();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found.begin()->second.tags.title, "Good");

    // Known bad files are not read again either, but still reported.
    const auto again = scan();
    EXPECT_EQ(again.tagsRead, 0);
    EXPECT_EQ(again.skipped.size(), 4u);
}

TEST_F(LibraryScan, RescanReadsOnlyWhatChangedAndForgetsWhatWent)
{
    for (int i = 1; i <= 5; ++i)
        writeMusicFile(music / "Album" / ("track" + std::to_string(i) + ".mp3"),
                       {{"TITLE", "Song " + std::to_string(i)}, {"TRACKNUMBER", std::to_string(i)}});
    EXPECT_EQ(scan().tagsRead, 5);

    const auto unchanged = scan();
    EXPECT_EQ(unchanged.tagsRead, 0);
    EXPECT_EQ(unchanged.removed, 0);
    EXPECT_EQ(tracks().size(), 5u);

    retagMusicFile(music / "Album" / "track2.mp3", {{"TITLE", "Song Two"}});
    fs::remove(music / "Album" / "track4.mp3");
    const auto changed = scan();
    EXPECT_EQ(changed.tagsRead, 1);
    EXPECT_EQ(changed.removed, 1);
    const auto found = tracks();
    EXPECT_EQ(found.size(), 4u);
    EXPECT_EQ(found.at("track2.mp3").tags.title, "Song Two");
    EXPECT_FALSE(found.contains("track4.mp3"));
}

TEST_F(LibraryScan, MissingMusicFolderKeepsItsTracks)
{
    const fs::path drive = temp.path() / "Drive";
    writeMusicFile(music / "here.flac");
    writeMusicFile(drive / "away.flac");
    scan({music.string(), drive.string()});
    ASSERT_EQ(tracks().size(), 2u);

    fs::rename(drive, temp.path() / "Unmounted");
    const auto report = scan({music.string(), drive.string()});
    EXPECT_EQ(report.removed, 0);
    EXPECT_EQ(tracks().size(), 2u);

    // An emptied folder that is there is another matter.
    fs::remove(music / "here.flac");
    scan({music.string(), drive.string()});
    EXPECT_EQ(tracks().size(), 1u);
}

TEST_F(LibraryScan, DamagedIndexIsSetAsideAndBuiltAgain)
{
    writeMusicFile(music / "a.flac");
    scan();
    {
        // Overwrite the middle of the file: the header stays, the pages are garbage.
        std::fstream file(databasePath, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(0);
        file << std::string(100, '\x13') << std::string(8000, '\xee');
    }
    LibraryDatabase database(databasePath);
    EXPECT_TRUE(database.wasRebuilt());
    EXPECT_TRUE(fs::exists(databasePath + ".bad"));
    EXPECT_EQ(database.trackCount(), 0);
    EXPECT_EQ(media::scanMusicFolders(database, {music.string()}).tagsRead, 1);
    EXPECT_EQ(database.trackCount(), 1);
}

TEST_F(LibraryScan, IndexSurvivesAScanKilledHalfway)
{
    constexpr int files = 120;
    for (int i = 0; i < files; ++i)
        writeMusicFile(music / ("f" + std::to_string(i) + ".mp3"), {{"TITLE", "T" + std::to_string(i)}});

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Dies in the middle of a transaction, as a killed process would: no unwinding.
        struct Killer final : media::ScanListener {
            int seen = 0;
            void trackChanged(const TrackRecord&) override
            {
                if (++seen == 70)
                    kill(getpid(), SIGKILL);
            }
        } killer;
        media::ScanOptions options;
        options.batchFiles = 25;
        options.batchSeconds = 1000;
        LibraryDatabase database(databasePath);
        media::scanMusicFolders(database, {music.string()}, &killer, nullptr, options);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));

    LibraryDatabase database(databasePath);
    EXPECT_FALSE(database.wasRebuilt());
    EXPECT_EQ(database.trackCount(), 50);   // the two batches committed before the kill
    const auto report = media::scanMusicFolders(database, {music.string()});
    EXPECT_EQ(report.tagsRead, files - 50);
    EXPECT_EQ(database.trackCount(), files);
}

TEST(MusicFolders, UserDirsFileNamesTheMusicFolder)
{
    const std::string home = "/home/ada";
    EXPECT_EQ(media::musicFolderFromUserDirs("# written by xdg-user-dirs-update\n"
                                             "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                                             "XDG_MUSIC_DIR=\"$HOME/Musik\"\n",
                                             home),
              "/home/ada/Musik");
    EXPECT_EQ(media::musicFolderFromUserDirs("XDG_MUSIC_DIR=\"/srv/music\"\n", home), "/srv/music");
    EXPECT_EQ(media::musicFolderFromUserDirs("#XDG_MUSIC_DIR=\"$HOME/x\"\n", home), "");
}

} // namespace
