#include "platform/headless/MemoryMusicLibrary.h"

#include <algorithm>

namespace platform::headless {

MemoryMusicLibrary::MemoryMusicLibrary() : contents_(std::make_shared<LibraryContents>()) {}

void MemoryMusicLibrary::addObserver(MusicLibraryObserver& observer)
{
    if (std::find(observers_.begin(), observers_.end(), &observer) == observers_.end())
        observers_.push_back(&observer);
}

void MemoryMusicLibrary::removeObserver(MusicLibraryObserver& observer)
{
    observers_.erase(std::remove(observers_.begin(), observers_.end(), &observer), observers_.end());
}

void MemoryMusicLibrary::setTracks(std::vector<LibraryTrack> tracks)
{
    contents_ = std::make_shared<LibraryContents>(std::move(tracks));
    notify();
}

void MemoryMusicLibrary::setItems(const std::vector<MediaItemPtr>& items)
{
    std::vector<LibraryTrack> tracks;
    tracks.reserve(items.size());
    for (const MediaItemPtr& item : items)
        if (item)
            tracks.push_back(LibraryTrack{item, {}, 0, 0});
    setTracks(std::move(tracks));
}

void MemoryMusicLibrary::setScanState(LibraryScanState state)
{
    if (state == scanState_)
        return;
    scanState_ = state;
    notify();
}

void MemoryMusicLibrary::notify()
{
    // An observer may remove itself (or another) while being told.
    const std::vector<MusicLibraryObserver*> observers = observers_;
    for (MusicLibraryObserver* observer : observers)
        if (std::find(observers_.begin(), observers_.end(), observer) != observers_.end())
            observer->musicLibraryDidChange();
}

} // namespace platform::headless
