#include "media/library/LibraryDatabase.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace media {

namespace {

constexpr int schemaVersion = 1;

constexpr const char* schema = R"sql(
CREATE TABLE IF NOT EXISTS tracks(
    path BLOB PRIMARY KEY, root BLOB NOT NULL, size INTEGER NOT NULL, mtime INTEGER NOT NULL,
    title TEXT NOT NULL, artist TEXT NOT NULL, album TEXT NOT NULL, album_artist TEXT NOT NULL,
    track_number INTEGER NOT NULL, track_count INTEGER NOT NULL, disc_number INTEGER NOT NULL,
    year INTEGER NOT NULL, duration REAL NOT NULL) WITHOUT ROWID;
CREATE INDEX IF NOT EXISTS tracks_root ON tracks(root);
CREATE TABLE IF NOT EXISTS skipped(
    path BLOB PRIMARY KEY, root BLOB NOT NULL, size INTEGER NOT NULL, mtime INTEGER NOT NULL,
    reason TEXT NOT NULL) WITHOUT ROWID;
)sql";

bool isDamage(int code) noexcept
{
    const int primary = code & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

class Statement {
public:
    explicit Statement(sqlite3_stmt* statement) noexcept : statement_(statement) {}
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const noexcept { return statement_; }

private:
    sqlite3_stmt* statement_;
};

void bindBlob(sqlite3_stmt* statement, int index, const std::string& bytes)
{
    sqlite3_bind_blob(statement, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_STATIC);
}

void bindText(sqlite3_stmt* statement, int index, const std::string& text)
{
    sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
}

std::string columnBytes(sqlite3_stmt* statement, int column)
{
    const void* data = sqlite3_column_blob(statement, column);
    const int size = sqlite3_column_bytes(statement, column);
    return data ? std::string(static_cast<const char*>(data), static_cast<std::size_t>(size)) : std::string();
}

std::string columnText(sqlite3_stmt* statement, int column)
{
    const unsigned char* text = sqlite3_column_text(statement, column);
    const int size = sqlite3_column_bytes(statement, column);
    return text ? std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size)) : std::string();
}

struct Damaged {
    std::string message;
};

} // namespace

LibraryDatabase::LibraryDatabase(const std::string& path, Access access) : path_(path), access_(access)
{
    try {
        open();
    } catch (const Damaged& damaged) {
        if (access_ == Access::ReadOnly)
            throw DatabaseError("the music library index \"" + path_ + "\" is damaged (" + damaged.message + ")");
        std::fprintf(stderr, "spoolora: the music library index \"%s\" is damaged (%s); it is kept as \"%s.bad\" and built again\n",
                     path_.c_str(), damaged.message.c_str(), path_.c_str());
        std::error_code ignored;
        std::filesystem::rename(path_, path_ + ".bad", ignored);
        std::filesystem::remove(path_ + "-wal", ignored);
        std::filesystem::remove(path_ + "-shm", ignored);
        rebuilt_ = true;
        try {
            open();
        } catch (const Damaged& again) {
            throw DatabaseError("cannot make a new music library index \"" + path_ + "\": " + again.message);
        }
    }
}

LibraryDatabase::~LibraryDatabase()
{
    if (inTransaction_)
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    for (sqlite3_stmt* statement : {putTrack_, putSkipped_, removeTrack_, removeSkipped_})
        sqlite3_finalize(statement);
    sqlite3_close(db_);
}

