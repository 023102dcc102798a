#include "app/KeyMap.h"

#include "app/SpooloraAppDelegate.h"
#include "platform/VolumeView.h"

namespace spoolora {

const char* keyboardHelp()
{
    return "  Space           play or pause\n"
           "  Right arrow     hold to seek forward, tap to skip to the next track\n"
           "  Left arrow      hold to seek backward, tap to skip to the previous track\n"
           "  ] or Page Down  next cassette\n"
           "  [ or Page Up    previous cassette\n"
           "  M               choose music\n"
           "  T               show or hide the toolbar\n"
           "  V               volume panel: Up and Down set the volume, Esc closes it\n"
           "  Esc             close the volume panel, the music picker, the share screen or a message\n"
           "  Q or Ctrl+Q     quit\n";
}

KeyMap::KeyMap(SpooloraAppDelegate& delegate, const platform::Window& window, std::function<void()> quit)
    : delegate_(delegate), window_(window), quit_(std::move(quit))
{
}

bool KeyMap::acceptsShortcuts() const
{
    return !window_.presentedController() && !window_.isAlertVisible() && !window_.isTouchDown();
}

bool KeyMap::arrowKey(bool forward, const platform::KeyEvent& event, platform::KeyPhase phase)
{
    MainViewController& controller = *delegate_.mainViewController();
    bool& held = forward ? rightKeyHeld_ : leftKeyHeld_;
    if (phase == platform::KeyPhase::Down) {
        if (event.repeat || held || !acceptsShortcuts())
            return false;
        held = true;
        forward ? controller.startSeekForward() : controller.startSeekBackward();
        return true;
    }
    if (!held)
        return false;
    held = false;
    forward ? controller.skipToNextSongAction() : controller.skipToPreviousSongAction();
    return true;
}

bool KeyMap::openVolumePanel(MainViewController& controller)
{
    // The panel stands over the toolbar and goes with it, so the toolbar comes up
    // first, as a tap on the strip below the cassette would bring it.
    for (platform::BarButtonItem* item : controller.myToolBar->items()) {
        auto* volume = dynamic_cast<platform::VolumeView*>(item->customView());
        if (!volume)
            continue;
        if (controller.myToolBar->isHidden())
            controller.showMusicControls();
        volume->openPanel();
        return true;
    }
    return false;
}

bool KeyMap::keyEvent(const platform::KeyEvent& event, platform::KeyPhase phase)
{
    const bool down = phase == platform::KeyPhase::Down;
    if (down && event.is(U'q')) {
        if (quit_)
            quit_();
        return true;
    }
    MainViewController* controller = delegate_.mainViewController();
    if (!controller || !controller->isViewLoaded())
        return false;
    if (event.key == platform::Key::Right || event.key == platform::Key::Left)
        return arrowKey(event.key == platform::Key::Right, event, phase);
    if (!down || event.repeat || !acceptsShortcuts())
        return false;
    switch (event.key) {
    case platform::Key::PageDown: controller->showNextTapeSwipe(); return true;
    case platform::Key::PageUp: controller->showPreviousTapeSwipe(); return true;
    case platform::Key::Character: break;
    default: return false;
    }
    switch (event.character) {
    case U' ': controller->playOrPauseSongAction(); return true;
    case U']': controller->showNextTapeSwipe(); return true;
    case U'[': controller->showPreviousTapeSwipe(); return true;
    case U'm': controller->selectMusicFromLibrary(); return true;
    case U't': controller->toggleMusicControls(); return true;
    case U'v': return openVolumePanel(*controller);
    default: return false;
    }
}

} // namespace spoolora
