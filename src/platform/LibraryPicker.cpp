#include "platform/LibraryPicker.h"

#include "platform/DisplayText.h"
#include "platform/TextControls.h"
#include "platform/Window.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

// Sections: list and search views · lists · search · selection · scrolling · screen.

namespace platform {

namespace {

constexpr Color accentColor{0.98f, 0.62f, 0.20f, 1};
constexpr Color chosenRowColor{0.16f, 0.12f, 0.06f, 1};
constexpr Color cursorRowColor{0.20f, 0.20f, 0.24f, 1};
constexpr Color separatorColor{0.18f, 0.18f, 0.20f, 1};
constexpr Color fieldColor{0.20f, 0.20f, 0.23f, 1};
// A finger that moves less than this between down and up has tapped.
constexpr float tapSlopPoints = 8;
// Coasting loses this share of its speed each second (as a flicked list on a phone),
// and stops below the last figure.
constexpr double coastDecayPerSecond = 0.0025;
constexpr float coastStopPointsPerSecond = 12;
constexpr double coastIntervalSeconds = 1.0 / 60;

float listTopPoints() noexcept
{
    return LibraryPicker::barHeightPoints + LibraryPicker::searchHeightPoints;
}

std::string countOf(std::size_t count, const char* one, const char* many)
{
    return withThousands(static_cast<std::int64_t>(count)) + " " + (count == 1 ? one : many);
}

Label& addTruncatingLabel(View& parent, Rect frame, float fontSize, Color color)
{
    // A text too long for its label ends with an ellipsis.
    return addLabel(parent, frame, "", fontSize, TextAlignment::Left, color);
}

} // namespace

// --- List and search views ---------------------------------------------------------

// The scrolling list: takes the touches over the rows and tells a tap from a drag.
class LibraryListView final : public View {
public:
    struct RowViews {
        View* row = nullptr;
        Label* number = nullptr;
        Label* title = nullptr;
        Label* subtitle = nullptr;
        Label* badge = nullptr;
    };

    LibraryListView(Rect frame, LibraryPicker& picker) : View(frame), picker_(picker)
    {
        const std::size_t slots = static_cast<std::size_t>(std::ceil(frame.height / LibraryPicker::rowHeightPoints)) + 1;
        const float width = frame.width;
        const float h = LibraryPicker::rowHeightPoints;
        for (std::size_t slot = 0; slot < slots; ++slot) {
            RowViews views;
            views.row = &addSubview(std::make_unique<View>(Rect{0, 0, width, h}));
            views.number = &addLabel(*views.row, {6, 0, 30, h}, "", 14, TextAlignment::Center, dimTextColor);
            views.title = &addTruncatingLabel(*views.row, {40, 6, width - 40 - 52, 22}, 16, Color::white());
            views.subtitle = &addTruncatingLabel(*views.row, {40, 27, width - 40 - 52, 17}, 13, dimTextColor);
            views.badge = &addLabel(*views.row, {width - 50, 0, 44, h}, "", 15, TextAlignment::Center, accentColor);
            View& line = views.row->addSubview(std::make_unique<View>(Rect{40, h - 1, width - 40, 1}));
            line.setBackgroundColor(separatorColor);
            slots_.push_back(views);
        }
    }

    std::vector<RowViews>& slots() noexcept { return slots_; }

    bool takesTouches() const noexcept override { return true; }

    void touchesBegan(const TouchEvent& touch) override
    {
        picker_.scrollTo(picker_.scrollOffsetPoints());   // a finger stops a coasting list
        startY_ = lastY_ = touch.location.y;
        startOffset_ = picker_.scrollOffsetPoints();
        dragging_ = false;
        samples_.assign(1, touch);
    }

    void touchesMoved(const TouchEvent& touch) override
    {
        if (!dragging_ && std::fabs(touch.location.y - startY_) > tapSlopPoints)
            dragging_ = true;
        if (dragging_)
            picker_.scrollTo(startOffset_ - (touch.location.y - startY_));
        lastY_ = touch.location.y;
        samples_.push_back(touch);
        if (samples_.size() > 8)
            samples_.erase(samples_.begin());
    }

