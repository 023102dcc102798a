#pragma once
// The modal screens of the headless backend: a music picker over a fixed library
// that a script or test confirms or cancels, and a mail composer that records the
// message and finishes with the result it is told. Each keeps a record that
// outlives it, so that a run can report the settings of a screen already dismissed.

#include "platform/Geometry.h"
#include "platform/MailComposer.h"
#include "platform/MediaPicker.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::headless {

class HeadlessMediaPicker;
class RecordingMailComposer;

// How the application set up a picker.
struct PickerSettings {
    bool multiple = false;
    std::optional<std::string> prompt;
    std::optional<Color> background;   // none when the picker's view was never given one
};

// Shared between the picker and whoever made it: the settings, read from the live
// picker while it exists and kept from its last reading afterwards.
class PickerRecord {
public:
    PickerSettings settings() const;
    HeadlessMediaPicker* picker() const noexcept { return picker_; }

private:
    friend class HeadlessMediaPicker;
    HeadlessMediaPicker* picker_ = nullptr;
    mutable PickerSettings cached_;
};

class HeadlessMediaPicker final : public MediaPickerController {
public:
    HeadlessMediaPicker(Window& window, std::int32_t mediaTypes, std::vector<MediaItemPtr> library,
                        std::shared_ptr<PickerRecord> record);
    ~HeadlessMediaPicker() override;

    const std::vector<MediaItemPtr>& library() const noexcept { return library_; }

    // Confirms the library items at these indices, in this order (duplicates kept).
    // Returns false, reporting nothing, when an index lies outside the library.
    bool pick(const std::vector<std::size_t>& indices);
    void cancel();

private:
    friend class PickerRecord;
    PickerSettings readSettings();

    std::vector<MediaItemPtr> library_;
    std::shared_ptr<PickerRecord> record_;
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
