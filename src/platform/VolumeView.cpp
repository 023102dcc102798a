#include "platform/VolumeView.h"

#include "platform/Button.h"
#include "platform/ViewContent.h"
#include "platform/Window.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

// Sections: the toolbar icon · the panel · the slider.

namespace platform {

namespace {

constexpr float cardMarginPoints = 8;
constexpr float cardPaddingPoints = 8;
constexpr float sliderRowHeightPoints = 48;
constexpr float headingHeightPoints = 22;
const Color cardColor{0.06f, 0.09f, 0.2f, 0.94f};
const Color currentRowColor{1, 1, 1, 0.14f};
const Color accentColor{0.45f, 0.72f, 1.0f, 1};

// The clear view over the whole window behind the card: a touch that lands on it is
// outside the card. A wheel turned anywhere over the panel moves the volume.
class PanelBackdrop final : public View {
public:
    PanelBackdrop(Rect frame, std::function<void()> tapped, std::function<void(float)> wheel)
        : View(frame), tapped_(std::move(tapped)), wheel_(std::move(wheel))
    {
    }
    bool takesTouches() const noexcept override { return true; }
    void touchesEnded(const TouchEvent&) override { tapped_(); }
    bool scrollWheel(float deltaPoints) override
    {
        wheel_(deltaPoints);
        return true;
    }

private:
    std::function<void()> tapped_;
    std::function<void(float)> wheel_;
};

// The card takes the touches that miss its controls, so that they do not close it.
class PanelCard final : public View {
public:
    using View::View;
    bool takesTouches() const noexcept override { return true; }
};

std::unique_ptr<Label> makePanelLabel(Rect frame, const std::string& text, float size)
{
    auto label = std::make_unique<Label>(frame);
    label->setFont(Font::fontWithNameSize("Helvetica", size));
    label->setTextColor(Color::white());
    label->setBackgroundColor(Color::clear());
    label->setLineBreakMode(LineBreakMode::Clip);
    label->setText(text);
    return label;
}

std::string percentText(float volume)
{
    char text[16];
    std::snprintf(text, sizeof text, "%d%%", static_cast<int>(std::lround(double(volume) * 100.0)));
    return text;
}

} // namespace

// --- The toolbar icon ---------------------------------------------------------------

VolumeView::VolumeView(Rect frame, VolumeControl& control) : View(frame), control_(control)
{
    control_.notificationCenter().addObserver(this, VolumeDidChangeNotification, &control_,
                                              [this](const Notification&) { contentChanged(); });
    observing_ = ObserverRegistration(control_.notificationCenter(), this);
}

VolumeView::~VolumeView() = default;

void VolumeView::sizeToFit()
{
    const Rect f = frame();
    // The slider, when shown, needs room beside the icon; the icon alone is 30 × 40.
    const float width = showsSlider_ ? std::max(f.width, 30.0f) : 30.0f;
    setFrame({f.x, f.y, width, 40});
}

void VolumeView::touchesEnded(const TouchEvent& event)
{
    // As a button: the finger must lift over the icon, give or take a finger's width.
    const Point local = convertFromScreen(event.location);
    const float slop = Button::touchSlopPoints;
    if (bounds().insetBy(-slop, -slop).contains(local))
        openPanel();
}

void VolumeView::openPanel(bool animated)
{
    Window* shownIn = window();
    if (!shownIn || openPanelShown() || !isVisibleInTree())
        return;
    auto panel = std::make_unique<VolumePanel>(*shownIn, control_, useAction_);
    panel_ = panel.get();
    panelAlive_ = panel->aliveToken();
    shownIn->presentModal(std::move(panel), animated);
    if (useAction_)
        useAction_();
}

VolumePanel* VolumeView::openPanelShown() const noexcept
{
    if (panelAlive_.expired() || panel_->isClosing())
        return nullptr;
    const Window* shownIn = window();
    if (!shownIn || shownIn->presentedController() != panel_)
        return nullptr;
    return panel_;
}

void VolumeView::visibilityDidChange() noexcept
{
    if (isVisibleInTree())
        return;
    if (VolumePanel* panel = openPanelShown())
        panel->close(false);
}

void VolumeView::describeContent(ContentRecorder& recorder) const
{
    const char* name = control_.isMuted() ? mutedIconImageName : iconImageName;
    recorder.picture(Image::named(name), bounds(), PictureFit::CentredShrunk, 0);
}

// --- The panel ----------------------------------------------------------------------

VolumePanel::VolumePanel(Window& window, VolumeControl& control, std::function<void()> useAction)
    : ViewController(window), control_(control), useAction_(std::move(useAction))
{
}

VolumePanel::~VolumePanel() = default;

void VolumePanel::loadView()
{
    auto backdrop = std::make_unique<PanelBackdrop>(
        Rect{0, 0, Window::widthPoints, Window::heightPoints}, [this] { close(true); },
        // A notch towards the listener scrolls down, as it would lower a page: softer.
        [this](float deltaPoints) { stepVolume(-deltaPoints / 40.0f); });
    backdrop->setBackgroundColor(Color::clear());
    setView(std::move(backdrop));
}

void VolumePanel::viewDidLoad()
{
    outputs_ = control_.outputs();
    if (outputs_.size() > maximumRows)
        outputs_.resize(maximumRows);   // FIXME: more devices than fit need a list that scrolls
    const float width = Window::widthPoints - 2 * cardMarginPoints;
    const float height = cardPaddingPoints + sliderRowHeightPoints + headingHeightPoints +
                         rowHeightPoints * static_cast<float>(outputs_.size()) + cardPaddingPoints;
    auto card = std::make_unique<PanelCard>(Rect{cardMarginPoints, cardBottomPoints - height, width, height});
    card->setBackgroundColor(cardColor);

    float y = cardPaddingPoints;
    slider_ = &card->addSubview(std::make_unique<VolumeSlider>(Rect{12, y + 4, width - 76, 40}, control_));
    percentLabel_ = &card->addSubview(makePanelLabel({width - 56, y + 4, 48, 40}, "", 15));
    y += sliderRowHeightPoints;
    auto& heading = card->addSubview(makePanelLabel({12, y, width - 24, headingHeightPoints}, "Output", 13));
    heading.setTextColor(Color{1, 1, 1, 0.6f});
    y += headingHeightPoints;

    for (std::size_t index = 0; index < outputs_.size(); ++index) {
        auto button = std::make_unique<Button>(Rect{4, y, width - 8, rowHeightPoints});
        button->setShowsTouchWhenHighlighted(true);
        button->addAction([this, index] { chooseOutput(index); }, ControlEvent::TouchUpInside);
        Row row;
        row.mark = &button->addSubview(makePanelLabel({6, 0, 22, rowHeightPoints}, "", 16));
        button->addSubview(makePanelLabel({30, 0, width - 46, rowHeightPoints}, outputs_[index].title, 15));
        row.button = &card->addSubview(std::move(button));
        rows_.push_back(row);
        y += rowHeightPoints;
    }
    card_ = &view().addSubview(std::move(card));

    control_.notificationCenter().addObserver(this, VolumeDidChangeNotification, &control_,
                                              [this](const Notification&) {
                                                  showVolume();
                                                  if (useAction_)
                                                      useAction_();
                                              });
    observing_ = ObserverRegistration(control_.notificationCenter(), this);
    showVolume();
    markOutputs();
}

bool VolumePanel::keyEvent(const KeyEvent& event, KeyPhase phase)
{
    if (event.key != Key::Up && event.key != Key::Down && event.key != Key::Escape)
        return false;
    if (phase != KeyPhase::Down)
        return true;
    if (event.key == Key::Escape) {
        if (!event.repeat)
            close(true);
        return true;
    }
    stepVolume(event.key == Key::Up ? 1.0f : -1.0f);
    return true;
}

void VolumePanel::close(bool animated)
{
    if (closing_)
        return;
    closing_ = true;
    observing_.reset();
    if (window().presentedController() == this)
        window().dismissModal(animated);
}

void VolumePanel::stepVolume(float steps)
{
    if (closing_ || !std::isfinite(steps))
        return;
    const double moved = double(control_.volume()) + double(steps) * double(volumeStep);
    control_.setVolume(static_cast<float>(std::round(moved * 100.0) / 100.0));
}

void VolumePanel::chooseOutput(std::size_t index)
{
    if (closing_ || index >= outputs_.size())
        return;
    control_.chooseOutput(outputs_[index].name);
    markOutputs();
    if (useAction_)
        useAction_();
}

Rect VolumePanel::outputRowFrame(std::size_t index) const
{
    if (index >= rows_.size())
        return {};
    return rows_[index].button->frameOnScreen();
}

void VolumePanel::showVolume()
{
    slider_->volumeDidChange();
    percentLabel_->setText(control_.isMuted() ? "Off" : percentText(control_.volume()));
}

void VolumePanel::markOutputs()
{
    // Read again: a device that could not be opened leaves the mark where the sound is.
    const std::vector<VolumeControl::Output> now = control_.outputs();
    for (std::size_t index = 0; index < rows_.size(); ++index) {
        const auto found = std::find_if(now.begin(), now.end(), [&](const VolumeControl::Output& output) {
            return output.name == outputs_[index].name;
        });
        outputs_[index].current = found != now.end() && found->current;
        rows_[index].mark->setText(outputs_[index].current ? "\u2713" : "");
        rows_[index].button->setBackgroundColor(outputs_[index].current ? currentRowColor : Color::clear());
    }
}

// --- The slider -----------------------------------------------------------------------

float VolumeSlider::volumeAtX(float x) const noexcept
{
    // The knob's centre reaches both ends of the track, so 0 and 1 are under a finger.
    const double track = double(bounds().width) - knobWidthPoints;
    if (!(track > 0))
        return control_.volume();
    return static_cast<float>(std::clamp((double(x) - knobWidthPoints / 2.0) / track, 0.0, 1.0));
}

void VolumeSlider::touchesBegan(const TouchEvent& event)
{
    lastX_ = convertFromScreen(event.location).x;
    control_.setVolume(volumeAtX(lastX_), VolumeControl::Keep::Later);
}

void VolumeSlider::touchesMoved(const TouchEvent& event)
{
    lastX_ = convertFromScreen(event.location).x;
    control_.setVolume(volumeAtX(lastX_), VolumeControl::Keep::Later);
}

void VolumeSlider::touchesEnded(const TouchEvent& event)
{
    lastX_ = convertFromScreen(event.location).x;
    control_.setVolume(volumeAtX(lastX_), VolumeControl::Keep::Now);
}

void VolumeSlider::touchesCancelled(const TouchEvent&)
{
    // Where the finger last was stays, as it was heard.
    control_.setVolume(volumeAtX(lastX_), VolumeControl::Keep::Now);
}

void VolumeSlider::describeContent(ContentRecorder& recorder) const
{
    const Rect area = bounds();
    const float trackHeight = 4;
    const float trackY = area.height / 2 - trackHeight / 2;
    const float left = knobWidthPoints / 2;
    const float width = area.width - knobWidthPoints;
    const float filled = width * control_.volume();
    recorder.fill({left, trackY, width, trackHeight}, Color{1, 1, 1, 0.25f}, 0);
    recorder.fill({left, trackY, filled, trackHeight}, accentColor, 1);
    recorder.fill({left + filled - knobWidthPoints / 2, area.height / 2 - 11, knobWidthPoints, 22}, Color::white(), 2);
}

} // namespace platform
