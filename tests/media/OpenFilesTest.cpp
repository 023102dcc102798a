// `spoolora FILE…`: what the command line's files, folders and playlists queue.

#include "MediaTestSupport.h"

#include "media/OpenFiles.h"

#include <fstream>
#include <sstream>

namespace media::test {
namespace {

TEST(OpenFiles, NamesSortAsPeopleCountThem)
{
    std::vector<std::string> names = {"track 10.flac", "Track 2.flac", "track 1.flac", "track 02b.flac",
                                      "b.flac",        "a10",          "a9",           "a09"};
    std::sort(names.begin(), names.end(), naturalLess);
    EXPECT_EQ(names, (std::vector<std::string>{"a9", "a09", "a10", "b.flac", "track 1.flac", "Track 2.flac",
                                               "track 02b.flac", "track 10.flac"}));
    // A strict order: never both ways, never for the same name.
    EXPECT_FALSE(naturalLess("x", "x"));
    EXPECT_TRUE(naturalLess("X", "x") != naturalLess("x", "X"));
}

TEST(OpenFiles, FoldersPlaylistsAndFilesQueueInTheOrderGiven)
{
    const auto folder = freshFolder("OpenFiles.Queue");
    std::filesystem::create_directories(folder / "album" / "cd 2");
    std::filesystem::create_directories(folder / "album" / "cd 10");
    makeTone(folder / "album" / "track 10.flac", 440, 0.2);
    makeTone(folder / "album" / "track 2.ogg", 440, 0.2);
    makeTone(folder / "album" / "cd 2" / "one.wav", 440, 0.2);
    makeTone(folder / "album" / "cd 10" / "one.mp3", 440, 0.2);
    std::ofstream(folder / "album" / "cover.jpg") << "not music";
    std::ofstream(folder / "album" / "notes.txt") << "not music";
    makeTone(folder / "single.opus", 440, 0.2);
    std::filesystem::create_directories(folder / "lists");
    std::ofstream(folder / "lists" / "mix.m3u8") << "\xEF\xBB\xBF#EXTM3U\r\n#EXTINF:1,Something Else\r\n"
                                                    "../single.opus\r\n\r\nnowhere.mp3\r\nhttp://radio/stream\r\n"
                                                 << (folder / "album" / "track 2.ogg").string() << "\n";
    std::ostringstream errors;
    const auto items = itemsForArguments({(folder / "lists" / "mix.m3u8").string(), (folder / "album").string(),
                                          (folder / "missing.flac").string()},
                                         errors);
    std::vector<std::string> names;
    for (const auto& item : items)
        names.push_back(std::filesystem::path(item->location).lexically_relative(folder).string());
    EXPECT_EQ(names, (std::vector<std::string>{"single.opus", "album/track 2.ogg", "album/cd 2/one.wav",
                                               "album/cd 10/one.mp3", "album/track 2.ogg", "album/track 10.flac"}));
    // One line for the playlist's missing entry and one for the missing argument; covers pass in silence.
    const std::string text = errors.str();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
    EXPECT_NE(text.find("nowhere.mp3"), std::string::npos);
    EXPECT_NE(text.find("missing.flac"), std::string::npos);
}

} // namespace
} // namespace media::test
