// The music library against its floor: a plain TagLib loop that reads the same tags
// and durations into one SQLite transaction. Prints, for generated libraries with
// the page cache warm: first scans of 2,000 and 20,000 files side by side with the
// floor, a rescan of an unchanged 10,000-file library, and the picker's opening and
// one scrolled frame with 50,000 tracks. Timed by hand, best of a few runs.
//
// usage: library_benchmark [--keep WORK_FOLDER]
//   Without --keep the libraries go into a temporary folder, removed after. With it
//   they stay (and are reused), with 30,000 more files in WORK_FOLDER/extra30000 for
//   bench/library_memory.sh (50,000 with WORK_FOLDER/lib20000).

#include "AudioFileWriter.h"
#include "media/library/LibraryScanner.h"
#include "platform/LibraryPicker.h"
#include "platform/headless/HeadlessPlatform.h"
#include "platform/headless/MemoryMusicLibrary.h"
#include "platform/sdl/Screenshot.h"

#include <sqlite3.h>
#include <taglib/audioproperties.h>
#include <taglib/fileref.h>
#include <taglib/tag.h>
#include <taglib/tpropertymap.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <unistd.h>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// --- Generated libraries ----------------------------------------------------------

struct Templates {
    fs::path mp3, flac, ogg;
};

Templates makeTemplates(const fs::path& folder)
{
    fs::create_directories(folder);
    Templates t{folder / "t.mp3", folder / "t.flac", folder / "t.ogg"};
    const auto tone = audiogen::sineTone(2.0);
    audiogen::writeAudioFile(t.mp3.string(), tone, "libmp3lame", 128000);
    audiogen::writeAudioFile(t.flac.string(), tone, "flac");
    audiogen::writeAudioFile(t.ogg.string(), tone, "libvorbis");
    return t;
}

// Files in folders of twelve (an album each), mostly MP3 with some FLAC and Ogg,
// each with its own tags, as a collection on a disk would look.
void makeLibrary(const fs::path& root, const Templates& templates, int first, int count)
{
    if (fs::exists(root / ".complete"))
        return;
    for (int i = first; i < first + count; ++i) {
        const int album = i / 12, number = i % 12 + 1, artist = i / 120;
        const fs::path& source = i % 10 < 7 ? templates.mp3 : i % 10 < 9 ? templates.flac : templates.ogg;
        const fs::path folder = root / ("Artist " + std::to_string(artist)) / ("Album " + std::to_string(album));
        fs::create_directories(folder);
        const fs::path path = folder / (std::to_string(number) + " Song " + std::to_string(i) + source.extension().string());
        fs::copy_file(source, path, fs::copy_options::overwrite_existing);
        TagLib::FileRef file(path.c_str());
        TagLib::PropertyMap properties;
        properties.replace("TITLE", TagLib::StringList("Song number " + TagLib::String::number(i)));
        properties.replace("ARTIST", TagLib::StringList("Artist " + TagLib::String::number(artist)));
        properties.replace("ALBUM", TagLib::StringList("Album " + TagLib::String::number(album)));
        properties.replace("TRACKNUMBER", TagLib::StringList(TagLib::String::number(number) + "/12"));
        properties.replace("DATE", TagLib::StringList("1999"));
        file.file()->setProperties(properties);
        file.save();
    }
    std::FILE* done = std::fopen((root / ".complete").c_str(), "w");
    if (done)
        std::fclose(done);
}

// --- The floor -----------------------------------------------------------------------

