// The manager link's log lines, byte for byte, with debug logging and the
// link traffic switched on and off.
#include <gtest/gtest.h>

#include <unistd.h>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "agent/manager_session.h"
#include "agent/socket_layer.h"
#include "app/settings.h"
#include "session_fixture.h"

namespace {

using labpbx::ExtState;
using labpbx::ExtStateAnswer;

enum class Shown { Debug, Link, Always };
using Lines = std::vector<std::pair<Shown, std::string>>;

struct Switches {
    int debug;
    int linkDebug;
};

void PrintTo(const Switches& switches, std::ostream* out) {
    *out << "debug " << switches.debug << " linkDebug " << switches.linkDebug;
}

class SessionLog : public SessionTest, public ::testing::WithParamInterface<Switches> {
protected:
    void SetUp() override {
        SessionTest::SetUp();
        g_settings.debug = GetParam().debug;
        g_settings.linkDebug = GetParam().linkDebug;
        port = std::to_string(server.port());
    }

    // The log the lines make under the switches in force.
    std::string expected(const Lines& lines) const {
        std::string text;
        for (const auto& [shown, line] : lines) {
            const bool written = shown == Shown::Always || (GetParam().debug && shown == Shown::Debug) ||
                                 (GetParam().debug && GetParam().linkDebug && shown == Shown::Link);
            if (written) text += expectedLog({line});
        }
        return text;
    }

    Lines sessionOpening() const {
        return {
            {Shown::Debug, "**DEB** init_iaxAgiSocket()-> Connecting to 127.0.0.1:" + port + "...\n"},
            {Shown::Debug, "**DEB** init_iaxAgiSocket(): connected to (127.0.0.1," + port + ")"},
            {Shown::Link, "**DEB** init_iaxAgiSocket(connect/purge)->response=Asterisk Call Manager/10.0.0\r\n"},
            {Shown::Link, "**DEB** sendAGI()->command is sending...[" + wire::kLogin + "]"},
            {Shown::Debug, "**DEB** init_iaxAgiSocket()->sendAGI() delay timer starts"},
            {Shown::Debug, "**DEB** init_iaxAgiSocket()->sendAGI() delay timer ends"},
            {Shown::Link,
             "**DEB** init_iaxAgiSocket(ACM-login)->response=Response: Success\r\nMessage: Authentication "
             "accepted\r\n\r\n"},
            {Shown::Debug, "**DEB** init_iaxAgiSocket(127.0.0.1," + port + ",queueopr) succeeded"},
        };
    }

    static Lines concat(Lines a, const Lines& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    }

