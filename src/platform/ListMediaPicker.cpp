#include "platform/ListMediaPicker.h"

#include "platform/DisplayText.h"
#include "platform/TextControls.h"
#include "platform/Window.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

// Sections: choosing and reporting · paging · screen.

namespace platform {

namespace {

constexpr Color chosenRowColor{0.10f, 0.20f, 0.38f, 1};

float listTop(bool hasPrompt) noexcept
{
    return ListMediaPicker::barHeightPoints + (hasPrompt ? ListMediaPicker::promptHeightPoints : 0);
}

std::size_t rowsFitting(bool hasPrompt) noexcept
{
    const float listBottom = Window::heightPoints - ListMediaPicker::barHeightPoints;
    return static_cast<std::size_t>(std::floor((listBottom - listTop(hasPrompt)) / ListMediaPicker::rowHeightPoints));
}

} // namespace

ListMediaPicker::ListMediaPicker(Window& window, std::int32_t mediaTypes, std::vector<MediaItemPtr> library)
    : MediaPickerController(window, mediaTypes), library_(std::move(library)), rowsPerPage_(rowsFitting(false))
{
    // A null entry would have nothing to show or play; it is dropped here once.
    library_.erase(std::remove(library_.begin(), library_.end(), nullptr), library_.end());
}

// --- Choosing and reporting ---------------------------------------------------

void ListMediaPicker::toggle(std::size_t index)
{
    if (index >= library_.size())
        return;
    const auto found = std::find(chosen_.begin(), chosen_.end(), index);
    if (found != chosen_.end())
        chosen_.erase(found);
    else if (!allowsPickingMultipleItems())
        chosen_.assign(1, index);
    else
        chosen_.push_back(index);
    refreshRows();
}

void ListMediaPicker::done()
{
    MediaItemCollection collection;
    for (std::size_t index : chosen_)
        collection.items.push_back(library_[index]);
    report(collection);
}

void ListMediaPicker::pick(const std::vector<std::size_t>& indices)
{
    std::vector<std::size_t> taken;
    for (std::size_t index : indices) {
        if (index >= library_.size() || std::find(taken.begin(), taken.end(), index) != taken.end())
            continue;
        taken.push_back(index);
        if (!allowsPickingMultipleItems())
            break;
    }
    chosen_ = std::move(taken);
    refreshRows();
    done();
}

void ListMediaPicker::cancel()
{
    if (reported_)
        return;
    reported_ = true;
    reportCancelled();
}

bool ListMediaPicker::keyEvent(const KeyEvent& event, KeyPhase phase)
{
    if (event.key != Key::Escape)
        return false;
    if (phase == KeyPhase::Down && !event.repeat)
        cancel();
    return true;
}

void ListMediaPicker::report(const MediaItemCollection& collection)
{
    if (reported_)
        return;
    reported_ = true;
    reportPicked(collection);
}

std::string ListMediaPicker::rowText(const MediaItem& item)
{
    std::string title = item.title.value_or("");
    if (title.empty())
        title = fileNameWithoutExtension(item.location);
    if (title.empty())
        title = "Unknown Title";
    const std::string artist = item.artist.value_or("");
    return artist.empty() ? title : title + " \u2014 " + artist;
}

// --- Paging -------------------------------------------------------------------

void ListMediaPicker::showNextPage()
{
    if (rowsPerPage_ == 0 || firstVisible_ + rowsPerPage_ >= library_.size())
        return;
    firstVisible_ += rowsPerPage_;
    refreshRows();
}

void ListMediaPicker::showPreviousPage()
{
    if (firstVisible_ == 0)
        return;
    firstVisible_ = firstVisible_ >= rowsPerPage_ ? firstVisible_ - rowsPerPage_ : 0;
    refreshRows();
}

// --- Screen -------------------------------------------------------------------

void ListMediaPicker::loadView()
{
    const float width = Window::widthPoints;
    const float height = Window::heightPoints;
    const float bar = barHeightPoints;
    auto root = std::make_unique<View>(Rect{0, 0, width, height});
    root->setBackgroundColor(Color::black());

    const Color white = Color::white();
    View& top = root->addSubview(std::make_unique<View>(Rect{0, 0, width, bar}));
    top.setBackgroundColor(screenBarColor);
    addTextButton(top, {0, 0, 80, bar}, "Cancel", white).addAction([this] { cancel(); }, ControlEvent::TouchUpInside);
    addLabel(top, {80, 0, width - 160, bar}, "Music", 17, TextAlignment::Center, white);
    addTextButton(top, {width - 80, 0, 80, bar}, "Done", white).addAction([this] { done(); }, ControlEvent::TouchUpInside);

    const bool hasPrompt = prompt().has_value();
    if (hasPrompt)
        addLabel(*root, {0, bar, width, promptHeightPoints}, *prompt(), 14, TextAlignment::Center, dimTextColor);

    rowsPerPage_ = rowsFitting(hasPrompt);
    firstVisible_ -= firstVisible_ % std::max<std::size_t>(rowsPerPage_, 1);
    rows_.clear();
    const float firstRowY = listTop(hasPrompt);
    for (std::size_t slot = 0; slot < rowsPerPage_; ++slot) {
        const Rect frame{0, firstRowY + static_cast<float>(slot) * rowHeightPoints, width, rowHeightPoints};
        Row row;
        row.button = &root->addSubview(std::make_unique<Button>(frame));
        row.button->setShowsTouchWhenHighlighted(true);
        row.button->addAction([this, slot] { toggle(firstVisible_ + slot); }, ControlEvent::TouchUpInside);
        row.text = &addLabel(*row.button, {12, 0, width - 12 - 40, rowHeightPoints}, "", 16, TextAlignment::Left, white);
        row.check = &addLabel(*row.button, {width - 40, 0, 32, rowHeightPoints}, "", 18, TextAlignment::Center, white);
        rows_.push_back(row);
    }

    View& bottom = root->addSubview(std::make_unique<View>(Rect{0, height - bar, width, bar}));
    bottom.setBackgroundColor(screenBarColor);
    addTextButton(bottom, {0, 0, 80, bar}, "\u25B2", white)
        .addAction([this] { showPreviousPage(); }, ControlEvent::TouchUpInside);
    pageLabel_ = &addLabel(bottom, {80, 0, width - 160, bar}, "", 14, TextAlignment::Center, dimTextColor);
    addTextButton(bottom, {width - 80, 0, 80, bar}, "\u25BC", white)
        .addAction([this] { showNextPage(); }, ControlEvent::TouchUpInside);

    setView(std::move(root));
    refreshRows();
}

void ListMediaPicker::refreshRows()
{
    if (rows_.empty() && !pageLabel_)
        return;   // not built yet
    for (std::size_t slot = 0; slot < rows_.size(); ++slot) {
        const Row& row = rows_[slot];
        const std::size_t index = firstVisible_ + slot;
        if (index >= library_.size()) {
            row.button->setHidden(true);
            continue;
        }
        const bool chosen = std::find(chosen_.begin(), chosen_.end(), index) != chosen_.end();
        row.button->setHidden(false);
        row.button->setBackgroundColor(chosen ? chosenRowColor : Color::clear());
        row.text->setText(rowText(*library_[index]));
        row.check->setText(chosen ? "\u2713" : "");
    }
    if (library_.empty()) {
        pageLabel_->setText("No music");
        return;
    }
    const std::size_t last = std::min(firstVisible_ + rowsPerPage_, library_.size());
    char text[96];
    std::snprintf(text, sizeof text, "%zu\u2013%zu of %zu", firstVisible_ + 1, last, library_.size());
    pageLabel_->setText(text);
}

} // namespace platform
