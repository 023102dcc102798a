#include "platform/sdl/DesktopMailComposer.h"

#include "platform/TextControls.h"
#include "platform/Window.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

extern char** environ;

// Sections: the draft's text · writing and opening · screen.

namespace platform::sdl {

namespace {

std::string base64(const std::string& data)
{
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < data.size(); i += 3) {
        const auto n = (std::uint32_t(static_cast<unsigned char>(data[i])) << 16)
                       | (std::uint32_t(static_cast<unsigned char>(data[i + 1])) << 8)
                       | std::uint32_t(static_cast<unsigned char>(data[i + 2]));
        out += alphabet[(n >> 18) & 63];
        out += alphabet[(n >> 12) & 63];
        out += alphabet[(n >> 6) & 63];
        out += alphabet[n & 63];
    }
    if (i < data.size()) {
        std::uint32_t n = std::uint32_t(static_cast<unsigned char>(data[i])) << 16;
        if (i + 1 < data.size())
            n |= std::uint32_t(static_cast<unsigned char>(data[i + 1])) << 8;
        out += alphabet[(n >> 18) & 63];
        out += alphabet[(n >> 12) & 63];
        out += i + 1 < data.size() ? alphabet[(n >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

// One header line whatever the subject holds: a line break in it would let the
// text add headers of its own.
std::string oneLine(const std::string& text)
{
    std::string line = sanitizeUtf8(text);
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = ' ';
    return line;
}

bool isPlainAscii(const std::string& text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x7f || static_cast<unsigned char>(c) < 0x20)
            return false;
    return true;
}

// RFC 2047 encoded words of at most 75 characters, split between whole UTF-8
// characters, on folded lines.
std::string encodedHeaderWords(const std::string& text)
{
    constexpr std::size_t maxBytesPerWord = 45;   // 60 base64 characters
    std::string out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = std::min(text.size(), start + maxBytesPerWord);
        while (end < text.size() && end > start && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            --end;
        if (!out.empty())
            out += "\r\n ";
        out += "=?UTF-8?B?" + base64(text.substr(start, end - start)) + "?=";
        start = end;
    }
    return out;
}

std::string rfc822Date(std::time_t date)
{
    std::tm utc{};
    gmtime_r(&date, &utc);
    static constexpr const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s, %02d %s %04d %02d:%02d:%02d +0000", days[utc.tm_wday % 7], utc.tm_mday,
                  months[utc.tm_mon % 12], utc.tm_year + 1900, utc.tm_hour, utc.tm_min, utc.tm_sec);
    return buffer;
}

std::filesystem::path homeFolder()
{
    const char* home = std::getenv("HOME");
    return home && *home ? home : "/tmp";
}

// The opener's full path, if it can be run.
std::optional<std::string> findExecutable(const std::string& command)
{
    if (command.empty())
        return std::nullopt;
    if (command.find('/') != std::string::npos)
        return access(command.c_str(), X_OK) == 0 ? std::optional(command) : std::nullopt;
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        const std::size_t colon = std::min(folders.find(':', start), folders.size());
        const std::string folder = folders.substr(start, colon - start);
        const std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + command;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = colon + 1;
    }
    return std::nullopt;
}

} // namespace

// --- The draft's text ---------------------------------------------------------------

MailHandOff MailHandOff::fromEnvironment()
{
    MailHandOff handOff;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    // A relative XDG path is invalid by the base-directory rules and is ignored.
    const std::filesystem::path base = dataHome && *dataHome == '/' ? std::filesystem::path(dataHome)
                                                                    : homeFolder() / ".local" / "share";
    handOff.outboxFolder = base / "spoolora" / "outbox";
    return handOff;
}

std::string DesktopMailComposer::draftText(const std::string& subject, const std::string& body, bool html,
                                           std::time_t date)
{
    const std::string line = oneLine(subject);
    std::string text;
    text += "Date: " + rfc822Date(date) + "\r\n";
    text += "Subject: " + (isPlainAscii(line) && line.size() <= 200 ? line : encodedHeaderWords(line)) + "\r\n";
    text += "MIME-Version: 1.0\r\n";
    text += std::string("Content-Type: ") + (html ? "text/html" : "text/plain") + "; charset=utf-8\r\n";
    // Base64 keeps any body within the line-length limits of mail.
    text += "Content-Transfer-Encoding: base64\r\n";
    // Mail programs open a file with this header as a draft to be sent.
    text += "X-Unsent: 1\r\n";
    text += "\r\n";
    const std::string encoded = base64(sanitizeUtf8(body));
    for (std::size_t i = 0; i < encoded.size(); i += 76)
        text += encoded.substr(i, 76) + "\r\n";
    return text;
}

// --- Writing and opening ---------------------------------------------------------------

DesktopMailComposer::DesktopMailComposer(Window& window, MailHandOff handOff)
    : MailComposeViewController(window), handOff_(std::move(handOff))
{
}

std::filesystem::path DesktopMailComposer::writeDraft() const
{
    std::error_code error;
    std::filesystem::create_directories(handOff_.outboxFolder, error);
    if (error)
        throw std::runtime_error("cannot make folder " + handOff_.outboxFolder.string() + ": " + error.message());

    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    static std::atomic<unsigned> counter{0};
    std::filesystem::path path;
    for (;;) {
        char name[96];
        std::snprintf(name, sizeof name, "spoolora-%s-%ld-%u.eml", stamp, static_cast<long>(getpid()), counter++);
        path = handOff_.outboxFolder / name;
        if (!std::filesystem::exists(path, error))
            break;
    }

    // Written beside, then renamed: a mail program never sees half a draft.
    const std::string text = draftText(subject(), messageBody(), isHTML(), now);
    const std::filesystem::path temporary = path.string() + ".part";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        throw std::runtime_error("cannot write " + temporary.string() + ": " + std::strerror(errno));
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const std::string reason = std::strerror(errno);
            ::close(fd);
            ::unlink(temporary.c_str());
            throw std::runtime_error("cannot write " + temporary.string() + ": " + reason);
        }
        written += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const std::string reason = std::strerror(errno);
        ::unlink(temporary.c_str());
        throw std::runtime_error("cannot write " + temporary.string() + ": " + reason);
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const std::string reason = std::strerror(errno);
        ::unlink(temporary.c_str());
        throw std::runtime_error("cannot write " + path.string() + ": " + reason);
    }
    return path;
}

