#pragma once
// The volume control of the toolbar: an icon (a crossed speaker while the volume is
// 0) that opens the volume panel. The panel slides up from the bottom edge and
// stands over the toolbar: a volume slider (drag, tap, mouse wheel, Up and Down) and
// the output devices, the one in use marked; a tap on one moves the sound there. A
// tap outside the panel, Esc, or hiding the toolbar that holds the icon closes it.
//
// Sections: the toolbar icon · the panel · the slider.

#include "platform/Keys.h"
#include "platform/Label.h"
#include "platform/NotificationCenter.h"
#include "platform/View.h"
#include "platform/ViewController.h"
#include "platform/VolumeControl.h"

#include <functional>
#include <memory>
#include <vector>

namespace platform {

class Button;
class VolumePanel;

class VolumeView : public View {
public:
    static constexpr const char* iconImageName = "volume_icon.png";
    static constexpr const char* mutedIconImageName = "volume_muted_icon.png";

    // The control must outlive the view.
    VolumeView(Rect frame, VolumeControl& control);
    ~VolumeView() override;

    void setShowsVolumeSlider(bool shows) noexcept { showsSlider_ = shows; }
    bool showsVolumeSlider() const noexcept { return showsSlider_; }
    // Without the slider the control is one icon, 30 × 40 points.
    void sizeToFit();

    // A tap opens the panel over the window that holds this view (nothing when it is
    // in none); a tap while it is open is outside it and has closed it already.
    bool takesTouches() const noexcept override { return true; }
    void touchesEnded(const TouchEvent& event) override;
    void openPanel(bool animated = true);
    // Called when the listener uses the control: opens the panel, moves the volume in
    // it or chooses an output (the screen keeps its controls up while they are used).
    void setUseAction(std::function<void()> action) { useAction_ = std::move(action); }
    // The panel this view opened while it is still the window's front screen.
    VolumePanel* openPanelShown() const noexcept;

    void describeContent(ContentRecorder& recorder) const override;

protected:
    // Hiding the toolbar (or anything above this view) closes the panel at once.
    void visibilityDidChange() noexcept override;

private:
    VolumeControl& control_;
    std::function<void()> useAction_;
    bool showsSlider_ = true;
    // The panel is owned by the window once presented; the token tells whether it still lives.
    VolumePanel* panel_ = nullptr;
    std::weak_ptr<int> panelAlive_;
    ObserverRegistration observing_;
};

// The slider: a track filled up to the volume, with a knob. Follows the finger from
// its touch down; the volume is kept when the finger lifts.
class VolumeSlider : public View {
public:
    static constexpr float knobWidthPoints = 12;
    VolumeSlider(Rect frame, VolumeControl& control) : View(frame), control_(control) {}
    // The volume at a point of the slider's own width.
    float volumeAtX(float x) const noexcept;
    void volumeDidChange() noexcept { contentChanged(); }

    bool takesTouches() const noexcept override { return true; }
    void touchesBegan(const TouchEvent& event) override;
    void touchesMoved(const TouchEvent& event) override;
    void touchesEnded(const TouchEvent& event) override;
    void touchesCancelled(const TouchEvent& event) override;
    void describeContent(ContentRecorder& recorder) const override;

private:
    VolumeControl& control_;
    float lastX_ = 0;
};

class VolumePanel final : public ViewController {
public:
    // Up and Down keys and a notch of the mouse wheel move the volume by this much.
    static constexpr float volumeStep = 0.05f;
    static constexpr float cardBottomPoints = 426;   // just above the toolbar
    static constexpr float rowHeightPoints = 34;
    static constexpr std::size_t maximumRows = 9;

    // useAction, when given, is called each time the volume moves or an output is chosen
    // while the panel is open.
    VolumePanel(Window& window, VolumeControl& control, std::function<void()> useAction = {});
    ~VolumePanel() override;

    // A clear view over the whole window that closes the panel when touched, with
    // the card of controls at its bottom.
    void loadView() override;
    void viewDidLoad() override;
    // Up and Down move the volume, Esc closes.
    bool keyEvent(const KeyEvent& event, KeyPhase phase) override;
    // Slides the panel away (or removes it at once).
    void close(bool animated);
    bool isClosing() const noexcept { return closing_; }

    // The volume moved by steps (positive louder), on a grid of hundredths.
    void stepVolume(float steps);
    // Moves the sound to the listed output at this index and marks it.
    void chooseOutput(std::size_t index);

    // What the panel shows, for tests and the state dump.
    View* card() const noexcept { return card_; }
    VolumeSlider* slider() const noexcept { return slider_; }
    const std::vector<VolumeControl::Output>& outputs() const noexcept { return outputs_; }
    // The screen rectangle of the output row at this index.
    Rect outputRowFrame(std::size_t index) const;
    std::shared_ptr<int> aliveToken() const noexcept { return alive_; }

private:
    void showVolume();
    void markOutputs();

    VolumeControl& control_;
    std::function<void()> useAction_;
    View* card_ = nullptr;
    VolumeSlider* slider_ = nullptr;
    Label* percentLabel_ = nullptr;
    struct Row {
        Button* button = nullptr;
        Label* mark = nullptr;
    };
    std::vector<Row> rows_;
    std::vector<VolumeControl::Output> outputs_;
    bool closing_ = false;
    ObserverRegistration observing_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

} // namespace platform
