#pragma once
// The mail composer of the desktop: the message becomes an e-mail draft file
// (RFC 822, HTML body) in the outbox folder, and the desktop's opener is asked to
// show it in the mail program. Its screen shows the subject with Cancel and Send.

#include "platform/MailComposer.h"

#include <ctime>
#include <filesystem>
#include <string>

namespace platform::sdl {

struct MailHandOff {
    // Where drafts are written; made when missing.
    std::filesystem::path outboxFolder;
    // Run with the draft's path to open it; empty only saves.
    std::string openerCommand = "xdg-open";

    // $XDG_DATA_HOME/spoolora/outbox (or ~/.local/share/spoolora/outbox), opened with xdg-open.
    static MailHandOff fromEnvironment();
};

class DesktopMailComposer final : public MailComposeViewController {
public:
    DesktopMailComposer(Window& window, MailHandOff handOff);

    // Writes the draft and hands it to the opener. Reports Saved once the draft is
    // written (whether or not an opener could show it), Failed with the reason when
    // it cannot be written. Reports once; later calls do nothing.
    void send();
    // Reports Cancelled (once).
    void cancel();
    bool hasReported() const noexcept { return reported_; }
    // The draft last written, if any.
    const std::filesystem::path& draftPath() const noexcept { return draftPath_; }

    // The message as a draft file's text: headers with CRLF line ends, the subject
    // on one line (encoded when it is not plain ASCII), the body in base64.
    static std::string draftText(const std::string& subject, const std::string& body, bool html, std::time_t date);

    void loadView() override;

private:
    // Throws std::runtime_error when the folder or the file cannot be written.
    std::filesystem::path writeDraft() const;
    // Starts the opener without waiting for it. Returns false when it cannot be started.
    bool open(const std::filesystem::path& draft) const;

    MailHandOff handOff_;
    bool reported_ = false;
    std::filesystem::path draftPath_;
};

} // namespace platform::sdl
