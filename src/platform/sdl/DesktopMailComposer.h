#pragma once
// The mail composer of the desktop. Its screen shows the subject with Cancel and
// Send; Send hands the message to the listener's own mail program, which is the
// real composer here: one that takes an HTML body on its command line when one is
// installed, else the desktop's `xdg-email` with a plain-text body, else the
// message becomes an e-mail draft file (RFC 822, HTML body) in the outbox folder,
// which the desktop's opener is asked to show.

#include "platform/MailComposer.h"

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace platform::sdl {

struct MailHandOff {
    // Where drafts are written; made when missing.
    std::filesystem::path outboxFolder;
    // Run with the draft's path to open it; empty only saves.
    std::string openerCommand = "xdg-open";
    // A mail program whose compose window takes the subject and an HTML body on
    // its command line (Thunderbird's `-compose`); empty skips it.
    std::string htmlMailCommand = "thunderbird";
    // Run as `COMMAND --subject S --body B` with a plain-text body; empty skips it.
    std::string plainMailCommand = "xdg-email";

    // $XDG_DATA_HOME/spoolora/outbox (or ~/.local/share/spoolora/outbox), opened with xdg-open.
    static MailHandOff fromEnvironment();
};

class DesktopMailComposer final : public MailComposeViewController {
public:
    DesktopMailComposer(Window& window, MailHandOff handOff);

    // Hands the message to the first mail program that starts (without waiting for
    // it), else writes the draft and hands that to the opener. Reports Saved once
    // a program has the message or the draft is written (whether or not an opener
    // could show it), Failed with the reason only when nothing worked, the draft
    // included. Reports once; later calls do nothing.
    void send();
    // Reports Cancelled (once).
    void cancel();
    // Escape cancels, as "Cancel" does.
    bool keyEvent(const KeyEvent& event, KeyPhase phase) override;
    bool hasReported() const noexcept { return reported_; }
    // The draft last written, if any.
    const std::filesystem::path& draftPath() const noexcept { return draftPath_; }

    // The message as a draft file's text: headers with CRLF line ends, the subject
    // on one line (encoded when it is not plain ASCII), the body in base64.
    static std::string draftText(const std::string& subject, const std::string& body, bool html, std::time_t date);
    // The body as plain text for a mail program that takes no HTML: tags dropped,
    // line breaks and paragraphs kept as new lines, a link's address kept beside
    // its text (once, when the text is the address), a picture as its address,
    // character references decoded.
    static std::string plainTextFromHtml(const std::string& html);
    // The argument vectors of the two kinds of mail program, without the program.
    static std::vector<std::string> htmlMailArguments(const std::string& subject, const std::string& htmlBody);
    static std::vector<std::string> plainMailArguments(const std::string& subject, const std::string& plainBody);

    void loadView() override;

private:
    // Throws std::runtime_error when the folder or the file cannot be written.
    std::filesystem::path writeDraft() const;
    // Starts the program named by `command` without waiting for it. Returns false
    // when there is none or it cannot be started.
    static bool start(const std::string& command, const std::vector<std::string>& arguments);

    MailHandOff handOff_;
    bool reported_ = false;
    std::filesystem::path draftPath_;
};

} // namespace platform::sdl
