// The desktop's mail composer: the message goes to the listener's mail program
// (stand-ins on a private PATH here) exactly as prepared, whatever the subject
// holds, or becomes a draft file a mail program can open; the listener hears how
// it went.

#include "platform/Window.h"
#include "platform/headless/VirtualClock.h"
#include "platform/sdl/ChildProcess.h"
#include "platform/sdl/DesktopMailComposer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <sstream>
#include <string>
#include <vector>

using platform::MailComposeResult::Cancelled;
using platform::MailComposeResult::Failed;
using platform::MailComposeResult::Saved;
using platform::sdl::DesktopMailComposer;

namespace {

std::string decodeBase64(const std::string& text)
{
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (const char c : text) {
        const auto at = alphabet.find(c);
        if (at == std::string::npos)
            continue;   // padding and line breaks
        bits = (bits << 6) | unsigned(at);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += char((bits >> count) & 0xff);
        }
    }
    return out;
}

std::vector<std::string> crlfLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    lines.push_back(text.substr(start));
    return lines;
}

struct Finish {
    std::int32_t result = -1;
    std::string error;
};

class Listener : public platform::MailComposeDelegate {
public:
    std::vector<Finish> finishes;
    void mailComposeControllerDidFinishWithResultError(platform::MailComposeViewController&, std::int32_t result,
                                                       const platform::MailError* error) override
    {
        finishes.push_back({result, error ? error->description : std::string()});
    }
};

