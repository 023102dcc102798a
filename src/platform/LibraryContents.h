#pragma once
// A fixed set of library tracks, sorted the way a person expects: case and accents
// do not count, numbers go in natural order ("2" before "10"), and a leading "The "
// does not count for artists. Built once (on any thread), then only read.

#include "platform/MusicPlayer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform {

// One track as it is handed to the contents: the media item the player receives, and
// what the lists group by.
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

// The tracks are kept compactly, for a library of tens of thousands: their texts lie
// back to back in one buffer, artist, album and folder names once however many tracks
// share them, and a media item is made only when one is asked for.
class LibraryContents {
public:
    class Builder;
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
    // Tracks without an item are left out.
    explicit LibraryContents(std::vector<LibraryTrack> tracks);

    std::size_t trackCount() const noexcept { return tracks_.size(); }
    // A new media item for a track (tracks count in the order they were given), with
    // every property the track was given.
    MediaItemPtr item(std::uint32_t track) const;
    // What the lists show for a track: its title, else its file name without the
    // extension, else "Unknown Title"; its artist, else "Unknown Artist".
    std::string displayTitle(std::uint32_t track) const;
    std::string displayArtist(std::uint32_t track) const;
    // The album title, empty when there is none.
    std::string_view albumTitle(std::uint32_t track) const noexcept;
    std::optional<std::int64_t> albumTrackNumber(std::uint32_t track) const noexcept;
    std::string location(std::uint32_t track) const;
    // Track indices by title (then artist, then album).
    const std::vector<std::uint32_t>& songs() const noexcept { return songs_; }
    const std::vector<Album>& albums() const noexcept { return albums_; }
    const std::vector<Artist>& artists() const noexcept { return artists_; }

    // The songs whose title, artist or album text holds every word of the query
    // (case and accents do not count), the albums holding such a song, and their
    // artists. An empty query (or one of spaces only) selects everything.
    LibrarySelection search(std::string_view query) const;

    // Bytes held, for the memory benchmark.
    std::size_t heldBytes() const noexcept;

    static std::string displayTitle(const MediaItem& item);
    static std::string displayArtist(const MediaItem& item);

private:
    // A stretch of text_.
    struct Text {
        std::uint32_t offset = 0;
        std::uint32_t size = 0;
    };
    // Which of a track's optional properties are there.
    enum Present : std::uint8_t { HasTitle = 1, HasDuration = 2, HasNumber = 4, HasCount = 8 };
    struct Track {
        Text title;
        Text foldedTitle;           // of the title shown, for sorting and search
        Text fileName;              // the location after its folder (all of it without one)
        std::uint32_t artist = 0;   // names in names_; 0 for none
        std::uint32_t album = 0;
        std::uint32_t albumArtist = 0;
        std::uint32_t folder = 0;
        double durationSeconds = 0;
        std::int64_t albumTrackNumber = 0;
        std::int64_t albumTrackCount = 0;
        std::int32_t discNumber = 0;
        std::int32_t year = 0;
        std::uint8_t present = 0;
    };

    std::string_view text(Text stretch) const noexcept { return std::string_view(text_).substr(stretch.offset, stretch.size); }
    std::string_view name(std::uint32_t id) const noexcept { return text(names_[id]); }
    std::string_view foldedName(std::uint32_t id) const noexcept { return text(foldedNames_[id]); }
    void sortAndGroup();

    std::string text_;                 // every text, back to back
    std::vector<Text> names_;          // artist, album and folder names, each once; [0] is none
    std::vector<Text> foldedNames_;    // the same, folded for sorting and search
    std::vector<Track> tracks_;
    std::vector<std::uint32_t> songs_;
    std::vector<Album> albums_;
    std::vector<Artist> artists_;
    std::vector<std::uint32_t> albumOfTrack_;    // position in albums_, per track
    std::vector<std::uint32_t> artistOfTrack_;   // position in artists_, per track
};

// Gathers tracks one at a time (on any thread) and makes contents of them; the
// tracks are not held twice on the way.
class LibraryContents::Builder {
public:
    Builder();
    ~Builder();
    Builder(const Builder&) = delete;
    Builder& operator=(const Builder&) = delete;

    void add(const MediaItem& item, std::string_view albumArtist, std::int32_t discNumber, std::int32_t year);
    // A track of other contents, as it is there.
    void add(const LibraryContents& from, std::uint32_t track);
    std::size_t trackCount() const noexcept;
    // The sorted contents; the builder is empty after.
    std::shared_ptr<const LibraryContents> build();

private:
    friend class LibraryContents;
    struct Fields;
    // Names are looked up by their text without making a string of it.
    struct NameHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view name) const noexcept { return std::hash<std::string_view>{}(name); }
    };
    void add(const Fields& fields);
    std::unique_ptr<LibraryContents> finish();
    std::uint32_t intern(std::string_view name);
    LibraryContents::Text append(std::string_view text);

    std::unique_ptr<LibraryContents> contents_;
    std::unordered_map<std::string, std::uint32_t, NameHash, std::equal_to<>> ids_;   // name → id, while building
};

// Lower case without accents (é → e, Å → a, ß → ss), for sorting and searching.
// Invalid UTF-8 is read as U+FFFD.
std::string foldForSorting(std::string_view text);
// As foldForSorting, without a leading "the ".
std::string foldArtistForSorting(std::string_view text);
// Orders folded keys with runs of digits compared as numbers: negative, 0 or positive.
int compareNaturally(std::string_view a, std::string_view b) noexcept;

} // namespace platform
