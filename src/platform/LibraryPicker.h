#pragma once
// The music picker over the listener's library: Albums, Artists and Songs chosen by
// a tab bar, a search field that filters all three as one types, and one list that
// scrolls by drag (with inertia), wheel and keys. A tap on a song adds it to the
// selection (its place in the order shows beside it); a second tap takes it out.
// "Done" reports the selection in the order chosen; "Cancel" cancels.
//
// The list keeps one row view per visible slot and moves them as it scrolls, so a
// library of 50,000 tracks costs what one of 50 does. Main thread only.

#include "platform/MediaPicker.h"
#include "platform/MusicLibrary.h"
#include "platform/RunLoop.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform {

class Button;
class Label;
class LibraryListView;
class SearchFieldView;

class LibraryPicker final : public MediaPickerController, private MusicLibraryObserver {
public:
    static constexpr float barHeightPoints = 44;
    static constexpr float searchHeightPoints = 36;
    static constexpr float backBarHeightPoints = 32;
    static constexpr float statusHeightPoints = 22;
    static constexpr float tabBarHeightPoints = 44;
    static constexpr float rowHeightPoints = 50;

    enum class Tab { Albums, Artists, Songs };
    enum class RowKind { Album, Artist, Song, AddAll };
    struct Row {
        RowKind kind = RowKind::Song;
        std::uint32_t index = 0;   // album or artist position in the contents, or a track index
        friend bool operator==(const Row&, const Row&) = default;
    };

    LibraryPicker(Window& window, RunLoop& runLoop, MusicLibrary& library, std::int32_t mediaTypes);
    ~LibraryPicker() override;

    // --- Lists ------------------------------------------------------------------
    Tab tab() const noexcept { return tab_; }
    // Shows the tab's list from its top, closing an opened album or artist.
    void selectTab(Tab tab);
    // The rows of the list on screen, top to bottom.
    const std::vector<Row>& rows() const noexcept { return rows_; }
    // What a row shows: its title and the line under it.
    std::string rowTitle(const Row& row) const;
    std::string rowSubtitle(const Row& row) const;
    // Acts on a row as a tap does: opens an album or artist, adds or removes a song,
    // adds the whole album for "Add all". A position outside the list is ignored.
    void activateRow(std::size_t position);
    // Whether an album or an artist is open, and its name.
    bool isShowingDetail() const noexcept { return !path_.empty(); }
    std::string detailTitle() const;
    // Back from an opened album to the artist or tab it was opened from.
    void goBack();

    // --- Search -----------------------------------------------------------------
    const std::string& searchText() const noexcept { return searchText_; }
    void setSearchText(std::string text);
    void typeText(const std::string& utf8);
    // Removes the last character of the search text.
    void deleteBackward();

    // --- Selection and reporting ------------------------------------------------
    // The chosen items in the order chosen.
    const std::vector<MediaItemPtr>& selection() const noexcept { return selection_; }
    // The track's place in the selection, counted from 1, or 0 when not chosen.
    std::size_t selectionNumber(std::uint32_t track) const noexcept;
    void done();
    // Chooses the tracks (counted in the order the library gave them) in this order
    // and confirms, as a script does. Tracks outside the library and repeats are
    // skipped; without multiple picking only the first counts.
    void pick(const std::vector<std::size_t>& tracks);
    void cancel();
    bool hasReported() const noexcept { return reported_; }

    // --- Scrolling and the keyboard cursor ---------------------------------------
    float listHeightPoints() const noexcept;
    float scrollOffsetPoints() const noexcept { return offset_; }
    float maxScrollOffsetPoints() const noexcept;
    // Moves the list (clamped); stops any coasting.
    void scrollTo(float offsetPoints);
    // A wheel turn or a drag step: positive moves the list up (later rows come into view).
    void scrollBy(float deltaPoints);
    // Sets the list coasting at a speed in points per second, slowing as a flicked list does.
    void fling(float velocityPointsPerSecond);
    bool isCoasting() const noexcept { return static_cast<bool>(coastTimer_); }
    // The rows that have a view on screen now: [first, last).
    std::pair<std::size_t, std::size_t> visibleRowRange() const noexcept;
    // The row a list point lies on (y from the list's top), if any.
    std::optional<std::size_t> rowAtListY(float yPoints) const noexcept;
    // The keyboard's row; moves keep it in view.
    std::optional<std::size_t> cursor() const noexcept { return cursor_; }
    void moveCursor(std::ptrdiff_t rows);
    void moveCursorToEnd(bool last);
    void pageCursor(std::ptrdiff_t pages);
    void activateCursor();

    // --- Screen -----------------------------------------------------------------
    // The line that shows a scan's progress ("Scanning… 1,234 files"), empty otherwise.
    std::string statusText() const;
    bool isShowingEmptyLibrary() const noexcept;
    View* listView() const noexcept;
    SearchFieldView* searchField() const noexcept { return searchField_; }
    void loadView() override;
    // Arrows, Page keys, Home and End move the cursor; Return adds or opens its row;
    // Escape cancels; Left (or Backspace with an empty search) goes back; a typing key
    // gives the search field the focus, so that its text lands there.
    bool keyEvent(const KeyEvent& event, KeyPhase phase) override;
    // Gives the search field the keyboard focus (a tap on it does too).
    void focusSearchField();

private:
    struct Level {
        RowKind kind;          // Album or Artist
        std::uint32_t index;   // its position in the contents
        float offset;          // the scroll offset of the list it was opened from
    };
    void musicLibraryDidChange() override;
    void rebuildRows();
    void toggle(std::uint32_t track);
    void select(std::uint32_t track);
    void indexSelection();
    void findSelectionAgain();
    void addAll(std::uint32_t album);
    void report(const MediaItemCollection* collection);
    void coast();
    void refreshScreen();
    void refreshRowViews();
    void keepCursorVisible();

    RunLoop& runLoop_;
    MusicLibrary& library_;
    std::shared_ptr<const LibraryContents> contents_;
    LibrarySelection searchHits_;
    bool searching_ = false;
    Tab tab_ = Tab::Albums;
    std::vector<Level> path_;
    std::vector<Row> rows_;
    std::string searchText_;
    static constexpr std::uint32_t notInContents = 0xFFFFFFFF;
    std::vector<MediaItemPtr> selection_;
    std::vector<std::uint32_t> selectedTracks_;   // per chosen item: its track in contents_, or notInContents
    std::unordered_map<std::uint32_t, std::size_t> selectionIndex_;   // track → position in selection_
    bool reported_ = false;
    float offset_ = 0;
    float velocity_ = 0;
    Nanoseconds lastCoastTime_ = 0;
    TimerHandle coastTimer_;
    std::optional<std::size_t> cursor_;

    // Views, owned by the root view once loaded.
    LibraryListView* list_ = nullptr;
    SearchFieldView* searchField_ = nullptr;
    Label* titleLabel_ = nullptr;
    View* backBar_ = nullptr;
    Label* backTitle_ = nullptr;
    Label* statusLabel_ = nullptr;
    View* emptyView_ = nullptr;
    Label* emptyFolders_ = nullptr;
    std::vector<Button*> tabButtons_;
    Label* noMatches_ = nullptr;
};

} // namespace platform
