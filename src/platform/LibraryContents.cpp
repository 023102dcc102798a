#include "platform/LibraryContents.h"

#include <glib.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <unordered_map>

// Sections: folding and natural order · building the lists · search.

namespace platform {

namespace {

const std::string unknownTitle = "Unknown Title";
const std::string unknownArtist = "Unknown Artist";
const std::string unknownAlbum = "Unknown Album";
const std::string variousArtists = "Various Artists";

bool isAscii(std::string_view text) noexcept
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool isDigit(char c) noexcept
{
    return c >= '0' && c <= '9';
}

std::string fileNameWithoutExtension(const std::string& location)
{
    const std::size_t slash = location.find_last_of('/');
    std::string name = slash == std::string::npos ? location : location.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0)
        name.resize(dot);
    return name;
}

std::string directoryOf(const std::string& location)
{
    const std::size_t slash = location.find_last_of('/');
    return slash == std::string::npos ? std::string() : location.substr(0, slash);
}

const std::string& orEmpty(const std::optional<std::string>& text)
{
    static const std::string empty;
    return text ? *text : empty;
}

} // namespace

// --- Folding and natural order ------------------------------------------------------

std::string foldForSorting(std::string_view text)
{
    if (isAscii(text)) {
        std::string folded(text);
        for (char& c : folded)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        return folded;
    }
    // Decompose, drop the combining marks, then fold case.
    gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    gchar* decomposed = g_utf8_normalize(valid, -1, G_NORMALIZE_NFKD);
    g_free(valid);
    if (!decomposed)
        return std::string(text);
    std::string bare;
    bare.reserve(std::strlen(decomposed));
    for (const gchar* p = decomposed; *p; p = g_utf8_next_char(p)) {
        const gunichar c = g_utf8_get_char(p);
        if (g_unichar_ismark(c))
            continue;
        bare.append(p, static_cast<std::size_t>(g_utf8_next_char(p) - p));
    }
    g_free(decomposed);
    gchar* folded = g_utf8_casefold(bare.data(), static_cast<gssize>(bare.size()));
    std::string result(folded);
    g_free(folded);
    return result;
}

std::string foldArtistForSorting(std::string_view text)
{
    std::string folded = foldForSorting(text);
    if (folded.size() > 4 && folded.compare(0, 4, "the ") == 0)
        folded.erase(0, 4);
    return folded;
}

int compareNaturally(std::string_view a, std::string_view b) noexcept
{
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            // Compare the runs as numbers: leading zeros do not count, a longer run is larger.
            std::size_t zi = i, zj = j;
            while (zi < a.size() && a[zi] == '0')
                ++zi;
            while (zj < b.size() && b[zj] == '0')
                ++zj;
            std::size_t ei = zi, ej = zj;
            while (ei < a.size() && isDigit(a[ei]))
                ++ei;
            while (ej < b.size() && isDigit(b[ej]))
                ++ej;
            if (ei - zi != ej - zj)
                return ei - zi < ej - zj ? -1 : 1;
            if (const int c = a.substr(zi, ei - zi).compare(b.substr(zj, ej - zj)); c != 0)
                return c < 0 ? -1 : 1;
            i = ei;
            j = ej;
            continue;
        }
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[j]);
        if (ca != cb)
            return ca < cb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return 0;
}

std::string LibraryContents::displayTitle(const MediaItem& item)
{
    if (item.title && !item.title->empty())
        return *item.title;
    std::string name = fileNameWithoutExtension(item.location);
    return name.empty() ? unknownTitle : name;
}

std::string LibraryContents::displayArtist(const MediaItem& item)
{
    return item.artist && !item.artist->empty() ? *item.artist : unknownArtist;
}

// --- Building the lists ---------------------------------------------------------------

