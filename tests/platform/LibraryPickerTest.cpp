// The library picker driven as a listener drives it: taps on rows, tabs and the bar
// buttons, drags and flicks of the list, typing into the search field.

#include "platform/LibraryPicker.h"
#include "platform/headless/HeadlessPlatform.h"
#include "platform/headless/MemoryMusicLibrary.h"

#include <gtest/gtest.h>

namespace {

using platform::LibraryPicker;
using platform::LibraryTrack;
using platform::MediaItemPtr;
using platform::Point;

LibraryTrack song(std::string title, std::string artist, std::string album, std::int64_t number, std::string folder,
                  std::int32_t disc = 0)
{
    auto item = std::make_shared<platform::MediaItem>();
    item->title = title;
    item->artist = std::move(artist);
    item->albumTitle = std::move(album);
    item->albumTrackNumber = number;
    item->playbackDuration = 180;
    item->location = "/music/" + folder + "/" + title + ".flac";
    return LibraryTrack{item, {}, disc, 0};
}

struct Delegate final : platform::MediaPickerDelegate {
    std::vector<std::vector<MediaItemPtr>> picks;
    int cancels = 0;
    void mediaPickerDidPickMediaItems(platform::MediaPickerController&, const platform::MediaItemCollection& c) override
    {
        picks.push_back(c.items);
    }
    void mediaPickerDidCancel(platform::MediaPickerController&) override { ++cancels; }
};

class LibraryPickerScreen : public ::testing::Test {
protected:
    // The library outlives the platform, whose window still holds the picker that watches it.
    platform::headless::MemoryMusicLibrary library;
    platform::headless::HeadlessPlatform platform;
    Delegate delegate;
    LibraryPicker* picker = nullptr;

    static constexpr float listTop = LibraryPicker::barHeightPoints + LibraryPicker::searchHeightPoints;

    void SetUp() override
    {
        library.setMusicFolders({"/home/ada/Music"});
        library.setTracks({
            song("Opening", "Kim", "Live at Home", 1, "live", 1),
            song("Encore", "Kim", "Live at Home", 1, "live", 2),
            song("Middle", "Kim", "Live at Home", 2, "live", 1),
            song("Blue", "The Anchors", "Harbour", 2, "harbour"),
            song("Anchor Song", "The Anchors", "Harbour", 1, "harbour"),
            song("Zephyr", "Björk", "Winds", 1, "winds"),
        });
    }

    void present()
    {
        auto made = std::make_unique<LibraryPicker>(platform.window(), platform.runLoop(), library,
                                                    platform::MediaType::Music);
        picker = made.get();
        picker->setDelegate(&delegate);
        picker->setAllowsPickingMultipleItems(true);
        picker->setPrompt(std::nullopt);
        platform.window().presentModal(std::move(made), false);
        platform.runDueNow();
    }

    void tap(Point at)
    {
        platform.window().touchDown(at);
        platform.advance(0.05);
        platform.window().touchUp(at);
        platform.runDueNow();
    }
    void tapRow(std::size_t visibleRow, float top = 0)
    {
        tap({160, listTop + top + LibraryPicker::rowHeightPoints * (float(visibleRow) + 0.5f)});
    }
    void tapTab(int index) { tap({320.0f / 3 * (float(index) + 0.5f), 480 - 22}); }
    void tapDone() { tap({290, 22}); }
    void tapCancel() { tap({30, 22}); }