std::string fileText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Waits for a file that a started program writes (it runs on its own, not waited for).
bool appears(const std::filesystem::path& path)
{
    for (int i = 0; i < 500; ++i) {
        if (std::filesystem::exists(path))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

class DesktopMail : public ::testing::Test {
protected:
    platform::headless::VirtualClock clock;
    platform::Window window{clock};
    Listener listener;
    std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                   ("spoolora-mail-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                    "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::path bin = folder / "bin";
    std::string savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";

    // Only the stand-ins a test puts into `bin` can be found.
    void SetUp() override
    {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(bin);
        setenv("PATH", bin.c_str(), 1);
    }
    void TearDown() override
    {
        setenv("PATH", savedPath.c_str(), 1);
        std::filesystem::remove_all(folder);
    }

    // A program that writes its arguments, each ended by a NUL, to NAME.args beside it.
    void standIn(const std::string& name)
    {
        const std::filesystem::path path = bin / name;
        // The player's PATH holds only the stand-ins; the stand-in needs the usual tools.
        std::ofstream(path) << "#!/bin/sh\n"
                               "PATH=/usr/bin:/bin\n"
                               "out=\"$(dirname \"$0\")/$(basename \"$0\").args\"\n"
                               "for a in \"$@\"; do printf '%s\\0' \"$a\"; done >\"$out.part\" && mv \"$out.part\" \"$out\"\n";
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    }
    std::vector<std::string> argumentsOf(const std::string& name)
    {
        const std::filesystem::path path = bin / (name + ".args");
        if (!appears(path))
            return {"(" + name + " did not run)"};
        std::vector<std::string> arguments;
        const std::string text = fileText(path);
        for (std::size_t start = 0, end; (end = text.find('\0', start)) != std::string::npos; start = end + 1)
            arguments.push_back(text.substr(start, end - start));
        return arguments;
    }

    std::unique_ptr<DesktopMailComposer> composer(std::filesystem::path outbox, std::string opener = "")
    {
        auto c = std::make_unique<DesktopMailComposer>(
            window, platform::sdl::MailHandOff{std::move(outbox), std::move(opener), "thunderbird", "xdg-email"});
        c->setMailComposeDelegate(&listener);
        c->setSubject("Spoolora & friends");
        c->setMessageBodyIsHTML("<p>Listen to <b>this</b> \xE2\x80\x94 now</p>", true);
        return c;
    }
};

} // namespace

TEST_F(DesktopMail, DraftIsAnHtmlMessageWhoseSubjectCannotAddHeaders)
{
    const std::string draft = DesktopMailComposer::draftText("Tape\r\nBcc: someone@example.org", "<p>Body</p>", true, 0);
    const auto lines = crlfLines(draft);
    // Headers end at the first empty line; none of them was smuggled in by the subject.
    std::size_t blank = 0;
    while (blank < lines.size() && !lines[blank].empty())
        ++blank;
    ASSERT_LT(blank, lines.size());
    int subjects = 0;
    for (std::size_t i = 0; i < blank; ++i) {
        EXPECT_NE(lines[i].rfind("Bcc:", 0), 0u) << lines[i];
        subjects += lines[i].rfind("Subject:", 0) == 0;
    }
    EXPECT_EQ(subjects, 1);
    EXPECT_NE(draft.find("Content-Type: text/html; charset=utf-8\r\n"), std::string::npos);
    EXPECT_NE(draft.find("Date: Thu, 01 Jan 1970 00:00:00 +0000\r\n"), std::string::npos);
    // No bare line feeds anywhere, and the body comes back whole.
    EXPECT_EQ(draft.find('\n'), draft.find("\r\n") + 1);
    for (const std::string& line : lines)
        EXPECT_EQ(line.find('\n'), std::string::npos);
    std::string body;
    for (std::size_t i = blank + 1; i < lines.size(); ++i) {
        EXPECT_LE(lines[i].size(), 76u);
        body += lines[i];
    }
    EXPECT_EQ(decodeBase64(body), "<p>Body</p>");
}

TEST_F(DesktopMail, SubjectBeyondAsciiIsEncodedInWholeCharacters)
{
    // 40 two-byte letters: more than one encoded word's worth.
    std::string subject;
    for (int i = 0; i < 40; ++i)
        subject += "\xC3\xBC";   // ü
    const std::string draft = DesktopMailComposer::draftText(subject, "", true, 0);
    const auto lines = crlfLines(draft);
    std::string decoded;
    bool inSubject = false;
    for (const std::string& line : lines) {
        if (line.rfind("Subject: ", 0) == 0)
            inSubject = true;
        else if (!line.starts_with(" "))
            inSubject = false;
        if (!inSubject)
            continue;
        const auto start = line.find("=?UTF-8?B?");
        ASSERT_NE(start, std::string::npos) << line;
        const std::string word = line.substr(start);
        EXPECT_LE(word.size(), 75u);
        const std::string piece = decodeBase64(word.substr(10, word.size() - 12));
        // Every word holds whole characters: an even number of bytes here.
        EXPECT_EQ(piece.size() % 2, 0u);
        decoded += piece;
    }
    EXPECT_EQ(decoded, subject);
}

TEST_F(DesktopMail, SendSavesTheDraftAndReportsOnce)
{
    auto c = composer(folder / "outbox");
    c->send();
    c->send();   // a second tap while the screen slides away
    ASSERT_EQ(listener.finishes.size(), 1u);
    EXPECT_EQ(listener.finishes[0].result, Saved);
    ASSERT_TRUE(std::filesystem::exists(c->draftPath()));
    EXPECT_EQ(c->draftPath().parent_path(), folder / "outbox");
    EXPECT_EQ(c->draftPath().extension(), ".eml");
    std::ifstream in(c->draftPath(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("Subject: Spoolora & friends\r\n"), std::string::npos);
    // Nothing half-written is left beside it.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder / "outbox"))
        files += entry.is_regular_file();
    EXPECT_EQ(files, 1);
}

TEST_F(DesktopMail, DraftIsSavedEvenWhenNoProgramCanOpenIt)
{
    auto c = composer(folder / "outbox", "spoolora-no-such-opener");
    c->send();
    ASSERT_EQ(listener.finishes.size(), 1u);
    EXPECT_EQ(listener.finishes[0].result, Saved);
    EXPECT_TRUE(std::filesystem::exists(c->draftPath()));
}

TEST_F(DesktopMail, UnwritableOutboxReportsFailureWithTheReason)
{
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "a-file") << "in the way";
    auto c = composer(folder / "a-file" / "outbox");
    c->send();
    ASSERT_EQ(listener.finishes.size(), 1u);
    EXPECT_EQ(listener.finishes[0].result, Failed);
    EXPECT_NE(listener.finishes[0].error.find("a-file"), std::string::npos) << listener.finishes[0].error;
}

TEST_F(DesktopMail, CancelReportsCancelledOnce)
{
    auto c = composer(folder / "outbox");
    c->cancel();
    c->send();
    ASSERT_EQ(listener.finishes.size(), 1u);
    EXPECT_EQ(listener.finishes[0].result, Cancelled);
    EXPECT_FALSE(std::filesystem::exists(folder / "outbox"));
}

TEST_F(DesktopMail, EscapeOnTheShareScreenCancels)
{
    window.presentModal(composer(folder / "outbox"), false);
    EXPECT_TRUE(window.keyEvent(platform::KeyEvent::named(platform::Key::Escape), platform::KeyPhase::Down));
    ASSERT_EQ(listener.finishes.size(), 1u);
    EXPECT_EQ(listener.finishes[0].result, Cancelled);
    EXPECT_FALSE(std::filesystem::exists(folder / "outbox"));
}

// What a hostile subject would do through a shell: end the argument, run a command, add a line.
const std::string hostileSubject = "Tape \"A\"; it's $(touch PWNED) `touch PWNED`\nBcc: x@example.org";
const std::string recommendation = "SPOOL<b>ORA</b> - Deluxe Cassette Player for iPhone, iPod Touch and Android - "
                                   "<a href=\"http://spoolora.example/\">http://spoolora.example/<br>"
                                   "<img src=\"http://spoolora.example/Spoolora_square.jpg\"></a>";

TEST_F(DesktopMail, HtmlMailProgramGetsTheSubjectAndHtmlBodyAsText)
{
    standIn("thunderbird");
    standIn("xdg-email");
    auto c = composer(folder / "outbox");
    c->setSubject(hostileSubject);
    c->setMessageBodyIsHTML(recommendation, true);
    c->send();
    ASSERT_EQ(listener.finishes.size(), 1u);
    EXPECT_EQ(listener.finishes[0].result, Saved);
    const std::vector<std::string> expected{
        "-compose", "subject='Tape \"A\"; it\xE2\x80\x99s $(touch PWNED) `touch PWNED` Bcc: x@example.org',"
                    "format=html,body='" + recommendation + "'"};
    EXPECT_EQ(argumentsOf("thunderbird"), expected);
    EXPECT_FALSE(std::filesystem::exists(bin / "xdg-email.args"));
    EXPECT_FALSE(std::filesystem::exists(folder / "outbox"));
    EXPECT_FALSE(std::filesystem::exists("PWNED"));
}

TEST_F(DesktopMail, WithoutAnHtmlMailProgramXdgEmailGetsAPlainTextBody)
{
    standIn("xdg-email");
    auto c = composer(folder / "outbox");
    c->setSubject(hostileSubject);
    c->setMessageBodyIsHTML(recommendation, true);
    c->send();
    ASSERT_EQ(listener.finishes.size(), 1u);
    EXPECT_EQ(listener.finishes[0].result, Saved);
    const std::vector<std::string> expected{
        "--utf8", "--subject", "Tape \"A\"; it's $(touch PWNED) `touch PWNED` Bcc: x@example.org", "--body",
        "SPOOLORA - Deluxe Cassette Player for iPhone, iPod Touch and Android - http://spoolora.example/"};
    EXPECT_EQ(argumentsOf("xdg-email"), expected);
    EXPECT_FALSE(std::filesystem::exists(folder / "outbox"));
    EXPECT_FALSE(std::filesystem::exists("PWNED"));
}

TEST_F(DesktopMail, WithoutAMailProgramTheDraftGoesToTheOpener)
{
    standIn("xdg-open");
    auto c = composer(folder / "outbox", "xdg-open");
    c->send();
    ASSERT_EQ(listener.finishes.size(), 1u);
    EXPECT_EQ(listener.finishes[0].result, Saved);
    EXPECT_EQ(argumentsOf("xdg-open"), std::vector<std::string>{c->draftPath().string()});
}

TEST_F(DesktopMail, ProgramThatCannotStartFallsThroughToTheNext)
{
    std::ofstream(bin / "thunderbird") << "not a program";
    std::filesystem::permissions(bin / "thunderbird", std::filesystem::perms::owner_read);
    auto c = composer(folder / "outbox");
    c->send();
    ASSERT_EQ(listener.finishes.size(), 1u);
    EXPECT_EQ(listener.finishes[0].result, Saved);
    EXPECT_TRUE(std::filesystem::exists(c->draftPath()));
}

TEST(PlainTextFromHtml, KeepsTheTextLinesAndAddresses)
{
    const struct {
        const char* html;
        const char* text;
    } cases[] = {
        {"SPOOL<b>ORA</b> - <a href=\"http://x.example/\">http://x.example/<br><img src=\"http://x.example/p.jpg\"></a>",
         "SPOOLORA - http://x.example/"},
        {"<p>One</p><p>Two<br/>Three</p>", "One\nTwo\nThree"},
        {"Go <a href='http://x.example/?a=1&amp;b=2'>there</a> now", "Go there <http://x.example/?a=1&b=2> now"},
        {"<IMG SRC=x ALT=\"tape\"> &lt;3 &amp; &#65;&#x42; &bogus; a < b", "tape <3 & AB &bogus; a < b"},
        {"&#0; &#x110000;", "\xEF\xBF\xBD \xEF\xBF\xBD"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.html);
        EXPECT_EQ(DesktopMailComposer::plainTextFromHtml(c.html), c.text);
    }
}

TEST(ChildProcess, FinishedHelperIsReapedWithoutBeingWaitedFor)
{
    const auto program = platform::sdl::findExecutable("/bin/true");
    ASSERT_TRUE(program);
    const auto pid = platform::sdl::startDetached(*program, {});
    ASSERT_TRUE(pid);
    // Unreaped, it would linger in the process table as a zombie.
    const std::filesystem::path entry = "/proc/" + std::to_string(*pid);
    bool gone = false;
    for (int i = 0; i < 500 && !gone; ++i) {
        gone = !std::filesystem::exists(entry);
        if (!gone)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(gone);
    EXPECT_FALSE(platform::sdl::startDetached("/nonexistent/program", {}));
}