void LibraryDatabase::open()
{
    if (db_) {
        for (sqlite3_stmt** statement : {&putTrack_, &putSkipped_, &removeTrack_, &removeSkipped_}) {
            sqlite3_finalize(*statement);
            *statement = nullptr;
        }
        sqlite3_close(db_);
        db_ = nullptr;
    }
    if (access_ == Access::ReadWrite) {
        std::error_code ignored;
        std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), ignored);
    }
    const int flags = access_ == Access::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    int code = sqlite3_open_v2(path_.c_str(), &db_, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (code != SQLITE_OK) {
        if (isDamage(code))
            throw Damaged{sqlite3_errstr(code)};
        const std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(code);
        throw DatabaseError("cannot open the music library index \"" + path_ + "\": " + message);
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, 2000);
    // The worker keeps the index open while the program runs: a small page cache
    // (1 MiB) is enough for scans that read and write it in order.
    sqlite3_exec(db_, "PRAGMA cache_size=-1024", nullptr, nullptr, nullptr);

    // A damaged file shows itself at the first read of its pages; the quick check
    // reads them all, so that the damage is found now and not halfway through a scan.
    sqlite3_stmt* check = nullptr;
    code = sqlite3_prepare_v2(db_, "PRAGMA quick_check", -1, &check, nullptr);
    if (code != SQLITE_OK) {
        sqlite3_finalize(check);
        if (isDamage(code))
            throw Damaged{sqlite3_errmsg(db_)};
        fail("check");
    }
    {
    Statement checking(check);
    code = sqlite3_step(check);
    if (isDamage(code))
        throw Damaged{sqlite3_errmsg(db_)};
    if (code == SQLITE_ROW && columnText(check, 0) != "ok")
        throw Damaged{columnText(check, 0)};
    if (code != SQLITE_ROW && code != SQLITE_DONE)
        fail("check");
    }

    if (access_ == Access::ReadOnly)
        return;
    try {
        execute("PRAGMA journal_mode=WAL");
        execute("PRAGMA synchronous=NORMAL");
        createSchema();
    } catch (const DatabaseError& error) {
        if (isDamage(sqlite3_extended_errcode(db_)))
            throw Damaged{error.what()};
        throw;
    }
    putTrack_ = prepare("INSERT OR REPLACE INTO tracks VALUES(?1,?2,?3,?4,?5,?6,?7,?8,?9,?10,?11,?12,?13)");
    putSkipped_ = prepare("INSERT OR REPLACE INTO skipped VALUES(?1,?2,?3,?4,?5)");
    removeTrack_ = prepare("DELETE FROM tracks WHERE path=?1");
    removeSkipped_ = prepare("DELETE FROM skipped WHERE path=?1");
}

void LibraryDatabase::createSchema()
{
    Statement version(prepare("PRAGMA user_version"));
    int existing = 0;
    if (sqlite3_step(version.get()) == SQLITE_ROW)
        existing = sqlite3_column_int(version.get(), 0);
    if (existing != schemaVersion && existing != 0) {
        // An index of another layout is only a cache: start it again.
        execute("DROP TABLE IF EXISTS tracks");
        execute("DROP TABLE IF EXISTS skipped");
    }
    execute(schema);
    char pragma[64];
    std::snprintf(pragma, sizeof pragma, "PRAGMA user_version=%d", schemaVersion);
    execute(pragma);
}

void LibraryDatabase::execute(const char* sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : "unknown error";
        sqlite3_free(error);
        throw DatabaseError("music library index \"" + path_ + "\": " + message);
    }
}

sqlite3_stmt* LibraryDatabase::prepare(const char* sql) const
{
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        fail("prepare");
    }
    return statement;
}

void LibraryDatabase::fail(const char* what) const
{
    throw DatabaseError("music library index \"" + path_ + "\": " + what + ": " + sqlite3_errmsg(db_));
}

std::unordered_map<std::string, LibraryDatabase::KnownFile> LibraryDatabase::filesUnder(const std::string& root) const
{
    std::unordered_map<std::string, KnownFile> files;
    Statement select(prepare("SELECT path, size, mtime, 0, '' FROM tracks WHERE root=?1 "
                             "UNION ALL SELECT path, size, mtime, 1, reason FROM skipped WHERE root=?1"));
    sqlite3_stmt* s = select.get();
    bindBlob(s, 1, root);
    int code;
    while ((code = sqlite3_step(s)) == SQLITE_ROW)
        files.emplace(columnBytes(s, 0), KnownFile{{sqlite3_column_int64(s, 1), sqlite3_column_int64(s, 2)},
                                                   sqlite3_column_int(s, 3) != 0, columnText(s, 4)});
    if (code != SQLITE_DONE)
        fail("read");
    return files;
}

void LibraryDatabase::forEachTrack(const std::function<void(const TrackRecord&)>& visit) const
{
    Statement select(prepare("SELECT path, root, size, mtime, title, artist, album, album_artist, track_number, "
                             "track_count, disc_number, year, duration FROM tracks"));
    sqlite3_stmt* s = select.get();
    TrackRecord track;
    int code;
    while ((code = sqlite3_step(s)) == SQLITE_ROW) {
        track.path = columnBytes(s, 0);
        track.root = columnBytes(s, 1);
        track.stamp = {sqlite3_column_int64(s, 2), sqlite3_column_int64(s, 3)};
        track.tags.title = columnText(s, 4);
        track.tags.artist = columnText(s, 5);
        track.tags.album = columnText(s, 6);
        track.tags.albumArtist = columnText(s, 7);
        track.tags.trackNumber = sqlite3_column_int(s, 8);
        track.tags.trackCount = sqlite3_column_int(s, 9);
        track.tags.discNumber = sqlite3_column_int(s, 10);
        track.tags.year = sqlite3_column_int(s, 11);
        track.tags.durationSeconds = sqlite3_column_double(s, 12);
        visit(track);
    }
    if (code != SQLITE_DONE)
        fail("read");
}