    std::vector<std::string> titles() const
    {
        std::vector<std::string> all;
        for (const auto& row : picker->rows())
            all.push_back(picker->rowTitle(row));
        return all;
    }
    static std::vector<std::string> titlesOf(const std::vector<MediaItemPtr>& items)
    {
        std::vector<std::string> all;
        for (const auto& item : items)
            all.push_back(*item->title);
        return all;
    }
};

TEST_F(LibraryPickerScreen, SongsArePickedInTheOrderTappedAndASecondTapRemoves)
{
    present();
    EXPECT_EQ(platform.window().presentedController(), picker);
    EXPECT_EQ(picker->view().backgroundColor(), platform::Color::black());
    tapTab(2);
    ASSERT_EQ(titles(), (std::vector<std::string>{"Anchor Song", "Blue", "Encore", "Middle", "Opening", "Zephyr"}));
    tapRow(5);
    tapRow(1);
    tapRow(4);
    tapRow(1);   // Blue again: out
    EXPECT_EQ(picker->selectionNumber(5), 1u);   // Zephyr
    EXPECT_EQ(picker->selectionNumber(0), 2u);   // Opening moved up
    EXPECT_EQ(picker->selectionNumber(3), 0u);
    tapDone();
    ASSERT_EQ(delegate.picks.size(), 1u);
    EXPECT_EQ(titlesOf(delegate.picks[0]), (std::vector<std::string>{"Zephyr", "Opening"}));
    tapDone();   // reported once only
    EXPECT_EQ(delegate.picks.size(), 1u);
}

TEST_F(LibraryPickerScreen, ChosenSongsKeepTheirPlacesWhenTheLibraryIsMadeAgain)
{
    const std::vector<LibraryTrack> six = {
        song("Opening", "Kim", "Live at Home", 1, "live", 1),   song("Encore", "Kim", "Live at Home", 1, "live", 2),
        song("Middle", "Kim", "Live at Home", 2, "live", 1),    song("Blue", "The Anchors", "Harbour", 2, "harbour"),
        song("Anchor Song", "The Anchors", "Harbour", 1, "harbour"), song("Zephyr", "Björk", "Winds", 1, "winds"),
    };
    present();
    tapTab(2);
    tapRow(5);   // Zephyr, track 5
    tapRow(1);   // Blue, track 3
    // A rescan finds a new file: every track moves up one, and the checks go with them.
    std::vector<LibraryTrack> seven = {song("Aardvark", "Kim", "Live at Home", 3, "live", 1)};
    seven.insert(seven.end(), six.begin(), six.end());
    library.setTracks(seven);
    EXPECT_EQ(picker->selectionNumber(6), 1u);
    EXPECT_EQ(picker->selectionNumber(4), 2u);
    EXPECT_EQ(picker->selectionNumber(5), 0u);
    EXPECT_EQ(picker->selectionNumber(3), 0u);
    // A chosen song whose file went away stays chosen; the others keep their places.
    seven.pop_back();
    library.setTracks(seven);
    EXPECT_EQ(picker->selectionNumber(4), 2u);
    tapRow(3);   // Encore joins as the third
    EXPECT_EQ(picker->selectionNumber(2), 3u);
    tapDone();
    ASSERT_EQ(delegate.picks.size(), 1u);
    EXPECT_EQ(titlesOf(delegate.picks[0]), (std::vector<std::string>{"Zephyr", "Blue", "Encore"}));
}

TEST_F(LibraryPickerScreen, EmptyDoneAndCancel)
{
    present();
    tapDone();
    ASSERT_EQ(delegate.picks.size(), 1u);
    EXPECT_TRUE(delegate.picks[0].empty());

    present();
    tapTab(2);
    tapRow(0);
    tapCancel();
    EXPECT_EQ(delegate.cancels, 1);
    EXPECT_EQ(delegate.picks.size(), 1u);
}

TEST_F(LibraryPickerScreen, AlbumOpensInDiscAndTrackOrderWithAddAll)
{
    present();
    ASSERT_EQ(titles(), (std::vector<std::string>{"Harbour", "Live at Home", "Winds"}));
    tapRow(1);
    ASSERT_TRUE(picker->isShowingDetail());
    EXPECT_EQ(picker->detailTitle(), "Live at Home");
    EXPECT_EQ(titles(), (std::vector<std::string>{"Add all", "Opening", "Middle", "Encore"}));

    const float backBar = LibraryPicker::backBarHeightPoints;
    tapRow(2, backBar);   // Middle first
    tapRow(0, backBar);   // then the rest, in album order
    tap({30, listTop + backBar / 2});   // back
    EXPECT_FALSE(picker->isShowingDetail());
    tapRow(0);            // Harbour
    tapRow(1, backBar);   // Anchor Song
    tapDone();
    ASSERT_EQ(delegate.picks.size(), 1u);
    EXPECT_EQ(titlesOf(delegate.picks[0]), (std::vector<std::string>{"Middle", "Opening", "Encore", "Anchor Song"}));
}

TEST_F(LibraryPickerScreen, ArtistsOpenTheirAlbums)
{
    present();
    tapTab(1);
    // "The Anchors" sorts under A, before Björk and Kim.
    ASSERT_EQ(titles(), (std::vector<std::string>{"The Anchors", "Björk", "Kim"}));
    tapRow(2);
    EXPECT_EQ(titles(), (std::vector<std::string>{"Live at Home"}));
    tapRow(0, LibraryPicker::backBarHeightPoints);
    EXPECT_EQ(picker->detailTitle(), "Live at Home");
    picker->goBack();
    picker->goBack();
    EXPECT_EQ(titles(), (std::vector<std::string>{"The Anchors", "Björk", "Kim"}));
}

TEST_F(LibraryPickerScreen, SearchFiltersEveryListAsOneTypes)
{
    present();
    picker->typeText("an");
    EXPECT_EQ(titles(), (std::vector<std::string>{"Harbour"}));   // "Anchors" and "Anchor Song"
    picker->typeText("c");
    tapTab(2);
    EXPECT_EQ(picker->searchText(), "anc");
    EXPECT_EQ(titles(), (std::vector<std::string>{"Anchor Song", "Blue"}));
    picker->setSearchText("bjork");
    tapTab(1);
    EXPECT_EQ(titles(), (std::vector<std::string>{"Björk"}));
    picker->setSearchText("nothing like it");
    EXPECT_TRUE(picker->rows().empty());
    picker->setSearchText("Zéphyr");
    for (int i = 0; i < 7; ++i)
        picker->deleteBackward();   // "é" is one character, two bytes
    EXPECT_EQ(picker->searchText(), "");
    EXPECT_EQ(titles().size(), 3u);
}

TEST_F(LibraryPickerScreen, LongListScrollsWithOnlyVisibleRowsBuilt)
{
    std::vector<LibraryTrack> many;
    for (int i = 1; i <= 50000; ++i)
        many.push_back(song("Track " + std::to_string(i), "Artist " + std::to_string(i % 97), "Album " + std::to_string(i / 12),
                            i % 12 + 1, "f" + std::to_string(i / 12)));
    library.setTracks(std::move(many));
    present();
    tapTab(2);
    ASSERT_EQ(picker->rows().size(), 50000u);
    const std::size_t rowViews = picker->listView()->subviews().size();
    EXPECT_LE(rowViews, 10u);

    // A slow drag moves the list with the finger and does not tap a row.
    auto& window = platform.window();
    window.touchDown({160, 400});
    for (int step = 1; step <= 10; ++step) {
        platform.advance(0.1);
        window.touchMove({160, 400 - 30.0f * float(step)});
    }
    platform.advance(0.1);
    window.touchUp({160, 100});
    EXPECT_FLOAT_EQ(picker->scrollOffsetPoints(), 300);
    EXPECT_FALSE(picker->isCoasting());   // the finger stood still at the end
    EXPECT_TRUE(picker->selection().empty());

    // A flick coasts on, slows down and stops.
    window.touchDown({160, 400});
    platform.advance(0.016);
    window.touchMove({160, 300});
    platform.advance(0.016);
    window.touchMove({160, 200});
    platform.advance(0.016);
    window.touchUp({160, 100});
    EXPECT_TRUE(picker->isCoasting());
    const float released = picker->scrollOffsetPoints();
    platform.advance(5);
    EXPECT_FALSE(picker->isCoasting());
    EXPECT_GT(picker->scrollOffsetPoints(), released + 500);
    EXPECT_EQ(picker->listView()->subviews().size(), rowViews);

    // A tap after scrolling takes the row under the finger.
    const auto [first, last] = picker->visibleRowRange();
    EXPECT_LE(last - first, rowViews);
    const float offset = picker->scrollOffsetPoints();
    const float y = listTop + 75;
    const auto row = static_cast<std::size_t>((75 + offset) / LibraryPicker::rowHeightPoints);
    tap({160, y});
    ASSERT_EQ(picker->selection().size(), 1u);
    EXPECT_EQ(*picker->selection()[0]->title, picker->rowTitle(picker->rows()[row]));

    // The keys reach the end and come back.
    picker->moveCursorToEnd(true);
    EXPECT_EQ(picker->visibleRowRange().second, 50000u);
    EXPECT_FLOAT_EQ(picker->scrollOffsetPoints(), picker->maxScrollOffsetPoints());
    picker->pageCursor(-1);
    EXPECT_LT(*picker->cursor(), 49999u);
    EXPECT_GE(*picker->cursor(), picker->visibleRowRange().first);
    picker->moveCursorToEnd(false);
    EXPECT_EQ(picker->scrollOffsetPoints(), 0);
    picker->scrollBy(-40);   // a wheel turn past the top stays at the top
    EXPECT_EQ(picker->scrollOffsetPoints(), 0);
}

TEST_F(LibraryPickerScreen, KeysWheelAndTypingDriveIt)
{
    using platform::Key;
    using platform::KeyEvent;
    using platform::KeyPhase;
    present();
    auto& window = platform.window();
    const auto press = [&](KeyEvent event) {
        window.keyEvent(event, KeyPhase::Down);
        window.keyEvent(event, KeyPhase::Up);
    };
    tapTab(2);
    press(KeyEvent::named(Key::Down));
    press(KeyEvent::named(Key::Down));
    press(KeyEvent::named(Key::Return));   // the second song: Blue
    press(KeyEvent::named(Key::End));
    press(KeyEvent::named(Key::Return));   // the last: Zephyr
    EXPECT_EQ(titlesOf(picker->selection()), (std::vector<std::string>{"Blue", "Zephyr"}));

    // Typing goes to the search field, wherever the focus was.
    press(KeyEvent::typing(U'z'));
    window.textInput("ze");
    EXPECT_EQ(picker->searchText(), "ze");
    EXPECT_EQ(titles(), (std::vector<std::string>{"Zephyr"}));
    press(KeyEvent::named(Key::Backspace));
    press(KeyEvent::named(Key::Backspace));
    EXPECT_EQ(picker->searchText(), "");

    tapTab(0);
    press(KeyEvent::named(Key::Down));
    press(KeyEvent::named(Key::Return));
    EXPECT_TRUE(picker->isShowingDetail());
    press(KeyEvent::named(Key::Left));
    EXPECT_FALSE(picker->isShowingDetail());

    std::vector<LibraryTrack> many;
    for (int i = 0; i < 100; ++i)
        many.push_back(song("Song " + std::to_string(i), "A", "B", 1, "f" + std::to_string(i)));
    library.setTracks(std::move(many));
    EXPECT_TRUE(window.scrollWheel({160, 200}, 80));
    EXPECT_FLOAT_EQ(picker->scrollOffsetPoints(), 80);

    press(KeyEvent::named(Key::Escape));
    EXPECT_EQ(delegate.cancels, 1);
}

TEST_F(LibraryPickerScreen, ShowsScanProgressAndFillsAsTracksArrive)
{
    library.setTracks({});
    library.setScanState({true, 1234});
    present();
    EXPECT_TRUE(picker->isShowingEmptyLibrary());
    EXPECT_EQ(picker->statusText(), "Scanning\u2026 1,234 files");
    library.setScanState({false, 5000});
    EXPECT_EQ(picker->statusText(), "");

    library.setTracks({song("First Light", "Ann", "Dawn", 1, "dawn")});
    EXPECT_FALSE(picker->isShowingEmptyLibrary());
    EXPECT_EQ(titles(), (std::vector<std::string>{"Dawn"}));
    tapRow(0);
    library.setTracks({song("First Light", "Ann", "Dawn", 1, "dawn"), song("Noon", "Ann", "Dawn", 2, "dawn")});
    // The opened album stays open and shows the track that came.
    EXPECT_EQ(titles(), (std::vector<std::string>{"Add all", "First Light", "Noon"}));
}

} // namespace
