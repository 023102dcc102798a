#pragma once
// A modal chooser of music from the library. It reports a collection in the
// chosen order, or a cancel, to its delegate.

#include "platform/MusicPlayer.h"
#include "platform/ViewController.h"

#include <optional>
#include <string>

namespace platform {

class MediaPickerController;

class MediaPickerDelegate {
public:
    virtual ~MediaPickerDelegate() = default;
    virtual void mediaPickerDidPickMediaItems(MediaPickerController& picker, const MediaItemCollection& collection) = 0;
    virtual void mediaPickerDidCancel(MediaPickerController& picker) = 0;
};

namespace MediaType {
inline constexpr std::int32_t Music = 1;
}

class MediaPickerController : public ViewController {
public:
    MediaPickerController(Window& window, std::int32_t mediaTypes) : ViewController(window), mediaTypes_(mediaTypes) {}

    std::int32_t mediaTypes() const noexcept { return mediaTypes_; }
    void setDelegate(MediaPickerDelegate* delegate) noexcept { delegate_ = delegate; }
    MediaPickerDelegate* delegate() const noexcept { return delegate_; }
    void setAllowsPickingMultipleItems(bool allows) noexcept { allowsMultiple_ = allows; }
    bool allowsPickingMultipleItems() const noexcept { return allowsMultiple_; }
    // No prompt (nullopt) shows no prompt line.
    void setPrompt(std::optional<std::string> prompt) { prompt_ = std::move(prompt); }
    const std::optional<std::string>& prompt() const noexcept { return prompt_; }

protected:
    // For the backend's picker: report to the delegate (if any).
    void reportPicked(const MediaItemCollection& collection);
    void reportCancelled();

private:
    std::int32_t mediaTypes_;
    MediaPickerDelegate* delegate_ = nullptr;
    bool allowsMultiple_ = false;
    std::optional<std::string> prompt_;
};

} // namespace platform
