#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "agent/manager_exchange.h"
#include "agent/manager_session.h"
#include "agent/socket_layer.h"
#include "app/settings.h"
#include "session_fixture.h"

namespace {

using labpbx::ExtState;
using labpbx::ExtStateAnswer;
using labpbx::ReceivedAction;
using labpbx::ReplyPlan;

// Replies to one named action with the given plan; others as usual.
labpbx::ActionScript onAction(const std::string& name, ReplyPlan plan) {
    return [name, plan](const ReceivedAction& received) -> std::optional<ReplyPlan> {
        if (received.action.name() == name) return plan;
        return std::nullopt;
    };
}

class ExtensionCheck : public SessionTest {
protected:
    int verify() { return init_iaxAgiSocket(1, address); }
    char address[kInUseAddressSize] = "stale";
};

TEST_F(ExtensionCheck, EveryExtensionState) {
    server.setExtStateLookup([](const std::string& extension) {
        EXPECT_EQ(extension, "2001");
        return ExtStateAnswer{ExtState::Registered, "10.1.2.3"};
    });
    EXPECT_EQ(verify(), MGR_EXT_IN_USE);
    EXPECT_STREQ(address, "10.1.2.3");
    EXPECT_GT(g_acmSocket, 0);
    EXPECT_EQ(actionTexts(), (std::vector<std::string>{wire::kLogin, wire::kExtState2001}));
    EXPECT_EQ(agi_Logout(nullptr), 0);
    EXPECT_EQ(g_acmSocket, 0);

    server.setExtStateLookup([](const std::string&) { return ExtStateAnswer{ExtState::NotExist, ""}; });
    EXPECT_EQ(verify(), MGR_EXT_NOT_DEFINED);
    EXPECT_GT(g_acmSocket, 0);  // the caller logs off
    EXPECT_EQ(agi_Logout(nullptr), 0);

    server.setExtStateLookup([](const std::string&) { return ExtStateAnswer{ExtState::Unused, ""}; });
    EXPECT_EQ(verify(), MGR_EXT_UNUSED);
    EXPECT_GT(g_acmSocket, 0);
    EXPECT_EQ(agi_Logout(nullptr), 0);
    EXPECT_TRUE(server.waitForOpenConnections(0, 3000));

    // A programming error closes the link, and its line is written even
    // with debug logging off.
    g_settings.debug = 0;
    clearLog();
    server.setExtStateLookup([](const std::string&) { return ExtStateAnswer{ExtState::NoExt, ""}; });
    EXPECT_EQ(verify(), MGR_REFUSED);
    EXPECT_EQ(g_acmSocket, 0);
    EXPECT_EQ(
        logText(),
        expectedLog({"**ERR** init_iaxAgiSocket()->(verify-extDN)->Programming error NOEXT on extDN=[2001]"}));
    EXPECT_TRUE(server.waitForOpenConnections(0, 3000));
}

TEST_F(ExtensionCheck, UnexpectedReplyClosesTheLink) {
    server.setActionScript(onAction("IAXExtState", {labpbx::sendStep("Response: Error\r\nMessage: Huh\r\n\r\n")}));
    EXPECT_EQ(verify(), MGR_REFUSED);
    EXPECT_EQ(g_acmSocket, 0);
    EXPECT_STREQ(address, "");
    EXPECT_NE(logText().find("**ERR** init_iaxAgiSocket()->(verify-extDN)->unexpected received return on "
                             "extdn=[2001], msg=[Response: Error\r\nMessage: Huh\r\n\r\n]"),
              std::string::npos);
    EXPECT_TRUE(server.waitForOpenConnections(0, 3000));
}

TEST_F(ExtensionCheck, SilentExtensionStateTimesOutAfterFiveSeconds) {
    server.setActionScript(onAction("IAXExtState", {}));
    const auto start = SteadyClock::now();
    EXPECT_EQ(verify(), SO_READ_TIMEOUT);
    EXPECT_GE(msSince(start), 4900);
    EXPECT_LT(msSince(start), 15000);
    EXPECT_EQ(g_acmSocket, 0);
    EXPECT_NE(logText().find("**ERR** init_iaxAgiSocket()->(verify-extDN)utl_readMsg(read msg (select()) timeout) "
                             "failed-> extdn=[2001]"),
              std::string::npos);
}

TEST_F(SessionTest, AgentLoginOpensTheSession) {
    openAgentSession();
    EXPECT_EQ(actionTexts(), (std::vector<std::string>{wire::kLogin, wire::kAgentLogin}));
    std::string extension;
    EXPECT_TRUE(server.behaviour().agentLoggedIn("1001", &extension));
    EXPECT_EQ(extension, "2001");
    EXPECT_EQ(server.openConnections(), 1);
}

TEST_F(SessionTest, RefusalsCloseTheLink) {
    // Unknown agent.
    copyText(g_settings.agid, "4242");
    char address[kInUseAddressSize];
    EXPECT_EQ(init_iaxAgiSocket(0, address), MGR_REFUSED);
    EXPECT_EQ(g_acmSocket, 0);
    EXPECT_NE(
        logText().find("**ERR** init_iaxAgiSocket() AgentCallbackLogin() failed on agentid/extdn=[4242,2001]"),
        std::string::npos);
    EXPECT_TRUE(server.waitForOpenConnections(0, 3000));

    // Wrong secret: the manager answers with an error and closes.
    copyText(g_settings.agid, "1001");
    copyText(g_settings.acmPass, "wrong");
    EXPECT_EQ(init_iaxAgiSocket(0, address), MGR_REFUSED);
    EXPECT_EQ(g_acmSocket, 0);
    EXPECT_NE(logText().find("**ERR** init_iaxAgiSocket()->login on [queueopr] failed"), std::string::npos);
    EXPECT_TRUE(server.waitForOpenConnections(0, 3000));
    EXPECT_EQ(server.connectionsAccepted(), 2);
}

TEST_F(SessionTest, MissingValuesStopBeforeAnyConnection) {
    char address[kInUseAddressSize];
    for (char* field : {g_settings.host, g_settings.acmUser, g_settings.agid, g_settings.user}) {
        const char saved = field[0];
        field[0] = '\0';
        EXPECT_EQ(init_iaxAgiSocket(0, address), MGR_REFUSED);
        EXPECT_EQ(init_iaxAgiSocket(1, address), MGR_REFUSED);
        field[0] = saved;
    }
    EXPECT_EQ(server.connectionsAccepted(), 0);
    EXPECT_EQ(logText(), "");
    // The secret is the callers' to test: without it the login is tried.
    g_settings.acmPass[0] = '\0';
    EXPECT_EQ(init_iaxAgiSocket(0, address), MGR_REFUSED);
    EXPECT_EQ(server.connectionsAccepted(), 1);
}

TEST_F(SessionTest, ConnectFailures) {
    char address[kInUseAddressSize];
    copyText(g_settings.host, "192.168.1.300");
    EXPECT_EQ(init_iaxAgiSocket(0, address), SO_INVALID_HOST);
    copyText(g_settings.host, "pbx.unresolvable.test");
    EXPECT_EQ(init_iaxAgiSocket(0, address), SO_GETHOSTBYNAME_ERROR);
    copyText(g_settings.host, "127.0.0.1");
    const int port = server.port();
    server.stop();
    g_settings.acmPort = port;
    const auto start = SteadyClock::now();
    EXPECT_EQ(init_iaxAgiSocket(0, address), SO_CONNECT_ERROR);
    EXPECT_LT(msSince(start), 4500);
    EXPECT_EQ(g_acmSocket, 0);
    const std::string log = logText();
    EXPECT_NE(log.find("**ERR** init_iaxAgiSocket()/utl_getipaddress(invalid host name or IP address) failed"),
              std::string::npos);
    EXPECT_NE(log.find("**ERR** init_iaxAgiSocket()/utl_getipaddress(error in gethostbyname()) failed"),
              std::string::npos);
    EXPECT_NE(log.find("**ERR** init_iaxAgiSocket()/utl_connect2server(connect() function error) failed"),
              std::string::npos);
}

TEST(SessionValues, ReadTimerAndPortFallbacks) {
    for (int value : {0, -3, 11, 1000}) EXPECT_EQ(sessionReadTimer(value), 5) << value;
    for (int value : {1, 3, 10}) EXPECT_EQ(sessionReadTimer(value), value);
    for (int value : {0, 80, 1999, 65536, -1}) EXPECT_EQ(sessionPort(value), 5038) << value;
    for (int value : {2000, 5038, 65535}) EXPECT_EQ(sessionPort(value), value);
}

TEST(SessionValues, ErrorTextNamesTheSocketCodeOrGivesTheAdvice) {
    char text[256];
    formatSessionError(text, sizeof text, "**ERR** [Op]->step()", SO_CONNECT_ERROR, "advice!");
    EXPECT_STREQ(text, "**ERR** [Op]->step() socket error [connect() function error]");
    for (int code : {-1, -12, 0}) {
        formatSessionError(text, sizeof text, "**ERR** [Op]->step()", code, "advice!");
        EXPECT_STREQ(text, "**ERR** [Op]->step() non-socket error; advice!") << code;
    }
    char small[8];
    formatSessionError(small, sizeof small, "**ERR** [Op]->step()", SO_CONNECT_ERROR, "advice!");
    EXPECT_STREQ(small, "**ERR**");
}

TEST_F(SessionTest, GreetingTimeOut) {
    server.setGreetingScript([](int) { return std::optional<ReplyPlan>(ReplyPlan{}); });
    char address[kInUseAddressSize];
    const auto start = SteadyClock::now();
    EXPECT_EQ(init_iaxAgiSocket(0, address), SO_READ_TIMEOUT);
    EXPECT_GE(msSince(start), 950);
    EXPECT_LT(msSince(start), 4500);
    EXPECT_EQ(g_acmSocket, 0);
    EXPECT_NE(logText().find("**ERR: init_iaxAgiSocket/utl_readMsg(read msg (select()) timeout) failed"),
              std::string::npos);
    EXPECT_TRUE(server.waitForOpenConnections(0, 3000));
}

TEST_F(SessionTest, ReadTimerOutOfRangeWaitsFiveSeconds) {
    server.setGreetingScript([](int) { return std::optional<ReplyPlan>(ReplyPlan{}); });
    g_settings.acmReadTimer = 11;
    char address[kInUseAddressSize];
    const auto start = SteadyClock::now();
    EXPECT_EQ(init_iaxAgiSocket(0, address), SO_READ_TIMEOUT);
    EXPECT_GE(msSince(start), 4900);
    EXPECT_LT(msSince(start), 15000);
}

TEST_F(SessionTest, PortOutOfRangeUsesTheManagerPort) {
    // A second lab manager on the standard port of a loopback address that
    // nothing else uses, if that port can be had.
    labpbx::ManagerConfig config = labConfig();
    config.bindAddress = "127.0.0.77";
    config.port = 5038;
    labpbx::ManagerServer standard(config);
    const bool listening = standard.start();
    copyText(g_settings.host, "127.0.0.77");
    g_settings.acmPort = 80;
    char address[kInUseAddressSize];
    const int result = init_iaxAgiSocket(0, address);
    EXPECT_NE(logText().find("**DEB** init_iaxAgiSocket()-> Connecting to 127.0.0.77:5038...\n"),
              std::string::npos);
    EXPECT_NE(logText().find("**DEB** init_iaxAgiSocket(): connected to (127.0.0.77,5038)"), std::string::npos);
    if (listening) {
        EXPECT_EQ(result, 0);
        EXPECT_EQ(standard.connectionsAccepted(), 1);
    }
    EXPECT_EQ(server.connectionsAccepted(), 0);
}

class AgentModes : public SessionTest {
protected:
    void SetUp() override {
        SessionTest::SetUp();
        openAgentSession();
    }
    std::string lastAction() const { return actionTexts().back(); }
};

TEST_F(AgentModes, PauseActionsAndTheirInterface) {
    EXPECT_EQ(changeAgentMode("Ready", "false"), MODE_CHANGED);
    EXPECT_EQ(lastAction(), wire::queuePause("Agent/1001", "false"));
    EXPECT_EQ(changeAgentMode("ACW", "acwib"), MODE_CHANGED);
    EXPECT_EQ(changeAgentMode("Lunch", "aux5"), MODE_CHANGED);
    EXPECT_EQ(server.pauseHistory("1001"), (std::vector<std::string>{"false", "acwib", "aux5"}));

    // An agent ID with "/" is the whole interface name.
    copyText(g_settings.agid, "SIP/1001");
    EXPECT_EQ(changeAgentMode("NotReady", "true"), MODE_CHANGED);
    EXPECT_EQ(lastAction(), wire::queuePause("SIP/1001", "true"));
    EXPECT_EQ(server.pauseHistory("SIP/1001"), std::vector<std::string>{"true"});
    EXPECT_TRUE(boxes.texts().empty());
}

TEST_F(AgentModes, ReplyRules) {
    // The keyword anywhere in the chunk counts.
    server.setActionScript(
        onAction("QueuePause",
                 {labpbx::sendStep("Event: Noise\r\nPrivilege: agent,all\r\n\r\nResponse: Success\r\n\r\n")}));
    EXPECT_EQ(changeAgentMode("Ready", "false"), MODE_CHANGED);
    server.setActionScript(nullptr);

    // A refusal.
    server.failNextReply();
    EXPECT_EQ(changeAgentMode("Ready", "false"), MODE_FAILED);
    EXPECT_NE(logText().find("**ERR** changeAgentMode() [Ready] failed on agentid=[1001]"), std::string::npos);

    // A reply split so that the first read lacks the keyword fails.
    server.splitNextReply(300);
    EXPECT_EQ(changeAgentMode("ACW", "acwib"), MODE_FAILED);
    ASSERT_TRUE(server.waitForReplies(5, 2000));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // The rest of that reply is drained by the next exchange, which works.
    EXPECT_EQ(changeAgentMode("Ready", "false"), MODE_CHANGED);
    EXPECT_TRUE(boxes.texts().empty());
}

TEST_F(AgentModes, LostLink) {
    // A reset: the read reports the loss; the handle is left for the next
    // Login to replace.
    const int handle = g_acmSocket;
    server.setActionScript(onAction("QueuePause", {labpbx::resetStep()}));
    EXPECT_EQ(changeAgentMode("Ready", "false"), MODE_LINK_LOST);
    EXPECT_EQ(g_acmSocket, handle);
    EXPECT_NE(logText().find("**ERR** changeAgentMode() [Ready]->utl_readMsg(connection already closed) failed-> "
                             "agentid=[1001]"),
              std::string::npos);
    EXPECT_TRUE(boxes.texts().empty());

    // The next exchange cannot even send: one box with the whole action.
    EXPECT_EQ(changeAgentMode("NotReady", "true"), MODE_LINK_LOST);
    const std::string warning = "**WRN** changeAgentMode(" + wire::queuePause("Agent/1001", "true") + ") failed";
    ASSERT_EQ(boxes.texts(), std::vector<std::string>{warning});
    EXPECT_EQ(boxes.shown[0].icon, BoxIcon::None);
    EXPECT_NE(logText().find(warning), std::string::npos);
    EXPECT_NE(logText().find("**ERR: utl_sentmsg() error [connection already closed]\n\n"), std::string::npos);

    // The next Login replaces the lost link.
    server.setActionScript(nullptr);
    openAgentSession();
    EXPECT_NE(g_acmSocket, 0);
    EXPECT_EQ(changeAgentMode("Ready", "false"), MODE_CHANGED);
}

TEST_F(AgentModes, OrderlyCloseIsNotALostLink) {
    server.setActionScript(onAction("QueuePause", {labpbx::closeStep()}));
    EXPECT_EQ(changeAgentMode("Ready", "false"), MODE_FAILED);
    EXPECT_NE(
        logText().find("**ERR** changeAgentMode() [Ready]->utl_readMsg(socket disconnection detected) failed-> "
                       "agentid=[1001]"),
        std::string::npos);
}

TEST_F(AgentModes, WithoutASessionTheSendFails) {
    close(g_acmSocket);
    g_acmSocket = 0;
    EXPECT_EQ(changeAgentMode("Ready", "false"), MODE_FAILED);
    ASSERT_EQ(boxes.texts().size(), 1u);
    EXPECT_EQ(boxes.texts()[0], "**WRN** changeAgentMode(" + wire::queuePause("Agent/1001", "false") + ") failed");
    EXPECT_NE(logText().find("**ERR: utl_sentmsg() error [invalid socket handle]\n"), std::string::npos);
}

TEST_F(AgentModes, SilenceEndsAfterFiveSeconds) {
    server.setActionScript(onAction("QueuePause", {}));
    const auto start = SteadyClock::now();
    EXPECT_EQ(changeAgentMode("Ready", "false"), MODE_FAILED);
    EXPECT_GE(msSince(start), 4900);
    EXPECT_LT(msSince(start), 15000);
    EXPECT_NE(
        logText().find("**ERR** changeAgentMode() [Ready]->utl_readMsg(read msg (select()) timeout) failed-> "
                       "agentid=[1001]"),
        std::string::npos);
}

TEST_F(AgentModes, ExchangesNeverOverlap) {
    // Each reply comes 20 ms late (the mailbox count's second segment 30 ms)
    // and each exchange waits 60 ms before it reads: without serialising, the second thread's action would arrive
    // while the first reply is still pending.
    server.setActionScript([](const ReceivedAction& received) -> std::optional<ReplyPlan> {
        if (received.action.name() == "QueuePause" || received.action.name() == "MailboxCount")
            return ReplyPlan{labpbx::pauseStep(20), labpbx::defaultStep()};
        return std::nullopt;
    });
    g_settings.acmDelayB4Read = 60;
    constexpr int kRounds = 5;
    std::atomic<int> changed{0};
    std::atomic<int> counted{0};
    std::thread window([&] {
        for (int i = 0; i < kRounds; ++i) changed += changeAgentMode("Ready", "false");
    });
    std::thread events([&] {
        for (int i = 0; i < kRounds; ++i) counted += checkMWI("default") == 3 ? 1 : 0;
    });
    window.join();
    events.join();
    EXPECT_EQ(changed, kRounds);
    EXPECT_EQ(counted, kRounds);
    ASSERT_TRUE(server.waitForReplies(2 + 2 * kRounds, 2000));
    const auto actions = server.actions();
    ASSERT_EQ(actions.size(), 2u + 2 * kRounds);
    for (const auto& received : actions) EXPECT_FALSE(received.overlapped) << received.action.raw;
}

class AgentLogout : public SessionTest {};

TEST_F(AgentLogout, WithAgentLogsOffBothAndCloses) {
    openAgentSession();
    EXPECT_EQ(agi_Logout("1001"), 0);
    EXPECT_EQ(g_acmSocket, 0);
    EXPECT_EQ(actionTexts(),
              (std::vector<std::string>{wire::kLogin, wire::kAgentLogin, wire::kAgentLogoff, wire::kLogoff}));
    EXPECT_FALSE(server.behaviour().agentLoggedIn("1001"));
    EXPECT_TRUE(server.waitForOpenConnections(0, 3000));
}

TEST_F(AgentLogout, WithoutAgentOnlyTheManagerLogoff) {
    openAgentSession();
    EXPECT_EQ(agi_Logout(nullptr), 0);
    EXPECT_EQ(actionTexts(), (std::vector<std::string>{wire::kLogin, wire::kAgentLogin, wire::kLogoff}));
    EXPECT_TRUE(server.waitForOpenConnections(0, 3000));

    // A silent manager costs at most the one-second wait; still 0.
    server.setActionScript(onAction("Logoff", {}));
    openAgentSession();
    const auto start = SteadyClock::now();
    EXPECT_EQ(agi_Logout(""), 0);
    EXPECT_LT(msSince(start), 4500);
    EXPECT_EQ(g_acmSocket, 0);

    // No link at all: nothing to log off, still 0.
    EXPECT_EQ(agi_Logout(nullptr), 0);
}

TEST_F(AgentLogout, FailuresKeepTheLink) {
    openAgentSession();
    const int handle = g_acmSocket;
    EXPECT_EQ(agi_Logout("4242"), MGR_REFUSED);
    EXPECT_EQ(g_acmSocket, handle);
    EXPECT_NE(logText().find("**ERR** agi_Logout()->agent Logout failed on agentid=[4242]"), std::string::npos);

    server.setActionScript(onAction("AgentLogoff", {}));
    EXPECT_EQ(agi_Logout("1001"), SO_READ_TIMEOUT);
    EXPECT_EQ(g_acmSocket, handle);
    EXPECT_NE(
        logText().find("**ERR** agi_Logout()->utl_readMsg(read msg (select()) timeout) failed-> agentid=[1001]"),
        std::string::npos);
    EXPECT_EQ(server.openConnections(), 1);
}

}  // namespace