    void touchesEnded(const TouchEvent& touch) override
    {
        if (!dragging_) {
            const float listY = touch.location.y - frame().y;
            if (const auto row = picker_.rowAtListY(listY))
                picker_.activateRow(*row);
            return;
        }
        picker_.scrollTo(startOffset_ - (touch.location.y - startY_));
        // The speed over the last tenth of a second of the drag carries on.
        const TouchEvent* from = &samples_.front();
        for (const TouchEvent& sample : samples_)
            if (touch.timestamp - sample.timestamp <= 100'000'000) {
                from = &sample;
                break;
            }
        const double seconds = secondsFromNanoseconds(touch.timestamp - from->timestamp);
        if (seconds > 0)
            picker_.fling(static_cast<float>(-(double(touch.location.y) - double(from->location.y)) / seconds));
    }

    void touchesCancelled(const TouchEvent&) override { dragging_ = false; }

    bool scrollWheel(float deltaPoints) override
    {
        picker_.scrollBy(deltaPoints);
        return true;
    }

private:
    LibraryPicker& picker_;
    std::vector<RowViews> slots_;
    float startY_ = 0, lastY_ = 0, startOffset_ = 0;
    bool dragging_ = false;
    std::vector<TouchEvent> samples_;
};

// The search field: shows what was typed, or a hint. A tap gives it the keys.
class SearchFieldView final : public View {
public:
    SearchFieldView(Rect frame, LibraryPicker& picker) : View(frame), picker_(picker)
    {
        View& box = addSubview(std::make_unique<View>(Rect{8, 4, frame.width - 16, frame.height - 8}));
        box.setBackgroundColor(fieldColor);
        text_ = &addTruncatingLabel(box, {10, 0, frame.width - 36, frame.height - 8}, 15, dimTextColor);
        show("");
    }
    void show(const std::string& text)
    {
        text_->setText(text.empty() ? "\U0001F50D Search" : text);
        text_->setTextColor(text.empty() ? dimTextColor : Color::white());
    }
    const Label& label() const noexcept { return *text_; }

