#pragma once
// What a backend provides to the application: clock, run loop, notification
// centre, preferences, the system music player, the window, modal choosers and
// the idle-timer switch. Built by a backend factory and handed to the app.

#include "platform/Clock.h"
#include "platform/MailComposer.h"
#include "platform/MediaPicker.h"
#include "platform/MusicPlayer.h"
#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"
#include "platform/UserDefaults.h"
#include "platform/VolumeControl.h"
#include "platform/Window.h"

#include <memory>

namespace platform {

// What a backend lends to the parts that the caller chooses and builds for it (the
// music player, later the music library): they run on its clock, run loop and
// notification centre, which outlive them.
struct BackendServices {
    const Clock& clock;
    RunLoop& runLoop;
    NotificationCenter& center;
};

class Platform {
public:
    virtual ~Platform() = default;

    virtual const Clock& clock() const = 0;
    virtual RunLoop& runLoop() = 0;
    virtual NotificationCenter& defaultCenter() = 0;
    virtual UserDefaults& standardUserDefaults() = 0;
    // The one device-wide player, the same for the life of the process.
    virtual MusicPlayer& systemMusicPlayer() = 0;
    // The volume and output device of that player, kept in the preferences. Built on
    // the first call, which applies what the preferences hold, so a caller that wants
    // them applied before anything plays asks for it early.
    virtual VolumeControl& volumeControl() = 0;
    virtual Window& window() = 0;

    // A new picker for the media types, not yet presented.
    virtual std::unique_ptr<MediaPickerController> makeMediaPicker(std::int32_t mediaTypes) = 0;
    // A new composer, not yet presented. Throws PlatformException when mail cannot be composed.
    virtual std::unique_ptr<MailComposeViewController> makeMailComposer() = 0;

    // YES keeps the screen from dimming and locking while the application runs.
    virtual void setIdleTimerDisabled(bool disabled) = 0;
    virtual bool isIdleTimerDisabled() const = 0;
};

} // namespace platform
