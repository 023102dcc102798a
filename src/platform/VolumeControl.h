#pragma once
// The listener's volume and choice of output device: applied to the player's audio
// route, kept in the preference store, and announced when the volume changes, so
// that the toolbar's icon and the desktop's sound menu follow whoever changed it.
// Main thread only.

#include "platform/AudioRoute.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <string>
#include <vector>

namespace platform {

// Posted by the volume control, with the control as object, after the volume changed.
inline constexpr const char* VolumeDidChangeNotification = "MPMusicPlayerControllerVolumeDidChangeNotification";

class VolumeControl {
public:
    // The volume in thousandths (0 to 1000) and the chosen device's name (a string;
    // missing or empty: the system's default).
    static constexpr const char* volumePreferenceKey = "outputVolumePerMille";
    static constexpr const char* outputDevicePreferenceKey = "outputDevicePreference";
    // The title of the entry for the system's default device.
    static constexpr const char* defaultOutputTitle = "Default output";

    // Applies the stored volume and device to the route. A stored device that the
    // system no longer offers leaves the sound on the default device (one line on
    // stderr) and stays the listener's choice for when it comes back. Every
    // reference must outlive the control.
    VolumeControl(AudioRoute& route, UserDefaults& defaults, NotificationCenter& center);
    VolumeControl(const VolumeControl&) = delete;
    VolumeControl& operator=(const VolumeControl&) = delete;

    // Where the volume changes are posted.
    NotificationCenter& notificationCenter() const noexcept { return center_; }

    float volume() const { return route_.volume(); }
    bool isMuted() const { return !(route_.volume() > 0); }
    enum class Keep { Now, Later };
    // Clamped to 0 to 1 (not a number: 0). Keep::Later applies it without writing the
    // preference, for the many small steps of a drag; the last step is kept with Now.
    void setVolume(float volume, Keep keep = Keep::Now);

    struct Output {
        std::string name;    // empty for the system's default
        std::string title;   // what the list shows
        bool current = false;
    };
    // The default device first, then every device the route offers, the one in use marked.
    std::vector<Output> outputs() const;
    // Moves the sound to the named device (empty: the default) and keeps the choice;
    // returns false when it could not be opened, which leaves the choice as it was.
    bool chooseOutput(const std::string& name);

private:
    void postVolumeChange();

    AudioRoute& route_;
    UserDefaults& defaults_;
    NotificationCenter& center_;
};

} // namespace platform