    bool takesTouches() const noexcept override { return true; }
    void touchesEnded(const TouchEvent&) override { picker_.focusSearchField(); }
    bool canBecomeFocused() const noexcept override { return true; }
    void insertText(const std::string& text) override { picker_.typeText(text); }
    bool keyEvent(const KeyEvent& event, KeyPhase phase) override
    {
        if (phase != KeyPhase::Down || event.key != Key::Backspace || picker_.searchText().empty())
            return false;
        picker_.deleteBackward();
        return true;
    }

private:
    LibraryPicker& picker_;
    Label* text_ = nullptr;
};

// --- Lists --------------------------------------------------------------------------

LibraryPicker::LibraryPicker(Window& window, RunLoop& runLoop, MusicLibrary& library, std::int32_t mediaTypes)
    : MediaPickerController(window, mediaTypes), runLoop_(runLoop), library_(library), contents_(library.contents())
{
    library_.addObserver(*this);
    rebuildRows();
}

LibraryPicker::~LibraryPicker()
{
    library_.removeObserver(*this);
}

void LibraryPicker::selectTab(Tab tab)
{
    tab_ = tab;
    path_.clear();
    offset_ = 0;
    cursor_.reset();
    rebuildRows();
}

void LibraryPicker::rebuildRows()
{
    rows_.clear();
    const LibraryContents& contents = *contents_;
    if (!path_.empty()) {
        const Level& level = path_.back();
        if (level.kind == RowKind::Album) {
            rows_.push_back(Row{RowKind::AddAll, level.index});
            for (std::uint32_t track : contents.albums()[level.index].tracks)
                rows_.push_back(Row{RowKind::Song, track});
        } else {
            for (std::uint32_t album : contents.artists()[level.index].albums)
                rows_.push_back(Row{RowKind::Album, album});
        }
    } else if (tab_ == Tab::Albums) {
        const std::size_t count = searching_ ? searchHits_.albums.size() : contents.albums().size();
        rows_.reserve(count);
        for (std::size_t i = 0; i < count; ++i)
            rows_.push_back(Row{RowKind::Album, searching_ ? searchHits_.albums[i] : static_cast<std::uint32_t>(i)});
    } else if (tab_ == Tab::Artists) {
        const std::size_t count = searching_ ? searchHits_.artists.size() : contents.artists().size();
        rows_.reserve(count);
        for (std::size_t i = 0; i < count; ++i)
            rows_.push_back(Row{RowKind::Artist, searching_ ? searchHits_.artists[i] : static_cast<std::uint32_t>(i)});
    } else {
        const std::size_t count = searching_ ? searchHits_.songs.size() : contents.songs().size();
        rows_.reserve(count);
        for (std::size_t i = 0; i < count; ++i)
            rows_.push_back(Row{RowKind::Song, contents.songs()[searching_ ? searchHits_.songs[i] : i]});
    }
    offset_ = std::clamp(offset_, 0.0f, maxScrollOffsetPoints());
    if (cursor_ && *cursor_ >= rows_.size())
        cursor_ = rows_.empty() ? std::nullopt : std::optional<std::size_t>(rows_.size() - 1);
    refreshScreen();
}

std::string LibraryPicker::rowTitle(const Row& row) const
{
    const LibraryContents& contents = *contents_;
    switch (row.kind) {
    case RowKind::Album:
        return contents.albums()[row.index].title;
    case RowKind::Artist:
        return contents.artists()[row.index].name;
    case RowKind::AddAll:
        return "Add all";
    case RowKind::Song:
        break;
    }
    return contents.displayTitle(row.index);
}

std::string LibraryPicker::rowSubtitle(const Row& row) const
{
    const LibraryContents& contents = *contents_;
    switch (row.kind) {
    case RowKind::Album: {
        const auto& album = contents.albums()[row.index];
        return album.artist + " \u00B7 " + countOf(album.tracks.size(), "song", "songs");
    }
    case RowKind::Artist: {
        const auto& artist = contents.artists()[row.index];
        return countOf(artist.albums.size(), "album", "albums") + ", " + countOf(artist.trackCount, "song", "songs");
    }
    case RowKind::AddAll:
        return countOf(contents.albums()[row.index].tracks.size(), "song", "songs");
    case RowKind::Song:
        break;
    }
    std::string line = contents.displayArtist(row.index);
    const std::string_view album = contents.albumTitle(row.index);
    if (!album.empty() && !(isShowingDetail() && path_.back().kind == RowKind::Album)) {
        line += " \u2014 ";
        line += album;
    }
    return line;
}

void LibraryPicker::activateRow(std::size_t position)
{
    if (position >= rows_.size())
        return;
    const Row row = rows_[position];
    cursor_ = position;
    switch (row.kind) {
    case RowKind::Song:
        toggle(row.index);
        return;
    case RowKind::AddAll:
        addAll(row.index);
        return;
    case RowKind::Album:
    case RowKind::Artist:
        path_.push_back(Level{row.kind, row.index, offset_});
        offset_ = 0;
        cursor_.reset();
        rebuildRows();
        return;
    }
}

std::string LibraryPicker::detailTitle() const
{
    if (path_.empty())
        return {};
    const Level& level = path_.back();
    return level.kind == RowKind::Album ? contents_->albums()[level.index].title : contents_->artists()[level.index].name;
}

void LibraryPicker::goBack()
{
    if (path_.empty())
        return;
    const float offset = path_.back().offset;
    path_.pop_back();
    cursor_.reset();
    offset_ = offset;
    rebuildRows();
}

void LibraryPicker::musicLibraryDidChange()
{
    const auto fresh = library_.contents();
    if (fresh != contents_) {
        // An opened album or artist is found again by what it shows; when it is gone,
        // the list goes back to the tab.
        std::vector<Level> path;
        for (const Level& level : path_) {
            const std::string name = level.kind == RowKind::Album ? contents_->albums()[level.index].title
                                                                  : contents_->artists()[level.index].name;
            const std::string artist = level.kind == RowKind::Album ? contents_->albums()[level.index].artist : "";
            std::optional<std::uint32_t> found;
            if (level.kind == RowKind::Album) {
                for (std::uint32_t a = 0; a < fresh->albums().size() && !found; ++a)
                    if (fresh->albums()[a].title == name && fresh->albums()[a].artist == artist)
                        found = a;
            } else {
                for (std::uint32_t a = 0; a < fresh->artists().size() && !found; ++a)
                    if (fresh->artists()[a].name == name)
                        found = a;
            }
            if (!found)
                break;
            path.push_back(Level{level.kind, *found, level.offset});
        }
        contents_ = fresh;
        path_ = std::move(path);
        findSelectionAgain();
        if (searching_)
            searchHits_ = contents_->search(searchText_);
        rebuildRows();
        return;
    }
    refreshScreen();
}

// --- Search -------------------------------------------------------------------------

void LibraryPicker::setSearchText(std::string text)
{
    searchText_ = std::move(text);
    searching_ = searchText_.find_first_not_of(" \t") != std::string::npos;
    searchHits_ = searching_ ? contents_->search(searchText_) : LibrarySelection{};
    path_.clear();
    offset_ = 0;
    cursor_.reset();
    if (searchField_)
        searchField_->show(searchText_);
    rebuildRows();
}

void LibraryPicker::typeText(const std::string& utf8)
{
    std::string text = searchText_;
    for (char c : utf8)
        if (static_cast<unsigned char>(c) >= 0x20 || c == '\t')
            text += c;
    setSearchText(std::move(text));
}

void LibraryPicker::deleteBackward()
{
    if (searchText_.empty())
        return;
    std::string text = searchText_;
    std::size_t end = text.size() - 1;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;   // back over the whole character, not one byte of it
    text.resize(end);
    setSearchText(std::move(text));
}

// --- Selection ------------------------------------------------------------------------

std::size_t LibraryPicker::selectionNumber(std::uint32_t track) const noexcept
{
    const auto found = selectionIndex_.find(track);
    return found == selectionIndex_.end() ? 0 : found->second + 1;
}

void LibraryPicker::indexSelection()
{
    selectionIndex_.clear();
    for (std::size_t i = 0; i < selectedTracks_.size(); ++i)
        if (selectedTracks_[i] != notInContents)
            selectionIndex_[selectedTracks_[i]] = i;
}

void LibraryPicker::select(std::uint32_t track)
{
    selectionIndex_[track] = selection_.size();
    selection_.push_back(contents_->item(track));
    selectedTracks_.push_back(track);
}

void LibraryPicker::toggle(std::uint32_t track)
{
    if (const auto found = selectionIndex_.find(track); found != selectionIndex_.end()) {
        selection_.erase(selection_.begin() + static_cast<std::ptrdiff_t>(found->second));
        selectedTracks_.erase(selectedTracks_.begin() + static_cast<std::ptrdiff_t>(found->second));
        indexSelection();
    } else {
        if (!allowsPickingMultipleItems()) {
            selection_.clear();
            selectedTracks_.clear();
            selectionIndex_.clear();
        }
        select(track);
    }
    refreshScreen();
}

void LibraryPicker::addAll(std::uint32_t album)
{
    for (std::uint32_t track : contents_->albums()[album].tracks) {
        if (selectionIndex_.contains(track))
            continue;
        if (!allowsPickingMultipleItems()) {
            toggle(track);
            return;
        }
        select(track);
    }
    refreshScreen();
}

namespace {

// What tells a track from the others when the contents are made again: its file, or
// for an item without one, what it shows.
std::string identityOf(const MediaItem& item)
{
    if (!item.location.empty())
        return "\x01" + item.location;
    std::string key = "\x02";
    for (const auto* text : {&item.title, &item.artist, &item.albumTitle}) {
        key += text->value_or("");
        key += '\x1f';
    }
    key += std::to_string(item.albumTrackNumber.value_or(0));
    return key;
}

} // namespace

void LibraryPicker::findSelectionAgain()
{
    // The chosen items stay chosen (and are reported) even when their tracks have
    // gone; those still there show their places in the new lists.
    selectedTracks_.assign(selection_.size(), notInContents);
    if (!selection_.empty()) {
        std::unordered_map<std::string, std::size_t> wanted;
        for (std::size_t i = 0; i < selection_.size(); ++i)
            wanted.emplace(identityOf(*selection_[i]), i);
        for (std::uint32_t t = 0; t < contents_->trackCount() && !wanted.empty(); ++t) {
            if (const auto found = wanted.find(identityOf(*contents_->item(t))); found != wanted.end()) {
                selectedTracks_[found->second] = t;
                wanted.erase(found);
            }
        }
    }
    indexSelection();
}

void LibraryPicker::pick(const std::vector<std::size_t>& tracks)
{
    selection_.clear();
    selectedTracks_.clear();
    selectionIndex_.clear();
    for (const std::size_t track : tracks) {
        if (track >= contents_->trackCount() || selectionIndex_.contains(static_cast<std::uint32_t>(track)))
            continue;
        select(static_cast<std::uint32_t>(track));
        if (!allowsPickingMultipleItems())
            break;
    }
    refreshScreen();
    done();
}

void LibraryPicker::done()
{
    MediaItemCollection collection;
    collection.items = selection_;
    report(&collection);
}

void LibraryPicker::cancel()
{
    report(nullptr);
}

void LibraryPicker::report(const MediaItemCollection* collection)
{
    // A picker reports once: a second tap during the slide out must not dismiss
    // whatever screen lies below.
    if (reported_)
        return;
    reported_ = true;
    coastTimer_.reset();
    if (collection)
        reportPicked(*collection);
    else
        reportCancelled();
}

// --- Scrolling ------------------------------------------------------------------------

float LibraryPicker::listHeightPoints() const noexcept
{
    return Window::heightPoints - listTopPoints() - tabBarHeightPoints - statusHeightPoints;
}

float LibraryPicker::maxScrollOffsetPoints() const noexcept
{
    const float visible = listHeightPoints() - (isShowingDetail() ? backBarHeightPoints : 0);
    return std::max(0.0f, static_cast<float>(double(rows_.size()) * rowHeightPoints - visible));
}

void LibraryPicker::scrollTo(float offsetPoints)
{
    coastTimer_.reset();
    velocity_ = 0;
    const float clamped = std::isfinite(offsetPoints) ? std::clamp(offsetPoints, 0.0f, maxScrollOffsetPoints()) : 0;
    if (clamped == offset_)
        return;
    offset_ = clamped;
    refreshRowViews();
}

void LibraryPicker::scrollBy(float deltaPoints)
{
    scrollTo(offset_ + deltaPoints);
}

void LibraryPicker::fling(float velocityPointsPerSecond)
{
    scrollTo(offset_);
    if (!std::isfinite(velocityPointsPerSecond) || std::fabs(velocityPointsPerSecond) < coastStopPointsPerSecond)
        return;
    velocity_ = velocityPointsPerSecond;
    lastCoastTime_ = window().clock().now();
    coastTimer_ = runLoop_.scheduledTimer(coastIntervalSeconds, [this] { coast(); });
}

void LibraryPicker::coast()
{
    const Nanoseconds now = window().clock().now();
    const double seconds = secondsFromNanoseconds(now - lastCoastTime_);
    lastCoastTime_ = now;
    // Exponential slowing: the distance is the integral of the speed over the step.
    const double decay = std::log(coastDecayPerSecond);
    const double factor = std::exp(decay * seconds);
    const double distance = double(velocity_) * (factor - 1) / decay;
    velocity_ = static_cast<float>(double(velocity_) * factor);
    const float target = static_cast<float>(double(offset_) + distance);
    const float clamped = std::clamp(target, 0.0f, maxScrollOffsetPoints());
    offset_ = clamped;
    refreshRowViews();
    if (clamped != target || std::fabs(velocity_) < coastStopPointsPerSecond) {
        velocity_ = 0;
        coastTimer_.reset();
    }
}

std::pair<std::size_t, std::size_t> LibraryPicker::visibleRowRange() const noexcept
{
    const float top = isShowingDetail() ? backBarHeightPoints : 0;
    const auto first = static_cast<std::size_t>(std::max(0.0f, std::floor(offset_ / rowHeightPoints)));
    const auto last = static_cast<std::size_t>(std::ceil((offset_ + listHeightPoints() - top) / rowHeightPoints));
    return {std::min(first, rows_.size()), std::min(last, rows_.size())};
}

std::optional<std::size_t> LibraryPicker::rowAtListY(float yPoints) const noexcept
{
    const float top = isShowingDetail() ? backBarHeightPoints : 0;
    if (yPoints < top || yPoints >= listHeightPoints())
        return std::nullopt;
    const double position = std::floor((double(yPoints) - top + offset_) / rowHeightPoints);
    if (position < 0 || position >= double(rows_.size()))
        return std::nullopt;
    return static_cast<std::size_t>(position);
}

void LibraryPicker::moveCursor(std::ptrdiff_t rows)
{
    if (rows_.empty())
        return;
    const auto last = static_cast<std::ptrdiff_t>(rows_.size()) - 1;
    std::ptrdiff_t at = cursor_ ? static_cast<std::ptrdiff_t>(*cursor_) + rows
                                : static_cast<std::ptrdiff_t>(visibleRowRange().first) + (rows > 0 ? rows - 1 : 0);
    cursor_ = static_cast<std::size_t>(std::clamp<std::ptrdiff_t>(at, 0, last));
    keepCursorVisible();
}

void LibraryPicker::moveCursorToEnd(bool last)
{
    if (rows_.empty())
        return;
    cursor_ = last ? rows_.size() - 1 : 0;
    keepCursorVisible();
}

void LibraryPicker::pageCursor(std::ptrdiff_t pages)
{
    const auto perPage = static_cast<std::ptrdiff_t>(std::max(1.0f, std::floor(listHeightPoints() / rowHeightPoints) - 1));
    moveCursor(pages * perPage);
}

void LibraryPicker::activateCursor()
{
    if (cursor_)
        activateRow(*cursor_);
}

void LibraryPicker::keepCursorVisible()
{
    if (!cursor_)
        return;
    const float visible = listHeightPoints() - (isShowingDetail() ? backBarHeightPoints : 0);
    const float rowTop = static_cast<float>(double(*cursor_) * rowHeightPoints);
    float offset = offset_;
    if (rowTop < offset)
        offset = rowTop;
    else if (rowTop + rowHeightPoints > offset + visible)
        offset = rowTop + rowHeightPoints - visible;
    coastTimer_.reset();
    offset_ = std::clamp(offset, 0.0f, maxScrollOffsetPoints());
    refreshRowViews();
}

// --- Screen ---------------------------------------------------------------------------

std::string LibraryPicker::statusText() const
{
    const LibraryScanState state = library_.scanState();
    if (!state.scanning)
        return {};
    return "Scanning\u2026 " + countOf(static_cast<std::size_t>(state.filesSeen), "file", "files");
}

bool LibraryPicker::isShowingEmptyLibrary() const noexcept
{
    return contents_->trackCount() == 0;
}

View* LibraryPicker::listView() const noexcept
{
    return list_;
}

void LibraryPicker::loadView()
{
    const float width = Window::widthPoints;
    const float height = Window::heightPoints;
    const float bar = barHeightPoints;
    const Color white = Color::white();
    auto root = std::make_unique<View>(Rect{0, 0, width, height});
    root->setBackgroundColor(Color::black());

    // The list goes in first: the bars drawn over it hide a row that scrolls under them.
    const float listTop = listTopPoints();
    list_ = &root->addSubview(std::make_unique<LibraryListView>(Rect{0, listTop, width, listHeightPoints()}, *this));

    View& top = root->addSubview(std::make_unique<View>(Rect{0, 0, width, bar}));
    top.setBackgroundColor(screenBarColor);
    addTextButton(top, {0, 0, 80, bar}, "Cancel", white).addAction([this] { cancel(); }, ControlEvent::TouchUpInside);
    titleLabel_ = &addLabel(top, {80, 0, width - 160, bar}, "", 17, TextAlignment::Center, white);
    addTextButton(top, {width - 80, 0, 80, bar}, "Done", accentColor).addAction([this] { done(); }, ControlEvent::TouchUpInside);

    searchField_ = &root->addSubview(std::make_unique<SearchFieldView>(Rect{0, bar, width, searchHeightPoints}, *this));
    searchField_->setBackgroundColor(Color::black());
    searchField_->show(searchText_);

    backBar_ = &root->addSubview(std::make_unique<View>(Rect{0, listTop, width, backBarHeightPoints}));
    backBar_->setBackgroundColor(screenBarColor);
    addTextButton(*backBar_, {0, 0, 70, backBarHeightPoints}, "\u2039 Back", accentColor)
        .addAction([this] { goBack(); }, ControlEvent::TouchUpInside);
    backTitle_ = &addTruncatingLabel(*backBar_, {76, 0, width - 84, backBarHeightPoints}, 15, white);

    emptyView_ = &root->addSubview(std::make_unique<View>(Rect{0, listTop + 40, width, 160}));
    addLabel(*emptyView_, {0, 0, width, 28}, "No music yet", 20, TextAlignment::Center, white);
    addLabel(*emptyView_, {0, 40, width, 20}, "Spoolora looks for music in", 14, TextAlignment::Center, dimTextColor);
    emptyFolders_ = &addLabel(*emptyView_, {16, 62, width - 32, 20}, "", 14, TextAlignment::Center, white);
    addLabel(*emptyView_, {0, 96, width, 20}, "Copy music files there, or start", 14, TextAlignment::Center, dimTextColor);
    addLabel(*emptyView_, {0, 116, width, 20}, "spoolora --music FOLDER", 14, TextAlignment::Center, dimTextColor);
    noMatches_ = &addLabel(*root, {0, listTop + 40, width, 24}, "No matches", 16, TextAlignment::Center, dimTextColor);

    const float statusTop = listTop + listHeightPoints();
    statusLabel_ = &addLabel(*root, {0, statusTop, width, statusHeightPoints}, "", 12, TextAlignment::Center, dimTextColor);
    statusLabel_->setBackgroundColor(Color::black());

    View& tabs = root->addSubview(std::make_unique<View>(Rect{0, height - tabBarHeightPoints, width, tabBarHeightPoints}));
    tabs.setBackgroundColor(screenBarColor);
    const char* names[] = {"Albums", "Artists", "Songs"};
    const float tabWidth = width / 3;
    tabButtons_.clear();
    for (int i = 0; i < 3; ++i) {
        Button& button = addTextButton(tabs, {tabWidth * static_cast<float>(i), 0, tabWidth, tabBarHeightPoints}, names[i], white);
        button.addAction([this, i] { selectTab(static_cast<Tab>(i)); }, ControlEvent::TouchUpInside);
        tabButtons_.push_back(&button);
    }

    setView(std::move(root));
    refreshScreen();
}

void LibraryPicker::focusSearchField()
{
    if (searchField_)
        window().setFocusedView(searchField_);
}

bool LibraryPicker::keyEvent(const KeyEvent& event, KeyPhase phase)
{
    if (phase != KeyPhase::Down)
        return false;
    switch (event.key) {
    case Key::Up: moveCursor(-1); return true;
    case Key::Down: moveCursor(1); return true;
    case Key::PageUp: pageCursor(-1); return true;
    case Key::PageDown: pageCursor(1); return true;
    case Key::Home: moveCursorToEnd(false); return true;
    case Key::End: moveCursorToEnd(true); return true;
    case Key::Return: activateCursor(); return true;
    case Key::Escape: cancel(); return true;
    case Key::Left:
    case Key::Backspace:
        if (!isShowingDetail())
            return false;
        goBack();
        return true;
    case Key::Character:
        // Shortcuts with Control or Alt are not typing.
        if (event.control || event.alt)
            return false;
        focusSearchField();
        return true;
    default:
        return false;
    }
}

void LibraryPicker::refreshScreen()
{
    if (!list_)
        return;   // not built yet
    titleLabel_->setText(selection_.empty() ? "Music" : countOf(selection_.size(), "song", "songs"));
    backBar_->setHidden(!isShowingDetail());
    backTitle_->setText(detailTitle());
    const bool empty = isShowingEmptyLibrary();
    emptyView_->setHidden(!empty);
    std::string folders;
    for (const std::string& folder : library_.musicFolders())
        folders += (folders.empty() ? "" : ", ") + folder;
    emptyFolders_->setText(folders);
    noMatches_->setHidden(empty || !rows_.empty());
    statusLabel_->setText(statusText());
    for (std::size_t i = 0; i < tabButtons_.size(); ++i) {
        auto* title = dynamic_cast<Label*>(tabButtons_[i]->subviews().empty() ? nullptr : tabButtons_[i]->subviews()[0].get());
        if (title)
            title->setTextColor(static_cast<std::size_t>(tab_) == i ? accentColor : dimTextColor);
    }
    refreshRowViews();
}

void LibraryPicker::refreshRowViews()
{
    if (!list_)
        return;
    const float top = isShowingDetail() ? backBarHeightPoints : 0;
    const auto [first, last] = visibleRowRange();
    const bool inAlbum = isShowingDetail() && path_.back().kind == RowKind::Album;
    auto& slots = list_->slots();
    for (std::size_t slot = 0; slot < slots.size(); ++slot) {
        auto& views = slots[slot];
        const std::size_t position = first + slot;
        if (position >= last) {
            views.row->setHidden(true);
            continue;
        }
        const Row& row = rows_[position];
        const float y = static_cast<float>(top + double(position) * rowHeightPoints - offset_);
        views.row->setHidden(false);
        views.row->setFrame(Rect{0, y, Window::widthPoints, rowHeightPoints});
        views.title->setText(rowTitle(row));
        views.subtitle->setText(rowSubtitle(row));
        std::string number;
        std::string badge;
        bool chosen = false;
        if (row.kind == RowKind::Song) {
            const auto trackNumber = contents_->albumTrackNumber(row.index);
            if (inAlbum && trackNumber)
                number = std::to_string(*trackNumber);
            if (const std::size_t place = selectionNumber(row.index)) {
                badge = "\u2713" + std::to_string(place);
                chosen = true;
            }
        } else if (row.kind == RowKind::AddAll) {
            number = "+";
        } else {
            badge = "\u203A";
        }
        views.number->setText(number);
        views.badge->setText(badge);
        views.badge->setTextColor(chosen ? accentColor : dimTextColor);
        const bool atCursor = cursor_ && *cursor_ == position;
        views.row->setBackgroundColor(atCursor ? cursorRowColor : chosen ? chosenRowColor : Color::clear());
    }
}

} // namespace platform
