#include "platform/Window.h"

#include "platform/Button.h"
#include "platform/Label.h"
#include "platform/SwipeRecognizer.h"
#include "platform/TextLayout.h"
#include "platform/ViewController.h"
#include "platform/Utf8.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <numbers>

// Sections: window and content · modal screens · alerts · touches · keys.

namespace platform {

namespace {

constexpr Nanoseconds slideNanoseconds() noexcept
{
    return static_cast<Nanoseconds>(Window::modalSlideSeconds * 1e9 + 0.5);
}

// Slides start and stop gently rather than at full speed; 0 to 1 in, 0 to 1 out.
double easeInOut(double progress) noexcept
{
    return 0.5 - 0.5 * std::cos(std::numbers::pi * std::clamp(progress, 0.0, 1.0));
}

bool treeHolds(const View& root, const View* target, std::uint64_t serial) noexcept
{
    if (&root == target)
        return root.serialNumber() == serial;
    for (const auto& sub : root.subviews())
        if (treeHolds(*sub, target, serial))
            return true;
    return false;
}

// Greedy word wrap: each line as many whole words as fit the width; a word too long
// for a line gets a line of its own and is clipped there.
std::vector<std::string> wrapText(const std::string& text, const Font& font, float widthPoints)
{
    std::vector<std::string> lines;
    std::size_t paragraphStart = 0;
    while (paragraphStart <= text.size()) {
        std::size_t paragraphEnd = text.find('\n', paragraphStart);
        if (paragraphEnd == std::string::npos)
            paragraphEnd = text.size();
        std::string line;
        std::size_t wordStart = paragraphStart;
        while (wordStart < paragraphEnd) {
            std::size_t wordEnd = text.find(' ', wordStart);
            if (wordEnd == std::string::npos || wordEnd > paragraphEnd)
                wordEnd = paragraphEnd;
            const std::string word = text.substr(wordStart, wordEnd - wordStart);
            wordStart = wordEnd + 1;
            if (word.empty())
                continue;
            const std::string candidate = line.empty() ? word : line + " " + word;
            if (line.empty() || measureTextWidth(candidate, font) <= widthPoints) {
                line = candidate;
                continue;
            }
            lines.push_back(line);
            line = word;
        }
        lines.push_back(line);
        paragraphStart = paragraphEnd + 1;
    }
    return lines;
}

std::unique_ptr<Label> makeAlertLabel(Rect frame, const std::string& text, const Font& font)
{
    auto label = std::make_unique<Label>(frame);
    label->setFont(font);
    label->setText(text);
    label->setTextColor(Color::white());
    label->setBackgroundColor(Color::clear());
    label->setTextAlignment(TextAlignment::Center);
    return label;
}

// The window's own view knows its window, so that a view in the tree can find it.
class ContentView final : public View {
public:
    ContentView(Window& window, Rect frame) : View(frame), window_(window) {}

protected:
    Window* windowOfRoot() const noexcept override { return &window_; }

private:
    Window& window_;
};

} // namespace

// --- Window and content -------------------------------------------------------

Window::Window(const Clock& clock) : clock_(clock)
{
    content_ = std::make_unique<ContentView>(*this, Rect{0, 0, widthPoints, heightPoints});
    content_->setBackgroundColor(Color::black());
}

Window::~Window()
{
    forgetTouch();
    // Top first, as they were stacked; each controller goes before its view, so that
    // a controller's destructor may still look at the view it built.
    while (!modals_.empty()) {
        Modal modal = std::move(modals_.back());
        modals_.pop_back();
        destroy(modal);
    }
    alertView_.reset();
    retiredAlertViews_.clear();
    content_.reset();
}

void Window::addSubview(std::unique_ptr<View> view)
{
    content_->addSubview(std::move(view));
}

// --- Modal screens ------------------------------------------------------------

void Window::destroy(Modal& modal) noexcept
{
    modal.controller.reset();
    modal.view.reset();
}

void Window::presentModal(std::unique_ptr<ViewController> controller, bool animated)
{
    assert(controller && "presenting no controller");
    std::unique_ptr<View> view = controller->takeView();
    assert(view && "the controller's view was handed over elsewhere");
    Modal modal;
    modal.controller = std::move(controller);
    modal.view = std::move(view);
    modal.presentedAt = clock_.now();
    modal.animatedIn = animated;
    modals_.push_back(std::move(modal));
    ++generation_;
}

Window::Modal* Window::topPresentedModal() noexcept
{
    for (auto it = modals_.rbegin(); it != modals_.rend(); ++it)
        if (!it->dismissedAt)
            return &*it;
    return nullptr;
}

const Window::Modal* Window::topPresentedModal() const noexcept
{
    return const_cast<Window*>(this)->topPresentedModal();
}

void Window::dismissModal(bool animated)
{
    Modal* modal = topPresentedModal();
    if (!modal)
        return;
    modal->dismissedAt = clock_.now();
    modal->animatedOut = animated;
    ++generation_;
}

ViewController* Window::presentedController() const noexcept
{
    const Modal* modal = topPresentedModal();
    return modal ? modal->controller.get() : nullptr;
}

float Window::offsetOf(const Modal& modal, Nanoseconds now) noexcept
{
    const double slide = double(slideNanoseconds());
    auto offsetComingIn = [&](Nanoseconds at) {
        if (!modal.animatedIn)
            return 0.0;
        return heightPoints * (1.0 - easeInOut(double(at - modal.presentedAt) / slide));
    };
    if (!modal.dismissedAt)
        return static_cast<float>(offsetComingIn(now));
    if (!modal.animatedOut)
        return heightPoints;
    // A screen dismissed while still coming in goes back down from where it was.
    const double from = offsetComingIn(*modal.dismissedAt);
    const double progress = easeInOut(double(now - *modal.dismissedAt) / slide);
    return static_cast<float>(from + (heightPoints - from) * progress);
}

bool Window::slideHasEnded(const Modal& modal, Nanoseconds now) noexcept
{
    if (!modal.dismissedAt)
        return false;
    return !modal.animatedOut || now - *modal.dismissedAt >= slideNanoseconds();
}

float Window::modalOffsetAt(Nanoseconds now) const noexcept
{
    if (modals_.empty())
        return heightPoints;
    return offsetOf(modals_.back(), now);
}

std::vector<std::pair<View*, float>> Window::modalLayers(Nanoseconds now) const
{
    std::vector<std::pair<View*, float>> layers;
    for (const Modal& modal : modals_)
        if (!slideHasEnded(modal, now))
            layers.emplace_back(modal.view.get(), offsetOf(modal, now));
    return layers;
}

void Window::collectDismissed(Nanoseconds now)
{
    // Nothing of a closed alert can be running now: the backend calls this between events.
    retiredAlertViews_.clear();

    std::vector<Modal> finished;
    for (auto it = modals_.begin(); it != modals_.end();) {
        if (slideHasEnded(*it, now)) {
            finished.push_back(std::move(*it));
            it = modals_.erase(it);
        } else {
            ++it;
        }
    }
    if (finished.empty())
        return;
    ++generation_;
    if (touched_ && !touchedViewIsLive())
        forgetTouch();
    for (Modal& modal : finished)
        destroy(modal);
}

// --- Alerts -------------------------------------------------------------------

void Window::showAlert(AlertSpec alert)
{
    alertQueue_.push_back(std::move(alert));
    if (!alertView_)
        showNextAlert();
}

void Window::showNextAlert()
{
    if (alertQueue_.empty())
        return;
    alertsShown_.push_back(std::move(alertQueue_.front()));
    alertQueue_.erase(alertQueue_.begin());
    buildAlertView();
    ++generation_;
}

void Window::buildAlertView()
{
    const AlertSpec& alert = alertsShown_.back();
    constexpr float panelWidth = 284;
    constexpr float padding = 16;
    constexpr float innerWidth = panelWidth - 2 * padding;
    constexpr float titleHeight = 24;
    constexpr float lineHeight = 20;
    constexpr float buttonHeight = 40;
    // Beyond this the panel would leave the screen; the rest of a long message is cut.
    constexpr std::size_t maxMessageLines = 12;
    const Font titleFont = Font::fontWithNameSize("Helvetica-Bold", 17);
    const Font messageFont = Font::fontWithNameSize("Helvetica", 15);

    std::vector<std::string> lines;
    if (!alert.message.empty())
        lines = wrapText(sanitizeUtf8(alert.message), messageFont, innerWidth);
    if (lines.size() > maxMessageLines)
        lines.resize(maxMessageLines);

    float y = padding;
    auto panel = std::make_unique<View>();
    panel->setBackgroundColor(Color{0.06f, 0.09f, 0.2f, 0.92f});
    panel->addSubview(makeAlertLabel({padding, y, innerWidth, titleHeight}, alert.title, titleFont));
    y += titleHeight + 6;
    for (const std::string& line : lines) {
        panel->addSubview(makeAlertLabel({padding, y, innerWidth, lineHeight}, line, messageFont));
        y += lineHeight;
    }
    y += 14;
    auto& button = panel->addSubview(std::make_unique<Button>(Rect{padding, y, innerWidth, buttonHeight}));
    button.setBackgroundColor(Color{1, 1, 1, 0.18f});
    button.setShowsTouchWhenHighlighted(true);
    button.addSubview(makeAlertLabel({0, 0, innerWidth, buttonHeight}, alert.cancelButtonTitle, titleFont));
    button.addAction([this] { dismissAlert(); }, ControlEvent::TouchUpInside);
    y += buttonHeight + padding;

    panel->setFrame({(widthPoints - panelWidth) / 2, std::round((heightPoints - y) / 2), panelWidth, y});
    alertView_ = std::move(panel);
}

void Window::dismissAlert()
{
    if (!alertView_)
        return;
    // Usually called from the alert's own button: the view must outlive that call.
    retiredAlertViews_.push_back(std::move(alertView_));
    ++generation_;
    showNextAlert();
}

// --- Touches ------------------------------------------------------------------

bool Window::scrollWheel(Point location, float deltaPoints)
{
    for (View* view = hitTest(location); view; view = view->superview())
        if (view->scrollWheel(deltaPoints))
            return true;
    return false;
}

View* Window::hitTest(Point location)
{
    if (alertView_)
        return alertView_->hitTest(location);
    // A sliding screen is hit as if it were already in place: the slide is brief, and a
    // button must not move under a finger that is already on it.
    if (Modal* modal = topPresentedModal())
        return modal->view->hitTest(location);
    return content_->hitTest(location);
}

bool Window::touchedViewIsLive() const noexcept
{
    if (!touched_)
        return false;
    if (treeHolds(*content_, touched_, touchedSerial_))
        return true;
    for (const Modal& modal : modals_)
        if (modal.view && treeHolds(*modal.view, touched_, touchedSerial_))
            return true;
    return alertView_ && treeHolds(*alertView_, touched_, touchedSerial_);
}

void Window::forgetTouch() noexcept
{
    touched_ = nullptr;
    touchedSerial_ = 0;
}

bool Window::recogniseSwipe(Point location, Nanoseconds now)
{
    const Nanoseconds elapsed = now - touchStartTime_;
    for (View* view = touched_; view; view = view->superview()) {
        for (const auto& recognizer : view->gestureRecognizers()) {
            if (!recognizer->matches(touchStart_, location, elapsed))
                continue;
            // The action may rebuild the very view that carries the recogniser.
            SwipeGestureRecognizer recognised = *recognizer;
            View* cancelled = touched_;
            forgetTouch();
            cancelled->touchesCancelled({location, now});
            recognised.fire();
            return true;
        }
    }
    return false;
}

void Window::touchDown(Point location)
{
    const Nanoseconds now = clock_.now();
    touchDown_ = true;
    // A finger that went down again without coming up: the old touch ends without effect.
    if (touchedViewIsLive()) {
        View* stale = touched_;
        forgetTouch();
        stale->touchesCancelled({location, now});
    }
    forgetTouch();
    retiredAlertViews_.clear();

    View* hit = hitTest(location);
    if (!hit)
        return;
    touched_ = hit;
    touchedSerial_ = hit->serialNumber();
    touchStart_ = location;
    touchStartTime_ = now;
    hit->touchesBegan({location, now});
}

bool Window::touchReachesView(Point location, Nanoseconds now)
{
    if (!touchedViewIsLive()) {
        forgetTouch();
        return false;
    }
    return !recogniseSwipe(location, now);
}

void Window::touchMove(Point location)
{
    const Nanoseconds now = clock_.now();
    if (!touchReachesView(location, now))
        return;
    touched_->touchesMoved({location, now});
}

void Window::touchUp(Point location)
{
    const Nanoseconds now = clock_.now();
    touchDown_ = false;
    if (!touchReachesView(location, now))
        return;
    View* ended = touched_;
    forgetTouch();
    ended->touchesEnded({location, now});
}

// --- Keys and typed text -----------------------------------------------------

View* Window::frontRoot() const noexcept
{
    if (alertView_)
        return alertView_.get();
    if (const Modal* modal = topPresentedModal())
        return modal->view.get();
    return content_.get();
}

bool Window::setFocusedView(View* view)
{
    focused_ = nullptr;
    focusedSerial_ = 0;
    if (!view || !view->canBecomeFocused() || !treeHolds(*frontRoot(), view, view->serialNumber()))
        return false;
    focused_ = view;
    focusedSerial_ = view->serialNumber();
    return true;
}

View* Window::focusedView() const noexcept
{
    // A focused view that left the front layer (a screen came over it, or it was
    // removed and freed) gets nothing, and the pointer is not followed.
    if (!focused_ || !treeHolds(*frontRoot(), focused_, focusedSerial_))
        return nullptr;
    return focused_;
}

bool Window::keyEvent(const KeyEvent& event, KeyPhase phase)
{
    // The alert's one button closes it, so Escape and Return close it too: a fresh
    // press, so that a held key closes one alert and not those queued behind it.
    if (alertView_ && (event.key == Key::Escape || event.key == Key::Return)) {
        if (phase == KeyPhase::Down && !event.repeat)
            dismissAlert();
        return true;
    }
    if (!alertView_) {
        for (View* view = focusedView(); view; view = view->superview())
            if (view->keyEvent(event, phase))
                return true;
        if (ViewController* front = presentedController(); front && front->keyEvent(event, phase))
            return true;
    }
    return keyCommands_ && keyCommands_(event, phase);
}

void Window::textInput(const std::string& utf8)
{
    if (View* view = alertView_ ? nullptr : focusedView())
        view->insertText(utf8);
}

} // namespace platform
