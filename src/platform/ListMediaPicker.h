#pragma once
// A music picker made of plain views, for backends without one of their own: the
// library as a list of rows, one page at a time, with "Cancel" and "Done" at the top.
// A row tap chooses the item (or takes it back); "Done" reports the chosen items in
// the order they were chosen. Only the rows of one page exist, so a library of any
// size opens at once. Main thread only.

#include "platform/MediaPicker.h"

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

class Button;
class Label;

class ListMediaPicker final : public MediaPickerController {
public:
    static constexpr float barHeightPoints = 44;
    static constexpr float promptHeightPoints = 24;
    static constexpr float rowHeightPoints = 44;

    ListMediaPicker(Window& window, std::int32_t mediaTypes, std::vector<MediaItemPtr> library);

    const std::vector<MediaItemPtr>& library() const noexcept { return library_; }
    // Library positions in the order chosen.
    const std::vector<std::size_t>& chosenIndices() const noexcept { return chosen_; }

    // Chooses the item, adding it after those already chosen, or takes it back when it
    // was chosen. Without multiple picking a new choice replaces the old one. A position
    // outside the library is ignored.
    void toggle(std::size_t index);
    // Reports the chosen items (possibly none) to the delegate.
    void done();
    // For scripts: reports the items at these positions, in this order, as if they had
    // been chosen and confirmed. Positions outside the library and repeats are skipped;
    // without multiple picking only the first item counts.
    void pick(const std::vector<std::size_t>& indices);
    // Reports a cancel to the delegate.
    void cancel();
    // A picker reports once: a second "Done" (say, during the slide out) is ignored, so
    // that the delegate never dismisses a screen that is not this one.
    bool hasReported() const noexcept { return reported_; }

    // Paging. The first visible position is always a multiple of the page size.
    std::size_t rowsPerPage() const noexcept { return rowsPerPage_; }
    std::size_t firstVisibleIndex() const noexcept { return firstVisible_; }
    void showNextPage();
    void showPreviousPage();

    // The text of a row: "title — artist", with stand-ins for missing tags.
    static std::string rowText(const MediaItem& item);

    // Builds the screen (the prompt, if any, is read here).
    void loadView() override;
    // Escape cancels, as "Cancel" does.
    bool keyEvent(const KeyEvent& event, KeyPhase phase) override;

private:
    struct Row {
        Button* button = nullptr;
        Label* text = nullptr;
        Label* check = nullptr;
    };
    void refreshRows();
    void report(const MediaItemCollection& collection);

    std::vector<MediaItemPtr> library_;
    std::vector<std::size_t> chosen_;
    std::size_t firstVisible_ = 0;
    std::size_t rowsPerPage_ = 0;
    bool reported_ = false;
    std::vector<Row> rows_;
    Label* pageLabel_ = nullptr;
};

} // namespace platform