    std::string port;
};

TEST_P(SessionLog, AgentLogin) {
    char address[kInUseAddressSize];
    ASSERT_EQ(init_iaxAgiSocket(0, address), 0);
    EXPECT_EQ(
        logText(),
        expected(concat(sessionOpening(),
                        {
                            {Shown::Link, "**DEB** sendAGI()->command is sending...[" + wire::kAgentLogin + "]"},
                            {Shown::Link,
                             "**DEB** init_iaxAgiSocket(agent-login)->response=Response: Success\r\nMessage: "
                             "Agent logged in\r\n\r\n"},
                            {Shown::Debug,
                             "**DEB** init_iaxAgiSocket() AgentCallbackLogin() succeeded on "
                             "agentid/extdn=[1001,2001]"},
                        })));
}

TEST_P(SessionLog, ExtensionCheck) {
    server.setExtStateLookup([](const std::string&) { return ExtStateAnswer{ExtState::Registered, "10.1.2.3"}; });
    char address[kInUseAddressSize];
    ASSERT_EQ(init_iaxAgiSocket(1, address), MGR_EXT_IN_USE);
    EXPECT_EQ(logText(),
              expected(concat(
                  sessionOpening(),
                  {
                      {Shown::Link, "**DEB** sendAGI()->command is sending...[" + wire::kExtState2001 + "]"},
                      {Shown::Link, "**DEB** init_iaxAgiSocket(verify-extDN)->reply=Response: 10.1.2.3\r\n\r\n"},
                  })));
    clearLog();
    ASSERT_EQ(agi_Logout(nullptr), 0);
    EXPECT_EQ(logText(), expected({
                             {Shown::Link, "**DEB** sendAGI()->command is sending...[" + wire::kLogoff + "]"},
                             {Shown::Link,
                              "**DEB** agi_Logout(ACM)->response=Response: Goodbye\r\nMessage: Thanks for all the "
                              "fish.\r\n\r\n"},
                         }));

    server.setExtStateLookup([](const std::string&) { return ExtStateAnswer{ExtState::NoExt, ""}; });
    clearLog();
    ASSERT_EQ(init_iaxAgiSocket(1, address), MGR_REFUSED);
    EXPECT_EQ(logText(),
              expected(concat(
                  sessionOpening(),
                  {
                      {Shown::Link, "**DEB** sendAGI()->command is sending...[" + wire::kExtState2001 + "]"},
                      {Shown::Link, "**DEB** init_iaxAgiSocket(verify-extDN)->reply=Response: NOEXT\r\n\r\n"},
                      {Shown::Always,
                       "**ERR** init_iaxAgiSocket()->(verify-extDN)->Programming error NOEXT on "
                       "extDN=[2001]"},
                  })));
}

TEST_P(SessionLog, ModeChangeMailboxCountAndLogout) {
    openAgentSession();
    clearLog();
    ASSERT_EQ(changeAgentMode("Ready", "false"), MODE_CHANGED);
    const std::string pause = wire::queuePause("Agent/1001", "false");
    EXPECT_EQ(logText(),
              expected({
                  {Shown::Debug, "**DEB** changeAgentMode(Ready) command is sending..."},
                  {Shown::Link, "**DEB** sendAGI()->command is sending...[" + pause + "]"},
                  {Shown::Debug, "**DEB** changeAgentMode()->sendAGI() delay timer starts"},
                  {Shown::Debug, "**DEB** changeAgentMode()->sendAGI() delay timer ends"},
                  {Shown::Link,
                   "**DEB** changeAgentMode()->response=Response: Success\r\nMessage: Interface unpaused "
                   "successfully\r\n\r\n"},
              }));

    clearLog();
    g_settings.acmDelayB4Read = 50;
    ASSERT_EQ(checkMWI("default"), 3);
    const std::string count = wire::mailboxCount("2001@default");
    EXPECT_EQ(logText(), expected({
                             {Shown::Debug, "**DEB** checkMWI(" + count + ") command is sending..."},
                             {Shown::Link, "**DEB** sendAGI()->command is sending...[" + count + "]"},
                             {Shown::Debug, "**DEB** checkMWI()->sendAGI() delay timer starts"},
                             {Shown::Debug, "**DEB** checkMWI()->sendAGI() delay timer ends"},
                             {Shown::Link,
                              "**DEB** checkMWI()->response=Response: Success\r\nMessage: Mailbox Message "
                              "Count\r\nMailbox: 2001@default\r\nUrgMessages: 0\r\nNewMessages: 3\r\nOldMessages: "
                              "1\r\n\r\n"},
                             {Shown::Debug, "**ERR** checkMWI(2001@default) NewMessages=[3]"},
                         }));

    clearLog();
    ASSERT_EQ(agi_Logout("1001"), 0);
    EXPECT_EQ(logText(), expected({
                             {Shown::Link, "**DEB** sendAGI()->command is sending...[" + wire::kAgentLogoff + "]"},
                             {Shown::Link,
                              "**DEB** agi_Logout(agent)->response=Response: Success\r\nMessage: Agent logged "
                              "out\r\n\r\n"},
                             {Shown::Debug, "**DEB** agi_Logout()->Agent Logout succeeded on agentid=[1001]"},
                             {Shown::Link, "**DEB** sendAGI()->command is sending...[" + wire::kLogoff + "]"},
                             {Shown::Link,
                              "**DEB** agi_Logout(ACM)->response=Response: Goodbye\r\nMessage: Thanks for all the "
                              "fish.\r\n\r\n"},
                         }));
}

TEST_P(SessionLog, FailureLines) {
    openAgentSession();
    server.failNextReply();
    clearLog();
    ASSERT_EQ(changeAgentMode("ACW-OB", "acwob"), MODE_FAILED);
    const std::string pause = wire::queuePause("Agent/1001", "acwob");
    EXPECT_EQ(logText(), expected({
                             {Shown::Debug, "**DEB** changeAgentMode(ACW-OB) command is sending..."},
                             {Shown::Link, "**DEB** sendAGI()->command is sending...[" + pause + "]"},
                             {Shown::Debug, "**DEB** changeAgentMode()->sendAGI() delay timer starts"},
                             {Shown::Debug, "**DEB** changeAgentMode()->sendAGI() delay timer ends"},
                             {Shown::Link,
                              "**DEB** changeAgentMode()->response=Response: Error\r\nMessage: Injected "
                              "failure\r\n\r\n"},
                             {Shown::Debug, "**ERR** changeAgentMode() [ACW-OB] failed on agentid=[1001]"},
                         }));

    // A failed send: the warning goes to the log (with debug) and the box
    // is shown whatever the switches.
    close(g_acmSocket);
    g_acmSocket = 0;
    clearLog();
    ASSERT_EQ(changeAgentMode("NotReady", "true"), MODE_FAILED);
    const std::string warning = "**WRN** changeAgentMode(" + wire::queuePause("Agent/1001", "true") + ") failed";
    EXPECT_EQ(logText(), expected({
                             {Shown::Debug, "**DEB** changeAgentMode(NotReady) command is sending..."},
                             {Shown::Link, "**DEB** sendAGI()->command is sending...[" +
                                               wire::queuePause("Agent/1001", "true") + "]"},
                             {Shown::Debug, "**ERR: utl_sentmsg() error [invalid socket handle]\n"},
                             {Shown::Debug, warning},
                         }));
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{warning});
}

INSTANTIATE_TEST_SUITE_P(Switches, SessionLog,
                         ::testing::Values(Switches{0, 0}, Switches{0, 1}, Switches{1, 0}, Switches{1, 1}),
                         [](const ::testing::TestParamInfo<Switches>& info) {
                             return std::string("debug") + (info.param.debug ? "On" : "Off") + "_link" +
                                    (info.param.linkDebug ? "On" : "Off");
                         });

}  // namespace
