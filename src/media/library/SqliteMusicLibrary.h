#pragma once
// The music library of the listener's folders: an index in SQLite, brought up to
// date by a worker thread at start-up. The worker hands every new set of contents
// and the scan's progress to the main thread through the run loop, so the screen
// never waits for the disk.

#include "media/library/LibraryDatabase.h"
#include "platform/MusicLibrary.h"
#include "platform/RunLoop.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace media {

struct LibrarySettings {
    std::vector<std::string> folders;   // music folders, in the order given
    std::string databasePath;           // the index file
    double lockWaitSeconds = 2;         // how long to wait for another Spoolora's scan
    bool follow = true;                 // rescan when the folders change (inotify)
};

// Adds a record of the index to contents being built: empty strings and zero numbers are missing.
void addLibraryTrack(platform::LibraryContents::Builder& builder, const TrackRecord& record);

// Gives memory freed by this process back to the system where the allocator keeps it
// (a large library's contents are made and dropped as a whole).
void releaseFreedMemory() noexcept;

// The folder as the index names it: its real path, or the absolute path as given
// when it is not there.
std::string indexFolderName(const std::string& folder);

class SqliteMusicLibrary final : public platform::MusicLibrary {
public:
    // Starts the worker at once: it loads the index, then scans the folders.
    SqliteMusicLibrary(platform::RunLoop& runLoop, LibrarySettings settings);
    // Stops a scan between two files, waits for the worker, and drops work it posted.
    ~SqliteMusicLibrary() override;
    SqliteMusicLibrary(const SqliteMusicLibrary&) = delete;
    SqliteMusicLibrary& operator=(const SqliteMusicLibrary&) = delete;

    std::shared_ptr<const platform::LibraryContents> contents() const override;
    platform::LibraryScanState scanState() const override;
    std::vector<std::string> musicFolders() const override { return settings_.folders; }
    void addObserver(platform::MusicLibraryObserver& observer) override;
    void removeObserver(platform::MusicLibraryObserver& observer) override;

    // Whether the worker has finished its scan (or given up) and waits for changes. Any thread.
    bool isIdle() const noexcept { return idle_.load(); }

private:
    struct Shared;
    void work();

    platform::RunLoop& runLoop_;
    LibrarySettings settings_;
    std::shared_ptr<Shared> shared_;   // main-thread state; posted work holds it weakly
    std::atomic<bool> stop_{false};
    std::atomic<bool> idle_{false};
    std::thread worker_;
};

} // namespace media
