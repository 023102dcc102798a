#pragma once
// The listener's music library: every track found in the music folders, offered as
// albums, artists and songs, searchable, and kept fresh while the program runs.
//
// A library hands out immutable contents (LibraryContents): a new set replaces the
// old one as a whole when the library changes, and observers are told on the main
// thread. Readers keep the contents they hold for as long as they like.

#include "platform/LibraryContents.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// How far a scan of the music folders has come.
struct LibraryScanState {
    bool scanning = false;
    std::int64_t filesSeen = 0;   // files looked at so far in this scan
    friend bool operator==(const LibraryScanState&, const LibraryScanState&) = default;
};

class MusicLibraryObserver {
public:
    virtual ~MusicLibraryObserver() = default;
    // The contents or the scan state changed. Main thread.
    virtual void musicLibraryDidChange() = 0;
};

class MusicLibrary {
public:
    virtual ~MusicLibrary() = default;

    // The tracks known at this moment, never null. Main thread; does not throw.
    virtual std::shared_ptr<const LibraryContents> contents() const = 0;
    virtual LibraryScanState scanState() const = 0;
    // Where music is looked for, for the empty library's hint.
    virtual std::vector<std::string> musicFolders() const = 0;

    // The observer hears of every change until removed; it must be removed before it
    // goes. Adding one twice has no further effect. Main thread.
    virtual void addObserver(MusicLibraryObserver& observer) = 0;
    virtual void removeObserver(MusicLibraryObserver& observer) = 0;
};

} // namespace platform