// Every audio file under the folder through TagLib, its tags and duration into one
// SQLite transaction: the least any index has to do.
long floorScan(const fs::path& root, const fs::path& database)
{
    fs::remove(database);
    sqlite3* db = nullptr;
    sqlite3_open(database.c_str(), &db);
    sqlite3_exec(db,
                 "CREATE TABLE t(path TEXT PRIMARY KEY, title TEXT, artist TEXT, album TEXT, albumartist TEXT, "
                 "track TEXT, disc TEXT, date TEXT, duration INTEGER)",
                 nullptr, nullptr, nullptr);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?,?,?,?,?,?,?,?,?)", -1, &insert, nullptr);
    long files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file() || !media::hasAudioExtension(entry.path().filename().string()))
            continue;
        TagLib::FileRef file(entry.path().c_str(), true, TagLib::AudioProperties::Average);
        if (file.isNull())
            continue;
        const TagLib::PropertyMap p = file.file()->properties();
        const auto get = [&](const char* key) {
            const auto found = p.find(key);
            return found == p.end() || found->second.isEmpty() ? std::string() : found->second.front().to8Bit(true);
        };
        const std::string path = entry.path().string();
        const std::string values[] = {get("TITLE"), get("ARTIST"), get("ALBUM"), get("ALBUMARTIST"),
                                      get("TRACKNUMBER"), get("DISCNUMBER"), get("DATE")};
        sqlite3_reset(insert);
        sqlite3_bind_text(insert, 1, path.c_str(), -1, SQLITE_TRANSIENT);
        for (int i = 0; i < 7; ++i)
            sqlite3_bind_text(insert, i + 2, values[i].c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(insert, 9, file.audioProperties() ? file.audioProperties()->lengthInMilliseconds() : 0);
        sqlite3_step(insert);
        ++files;
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return files;
}

long ourScan(const fs::path& root, const fs::path& database, bool fresh)
{
    if (fresh)
        for (const char* suffix : {"", "-wal", "-shm"})
            fs::remove(database.string() + suffix);
    media::LibraryDatabase index(database.string());
    return long(media::scanMusicFolders(index, {root.string()}).filesSeen);
}

double best(int runs, const std::function<void()>& run)
{
    double fastest = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        run();
        fastest = std::min(fastest, secondsSince(start));
    }
    return fastest;
}

void compareFirstScan(const char* name, const fs::path& root, const fs::path& work)
{
    long floorFiles = 0, ourFiles = 0;
    floorScan(root, work / "floor.db");   // warms the page cache
    // Interleaved, so that a busy moment of the machine hurts both alike.
    double floorSeconds = 1e30, ourSeconds = 1e30;
    for (int run = 0; run < 3; ++run) {
        floorSeconds = std::min(floorSeconds, best(1, [&] { floorFiles = floorScan(root, work / "floor.db"); }));
        ourSeconds = std::min(ourSeconds, best(1, [&] { ourFiles = ourScan(root, work / "ours.db", true); }));
    }
    std::printf("first scan %-7s  floor %6ld files %7.3f s %6.0f files/s | spoolora %6ld files %7.3f s %6.0f files/s | %.2f x floor\n",
                name, floorFiles, floorSeconds, double(floorFiles) / floorSeconds, ourFiles, ourSeconds,
                double(ourFiles) / ourSeconds, ourSeconds / floorSeconds);
}

// --- The picker -------------------------------------------------------------------------

std::vector<platform::LibraryTrack> syntheticTracks(int count)
{
    std::vector<platform::LibraryTrack> tracks;
    tracks.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        auto item = std::make_shared<platform::MediaItem>();
        item->title = "Song number " + std::to_string(i);
        item->artist = "Artist " + std::to_string(i / 120);
        item->albumTitle = "Album " + std::to_string(i / 12);
        item->albumTrackNumber = i % 12 + 1;
        item->albumTrackCount = 12;
        item->playbackDuration = 200;
        item->location = "/music/Artist " + std::to_string(i / 120) + "/Album " + std::to_string(i / 12) + "/" +
                         std::to_string(i % 12 + 1) + ".mp3";
        tracks.push_back(platform::LibraryTrack{item, {}, 0, 0});
    }
    return tracks;
}

