#include "platform/MailComposer.h"

namespace platform {

void MailComposeViewController::reportFinished(std::int32_t result, const MailError* error)
{
    if (delegate_)
        delegate_->mailComposeControllerDidFinishWithResultError(*this, result, error);
}

} // namespace platform
