#pragma once
// What the headless backend keeps of its modal screens: the settings of each music
// picker (the picker itself is the library picker, which a script drives or confirms or
// cancels), and a mail composer that records its message and finishes with the
// result it is told. The records outlive the screens, so that a run can report a
// screen already dismissed.

#include "platform/Geometry.h"
#include "platform/MailComposer.h"
#include "platform/MediaPicker.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform::headless {

class RecordingMailComposer;

// How the application set up a picker.
struct PickerSettings {
    bool multiple = false;
    std::optional<std::string> prompt;
    std::optional<Color> background;   // none while the picker's view is not loaded
};

// Reads the settings of a live picker without loading its view.
PickerSettings readPickerSettings(MediaPickerController& picker);

// What the platform knows of a picker it made. The pointer is only compared with the
// screen presented at the moment, never followed on its own: the window frees the
// picker once it has slid out.
struct PickerRecord {
    const MediaPickerController* picker = nullptr;
    PickerSettings settings;   // as last read while the picker was on screen
};

// The message a composer was given.
struct MailMessage {
    std::string subject;
    std::string body;
    bool html = false;
    std::int32_t barStyle = 0;
};

class MailRecord {
public:
    MailMessage message() const;
    RecordingMailComposer* composer() const noexcept { return composer_; }

private:
    friend class RecordingMailComposer;
    RecordingMailComposer* composer_ = nullptr;
    mutable MailMessage cached_;
};

class RecordingMailComposer final : public MailComposeViewController {
public:
    RecordingMailComposer(Window& window, std::shared_ptr<MailRecord> record);
    ~RecordingMailComposer() override;

    MailMessage message();
    // The listener finished: reports the result (0 cancelled, 1 saved, 2 sent,
    // 3 failed, or anything else) to the delegate, with an error for a failure.
    void finish(std::int32_t result);

private:
    std::shared_ptr<MailRecord> record_;
};

} // namespace platform::headless