std::vector<SkippedRecord> LibraryDatabase::skippedFiles() const
{
    std::vector<SkippedRecord> skipped;
    Statement select(prepare("SELECT path, root, size, mtime, reason FROM skipped ORDER BY path"));
    sqlite3_stmt* s = select.get();
    int code;
    while ((code = sqlite3_step(s)) == SQLITE_ROW)
        skipped.push_back(SkippedRecord{columnBytes(s, 0), columnBytes(s, 1),
                                        {sqlite3_column_int64(s, 2), sqlite3_column_int64(s, 3)}, columnText(s, 4)});
    if (code != SQLITE_DONE)
        fail("read");
    return skipped;
}

std::int64_t LibraryDatabase::trackCount() const
{
    Statement count(prepare("SELECT count(*) FROM tracks"));
    if (sqlite3_step(count.get()) != SQLITE_ROW)
        fail("count");
    return sqlite3_column_int64(count.get(), 0);
}

void LibraryDatabase::begin()
{
    if (inTransaction_)
        return;
    execute("BEGIN IMMEDIATE");
    inTransaction_ = true;
}

void LibraryDatabase::commit()
{
    if (!inTransaction_)
        return;
    inTransaction_ = false;
    execute("COMMIT");
}

void LibraryDatabase::putTrack(const TrackRecord& track)
{
    sqlite3_stmt* s = putTrack_;
    sqlite3_reset(s);
    bindBlob(s, 1, track.path);
    bindBlob(s, 2, track.root);
    sqlite3_bind_int64(s, 3, track.stamp.size);
    sqlite3_bind_int64(s, 4, track.stamp.modifiedNanoseconds);
    bindText(s, 5, track.tags.title);
    bindText(s, 6, track.tags.artist);
    bindText(s, 7, track.tags.album);
    bindText(s, 8, track.tags.albumArtist);
    sqlite3_bind_int(s, 9, track.tags.trackNumber);
    sqlite3_bind_int(s, 10, track.tags.trackCount);
    sqlite3_bind_int(s, 11, track.tags.discNumber);
    sqlite3_bind_int(s, 12, track.tags.year);
    sqlite3_bind_double(s, 13, track.tags.durationSeconds);
    if (sqlite3_step(s) != SQLITE_DONE)
        fail("write");
    sqlite3_reset(s);
    sqlite3_reset(removeSkipped_);
    bindBlob(removeSkipped_, 1, track.path);
    if (sqlite3_step(removeSkipped_) != SQLITE_DONE)
        fail("write");
    sqlite3_reset(removeSkipped_);
}

void LibraryDatabase::putSkipped(const SkippedRecord& skipped)
{
    sqlite3_stmt* s = putSkipped_;
    sqlite3_reset(s);
    bindBlob(s, 1, skipped.path);
    bindBlob(s, 2, skipped.root);
    sqlite3_bind_int64(s, 3, skipped.stamp.size);
    sqlite3_bind_int64(s, 4, skipped.stamp.modifiedNanoseconds);
    bindText(s, 5, skipped.reason);
    if (sqlite3_step(s) != SQLITE_DONE)
        fail("write");
    sqlite3_reset(s);
    sqlite3_reset(removeTrack_);
    bindBlob(removeTrack_, 1, skipped.path);
    if (sqlite3_step(removeTrack_) != SQLITE_DONE)
        fail("write");
    sqlite3_reset(removeTrack_);
}

void LibraryDatabase::remove(const std::string& path)
{
    for (sqlite3_stmt* s : {removeTrack_, removeSkipped_}) {
        sqlite3_reset(s);
        bindBlob(s, 1, path);
        if (sqlite3_step(s) != SQLITE_DONE)
            fail("write");
        sqlite3_reset(s);
    }
}

} // namespace media

#include <sys/file.h>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace media {

IndexWriterLock::IndexWriterLock(const std::string& databasePath, double waitSeconds, const std::atomic<bool>* giveUp)
{
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(databasePath).parent_path(), ignored);
    fd_ = ::open((databasePath + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0)
        return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(waitSeconds);
    while (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        if (std::chrono::steady_clock::now() >= deadline || (giveUp && giveUp->load())) {
            ::close(fd_);
            fd_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

IndexWriterLock::~IndexWriterLock()
{
    if (fd_ >= 0)
        ::close(fd_);
}

} // namespace media
