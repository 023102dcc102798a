#include "platform/headless/HeadlessPickerAndComposer.h"

#include <utility>

namespace platform::headless {

// --- Picker -----------------------------------------------------------------------

PickerSettings PickerRecord::settings() const
{
    if (picker_)
        cached_ = picker_->readSettings();
    return cached_;
}

HeadlessMediaPicker::HeadlessMediaPicker(Window& window, std::int32_t mediaTypes, std::vector<MediaItemPtr> library,
                                         std::shared_ptr<PickerRecord> record)
    : MediaPickerController(window, mediaTypes), library_(std::move(library)), record_(std::move(record))
{
    if (record_)
        record_->picker_ = this;
}

HeadlessMediaPicker::~HeadlessMediaPicker()
{
    if (!record_)
        return;
    // The view may already be gone (a presentation drops it first), so only the
    // controller's own settings are read here; the background keeps its last reading.
    record_->cached_.multiple = allowsPickingMultipleItems();
    record_->cached_.prompt = prompt();
    record_->picker_ = nullptr;
}

PickerSettings HeadlessMediaPicker::readSettings()
{
    PickerSettings settings;
    settings.multiple = allowsPickingMultipleItems();
    settings.prompt = prompt();
    if (isViewLoaded())
        settings.background = view().backgroundColor();
    else if (record_)
        settings.background = record_->cached_.background;
    return settings;
}

bool HeadlessMediaPicker::pick(const std::vector<std::size_t>& indices)
{
    MediaItemCollection collection;
    for (const std::size_t index : indices) {
        if (index >= library_.size())
            return false;
        collection.items.push_back(library_[index]);
    }
    if (record_)
        record_->settings();
    reportPicked(collection);
    return true;
}

void HeadlessMediaPicker::cancel()
{
    if (record_)
        record_->settings();
    reportCancelled();
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
    if (record_)
        record_->message();
    if (result == MailComposeResult::Failed) {
        const MailError error{"the message could not be sent"};
        reportFinished(result, &error);
        return;
    }
    reportFinished(result, nullptr);
}

} // namespace platform::headless
