#pragma once
// The desktop backend: the real monotonic clock and run loop, preferences in a
// file, the window's screen-saver switch, the music picker and the mail composer
// of the desktop. Until the audio engine lands, the music player is the simulated
// one, running on the real clock over a small built-in library.

#include "platform/Platform.h"
#include "platform/headless/ScriptedMusicPlayer.h"
#include "platform/sdl/DesktopMailComposer.h"

#include <filesystem>
#include <memory>
#include <vector>

namespace platform::sdl {

struct SdlPlatformOptions {
    // Where the preference file lives (normally $XDG_CONFIG_HOME/spoolora).
    std::filesystem::path configFolder = FileUserDefaults::defaultFolder();
    MailHandOff mail = MailHandOff::fromEnvironment();
};

class SdlPlatform final : public Platform {
public:
    explicit SdlPlatform(const SdlPlatformOptions& options);
    ~SdlPlatform() override;
    SdlPlatform(const SdlPlatform&) = delete;
    SdlPlatform& operator=(const SdlPlatform&) = delete;

    const Clock& clock() const override { return clock_; }
    RunLoop& runLoop() override { return runLoop_; }
    NotificationCenter& defaultCenter() override { return center_; }
    UserDefaults& standardUserDefaults() override { return defaults_; }
    MusicPlayer& systemMusicPlayer() override { return player_; }
    Window& window() override { return window_; }
    // A list picker over the built-in library.
    std::unique_ptr<MediaPickerController> makeMediaPicker(std::int32_t mediaTypes) override;
    std::unique_ptr<MailComposeViewController> makeMailComposer() override;
    // Turns SDL's screen-saver inhibition on and off. Needs SDL's video set up.
    void setIdleTimerDisabled(bool disabled) override;
    bool isIdleTimerDisabled() const override { return idleTimerDisabled_; }

    const std::vector<MediaItemPtr>& library() const noexcept { return library_; }

private:
    MonotonicClock clock_;
    RunLoop runLoop_;
    NotificationCenter center_;
    FileUserDefaults defaults_;
    headless::ScriptedMusicPlayer player_;
    Window window_;
    std::vector<MediaItemPtr> library_;
    MailHandOff mail_;
    bool idleTimerDisabled_ = false;
};

// A few albums of made-up music for the simulated player, in album order.
std::vector<MediaItemPtr> builtInLibrary();

std::unique_ptr<SdlPlatform> makeSdlPlatform(const SdlPlatformOptions& options);

} // namespace platform::sdl
