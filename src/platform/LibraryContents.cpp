#include "platform/LibraryContents.h"

#include "platform/DisplayText.h"

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

// --- One track ----------------------------------------------------------------------

MediaItemPtr LibraryContents::item(std::uint32_t track) const
{
    const Track& t = tracks_[track];
    auto item = std::make_shared<MediaItem>();
    if (t.present & HasTitle)
        item->title = std::string(text(t.title));
    if (t.artist)
        item->artist = std::string(name(t.artist));
    if (t.album)
        item->albumTitle = std::string(name(t.album));
    if (t.present & HasDuration)
        item->playbackDuration = t.durationSeconds;
    if (t.present & HasNumber)
        item->albumTrackNumber = t.albumTrackNumber;
    if (t.present & HasCount)
        item->albumTrackCount = t.albumTrackCount;
    item->location = location(track);
    return item;
}

std::string LibraryContents::displayTitle(std::uint32_t track) const
{
    const Track& t = tracks_[track];
    if ((t.present & HasTitle) && t.title.size > 0)
        return std::string(text(t.title));
    std::string name = fileNameWithoutExtension(std::string(text(t.fileName)));
    return name.empty() ? unknownTitle : name;
}

std::string LibraryContents::displayArtist(std::uint32_t track) const
{
    const Track& t = tracks_[track];
    return t.artist && names_[t.artist].size > 0 ? std::string(name(t.artist)) : unknownArtist;
}

std::string_view LibraryContents::albumTitle(std::uint32_t track) const noexcept
{
    const Track& t = tracks_[track];
    return t.album ? name(t.album) : std::string_view();
}

std::optional<std::int64_t> LibraryContents::albumTrackNumber(std::uint32_t track) const noexcept
{
    const Track& t = tracks_[track];
    return (t.present & HasNumber) ? std::optional<std::int64_t>(t.albumTrackNumber) : std::nullopt;
}

std::string LibraryContents::location(std::uint32_t track) const
{
    const Track& t = tracks_[track];
    if (!t.folder)
        return std::string(text(t.fileName));
    std::string path(name(t.folder));
    path += '/';
    path += text(t.fileName);
    return path;
}

std::size_t LibraryContents::heldBytes() const noexcept
{
    std::size_t bytes = sizeof(LibraryContents) + text_.capacity() + (names_.capacity() + foldedNames_.capacity()) * sizeof(Text) +
                        tracks_.capacity() * sizeof(Track) +
                        (songs_.capacity() + albumOfTrack_.capacity() + artistOfTrack_.capacity()) * sizeof(std::uint32_t);
    for (const Album& album : albums_)
        bytes += sizeof(Album) + album.title.capacity() + album.artist.capacity() + album.tracks.capacity() * sizeof(std::uint32_t);
    for (const Artist& artist : artists_)
        bytes += sizeof(Artist) + artist.name.capacity() + artist.albums.capacity() * sizeof(std::uint32_t);
    return bytes;
}

// --- Gathering the tracks -------------------------------------------------------------

struct LibraryContents::Builder::Fields {
    std::optional<std::string_view> title;
    std::optional<std::string_view> artist;
    std::optional<std::string_view> album;
    std::string_view albumArtist;
    std::string_view folder;     // empty when the location has none
    std::string_view fileName;
    std::optional<double> durationSeconds;
    std::optional<std::int64_t> albumTrackNumber;
    std::optional<std::int64_t> albumTrackCount;
    std::int32_t discNumber = 0;
    std::int32_t year = 0;
};

LibraryContents::Builder::Builder() : contents_(std::make_unique<LibraryContents>())
{
    contents_->names_.push_back(Text{});   // id 0: none
    contents_->foldedNames_.push_back(Text{});
}

LibraryContents::Builder::~Builder() = default;

std::size_t LibraryContents::Builder::trackCount() const noexcept
{
    return contents_->tracks_.size();
}