void measurePicker(int trackCount)
{
    platform::headless::MemoryMusicLibrary library;   // outlives the window, which holds the picker
    platform::headless::HeadlessPlatform world;
    auto tracks = syntheticTracks(trackCount);
    const auto buildStart = Clock::now();
    library.setTracks(std::move(tracks));
    const double buildSeconds = secondsSince(buildStart);

    platform::sdl::OffscreenRenderer renderer;
    renderer.render(world.window(), world.clock().now());
    platform::LibraryPicker* picker = nullptr;
    const auto openStart = Clock::now();
    {
        auto made = std::make_unique<platform::LibraryPicker>(world.window(), world.runLoop(), library,
                                                             platform::MediaType::Music);
        picker = made.get();
        picker->setAllowsPickingMultipleItems(true);
        world.window().presentModal(std::move(made), false);
        renderer.renderChanges(world.window(), world.clock().now());
    }
    const double openSeconds = secondsSince(openStart);

    const auto tabStart = Clock::now();
    picker->selectTab(platform::LibraryPicker::Tab::Songs);
    renderer.renderChanges(world.window(), world.clock().now());
    const double tabSeconds = secondsSince(tabStart);

    // Frames of a list scrolled 6 points each (a flick's pace at 60 frames a second).
    const int frames = 600;
    double worst = 0;
    const auto scrollStart = Clock::now();
    for (int i = 0; i < frames; ++i) {
        const auto frameStart = Clock::now();
        picker->scrollBy(6);
        world.advance(1.0 / 60);
        renderer.renderChanges(world.window(), world.clock().now());
        worst = std::max(worst, secondsSince(frameStart));
    }
    const double perFrame = secondsSince(scrollStart) / frames;

    const auto searchStart = Clock::now();
    picker->typeText("number 4");
    renderer.renderChanges(world.window(), world.clock().now());
    const double searchSeconds = secondsSince(searchStart);

    std::printf("picker with %d tracks: lists built %.1f ms (worker) | open %.1f ms | songs tab %.1f ms | "
                "scrolled frame %.2f ms average, %.2f ms worst | search keystroke %.1f ms\n",
                trackCount, buildSeconds * 1e3, openSeconds * 1e3, tabSeconds * 1e3, perFrame * 1e3, worst * 1e3,
                searchSeconds * 1e3);
    const std::size_t held = library.contents()->heldBytes();
    std::printf("library contents of %d tracks hold %.2f MiB (%.0f bytes a track)\n", trackCount,
                double(held) / (1 << 20), double(held) / trackCount);
}

} // namespace

int main(int argc, char** argv)
{
    const bool temporary = !(argc == 3 && std::string(argv[1]) == "--keep");
    if (argc != 1 && temporary) {
        std::fprintf(stderr, "usage: library_benchmark [--keep WORK_FOLDER]\n");
        return 2;
    }
    fs::path work = temporary ? fs::temp_directory_path() / ("spoolora-library-bench-" + std::to_string(getpid()))
                              : fs::path(argv[2]);
    try {
        fs::create_directories(work);
        std::printf("generating libraries in %s ...\n", work.c_str());
        std::fflush(stdout);
        const Templates templates = makeTemplates(work / "templates");
        makeLibrary(work / "lib2000", templates, 0, 2000);
        makeLibrary(work / "lib20000" / "a", templates, 0, 10000);
        makeLibrary(work / "lib20000" / "b", templates, 10000, 10000);

        compareFirstScan("2,000", work / "lib2000", work);
        compareFirstScan("20,000", work / "lib20000", work);

        ourScan(work / "lib20000" / "a", work / "rescan.db", true);
        long files = 0;
        const double rescan = best(5, [&] { files = ourScan(work / "lib20000" / "a", work / "rescan.db", false); });
        std::printf("unchanged rescan: %ld files in %.3f s\n", files, rescan);

        measurePicker(50000);
        if (!temporary)
            makeLibrary(work / "extra30000", templates, 20000, 30000);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "library_benchmark: %s\n", error.what());
        return 1;
    }
    if (temporary)
        fs::remove_all(work);
    return 0;
}
