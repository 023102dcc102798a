#pragma once
// A modal mail composer that hands a prepared message to a mail program and
// reports how the listener finished.

#include "platform/ViewController.h"

#include <cstdint>
#include <stdexcept>
#include <string>

namespace platform {

// The one exception that may reach the product code: raised while a composer is
// created, filled or presented.
class PlatformException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

namespace MailComposeResult {
inline constexpr std::int32_t Cancelled = 0;
inline constexpr std::int32_t Saved = 1;
inline constexpr std::int32_t Sent = 2;
inline constexpr std::int32_t Failed = 3;
} // namespace MailComposeResult

class MailComposeViewController;

struct MailError {
    std::string description;
};

class MailComposeDelegate {
public:
    virtual ~MailComposeDelegate() = default;
    virtual void mailComposeControllerDidFinishWithResultError(MailComposeViewController& controller,
                                                                std::int32_t result, const MailError* error) = 0;
};

struct NavigationBar {
    std::int32_t barStyle = 0;
    void setBarStyle(std::int32_t style) noexcept { barStyle = style; }
};

class MailComposeViewController : public ViewController {
public:
    explicit MailComposeViewController(Window& window) : ViewController(window) {}

    void setMailComposeDelegate(MailComposeDelegate* delegate) noexcept { delegate_ = delegate; }
    MailComposeDelegate* mailComposeDelegate() const noexcept { return delegate_; }
    void setSubject(std::string subject) { subject_ = std::move(subject); }
    const std::string& subject() const noexcept { return subject_; }
    void setMessageBodyIsHTML(std::string body, bool isHTML)
    {
        body_ = std::move(body);
        html_ = isHTML;
    }
    const std::string& messageBody() const noexcept { return body_; }
    bool isHTML() const noexcept { return html_; }
    NavigationBar& navigationBar() noexcept { return navigationBar_; }

protected:
    void reportFinished(std::int32_t result, const MailError* error);

private:
    MailComposeDelegate* delegate_ = nullptr;
    std::string subject_;
    std::string body_;
    bool html_ = false;
    NavigationBar navigationBar_;
};

} // namespace platform
