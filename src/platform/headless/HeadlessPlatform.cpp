#include "platform/headless/HeadlessPlatform.h"

namespace platform::headless {

HeadlessPlatform::HeadlessPlatform() : HeadlessPlatform(std::make_unique<MemoryUserDefaults>()) {}

HeadlessPlatform::HeadlessPlatform(const std::filesystem::path& configFolder)
    : HeadlessPlatform(std::make_unique<FileUserDefaults>(configFolder))
{
}

HeadlessPlatform::HeadlessPlatform(std::unique_ptr<UserDefaults> defaults)
    : runLoop_(clock_), defaults_(std::move(defaults)), player_(clock_, runLoop_, center_), window_(clock_)
{
    clock_.attach(runLoop_);
    clock_.addAdvanceObserver([this] { window_.collectDismissed(clock_.now()); });
}

HeadlessPlatform::~HeadlessPlatform() = default;

std::unique_ptr<MediaPickerController> HeadlessPlatform::makeMediaPicker(std::int32_t mediaTypes)
{
    auto record = std::make_shared<PickerRecord>();
    pickers_.push_back(record);
    return std::make_unique<HeadlessMediaPicker>(window_, mediaTypes, library_, std::move(record));
}

std::unique_ptr<MailComposeViewController> HeadlessPlatform::makeMailComposer()
{
    if (mailExceptionArmed_) {
        mailExceptionArmed_ = false;
        throw PlatformException("mail cannot be composed on this device");
    }
    auto record = std::make_shared<MailRecord>();
    composers_.push_back(record);
    return std::make_unique<RecordingMailComposer>(window_, std::move(record));
}

void HeadlessPlatform::advance(double seconds)
{
    clock_.advance(seconds);
}

void HeadlessPlatform::runDueNow()
{
    runLoop_.runDue();
    window_.collectDismissed(clock_.now());
}

HeadlessMediaPicker* HeadlessPlatform::presentedPicker() const noexcept
{
    return dynamic_cast<HeadlessMediaPicker*>(window_.presentedController());
}

RecordingMailComposer* HeadlessPlatform::presentedComposer() const noexcept
{
    return dynamic_cast<RecordingMailComposer*>(window_.presentedController());
}

} // namespace platform::headless
