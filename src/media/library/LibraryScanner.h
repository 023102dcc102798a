#pragma once
// Brings the index up to date with the music folders: walks them (without following
// a symbolic link back into a folder already being walked), reads the tags of files
// that are new or whose size or modification time changed, and forgets files that
// are gone. A music folder that is missing altogether (an unmounted drive) keeps its
// tracks, and so does a folder inside it that cannot be read.

#include "media/library/LibraryDatabase.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace media {

// True for the file name endings the library looks at ("song.FLAC" included).
bool hasAudioExtension(std::string_view fileName) noexcept;

class ScanListener {
public:
    virtual ~ScanListener() = default;
    // Called on the scanning thread.
    virtual void scanProgress(std::int64_t /*filesSeen*/) {}
    virtual void trackChanged(const TrackRecord& /*track*/) {}
    virtual void trackRemoved(const std::string& /*path*/) {}
};

struct ScanReport {
    std::int64_t filesSeen = 0;   // audio files looked at
    std::int64_t tagsRead = 0;    // files whose tags were read in this scan
    std::int64_t removed = 0;
    std::vector<SkippedRecord> skipped;   // files the library cannot take, this scan's and remembered ones
    bool stopped = false;                 // stopped before the end
};

struct ScanOptions {
    std::size_t batchFiles = 256;          // writes per transaction, at most
    double batchSeconds = 0.5;             // and at most this long between commits
};

// Scans the folders into the database. A folder given twice, or inside another, is
// walked once. Stops between files when *stop becomes true (the work done so far is
// committed). Messages go to stderr, one line each. Throws DatabaseError when the
// index cannot be written.
ScanReport scanMusicFolders(LibraryDatabase& database, const std::vector<std::string>& folders,
                            ScanListener* listener = nullptr, const std::atomic<bool>* stop = nullptr,
                            ScanOptions options = {});

// Reads one file as the scan would: a track, or the reason it is skipped. Never
// opens anything but a regular file.
struct ReadResult {
    bool isTrack = false;
    TrackRecord track;
    SkippedRecord skipped;
};
ReadResult readFileForLibrary(const std::string& path, const std::string& root);

} // namespace media
