#pragma once
// The backend without a screen, for tests and scripted runs: a virtual clock that
// moves only when told, the simulated music player, preferences in memory (or in
// a folder), the library picker over a library the run supplies, a composer that records,
// and a record of every modal screen made.

#include "platform/LibraryPicker.h"
#include "platform/Platform.h"
#include "platform/headless/HeadlessPickerAndComposer.h"
#include "platform/headless/MemoryMusicLibrary.h"
#include "platform/headless/ScriptedMusicPlayer.h"
#include "platform/headless/VirtualClock.h"

#include <filesystem>
#include <memory>
#include <vector>

namespace platform::headless {

class HeadlessPlatform final : public Platform {
public:
    // Preferences kept in memory.
    HeadlessPlatform();
    // Preferences in the file store of this folder (read now if the file exists).
    explicit HeadlessPlatform(const std::filesystem::path& configFolder);
    ~HeadlessPlatform() override;
    HeadlessPlatform(const HeadlessPlatform&) = delete;
    HeadlessPlatform& operator=(const HeadlessPlatform&) = delete;

    // --- Platform -------------------------------------------------------------
    const VirtualClock& clock() const override { return clock_; }
    RunLoop& runLoop() override { return runLoop_; }
    NotificationCenter& defaultCenter() override { return center_; }
    UserDefaults& standardUserDefaults() override { return *defaults_; }
    MusicPlayer& systemMusicPlayer() override { return player_; }
    VolumeControl& volumeControl() override;
    Window& window() override { return window_; }
    // The library picker over musicLibrary().
    std::unique_ptr<MediaPickerController> makeMediaPicker(std::int32_t mediaTypes) override;
    // Throws PlatformException once after armMailException().
    std::unique_ptr<MailComposeViewController> makeMailComposer() override;
    void setIdleTimerDisabled(bool disabled) override { idleTimerDisabled_ = disabled; }
    bool isIdleTimerDisabled() const override { return idleTimerDisabled_; }

    // --- Driving time ----------------------------------------------------------
    VirtualClock& clock() noexcept { return clock_; }
    // Moves the clock ahead, running every timer, animation step and notification due
    // on the way in time order; finished modal screens are collected after each step.
    void advance(double seconds);
    // Runs everything due at the present moment without moving the clock.
    void runDueNow();

    // --- The simulated world ---------------------------------------------------
    ScriptedMusicPlayer& scriptedPlayer() noexcept { return player_; }
    // The music the picker offers: each item an album track of its own fields.
    void setLibrary(const std::vector<MediaItemPtr>& library) { library_.setItems(library); }
    MemoryMusicLibrary& musicLibrary() noexcept { return library_; }
    // The next makeMailComposer() throws, as composing does on a device that cannot send mail.
    void armMailException() noexcept { mailExceptionArmed_ = true; }

    // --- Records ---------------------------------------------------------------
    // Every picker and composer made, oldest first; each record outlives its screen.
    // The settings of the newest picker are read again while it is on screen: after
    // every step of advance(), in runDueNow() and here.
    const std::vector<PickerRecord>& pickersMade();
    const std::vector<std::shared_ptr<MailRecord>>& composersMade() const noexcept { return composers_; }
    // The front modal screen when it is a picker (or a composer) not yet dismissed.
    LibraryPicker* presentedPicker() const noexcept;
    RecordingMailComposer* presentedComposer() const noexcept;

private:
    explicit HeadlessPlatform(std::unique_ptr<UserDefaults> defaults);
    void refreshPickerRecord();
    void afterStep();

    VirtualClock clock_;
    RunLoop runLoop_;
    NotificationCenter center_;
    std::unique_ptr<UserDefaults> defaults_;
    ScriptedMusicPlayer player_;
    std::unique_ptr<VolumeControl> volumeControl_;
    // Made before the window and gone after it: a picker the window still holds
    // observes the library until the picker goes.
    MemoryMusicLibrary library_;
    Window window_;
    std::vector<PickerRecord> pickers_;
    std::vector<std::shared_ptr<MailRecord>> composers_;
    bool mailExceptionArmed_ = false;
    bool idleTimerDisabled_ = false;
};

} // namespace platform::headless
