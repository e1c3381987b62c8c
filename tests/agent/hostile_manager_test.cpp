// A manager that sends garbage, NUL bytes, a megabyte at once, replies
// without line ends, or closes in the middle of a reply: every exchange ends
// with its own result and log line, and nothing overruns a buffer.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "agent/manager_session.h"
#include "agent/socket_layer.h"
#include "app/settings.h"
#include "session_fixture.h"

namespace {

using labpbx::ReceivedAction;
using labpbx::ReplyPlan;

const std::string kMegabyte(1 << 20, 'B');

// Less than one chunk, so that one read takes all of it.
std::string binaryGarbage() {
    std::string text;
    for (int i = 0; i < 1000; ++i) text += static_cast<char>((i * 37 + 11) % 256);
    return text;
}

class HostileManager : public SessionTest {
protected:
    void answer(const std::string& actionName, ReplyPlan plan) {
        server.setActionScript([actionName, plan](const ReceivedAction& received) -> std::optional<ReplyPlan> {
            if (received.action.name() == actionName) return plan;
            return std::nullopt;
        });
    }
    void greetWith(ReplyPlan plan) {
        server.setGreetingScript([plan](int) { return std::optional<ReplyPlan>(plan); });
    }
    char address[kInUseAddressSize];
};

TEST_F(HostileManager, SessionOpening) {
    // A megabyte instead of a greeting: the login reply read finds no
    // success in the flood.
    greetWith({labpbx::sendStep(kMegabyte)});
    EXPECT_EQ(init_iaxAgiSocket(0, address), MGR_REFUSED);
    EXPECT_EQ(g_acmSocket, 0);
    EXPECT_NE(logText().find("**ERR** init_iaxAgiSocket()->login on [queueopr] failed"), std::string::npos);

    greetWith({labpbx::sendStep(binaryGarbage() + binaryGarbage() + binaryGarbage())});
    EXPECT_EQ(init_iaxAgiSocket(0, address), MGR_REFUSED);
    server.setGreetingScript(nullptr);

    // A NUL before the keyword hides it.
    answer("Login", {labpbx::sendStep(std::string("\0Response: Success\r\n\r\n", 22))});
    EXPECT_EQ(init_iaxAgiSocket(0, address), MGR_REFUSED);

    // Closed in the middle of the login reply.
    answer("Login", {labpbx::sendStep("Response: Succ"), labpbx::closeStep()});
    EXPECT_EQ(init_iaxAgiSocket(0, address), MGR_REFUSED);
    EXPECT_EQ(g_acmSocket, 0);

    // Closed right after the greeting: the login read sees the close.
    answer("Login", {labpbx::closeStep()});
    EXPECT_EQ(init_iaxAgiSocket(0, address), SO_DISCONNECTED);
    EXPECT_NE(
        logText().find("**ERR** init_iaxAgiSocket/utl_readMsg(socket disconnection detected) failed-> login on "
                       "[queueopr]"),
        std::string::npos);
    EXPECT_TRUE(server.waitForOpenConnections(0, 3000));
}

TEST_F(HostileManager, ExtensionCheck) {
    answer("IAXExtState", {labpbx::sendStep(binaryGarbage())});
    EXPECT_EQ(init_iaxAgiSocket(1, address), MGR_REFUSED);
    EXPECT_EQ(g_acmSocket, 0);

    // The longest run of digits a reply can carry.
    const std::string run(kSocketChunkSize - 10, '7');
    answer("IAXExtState", {labpbx::sendStep("Response: " + run + "\r\n\r\n")});
    EXPECT_EQ(init_iaxAgiSocket(1, address), MGR_EXT_IN_USE);
    EXPECT_EQ(std::string(address), run);
    EXPECT_EQ(agi_Logout(nullptr), 0);

    // A reply without line ends still counts by its keyword.
    answer("IAXExtState", {labpbx::sendStep("Response: NOTEXIST")});
    EXPECT_EQ(init_iaxAgiSocket(1, address), MGR_EXT_NOT_DEFINED);
    EXPECT_EQ(agi_Logout(nullptr), 0);

    answer("IAXExtState", {labpbx::sendStep(kMegabyte)});
    EXPECT_EQ(init_iaxAgiSocket(1, address), MGR_REFUSED);
    EXPECT_EQ(g_acmSocket, 0);
}

TEST_F(HostileManager, ModeChanges) {
    openAgentSession();
    answer("QueuePause", {labpbx::sendStep(binaryGarbage())});
    EXPECT_EQ(changeAgentMode("Ready", "false"), MODE_FAILED);

    answer("QueuePause", {labpbx::sendStep(std::string("\0\0Response: Success\r\n\r\n", 23))});
    EXPECT_EQ(changeAgentMode("Ready", "false"), MODE_FAILED);

    answer("QueuePause", {labpbx::sendStep("Response: Success")});
    EXPECT_EQ(changeAgentMode("Ready", "false"), MODE_CHANGED);

    // A megabyte: each exchange drains one chunk and reads one more, and
    // finds no keyword in either.
    answer("QueuePause", {labpbx::sendStep(kMegabyte + "Response: Success\r\n\r\n")});
    EXPECT_EQ(changeAgentMode("Ready", "false"), MODE_FAILED);
    server.setActionScript(nullptr);
    EXPECT_EQ(changeAgentMode("Ready", "false"), MODE_FAILED);
    EXPECT_TRUE(boxes.texts().empty());

    // Closed in the middle of a reply.
    openAgentSession();
    answer("QueuePause", {labpbx::sendStep("Response: Su"), labpbx::closeStep()});
    EXPECT_EQ(changeAgentMode("Ready", "false"), MODE_FAILED);
    EXPECT_NE(logText().find("**ERR** changeAgentMode() [Ready] failed on agentid=[1001]"), std::string::npos);
    // What follows on the closed link fails without hanging.
    const auto start = SteadyClock::now();
    EXPECT_LE(changeAgentMode("Ready", "false"), MODE_FAILED);
    EXPECT_LT(msSince(start), 4500);
}

TEST_F(HostileManager, MailboxCounts) {
    openAgentSession();
    answer("MailboxCount", {labpbx::sendStep(binaryGarbage())});
    EXPECT_EQ(checkMWI("default"), MWI_FAILED);

    answer("MailboxCount", {labpbx::sendStep("NewMessages: " + std::string(1000, '9'))});
    EXPECT_EQ(checkMWI("default"), INT_MAX);

    answer("MailboxCount", {labpbx::sendStep(std::string("NewMessages: \0"
                                                         "5",
                                                         15))});
    EXPECT_EQ(checkMWI("default"), 0);

    answer("MailboxCount", {labpbx::sendStep(kMegabyte)});
    EXPECT_EQ(checkMWI("default"), MWI_FAILED);

    // An over-long context cannot make an over-long action: the send
    // refuses it and nothing goes out.
    server.setActionScript(nullptr);
    const size_t before = server.bytesReceived();
    const std::string context(1100, 'c');
    EXPECT_EQ(checkMWI(context.c_str()), MWI_FAILED);
    ASSERT_EQ(boxes.texts().size(), 1u);
    EXPECT_EQ(boxes.texts()[0].rfind("**WRN** checkMWI(Action: MailboxCount\r\nMailbox: 2001@ccc", 0), 0u);
    EXPECT_EQ(server.bytesReceived(), before);
}

}  // namespace
