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
    clock_.addAdvanceObserver([this] { afterStep(); });
}

HeadlessPlatform::~HeadlessPlatform() = default;

VolumeControl& HeadlessPlatform::volumeControl()
{
    if (!volumeControl_)
        volumeControl_ = std::make_unique<VolumeControl>(player_.audioRoute(), *defaults_, center_);
    return *volumeControl_;
}

std::unique_ptr<MediaPickerController> HeadlessPlatform::makeMediaPicker(std::int32_t mediaTypes)
{
    auto picker = std::make_unique<LibraryPicker>(window_, runLoop_, library_, mediaTypes);
    pickers_.push_back(PickerRecord{picker.get(), {}});
    return picker;
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
    afterStep();
}

void HeadlessPlatform::afterStep()
{
    refreshPickerRecord();
    window_.collectDismissed(clock_.now());
}

void HeadlessPlatform::refreshPickerRecord()
{
    LibraryPicker* shown = presentedPicker();
    if (shown && !pickers_.empty() && pickers_.back().picker == shown)
        pickers_.back().settings = readPickerSettings(*shown);
}

const std::vector<PickerRecord>& HeadlessPlatform::pickersMade()
{
    refreshPickerRecord();
    return pickers_;
}

LibraryPicker* HeadlessPlatform::presentedPicker() const noexcept
{
    return dynamic_cast<LibraryPicker*>(window_.presentedController());
}

RecordingMailComposer* HeadlessPlatform::presentedComposer() const noexcept
{
    return dynamic_cast<RecordingMailComposer*>(window_.presentedController());
}

} // namespace platform::headless