bool DesktopMailComposer::open(const std::filesystem::path& draft) const
{
    const auto opener = findExecutable(handOff_.openerCommand);
    if (!opener)
        return false;
    // The shell puts the opener in the background and ends at once, so nothing waits
    // for the mail program and no child is left unreaped.
    const char* script = "\"$0\" \"$1\" </dev/null >/dev/null 2>&1 &";
    const std::string draftString = draft.string();
    char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), const_cast<char*>(script),
                    const_cast<char*>(opener->c_str()), const_cast<char*>(draftString.c_str()), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ) != 0)
        return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void DesktopMailComposer::send()
{
    if (reported_)
        return;
    reported_ = true;
    try {
        draftPath_ = writeDraft();
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "spoolora: cannot save the mail: %s\n", failure.what());
        const MailError error{failure.what()};
        reportFinished(MailComposeResult::Failed, &error);
        return;
    }
    if (!open(draftPath_))
        std::fprintf(stderr, "spoolora: mail saved as %s (no mail program could be started to open it)\n",
                     draftPath_.c_str());
    reportFinished(MailComposeResult::Saved, nullptr);
}

void DesktopMailComposer::cancel()
{
    if (reported_)
        return;
    reported_ = true;
    reportFinished(MailComposeResult::Cancelled, nullptr);
}

// --- Screen ---------------------------------------------------------------------------------

void DesktopMailComposer::loadView()
{
    const float width = Window::widthPoints;
    const float bar = 44;
    auto root = std::make_unique<View>(Rect{0, 0, width, Window::heightPoints});
    root->setBackgroundColor(Color{0.05f, 0.05f, 0.06f, 1});

    const Color white = Color::white();
    View& top = root->addSubview(std::make_unique<View>(Rect{0, 0, width, bar}));
    top.setBackgroundColor(screenBarColor);
    addTextButton(top, {0, 0, 80, bar}, "Cancel", white).addAction([this] { cancel(); }, ControlEvent::TouchUpInside);
    addLabel(top, {80, 0, width - 160, bar}, "New Message", 17, TextAlignment::Center, white);
    addTextButton(top, {width - 80, 0, 80, bar}, "Send", white)
        .addAction([this] { send(); }, ControlEvent::TouchUpInside);

    addLabel(*root, {12, bar + 12, width - 24, 20}, "Subject", 13, TextAlignment::Left, dimTextColor);
    addLabel(*root, {12, bar + 32, width - 24, 28}, oneLine(subject()), 17, TextAlignment::Left, white);
    View& rule = root->addSubview(std::make_unique<View>(Rect{12, bar + 66, width - 24, 1}));
    rule.setBackgroundColor(Color{1, 1, 1, 0.2f});
    addLabel(*root, {12, bar + 78, width - 24, 20}, "Send opens it in your mail program.", 13, TextAlignment::Left,
             dimTextColor);
    setView(std::move(root));
}

} // namespace platform::sdl
