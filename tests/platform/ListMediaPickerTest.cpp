#include "platform/Button.h"
#include "platform/Label.h"
#include "platform/ListMediaPicker.h"
#include "platform/Window.h"
#include "platform/headless/VirtualClock.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace platform;

namespace {

std::vector<MediaItemPtr> makeLibrary(std::size_t count)
{
    std::vector<MediaItemPtr> library;
    for (std::size_t i = 0; i < count; ++i) {
        MediaItem item;
        item.title = "Song " + std::to_string(i);
        item.artist = "Band";
        library.push_back(std::make_shared<const MediaItem>(item));
    }
    return library;
}

// Answers the picker as the player does: remember the outcome, dismiss the picker.
class ListMediaPickerScreen : public ::testing::Test, public MediaPickerDelegate {
protected:
    ListMediaPickerScreen() : window(clock) {}

    ListMediaPicker& present(std::size_t librarySize, bool multiple = true)
    {
        auto made = std::make_unique<ListMediaPicker>(window, MediaType::Music, makeLibrary(librarySize));
        ListMediaPicker& picker = *made;
        picker.setDelegate(this);
        picker.setAllowsPickingMultipleItems(multiple);
        picker.setPrompt(std::nullopt);
        window.presentModal(std::move(made), true);
        clock.advance(Window::modalSlideSeconds);
        return picker;
    }

    void mediaPickerDidPickMediaItems(MediaPickerController& picker, const MediaItemCollection& collection) override
    {
        std::vector<std::string> titles;
        for (const auto& item : collection.items)
            titles.push_back(*item->title);
        picked.push_back(titles);
        picker.dismissModalViewControllerAnimated(true);
    }
    void mediaPickerDidCancel(MediaPickerController& picker) override
    {
        ++cancels;
        picker.dismissModalViewControllerAnimated(true);
    }

    void tap(Point p)
    {
        window.touchDown(p);
        window.touchUp(p);
    }
    // Rows start under the 44-point top bar and are 44 points high.
    void tapRow(int slot) { tap({160, 44 + 44.0f * static_cast<float>(slot) + 22}); }
    void tapDone() { tap({300, 22}); }
    void tapCancel() { tap({20, 22}); }
    void tapNextPage() { tap({300, 458}); }

    headless::VirtualClock clock;
    std::vector<std::vector<std::string>> picked;
    int cancels = 0;
    Window window;
};

TEST_F(ListMediaPickerScreen, RowTapsChooseInOrderAndDoneReportsThatOrder)
{
    present(5);
    tapRow(3);
    tapRow(1);
    tapRow(3);   // taken back
    tapRow(4);
    tapDone();
    ASSERT_EQ(picked.size(), 1u);
    EXPECT_EQ(picked[0], (std::vector<std::string>{"Song 1", "Song 4"}));
    EXPECT_EQ(window.presentedController(), nullptr);
}

TEST_F(ListMediaPickerScreen, SingleChoiceReplacesTheEarlierChoice)
{
    ListMediaPicker& picker = present(5, false);
    tapRow(0);
    tapRow(2);
    EXPECT_EQ(picker.chosenIndices(), std::vector<std::size_t>{2});
}

TEST_F(ListMediaPickerScreen, DoneWithNothingChosenReportsAnEmptyCollection)
{
    present(3);
    tapDone();
    ASSERT_EQ(picked.size(), 1u);
    EXPECT_TRUE(picked[0].empty());
}

TEST_F(ListMediaPickerScreen, CancelReportsOnceAndOnlyACancel)
{
    ListMediaPicker& picker = present(3);
    tapRow(0);
    tapCancel();
    picker.done();   // the screen is on its way out: nothing more is reported
    EXPECT_EQ(cancels, 1);
    EXPECT_TRUE(picked.empty());
}

TEST_F(ListMediaPickerScreen, EscapeCancelsAsCancelDoes)
{
    present(3);
    tapRow(0);
    EXPECT_TRUE(window.keyEvent(KeyEvent::named(Key::Escape), KeyPhase::Down));
    EXPECT_EQ(cancels, 1);
    EXPECT_TRUE(picked.empty());
    EXPECT_EQ(window.presentedController(), nullptr);
}

TEST_F(ListMediaPickerScreen, ScriptedPickSkipsPositionsOutsideTheLibraryAndRepeats)
{
    ListMediaPicker& picker = present(5);
    picker.pick({4, 99, 0, 4});
    ASSERT_EQ(picked.size(), 1u);
    EXPECT_EQ(picked[0], (std::vector<std::string>{"Song 4", "Song 0"}));
}

TEST_F(ListMediaPickerScreen, LargeLibraryIsShownOnePageAtATime)
{
    ListMediaPicker& picker = present(10'000);
    // The list has room for floor((480 - 44 - 44) / 44) = 8 rows.
    ASSERT_EQ(picker.rowsPerPage(), 8u);
    std::size_t buttons = 0;
    for (const auto& sub : picker.view().subviews())
        buttons += dynamic_cast<Button*>(sub.get()) != nullptr;
    EXPECT_EQ(buttons, 8u);

    tapNextPage();
    tapRow(0);   // the ninth item
    for (int i = 0; i < 2000; ++i)
        picker.showNextPage();
    EXPECT_EQ(picker.firstVisibleIndex(), 9'992u);   // the last page holds 9992 to 9999
    tapRow(7);
    tapRow(0);   // the first of the last page
    tapDone();
    ASSERT_EQ(picked.size(), 1u);
    EXPECT_EQ(picked[0], (std::vector<std::string>{"Song 8", "Song 9999", "Song 9992"}));
}

TEST(ListMediaPickerRowText, FallsBackOnWhatTheItemHas)
{
    MediaItem full;
    full.title = "Blue";
    full.artist = "River";
    MediaItem fileOnly;
    fileOnly.location = "/music/07 Song.flac";
    MediaItem nothing;
    EXPECT_EQ(ListMediaPicker::rowText(full), "Blue \u2014 River");
    EXPECT_EQ(ListMediaPicker::rowText(fileOnly), "07 Song");
    EXPECT_EQ(ListMediaPicker::rowText(nothing), "Unknown Title");
}

} // namespace
