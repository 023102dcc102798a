#pragma once
// A music library held in memory, for tests and scripted runs: its tracks are set
// as a whole, and a scan is only a state that the run sets.

#include "platform/MusicLibrary.h"

#include <vector>

namespace platform::headless {

class MemoryMusicLibrary final : public MusicLibrary {
public:
    MemoryMusicLibrary();

    std::shared_ptr<const LibraryContents> contents() const override { return contents_; }
    LibraryScanState scanState() const override { return scanState_; }
    std::vector<std::string> musicFolders() const override { return folders_; }
    void addObserver(MusicLibraryObserver& observer) override;
    void removeObserver(MusicLibraryObserver& observer) override;

    // Replaces every track and tells the observers.
    void setTracks(std::vector<LibraryTrack> tracks);
    // Items as albums of their own fields: no album artist, disc 0.
    void setItems(const std::vector<MediaItemPtr>& items);
    void setScanState(LibraryScanState state);
    void setMusicFolders(std::vector<std::string> folders) { folders_ = std::move(folders); }

private:
    void notify();

    std::shared_ptr<const LibraryContents> contents_;
    LibraryScanState scanState_;
    std::vector<std::string> folders_;
    std::vector<MusicLibraryObserver*> observers_;
};

} // namespace platform::headless
