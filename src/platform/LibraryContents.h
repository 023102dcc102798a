#pragma once
// A fixed set of library tracks, sorted the way a person expects: case and accents
// do not count, numbers go in natural order ("2" before "10"), and a leading "The "
// does not count for artists. Built once (on any thread), then only read.

#include "platform/MusicPlayer.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// One track: the media item the player receives, and what the lists group by.
struct LibraryTrack {
    MediaItemPtr item;          // never null
    std::string albumArtist;    // empty when not tagged
    std::int32_t discNumber = 0;
    std::int32_t year = 0;
};

// Positions in the sorted lists of one LibraryContents.
struct LibrarySelection {
    std::vector<std::uint32_t> songs;     // positions in songs()
    std::vector<std::uint32_t> albums;    // positions in albums()
    std::vector<std::uint32_t> artists;   // positions in artists()
};

class LibraryContents {
public:
    struct Album {
        std::string title;
        std::string artist;                  // album artist, the one artist of its tracks, or "Various Artists"
        std::vector<std::uint32_t> tracks;   // track indices in disc and track order
    };
    struct Artist {
        std::string name;
        std::vector<std::uint32_t> albums;   // positions in albums(), in album order
        std::uint32_t trackCount = 0;
    };

    LibraryContents() = default;
    explicit LibraryContents(std::vector<LibraryTrack> tracks);

    std::size_t trackCount() const noexcept { return tracks_.size(); }
    // Tracks in the order they were given.
    const LibraryTrack& track(std::uint32_t index) const noexcept { return tracks_[index]; }
    // Track indices by title (then artist, then album).
    const std::vector<std::uint32_t>& songs() const noexcept { return songs_; }
    const std::vector<Album>& albums() const noexcept { return albums_; }
    const std::vector<Artist>& artists() const noexcept { return artists_; }

    // The songs whose title, artist or album text holds every word of the query
    // (case and accents do not count), the albums holding such a song, and their
    // artists. An empty query (or one of spaces only) selects everything.
    LibrarySelection search(std::string_view query) const;

    // What the lists show for a track: its title, else its file name without the
    // extension, else "Unknown Title"; its artist, else "Unknown Artist".
    static std::string displayTitle(const MediaItem& item);
    static std::string displayArtist(const MediaItem& item);

private:
    std::vector<LibraryTrack> tracks_;
    std::vector<std::string> searchTexts_;   // folded "title artist album albumartist", per track
    std::vector<std::uint32_t> songs_;
    std::vector<Album> albums_;
    std::vector<Artist> artists_;
    std::vector<std::uint32_t> albumOfTrack_;    // position in albums_, per track
    std::vector<std::uint32_t> artistOfTrack_;   // position in artists_, per track
};

// Lower case without accents (é → e, Å → a, ß → ss), for sorting and searching.
// Invalid UTF-8 is read as U+FFFD.
std::string foldForSorting(std::string_view text);
// As foldForSorting, without a leading "the ".
std::string foldArtistForSorting(std::string_view text);
// Orders folded keys with runs of digits compared as numbers: negative, 0 or positive.
int compareNaturally(std::string_view a, std::string_view b) noexcept;

} // namespace platform
