// The recommendation mail: the composer's content, how finishing closes it, and
// the two failure paths (no composer at all, and a failed send).

#include "support/PlayerWorld.h"

namespace {

using namespace playertest;

const platform::AlertSpec failureAlert{"Email", "Problem sending Email. Please check your network connectivity.",
                                       "OK"};

class ShareByMail : public PlayerWorld {
protected:
    void SetUp() override { showScreen(); }
};

TEST_F(ShareByMail, ComposerOpensWithSubjectAndHtmlBody)
{
    platform.advance(3);
    controller.shareAction();
    auto* composer = platform.presentedComposer();
    ASSERT_NE(composer, nullptr);
    EXPECT_EQ(composer->mailComposeDelegate(), &controller);
    const platform::headless::MailMessage message = composer->message();
    EXPECT_EQ(message.subject, "You might like this cool vintage music app!");
    EXPECT_EQ(message.body, "SPOOL<b>ORA</b> - Deluxe Cassette Player for iPhone, iPod Touch and Android - "
                            "<a href=\"http://spoolora.example/\">http://spoolora.example/<br>"
                            "<img src=\"http://spoolora.example/Spoolora_square.jpg\"></a>");
    EXPECT_TRUE(message.html);
    EXPECT_EQ(message.barStyle, 1);
    EXPECT_DOUBLE_EQ(secondsUntil(controller.hideControlsDate), 5.0);
}

TEST_F(ShareByMail, FinishingClosesTheComposerAndOnlyFailuresAlert)
{
    struct Row {
        std::int32_t result;
        bool alerts;
    };
    const Row rows[] = {{0, false}, {1, false}, {2, false}, {3, true}, {4, true}, {-1, false}};
    std::size_t alerts = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.result);
        controller.shareAction();
        ASSERT_NE(platform.presentedComposer(), nullptr);
        platform.presentedComposer()->finish(row.result);
        platform.advance(1);
        EXPECT_EQ(platform.presentedComposer(), nullptr);
        if (row.alerts)
            ++alerts;
        ASSERT_EQ(platform.window().alertsShown().size(), alerts);
        if (row.alerts) {
            EXPECT_EQ(platform.window().alertsShown().back(), failureAlert);
        }
        while (platform.window().isAlertVisible())
            platform.window().dismissAlert();
    }
}

TEST_F(ShareByMail, ComposerThatCannotBeMadeLeavesTheScreenAsItWas)
{
    platform.armMailException();
    EXPECT_NO_THROW(controller.shareAction());
    EXPECT_EQ(platform.window().presentedController(), nullptr);
    EXPECT_TRUE(platform.window().alertsShown().empty());
    EXPECT_DOUBLE_EQ(secondsUntil(controller.hideControlsDate), 5.0);
    // The next attempt works.
    controller.shareAction();
    EXPECT_NE(platform.presentedComposer(), nullptr);
}

} // namespace
