#include "platform/sdl/DesktopMailComposer.h"

#include "platform/AtomicFile.h"
#include "platform/TextControls.h"
#include "platform/Utf8.h"
#include "platform/Window.h"
#include "platform/sdl/ChildProcess.h"

#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string_view>
#include <utility>

// Sections: the draft's text · the plain-text body · writing and handing over · screen.

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

// --- The plain-text body ---------------------------------------------------------------

namespace {

void appendUtf8(std::string& out, std::uint32_t code)
{
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        code = 0xFFFD;
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

// Decodes the character references of `text`; an unknown one stays as written.
std::string decodeReferences(std::string_view text)
{
    static constexpr std::pair<std::string_view, std::string_view> named[] = {
        {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}, {"nbsp", "\xC2\xA0"}};
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t semicolon = text[i] == '&' ? text.find(';', i) : std::string_view::npos;
        if (semicolon == std::string_view::npos || semicolon - i > 10) {
            out += text[i++];
            continue;
        }
        const std::string_view name = text.substr(i + 1, semicolon - i - 1);
        bool known = false;
        if (name.size() > 1 && name[0] == '#') {
            const bool hex = name[1] == 'x' || name[1] == 'X';
            const std::string digits(name.substr(hex ? 2 : 1));
            char* end = nullptr;
            const unsigned long code = std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
            if (!digits.empty() && end && *end == '\0') {
                appendUtf8(out, code > 0x10FFFF ? 0xFFFD : static_cast<std::uint32_t>(code));
                known = true;
            }
        } else {
            for (const auto& [entity, replacement] : named)
                if (name == entity) {
                    out += replacement;
                    known = true;
                }
        }
        if (known)
            i = semicolon + 1;
        else
            out += text[i++];
    }
    return out;
}

// The value of attribute `name` in a tag's inside (`a href="x"`), decoded.
std::string attribute(std::string_view tag, std::string_view name)
{
    std::string lower(tag);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::size_t at = 0;
    while ((at = lower.find(name, at)) != std::string::npos) {
        const bool startsWord = at > 0 && std::isspace(static_cast<unsigned char>(lower[at - 1]));
        std::size_t i = at + name.size();
        while (i < tag.size() && std::isspace(static_cast<unsigned char>(tag[i])))
            ++i;
        if (!startsWord || i >= tag.size() || tag[i] != '=') {
            at += name.size();
            continue;
        }
        ++i;
        while (i < tag.size() && std::isspace(static_cast<unsigned char>(tag[i])))
            ++i;
        if (i < tag.size() && (tag[i] == '"' || tag[i] == '\'')) {
            const std::size_t close = tag.find(tag[i], i + 1);
            return decodeReferences(tag.substr(i + 1, (close == std::string_view::npos ? tag.size() : close) - i - 1));
        }
        std::size_t end = i;
        while (end < tag.size() && !std::isspace(static_cast<unsigned char>(tag[end])))
            ++end;
        return decodeReferences(tag.substr(i, end - i));
    }
    return {};
}

} // namespace

std::string DesktopMailComposer::plainTextFromHtml(const std::string& html)
{
    const std::string text = sanitizeUtf8(html);
    std::string out;
    std::string linkAddress;
    std::size_t linkTextStart = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t open = text.find('<', i);
        out += decodeReferences(std::string_view(text).substr(i, (open == std::string::npos ? text.size() : open) - i));
        if (open == std::string::npos)
            break;
        const std::size_t close = text.find('>', open);
        if (close == std::string::npos) {
            // Not a tag after all: a lone "<" in the text.
            out += decodeReferences(std::string_view(text).substr(open));
            break;
        }
        const std::string_view tag = std::string_view(text).substr(open + 1, close - open - 1);
        const bool closing = tag.starts_with('/');
        std::string name;
        for (std::size_t k = closing ? 1 : 0; k < tag.size() && std::isalnum(static_cast<unsigned char>(tag[k])); ++k)
            name += static_cast<char>(std::tolower(static_cast<unsigned char>(tag[k])));

        if (name == "br" || (closing && (name == "p" || name == "div" || name == "li" || name == "tr"))) {
            out += '\n';
        } else if (name == "img") {
            out += attribute(tag, "alt");
        } else if (name == "a" && !closing) {
            linkAddress = attribute(tag, "href");
            linkTextStart = out.size();
        } else if (name == "a" && closing && !linkAddress.empty()) {
            // The address stays readable in the text, once.
            if (out.find(linkAddress, linkTextStart) == std::string::npos)
                out += " <" + linkAddress + ">";
            linkAddress.clear();
        }
        i = close + 1;
    }
    while (!out.empty() && std::isspace(static_cast<unsigned char>(out.back())))
        out.pop_back();
    return out;
}

// --- Writing and handing over -----------------------------------------------------------

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
    writeFileAtomically(path, draftText(subject(), messageBody(), isHTML(), now));
    return path;
}

bool DesktopMailComposer::start(const std::string& command, const std::vector<std::string>& arguments)
{
    const auto program = findExecutable(command);
    return program && startDetached(*program, arguments).has_value();
}

std::vector<std::string> DesktopMailComposer::htmlMailArguments(const std::string& subject, const std::string& htmlBody)
{
    // Thunderbird reads `key='value'` pairs split at commas outside the quotes, and
    // a value cannot hold a quote of its own: the subject gets the typographic
    // apostrophe instead, the body the character reference, which shows the same.
    std::string quotedSubject;
    for (const char c : oneLine(subject))
        quotedSubject += c == '\'' ? std::string("\xE2\x80\x99") : std::string(1, c);
    std::string quotedBody;
    for (const char c : sanitizeUtf8(htmlBody))
        quotedBody += c == '\'' ? std::string("&#39;") : std::string(1, c);
    return {"-compose", "subject='" + quotedSubject + "',format=html,body='" + quotedBody + "'"};
}

std::vector<std::string> DesktopMailComposer::plainMailArguments(const std::string& subject,
                                                                 const std::string& plainBody)
{
    return {"--utf8", "--subject", oneLine(subject), "--body", sanitizeUtf8(plainBody)};
}

void DesktopMailComposer::send()
{
    if (reported_)
        return;
    reported_ = true;
    // The listener's mail program is the composer that sends; once it has the
    // message, the rest is between the listener and it.
    if (isHTML() && start(handOff_.htmlMailCommand, htmlMailArguments(subject(), messageBody()))) {
        reportFinished(MailComposeResult::Saved, nullptr);
        return;
    }
    const std::string plainBody = isHTML() ? plainTextFromHtml(messageBody()) : messageBody();
    if (start(handOff_.plainMailCommand, plainMailArguments(subject(), plainBody))) {
        reportFinished(MailComposeResult::Saved, nullptr);
        return;
    }
    try {
        draftPath_ = writeDraft();
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "spoolora: cannot save the mail: %s\n", failure.what());
        const MailError error{failure.what()};
        reportFinished(MailComposeResult::Failed, &error);
        return;
    }
    if (start(handOff_.openerCommand, {draftPath_.string()}))
        std::fprintf(stderr, "spoolora: no mail program found; the mail is saved as %s\n", draftPath_.c_str());
    else
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

bool DesktopMailComposer::keyEvent(const KeyEvent& event, KeyPhase phase)
{
    if (event.key != Key::Escape)
        return false;
    if (phase == KeyPhase::Down && !event.repeat)
        cancel();
    return true;
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