LibraryContents::Text LibraryContents::Builder::append(std::string_view text)
{
    std::string& all = contents_->text_;
    const Text stretch{static_cast<std::uint32_t>(all.size()), static_cast<std::uint32_t>(text.size())};
    all.append(text);
    return stretch;
}

std::uint32_t LibraryContents::Builder::intern(std::string_view name)
{
    if (const auto found = ids_.find(name); found != ids_.end())
        return found->second;
    const auto id = static_cast<std::uint32_t>(contents_->names_.size());
    ids_.emplace(std::string(name), id);
    const Text stretch = append(name);
    contents_->names_.push_back(stretch);
    const std::string folded = foldForSorting(name);
    contents_->foldedNames_.push_back(folded == name ? stretch : append(folded));
    return id;
}

void LibraryContents::Builder::add(const Fields& fields)
{
    Track track;
    if (fields.title) {
        track.present |= HasTitle;
        track.title = append(*fields.title);
    }
    if (fields.artist)
        track.artist = intern(*fields.artist);
    if (fields.album)
        track.album = intern(*fields.album);
    if (!fields.albumArtist.empty())
        track.albumArtist = intern(fields.albumArtist);
    if (!fields.folder.empty())
        track.folder = intern(fields.folder);
    track.fileName = append(fields.fileName);
    if (fields.durationSeconds) {
        track.present |= HasDuration;
        track.durationSeconds = *fields.durationSeconds;
    }
    if (fields.albumTrackNumber) {
        track.present |= HasNumber;
        track.albumTrackNumber = *fields.albumTrackNumber;
    }
    if (fields.albumTrackCount) {
        track.present |= HasCount;
        track.albumTrackCount = *fields.albumTrackCount;
    }
    track.discNumber = fields.discNumber;
    track.year = fields.year;
    contents_->tracks_.push_back(track);
    const auto index = static_cast<std::uint32_t>(contents_->tracks_.size() - 1);
    const std::string shown = contents_->displayTitle(index);
    const std::string folded = foldForSorting(shown);
    contents_->tracks_.back().foldedTitle =
        (track.present & HasTitle) && folded == fields.title ? track.title : append(folded);
}

void LibraryContents::Builder::add(const MediaItem& item, std::string_view albumArtist, std::int32_t discNumber,
                                   std::int32_t year)
{
    Fields fields;
    fields.title = item.title;
    fields.artist = item.artist;
    fields.album = item.albumTitle;
    fields.albumArtist = albumArtist;
    const std::string_view location = item.location;
    // A path is kept as its folder, shared by the tracks in it, and the file's name.
    if (const std::size_t slash = location.find_last_of('/'); slash != std::string_view::npos && slash > 0) {
        fields.folder = location.substr(0, slash);
        fields.fileName = location.substr(slash + 1);
    } else {
        fields.fileName = location;
    }
    fields.durationSeconds = item.playbackDuration;
    fields.albumTrackNumber = item.albumTrackNumber;
    fields.albumTrackCount = item.albumTrackCount;
    fields.discNumber = discNumber;
    fields.year = year;
    add(fields);
}

void LibraryContents::Builder::add(const LibraryContents& from, std::uint32_t index)
{
    const Track& t = from.tracks_[index];
    Fields fields;
    if (t.present & HasTitle)
        fields.title = from.text(t.title);
    if (t.artist)
        fields.artist = from.name(t.artist);
    if (t.album)
        fields.album = from.name(t.album);
    if (t.albumArtist)
        fields.albumArtist = from.name(t.albumArtist);
    if (t.folder)
        fields.folder = from.name(t.folder);
    fields.fileName = from.text(t.fileName);
    if (t.present & HasDuration)
        fields.durationSeconds = t.durationSeconds;
    if (t.present & HasNumber)
        fields.albumTrackNumber = t.albumTrackNumber;
    if (t.present & HasCount)
        fields.albumTrackCount = t.albumTrackCount;
    fields.discNumber = t.discNumber;
    fields.year = t.year;
    add(fields);
}

