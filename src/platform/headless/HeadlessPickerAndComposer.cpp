#include "platform/headless/HeadlessPickerAndComposer.h"

#include <utility>

namespace platform::headless {

// --- Picker -----------------------------------------------------------------------

PickerSettings readPickerSettings(MediaPickerController& picker)
{
    PickerSettings settings;
    settings.multiple = picker.allowsPickingMultipleItems();
    settings.prompt = picker.prompt();
    if (picker.isViewLoaded())
        settings.background = picker.view().backgroundColor();
    return settings;
}

// --- Mail composer ------------------------------------------------------------------

MailMessage MailRecord::message() const
{
    if (composer_)
        cached_ = composer_->message();
    return cached_;
}

RecordingMailComposer::RecordingMailComposer(Window& window, std::shared_ptr<MailRecord> record)
    : MailComposeViewController(window), record_(std::move(record))
{
    if (record_)
        record_->composer_ = this;
}

RecordingMailComposer::~RecordingMailComposer()
{
    if (!record_)
        return;
    record_->cached_ = message();
    record_->composer_ = nullptr;
}

MailMessage RecordingMailComposer::message()
{
    return MailMessage{subject(), messageBody(), isHTML(), navigationBar().barStyle};
}

void RecordingMailComposer::finish(std::int32_t result)
{
    if (result == MailComposeResult::Failed) {
        const MailError error{"the message could not be sent"};
        reportFinished(result, &error);
        return;
    }
    reportFinished(result, nullptr);
}

} // namespace platform::headless