LibraryContents::LibraryContents(std::vector<LibraryTrack> tracks)
{
    tracks.erase(std::remove_if(tracks.begin(), tracks.end(), [](const LibraryTrack& t) { return !t.item; }),
                 tracks.end());
    tracks_ = std::move(tracks);
    const auto count = static_cast<std::uint32_t>(tracks_.size());

    // Per track: the sort keys and the text a search looks through.
    std::vector<std::string> titleKeys(count), artistNames(count), artistKeys(count), albumKeys(count);
    searchTexts_.resize(count);
    for (std::uint32_t t = 0; t < count; ++t) {
        const LibraryTrack& track = tracks_[t];
        const MediaItem& item = *track.item;
        titleKeys[t] = foldForSorting(displayTitle(item));
        artistNames[t] = !track.albumArtist.empty() ? track.albumArtist : displayArtist(item);
        artistKeys[t] = foldArtistForSorting(artistNames[t]);
        albumKeys[t] = foldForSorting(orEmpty(item.albumTitle));
        std::string text = titleKeys[t];
        for (const std::string* part : {&orEmpty(item.artist), &orEmpty(item.albumTitle), &track.albumArtist}) {
            if (part->empty())
                continue;
            text += '\n';
            text += foldForSorting(*part);
        }
        searchTexts_[t] = std::move(text);
    }

    // Songs by title, then artist, then album; the given order breaks the last ties.
    songs_.resize(count);
    std::iota(songs_.begin(), songs_.end(), 0u);
    std::stable_sort(songs_.begin(), songs_.end(), [&](std::uint32_t a, std::uint32_t b) {
        if (const int c = compareNaturally(titleKeys[a], titleKeys[b]); c != 0)
            return c < 0;
        if (const int c = compareNaturally(artistKeys[a], artistKeys[b]); c != 0)
            return c < 0;
        return compareNaturally(albumKeys[a], albumKeys[b]) < 0;
    });

    // Albums: one per title and album artist; without an album artist, one per title
    // and folder, so that a compilation's tracks stay together and two albums of the
    // same name by different people stay apart.
    std::unordered_map<std::string, std::uint32_t> albumByKey;
    std::vector<std::string> albumSortKeys;
    std::vector<std::string> albumArtistKeys;
    std::vector<Album> albums;
    std::vector<std::uint32_t> albumOfTrack(count);
    for (std::uint32_t t = 0; t < count; ++t) {
        const LibraryTrack& track = tracks_[t];
        std::string key = albumKeys[t];
        key += '\x1f';
        key += track.albumArtist.empty() ? directoryOf(track.item->location) : foldForSorting(track.albumArtist);
        if (track.albumArtist.empty() && track.item->location.empty())
            key += artistKeys[t];   // items without files (scripted) group by artist
        auto [it, isNew] = albumByKey.emplace(std::move(key), static_cast<std::uint32_t>(albums.size()));
        if (isNew) {
            const std::string& title = orEmpty(track.item->albumTitle);
            albums.push_back(Album{title.empty() ? unknownAlbum : title, artistNames[t], {}});
            albumSortKeys.push_back(albumKeys[t]);
        }
        Album& album = albums[it->second];
        if (!album.tracks.empty() && album.artist != artistNames[t] && track.albumArtist.empty())
            album.artist = variousArtists;
        album.tracks.push_back(t);
        albumOfTrack[t] = it->second;
    }
    for (Album& album : albums) {
        std::stable_sort(album.tracks.begin(), album.tracks.end(), [&](std::uint32_t a, std::uint32_t b) {
            const LibraryTrack& x = tracks_[a];
            const LibraryTrack& y = tracks_[b];
            if (x.discNumber != y.discNumber)
                return x.discNumber < y.discNumber;
            const auto nx = x.item->albumTrackNumber.value_or(0), ny = y.item->albumTrackNumber.value_or(0);
            if (nx != ny)
                return nx < ny;
            return compareNaturally(titleKeys[a], titleKeys[b]) < 0;
        });
    }
    for (const Album& album : albums)
        albumArtistKeys.push_back(foldArtistForSorting(album.artist));
    std::vector<std::uint32_t> albumOrder(albums.size());
    std::iota(albumOrder.begin(), albumOrder.end(), 0u);
    std::stable_sort(albumOrder.begin(), albumOrder.end(), [&](std::uint32_t a, std::uint32_t b) {
        if (const int c = compareNaturally(albumSortKeys[a], albumSortKeys[b]); c != 0)
            return c < 0;
        return compareNaturally(albumArtistKeys[a], albumArtistKeys[b]) < 0;
    });
    std::vector<std::uint32_t> albumPosition(albums.size());
    albums_.reserve(albums.size());
    for (std::uint32_t p = 0; p < albumOrder.size(); ++p) {
        albumPosition[albumOrder[p]] = p;
        albums_.push_back(std::move(albums[albumOrder[p]]));
    }
    albumOfTrack_.resize(count);
    for (std::uint32_t t = 0; t < count; ++t)
        albumOfTrack_[t] = albumPosition[albumOfTrack[t]];

    // Artists, with the albums they appear on.
    std::unordered_map<std::string, std::uint32_t> artistByKey;
    std::vector<Artist> artists;
    std::vector<std::string> artistSortKeys;
    std::vector<std::uint32_t> artistOfTrack(count);
    for (std::uint32_t t = 0; t < count; ++t) {
        auto [it, isNew] = artistByKey.emplace(artistKeys[t], static_cast<std::uint32_t>(artists.size()));
        if (isNew) {
            artists.push_back(Artist{artistNames[t], {}, 0});
            artistSortKeys.push_back(artistKeys[t]);
        }
        Artist& artist = artists[it->second];
        ++artist.trackCount;
        artist.albums.push_back(albumOfTrack_[t]);
        artistOfTrack[t] = it->second;
    }
    for (Artist& artist : artists) {
        std::sort(artist.albums.begin(), artist.albums.end());
        artist.albums.erase(std::unique(artist.albums.begin(), artist.albums.end()), artist.albums.end());
    }
    std::vector<std::uint32_t> artistOrder(artists.size());
    std::iota(artistOrder.begin(), artistOrder.end(), 0u);
    std::stable_sort(artistOrder.begin(), artistOrder.end(), [&](std::uint32_t a, std::uint32_t b) {
        return compareNaturally(artistSortKeys[a], artistSortKeys[b]) < 0;
    });
    std::vector<std::uint32_t> artistPosition(artists.size());
    artists_.reserve(artists.size());
    for (std::uint32_t p = 0; p < artistOrder.size(); ++p) {
        artistPosition[artistOrder[p]] = p;
        artists_.push_back(std::move(artists[artistOrder[p]]));
    }
    artistOfTrack_.resize(count);
    for (std::uint32_t t = 0; t < count; ++t)
        artistOfTrack_[t] = artistPosition[artistOfTrack[t]];
}

