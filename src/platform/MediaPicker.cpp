#include "platform/MediaPicker.h"

namespace platform {

void MediaPickerController::reportPicked(const MediaItemCollection& collection)
{
    if (delegate_)
        delegate_->mediaPickerDidPickMediaItems(*this, collection);
}

void MediaPickerController::reportCancelled()
{
    if (delegate_)
        delegate_->mediaPickerDidCancel(*this);
}

} // namespace platform
