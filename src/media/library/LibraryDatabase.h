#pragma once
// The library's index: one SQLite database in WAL mode, written by one thread at a
// time in batched transactions. A database that SQLite finds damaged is set aside as
// "<name>.bad" and built again from nothing.

#include "media/library/TrackTags.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace media {

class DatabaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What identifies one version of a file: a change of either means it is read again.
struct FileStamp {
    std::int64_t size = 0;
    std::int64_t modifiedNanoseconds = 0;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

struct TrackRecord {
    std::string path;   // the file's path as the file system spells it (any bytes)
    std::string root;   // the music folder it was found in
    FileStamp stamp;
    TrackTags tags;
};

struct SkippedRecord {
    std::string path;
    std::string root;
    FileStamp stamp;
    std::string reason;
    bool remembered = false;   // skipped in an earlier scan, the file unchanged since
};

class LibraryDatabase {
public:
    enum class Access { ReadWrite, ReadOnly };

    // Opens (or creates, with its folder) the database. A damaged file is renamed to
    // "<path>.bad" (replacing an older one) and a new one made, with one line on
    // stderr. Throws DatabaseError when even a new database cannot be made.
    explicit LibraryDatabase(const std::string& path, Access access = Access::ReadWrite);
    ~LibraryDatabase();
    LibraryDatabase(const LibraryDatabase&) = delete;
    LibraryDatabase& operator=(const LibraryDatabase&) = delete;

    const std::string& path() const noexcept { return path_; }
    bool isReadOnly() const noexcept { return access_ == Access::ReadOnly; }
    // Whether opening found the file damaged and started afresh.
    bool wasRebuilt() const noexcept { return rebuilt_; }

    // Every file known under the music folder, tracks and skipped files alike.
    struct KnownFile {
        FileStamp stamp;
        bool skipped = false;
        std::string reason;   // why it was skipped
    };
    std::unordered_map<std::string, KnownFile> filesUnder(const std::string& root) const;
    void forEachTrack(const std::function<void(const TrackRecord&)>& visit) const;
    std::vector<SkippedRecord> skippedFiles() const;
    std::int64_t trackCount() const;

    // Writes go into the open transaction; commit() ends it and begins none.
    void begin();
    void commit();
    void putTrack(const TrackRecord& track);
    void putSkipped(const SkippedRecord& skipped);
    void remove(const std::string& path);

private:
    void open();
    void createSchema();
    void execute(const char* sql);
    sqlite3_stmt* prepare(const char* sql) const;
    [[noreturn]] void fail(const char* what) const;

    std::string path_;
    Access access_;
    bool rebuilt_ = false;
    bool inTransaction_ = false;
    sqlite3* db_ = nullptr;
    sqlite3_stmt* putTrack_ = nullptr;
    sqlite3_stmt* putSkipped_ = nullptr;
    sqlite3_stmt* removeTrack_ = nullptr;
    sqlite3_stmt* removeSkipped_ = nullptr;
};

} // namespace media

namespace media {

// Only one Spoolora at a time writes the index: the holder of "<index>.lock".
class IndexWriterLock {
public:
    // Tries for up to waitSeconds, or until *giveUp turns true (a program that is
    // quitting does not wait). Without the lock (another Spoolora holds it, or the
    // folder cannot be written) isHeld() is false.
    IndexWriterLock(const std::string& databasePath, double waitSeconds,
        const std::atomic<bool>* giveUp = nullptr);
    ~IndexWriterLock();
    IndexWriterLock(const IndexWriterLock&) = delete;
    IndexWriterLock& operator=(const IndexWriterLock&) = delete;
    bool isHeld() const noexcept { return fd_ >= 0; }

private:
    int fd_ = -1;
};

} // namespace media
