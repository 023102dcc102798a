// The library's lists in the order a person expects, and search.

#include "platform/LibraryContents.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using platform::LibraryContents;
using platform::LibraryTrack;

LibraryTrack track(std::string title, std::string artist, std::string album, std::int64_t number = 0,
                   std::int32_t disc = 0, std::string albumArtist = {}, std::string location = {})
{
    auto item = std::make_shared<platform::MediaItem>();
    if (!title.empty())
        item->title = std::move(title);
    if (!artist.empty())
        item->artist = std::move(artist);
    if (!album.empty())
        item->albumTitle = std::move(album);
    if (number)
        item->albumTrackNumber = number;
    item->location = std::move(location);
    return LibraryTrack{item, std::move(albumArtist), disc, 0};
}

std::vector<std::string> songTitles(const LibraryContents& contents, const std::vector<std::uint32_t>& positions)
{
    std::vector<std::string> titles;
    for (std::uint32_t p : positions)
        titles.push_back(contents.displayTitle(contents.songs()[p]));
    return titles;
}

std::vector<std::uint32_t> all(std::size_t n)
{
    std::vector<std::uint32_t> positions(n);
    for (std::uint32_t i = 0; i < n; ++i)
        positions[i] = i;
    return positions;
}

TEST(LibraryOrder, NaturalCaseAndAccentInsensitive)
{
    EXPECT_LT(platform::compareNaturally("track 2", "track 10"), 0);
    EXPECT_LT(platform::compareNaturally("track 007", "track 10"), 0);
    EXPECT_EQ(platform::compareNaturally("a01", "a1"), 0);
    EXPECT_GT(platform::compareNaturally("b", "a9"), 0);
    EXPECT_EQ(platform::foldForSorting("Émile ÇA Straße"), "emile ca strasse");
    EXPECT_EQ(platform::foldArtistForSorting("The Beatles"), "beatles");
    EXPECT_EQ(platform::foldArtistForSorting("Theatre"), "theatre");

    const LibraryContents contents({track("zebra", "", ""), track("Étude 10", "", ""), track("étude 9", "", ""),
                                    track("Apple", "", ""), track("", "", "", 0, 0, {}, "/m/banana split.mp3")});
    EXPECT_EQ(songTitles(contents, all(5)),
              (std::vector<std::string>{"Apple", "banana split", "étude 9", "Étude 10", "zebra"}));
}

TEST(LibraryOrder, ArtistsIgnoreALeadingThe)
{
    const LibraryContents contents({track("a", "The Zombies", "X"), track("b", "Abba", "Y"),
                                    track("c", "the Beatles", "Z"), track("d", "", "W")});
    std::vector<std::string> names;
    for (const auto& artist : contents.artists())
        names.push_back(artist.name);
    EXPECT_EQ(names, (std::vector<std::string>{"Abba", "the Beatles", "Unknown Artist", "The Zombies"}));
}

TEST(LibraryOrder, AlbumsKeepDiscAndTrackOrderAndTheirArtist)
{
    const LibraryContents contents({
        track("Closing", "Kim", "Live", 2, 2, {}, "/m/live/d2t2.flac"),
        track("Opening", "Kim", "Live", 1, 1, {}, "/m/live/d1t1.flac"),
        track("Encore", "Kim", "Live", 1, 2, {}, "/m/live/d2t1.flac"),
        track("Middle", "Kim", "Live", 2, 1, {}, "/m/live/d1t2.flac"),
        track("One", "Ann", "Mix", 1, 0, {}, "/m/mix/1.flac"),
        track("Two", "Bob", "Mix", 2, 0, {}, "/m/mix/2.flac"),
        track("Same Name", "Cy", "Live", 1, 0, {}, "/m/other live/1.flac"),   // another album of that name
    });
    ASSERT_EQ(contents.albums().size(), 3u);
    const auto& live = contents.albums()[0].artist == "Cy" ? contents.albums()[1] : contents.albums()[0];
    std::vector<std::string> order;
    for (std::uint32_t t : live.tracks)
        order.push_back(*contents.item(t)->title);
    EXPECT_EQ(order, (std::vector<std::string>{"Opening", "Middle", "Encore", "Closing"}));
    EXPECT_EQ(contents.albums()[2].title, "Mix");
    EXPECT_EQ(contents.albums()[2].artist, "Various Artists");

    // An artist opens the albums they are on.
    for (const auto& artist : contents.artists()) {
        if (artist.name != "Ann")
            continue;
        ASSERT_EQ(artist.albums.size(), 1u);
        EXPECT_EQ(contents.albums()[artist.albums[0]].title, "Mix");
    }
}