std::unique_ptr<LibraryContents> LibraryContents::Builder::finish()
{
    std::unique_ptr<LibraryContents> contents = std::move(contents_);
    ids_ = {};
    contents_ = std::make_unique<LibraryContents>();
    contents_->names_.push_back(Text{});
    contents_->foldedNames_.push_back(Text{});
    contents->sortAndGroup();
    contents->text_.shrink_to_fit();
    contents->names_.shrink_to_fit();
    contents->foldedNames_.shrink_to_fit();
    contents->tracks_.shrink_to_fit();
    return contents;
}

std::shared_ptr<const LibraryContents> LibraryContents::Builder::build()
{
    return finish();
}

LibraryContents::LibraryContents(std::vector<LibraryTrack> tracks)
{
    Builder builder;
    for (const LibraryTrack& track : tracks)
        if (track.item)
            builder.add(*track.item, track.albumArtist, track.discNumber, track.year);
    tracks = {};
    *this = std::move(*builder.finish());
}

// --- Building the lists ---------------------------------------------------------------

void LibraryContents::sortAndGroup()
{
    const auto count = static_cast<std::uint32_t>(tracks_.size());
    const std::string_view unknownArtistKey = "unknown artist";
    const auto titleKey = [&](std::uint32_t t) { return text(tracks_[t].foldedTitle); };
    // The artist a track is listed under: its album artist, else its artist.
    const auto artistId = [&](std::uint32_t t) -> std::uint32_t {
        const Track& track = tracks_[t];
        if (track.albumArtist)
            return track.albumArtist;
        return track.artist && names_[track.artist].size > 0 ? track.artist : 0;
    };
    const auto withoutThe = [](std::string_view folded) {
        return folded.size() > 4 && folded.substr(0, 4) == "the " ? folded.substr(4) : folded;
    };
    const auto artistKey = [&](std::uint32_t t) {
        const std::uint32_t id = artistId(t);
        return id ? withoutThe(foldedName(id)) : unknownArtistKey;
    };
    const auto artistName = [&](std::uint32_t t) {
        const std::uint32_t id = artistId(t);
        return id ? std::string(name(id)) : unknownArtist;
    };
    const auto albumKey = [&](std::uint32_t t) { return foldedName(tracks_[t].album); };

    // Songs by title, then artist, then album; the given order breaks the last ties.
    songs_.resize(count);
    std::iota(songs_.begin(), songs_.end(), 0u);
    std::stable_sort(songs_.begin(), songs_.end(), [&](std::uint32_t a, std::uint32_t b) {
        if (const int c = compareNaturally(titleKey(a), titleKey(b)); c != 0)
            return c < 0;
        if (const int c = compareNaturally(artistKey(a), artistKey(b)); c != 0)
            return c < 0;
        return compareNaturally(albumKey(a), albumKey(b)) < 0;
    });

    // Albums: one per title and album artist; without an album artist, one per title
    // and folder, so that a compilation's tracks stay together and two albums of the
    // same name by different people stay apart.
    std::unordered_map<std::string, std::uint32_t> albumByKey;
    std::vector<std::uint32_t> albumFirstTrack;
    std::vector<Album> albums;
    std::vector<std::uint32_t> albumOfTrack(count);
    std::string key;
    for (std::uint32_t t = 0; t < count; ++t) {
        const Track& track = tracks_[t];
        key.assign(albumKey(t));
        key += '\x1f';
        if (track.albumArtist) {
            key += foldedName(track.albumArtist);
        } else {
            key += name(track.folder);
            if (!track.folder && track.fileName.size == 0)
                key += artistKey(t);   // items without files (scripted) group by artist
        }
        auto [it, isNew] = albumByKey.try_emplace(key, static_cast<std::uint32_t>(albums.size()));
        if (isNew) {
            const std::string_view title = name(track.album);
            albums.push_back(Album{title.empty() ? unknownAlbum : std::string(title), artistName(t), {}});
            albumFirstTrack.push_back(t);
        }
        Album& album = albums[it->second];
        if (!album.tracks.empty() && !track.albumArtist && album.artist != variousArtists && album.artist != artistName(t))
            album.artist = variousArtists;
        album.tracks.push_back(t);
        albumOfTrack[t] = it->second;
    }
    albumByKey = {};
    for (Album& album : albums) {
        album.tracks.shrink_to_fit();
        std::stable_sort(album.tracks.begin(), album.tracks.end(), [&](std::uint32_t a, std::uint32_t b) {
            const Track& x = tracks_[a];
            const Track& y = tracks_[b];
            if (x.discNumber != y.discNumber)
                return x.discNumber < y.discNumber;
            const std::int64_t nx = (x.present & HasNumber) ? x.albumTrackNumber : 0;
            const std::int64_t ny = (y.present & HasNumber) ? y.albumTrackNumber : 0;
            if (nx != ny)
                return nx < ny;
            return compareNaturally(titleKey(a), titleKey(b)) < 0;
        });
    }
    std::vector<std::string> albumArtistKeys;
    albumArtistKeys.reserve(albums.size());
    for (const Album& album : albums)
        albumArtistKeys.push_back(foldArtistForSorting(album.artist));
    std::vector<std::uint32_t> albumOrder(albums.size());
    std::iota(albumOrder.begin(), albumOrder.end(), 0u);
    std::stable_sort(albumOrder.begin(), albumOrder.end(), [&](std::uint32_t a, std::uint32_t b) {
        if (const int c = compareNaturally(albumKey(albumFirstTrack[a]), albumKey(albumFirstTrack[b])); c != 0)
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
    std::unordered_map<std::string_view, std::uint32_t> artistByKey;
    std::vector<Artist> artists;
    std::vector<std::string_view> artistSortKeys;
    std::vector<std::uint32_t> artistOfTrack(count);
    for (std::uint32_t t = 0; t < count; ++t) {
        auto [it, isNew] = artistByKey.try_emplace(artistKey(t), static_cast<std::uint32_t>(artists.size()));
        if (isNew) {
            artists.push_back(Artist{artistName(t), {}, 0});
            artistSortKeys.push_back(artistKey(t));
        }
        Artist& artist = artists[it->second];
        ++artist.trackCount;
        artist.albums.push_back(albumOfTrack_[t]);
        artistOfTrack[t] = it->second;
    }
    for (Artist& artist : artists) {
        std::sort(artist.albums.begin(), artist.albums.end());
        artist.albums.erase(std::unique(artist.albums.begin(), artist.albums.end()), artist.albums.end());
        artist.albums.shrink_to_fit();
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

    // Each name is looked through once, however many tracks share it.
    const std::size_t wordCount = words.size();
    std::vector<bool> nameHasWord(foldedNames_.size() * wordCount);
    for (std::size_t id = 1; id < foldedNames_.size(); ++id)
        for (std::size_t w = 0; w < wordCount; ++w)
            nameHasWord[id * wordCount + w] = foldedName(static_cast<std::uint32_t>(id)).find(words[w]) != std::string_view::npos;

    LibrarySelection selection;
    std::vector<bool> albumHit(albums_.size()), artistHit(artists_.size());
    for (std::uint32_t p = 0; p < songs_.size(); ++p) {
        const std::uint32_t t = songs_[p];
        const Track& track = tracks_[t];
        const std::string_view title = text(track.foldedTitle);
        bool hit = true;
        for (std::size_t w = 0; w < wordCount && hit; ++w) {
            hit = title.find(words[w]) != std::string_view::npos ||
                  (track.artist && nameHasWord[track.artist * wordCount + w]) ||
                  (track.album && nameHasWord[track.album * wordCount + w]) ||
                  (track.albumArtist && nameHasWord[track.albumArtist * wordCount + w]);
        }
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
