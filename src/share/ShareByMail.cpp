// Recommending the application by mail: the platform's composer opens with a
// fixed subject and HTML body; the listener adds recipients and sends.

#include "player/MainViewController.h"

#include "share/ProductAddresses.h"

#include <cstdio>
#include <string>

namespace {

constexpr const char* mailSubject = "You might like this cool vintage music app!";

constexpr const char* mailAlertTitle = "Email";
constexpr const char* mailAlertMessage = "Problem sending Email. Please check your network connectivity.";
constexpr const char* mailAlertButton = "OK";

// The product name with its ending in bold, one sentence, and a link to the
// product page whose text is the address itself, above the product picture.
std::string recommendationBody()
{
    const char* format = "SPOOL<b>ORA</b> - Deluxe Cassette Player for iPhone, iPod Touch and Android - "
                         "<a href=\"%s\">%s<br><img src=\"%s\"></a>";
    const int length = std::snprintf(nullptr, 0, format, productPageAddress, productPageAddress, productImageAddress);
    std::string body(static_cast<std::size_t>(length), '\0');
    std::snprintf(body.data(), body.size() + 1, format, productPageAddress, productPageAddress, productImageAddress);
    return body;
}

} // namespace

void MainViewController::shareAction()
{
    setHideControlsDate(dateFromNow(hideControlsDelaySeconds));
    // Mail may be impossible on this device; the screen then simply stays as it was.
    try {
        shareAsMailMessage();
    } catch (const platform::PlatformException&) {
    }
}

void MainViewController::shareAsMailMessage()
{
    std::unique_ptr<platform::MailComposeViewController> composer = platform_.makeMailComposer();
    composer->setMailComposeDelegate(this);
    composer->setSubject(mailSubject);
    composer->setMessageBodyIsHTML(recommendationBody(), true);
    composer->navigationBar().setBarStyle(1);
    // The presentation owns the composer from here on.
    presentModalViewController(std::move(composer), true);
}

void MainViewController::mailComposeControllerDidFinishWithResultError(platform::MailComposeViewController&,
                                                                       std::int32_t result, const platform::MailError*)
{
    // A failed mail is not a success: say so, then close the composer behind the alert.
    if (result >= platform::MailComposeResult::Failed)
        window().showAlert({mailAlertTitle, mailAlertMessage, mailAlertButton});
    dismissModalViewControllerAnimated(true);
}