TEST(LibraryTracks, ItemsComeBackAsGivenAndCopyingKeepsThem)
{
    auto full = std::make_shared<platform::MediaItem>();
    full->title = "Blue";
    full->artist = "River";
    full->albumTitle = "";   // present but empty is not missing
    full->playbackDuration = 201.25;
    full->albumTrackNumber = (std::int64_t(1) << 33) + 3;
    full->albumTrackCount = 12;
    full->location = "/music/River/Blue.flac";
    auto bare = std::make_shared<platform::MediaItem>();
    bare->location = "07 Song.ogg";
    auto nothing = std::make_shared<platform::MediaItem>();
    const LibraryContents given({LibraryTrack{full, "Various", 2, 1999}, LibraryTrack{bare, {}, 0, 0},
                                 LibraryTrack{nullptr, {}, 0, 0}, LibraryTrack{nothing, {}, 0, 0}});
    ASSERT_EQ(given.trackCount(), 3u);

    LibraryContents::Builder builder;
    for (std::uint32_t t = given.trackCount(); t-- > 0;)
        builder.add(given, t);
    const auto copied = builder.build();
    ASSERT_EQ(copied->trackCount(), 3u);
    for (const auto& [contents, first] : {std::pair{&given, 0u}, std::pair{copied.get(), 2u}}) {
        SCOPED_TRACE(first == 0 ? "given" : "copied");
        const auto a = contents->item(first);
        EXPECT_EQ(a->title, full->title);
        EXPECT_EQ(a->artist, full->artist);
        EXPECT_EQ(a->albumTitle, std::optional<std::string>(""));
        EXPECT_EQ(a->playbackDuration, full->playbackDuration);
        EXPECT_EQ(a->albumTrackNumber, full->albumTrackNumber);
        EXPECT_EQ(a->albumTrackCount, full->albumTrackCount);
        EXPECT_EQ(a->location, full->location);
        const auto b = contents->item(1);
        EXPECT_FALSE(b->title || b->artist || b->albumTitle || b->playbackDuration || b->albumTrackNumber);
        EXPECT_EQ(b->location, "07 Song.ogg");
        EXPECT_EQ(contents->displayTitle(1), "07 Song");
        EXPECT_EQ(contents->displayArtist(1), "Unknown Artist");
        EXPECT_EQ(contents->displayTitle(2 - first), "Unknown Title");
        // The album artist and disc still group: one album by "Various".
        const auto album = std::find_if(contents->albums().begin(), contents->albums().end(),
                                        [](const LibraryContents::Album& al) { return al.artist == "Various"; });
        ASSERT_NE(album, contents->albums().end());
        EXPECT_EQ(album->tracks, std::vector<std::uint32_t>{first});
    }
}

TEST(LibrarySearch, EveryWordInAnyFieldAccentAndCaseInsensitive)
{
    const LibraryContents contents({
        track("Café del Mar", "Ann", "Summer", 1, 0, {}, "/a/1.flac"),
        track("Night Drive", "Björk", "Winter", 1, 0, {}, "/b/1.flac"),
        track("Cafe Noir", "Bob", "Winter", 2, 0, {}, "/b/2.flac"),
        track("Morning", "Ann", "Spring", 1, 0, {}, "/c/1.flac"),
    });
    auto titles = [&](const char* query) { return songTitles(contents, contents.search(query).songs); };
    EXPECT_EQ(titles("CAFE"), (std::vector<std::string>{"Café del Mar", "Cafe Noir"}));
    EXPECT_EQ(titles("bjork"), (std::vector<std::string>{"Night Drive"}));
    EXPECT_EQ(titles("ann summer"), (std::vector<std::string>{"Café del Mar"}));   // words in different fields
    EXPECT_EQ(titles("cafe winter"), (std::vector<std::string>{"Cafe Noir"}));
    EXPECT_EQ(titles("  "), songTitles(contents, all(4)));
    EXPECT_TRUE(titles("tango").empty());

    const auto winter = contents.search("winter");
    ASSERT_EQ(winter.albums.size(), 1u);
    EXPECT_EQ(contents.albums()[winter.albums[0]].title, "Winter");
    std::vector<std::string> artists;
    for (std::uint32_t a : winter.artists)
        artists.push_back(contents.artists()[a].name);
    EXPECT_EQ(artists, (std::vector<std::string>{"Björk", "Bob"}));
}

} // namespace
