#include <gtest/gtest.h>

#include <unistd.h>

#include "agent/manager_session.h"
#include "agent/socket_layer.h"
#include "app/settings.h"
#include "session_fixture.h"

namespace {

using labpbx::ReceivedAction;
using labpbx::ReplyPlan;

class MailboxCheck : public SessionTest {
protected:
    void SetUp() override {
        SessionTest::SetUp();
        openAgentSession();
        // The reply's second segment comes 10 ms after the first: a 50 ms
        // delay before the read gets both.
        g_settings.acmDelayB4Read = 50;
    }
    void replyWith(const std::string& text) {
        server.setActionScript([text](const ReceivedAction& received) -> std::optional<ReplyPlan> {
            if (received.action.name() == "MailboxCount") return ReplyPlan{labpbx::sendStep(text)};
            return std::nullopt;
        });
    }
};

TEST_F(MailboxCheck, CountsFromTheRealTwoSegmentReply) {
    EXPECT_EQ(checkMWI("default"), 3);
    EXPECT_EQ(actionTexts().back(), wire::mailboxCount("2001@default"));
    EXPECT_TRUE(server.setNewMessages("2001@default", 0));
    EXPECT_EQ(checkMWI("default"), 0);
    // Another context: the lab PBX knows no such mailbox and counts 0.
    EXPECT_EQ(checkMWI("sales"), 0);
    EXPECT_EQ(actionTexts().back(), wire::mailboxCount("2001@sales"));
    EXPECT_NE(logText().find("**ERR** checkMWI(2001@default) NewMessages=[3]"), std::string::npos);
    EXPECT_TRUE(boxes.texts().empty());
}

TEST_F(MailboxCheck, ReadingTooEarlyMissesTheCount) {
    // The manager's two segments, here 300 ms apart: without the delay the
    // first read holds only "Response: Success".
    server.setActionScript([](const ReceivedAction& received) -> std::optional<ReplyPlan> {
        if (received.action.name() != "MailboxCount") return std::nullopt;
        return labpbx::splitPlan("Response: Success\r\nMessage: Mailbox Message Count\r\nNewMessages: 3\r\n\r\n",
                                 19, 300);
    });
    g_settings.acmDelayB4Read = 0;
    EXPECT_EQ(checkMWI("default"), MWI_FAILED);
    EXPECT_NE(
        logText().find("**ERR** checkMWI(2001@default) NewMessages keyword not found=[Response: Success\r\n]"),
        std::string::npos);
}

TEST_F(MailboxCheck, ReplyRules) {
    replyWith("Response: Success\r\nMessage: Mailbox Message Count\r\nNewMessages: \r\nOldMessages: 2\r\n\r\n");
    EXPECT_EQ(checkMWI("default"), 0);
    EXPECT_NE(logText().find("**WRN** checkMWI(2001@default) cannot read 'NewMessages: <count>'; zero assumed"),
              std::string::npos);

    replyWith("Response: Error\r\nMessage: Permission denied\r\n\r\n");
    EXPECT_EQ(checkMWI("default"), MWI_FAILED);

    replyWith("Junk first NewMessages: 42 and more");
    EXPECT_EQ(checkMWI("default"), 42);

    // A negative count is no count.
    replyWith("Response: Success\r\nNewMessages: -1\r\n\r\n");
    EXPECT_EQ(checkMWI("default"), 0);
    EXPECT_TRUE(boxes.texts().empty());
}

TEST_F(MailboxCheck, Failures) {
    // Orderly close: a failure, not a lost link.
    server.setActionScript([](const ReceivedAction& received) -> std::optional<ReplyPlan> {
        if (received.action.name() == "MailboxCount") return ReplyPlan{labpbx::closeStep()};
        return std::nullopt;
    });
    EXPECT_EQ(checkMWI("default"), MWI_FAILED);
    EXPECT_NE(logText().find("**ERR** checkMWI(2001@default)->utl_readMsg(socket disconnection detected) failed"),
              std::string::npos);
    EXPECT_TRUE(boxes.texts().empty());

    // Reset: the link is lost; the check does not touch the handle.
    openAgentSession();
    const int handle = g_acmSocket;
    server.setActionScript([](const ReceivedAction& received) -> std::optional<ReplyPlan> {
        if (received.action.name() == "MailboxCount") return ReplyPlan{labpbx::resetStep()};
        return std::nullopt;
    });
    EXPECT_EQ(checkMWI("default"), MWI_LINK_LOST);
    EXPECT_EQ(g_acmSocket, handle);
    EXPECT_TRUE(boxes.texts().empty());

    // The send on the lost link fails: the warning box, and -1.
    EXPECT_EQ(checkMWI("default"), MWI_LINK_LOST);
    const std::string warning = "**WRN** checkMWI(" + wire::mailboxCount("2001@default") + ") failed";
    ASSERT_EQ(boxes.texts(), std::vector<std::string>{warning});
    EXPECT_EQ(boxes.shown[0].icon, BoxIcon::None);

    // No session: -2, logged; the box already told the agent.
    close(g_acmSocket);
    g_acmSocket = 0;
    EXPECT_EQ(checkMWI("default"), MWI_FAILED);
    EXPECT_EQ(boxes.texts().size(), 1u);
}

TEST_F(MailboxCheck, FailedSendsShowOneBoxUntilAnExchangeGetsThrough) {
    server.setActionScript([](const ReceivedAction& received) -> std::optional<ReplyPlan> {
        if (received.action.name() == "MailboxCount") return ReplyPlan{labpbx::resetStep()};
        return std::nullopt;
    });
    EXPECT_EQ(checkMWI("default"), MWI_LINK_LOST);  // the link is lost on the read
    // Period after period the send fails: one box, every failure logged.
    for (int period = 0; period < 3; ++period) EXPECT_EQ(checkMWI("default"), MWI_LINK_LOST);
    const std::string warning = "**WRN** checkMWI(" + wire::mailboxCount("2001@default") + ") failed";
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{warning});
    size_t logged = 0;
    const std::string log = logText();
    for (size_t at = log.find(warning); at != std::string::npos; at = log.find(warning, at + 1)) ++logged;
    EXPECT_EQ(logged, 3u);

    // A new session gets through; when the link is lost again, the agent is
    // told again.
    openAgentSession();
    server.setActionScript(nullptr);
    EXPECT_EQ(checkMWI("default"), 3);
    server.setActionScript([](const ReceivedAction& received) -> std::optional<ReplyPlan> {
        if (received.action.name() == "MailboxCount") return ReplyPlan{labpbx::resetStep()};
        return std::nullopt;
    });
    EXPECT_EQ(checkMWI("default"), MWI_LINK_LOST);
    EXPECT_EQ(checkMWI("default"), MWI_LINK_LOST);
    EXPECT_EQ(checkMWI("default"), MWI_LINK_LOST);
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{warning, warning}));
}

TEST_F(MailboxCheck, SilenceEndsAfterFiveSeconds) {
    server.setActionScript([](const ReceivedAction& received) -> std::optional<ReplyPlan> {
        if (received.action.name() == "MailboxCount") return ReplyPlan{};
        return std::nullopt;
    });
    const auto start = SteadyClock::now();
    EXPECT_EQ(checkMWI("default"), MWI_FAILED);
    EXPECT_GE(msSince(start), 4900);
    EXPECT_LT(msSince(start), 15000);
    EXPECT_NE(logText().find("**ERR** checkMWI(2001@default)->utl_readMsg(read msg (select()) timeout) failed"),
              std::string::npos);
}

}  // namespace