// --- Search -------------------------------------------------------------------------

LibrarySelection LibraryContents::search(std::string_view query) const
{
    const std::string folded = foldForSorting(query);
    std::vector<std::string_view> words;
    for (std::size_t at = 0; at < folded.size();) {
        const std::size_t start = folded.find_first_not_of(" \t", at);
        if (start == std::string::npos)
            break;
        const std::size_t end = std::min(folded.find_first_of(" \t", start), folded.size());
        words.push_back(std::string_view(folded).substr(start, end - start));
        at = end;
    }

    LibrarySelection selection;
    std::vector<bool> albumHit(albums_.size()), artistHit(artists_.size());
    for (std::uint32_t p = 0; p < songs_.size(); ++p) {
        const std::uint32_t t = songs_[p];
        const std::string& text = searchTexts_[t];
        const bool hit = std::all_of(words.begin(), words.end(),
                                     [&](std::string_view word) { return text.find(word) != std::string::npos; });
        if (!hit)
            continue;
        selection.songs.push_back(p);
        albumHit[albumOfTrack_[t]] = true;
        artistHit[artistOfTrack_[t]] = true;
    }
    for (std::uint32_t a = 0; a < albumHit.size(); ++a)
        if (albumHit[a])
            selection.albums.push_back(a);
    for (std::uint32_t a = 0; a < artistHit.size(); ++a)
        if (artistHit[a])
            selection.artists.push_back(a);
    return selection;
}

} // namespace platform
