#pragma once
// The desktop backend: the real monotonic clock and run loop, preferences in a
// file, the window's screen-saver switch, the music picker and the mail composer
// of the desktop. The music player and the music the picker lists come from the
// caller, which alone decides what plays.

#include "platform/MusicLibrary.h"
#include "platform/Platform.h"
#include "platform/sdl/DesktopMailComposer.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

namespace platform::sdl {

struct SdlPlatformOptions {
    // Where the preference file lives (normally $XDG_CONFIG_HOME/spoolora).
    std::filesystem::path configFolder = FileUserDefaults::defaultFolder();
    MailHandOff mail = MailHandOff::fromEnvironment();
    // Builds the system music player on the platform's clock, run loop and
    // notification centre, once, while the platform is built. Required.
    std::function<std::unique_ptr<MusicPlayer>(const BackendServices&)> makeMusicPlayer;
    // The music the picker lists, in the order shown, when there is no music library.
    std::vector<MediaItemPtr> library;
    // Builds the listener's music library, once, while the platform is built. When
    // given, the picker is the library picker over it.
    std::function<std::unique_ptr<MusicLibrary>(const BackendServices&)> makeMusicLibrary;
};

class SdlPlatform final : public Platform {
public:
    // Throws std::invalid_argument when the options build no music player.
    explicit SdlPlatform(SdlPlatformOptions options);
    ~SdlPlatform() override;
    SdlPlatform(const SdlPlatform&) = delete;
    SdlPlatform& operator=(const SdlPlatform&) = delete;

    const Clock& clock() const override { return clock_; }
    RunLoop& runLoop() override { return runLoop_; }
    NotificationCenter& defaultCenter() override { return center_; }
    UserDefaults& standardUserDefaults() override { return defaults_; }
    MusicPlayer& systemMusicPlayer() override { return *player_; }
    VolumeControl& volumeControl() override;
    Window& window() override { return window_; }
    // The library picker over the music library, else a list picker over the music given.
    std::unique_ptr<MediaPickerController> makeMediaPicker(std::int32_t mediaTypes) override;
    std::unique_ptr<MailComposeViewController> makeMailComposer() override;
    // Turns SDL's screen-saver inhibition on and off. Needs SDL's video set up.
    void setIdleTimerDisabled(bool disabled) override;
    bool isIdleTimerDisabled() const override { return idleTimerDisabled_; }

    const std::vector<MediaItemPtr>& library() const noexcept { return library_; }
    MusicLibrary* musicLibrary() const noexcept { return musicLibrary_.get(); }

private:
    MonotonicClock clock_;
    RunLoop runLoop_;
    NotificationCenter center_;
    FileUserDefaults defaults_;
    // After what it runs on and before the window: it outlives the screens and goes
    // before its clock, run loop and notification centre.
    std::unique_ptr<MusicPlayer> player_;
    std::unique_ptr<VolumeControl> volumeControl_;
    // Posts to the run loop from its worker; a picker on the window reads it.
    std::unique_ptr<MusicLibrary> musicLibrary_;
    Window window_;
    std::vector<MediaItemPtr> library_;
    MailHandOff mail_;
    bool idleTimerDisabled_ = false;
};

std::unique_ptr<SdlPlatform> makeSdlPlatform(SdlPlatformOptions options);

} // namespace platform::sdl
