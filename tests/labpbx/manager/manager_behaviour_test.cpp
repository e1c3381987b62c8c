#include <gtest/gtest.h>

#include <string>

#include "labpbx/manager/manager_behaviour.h"

namespace labpbx {
namespace {

ManagerAction parse(const std::string& text) {
    ActionSplitter splitter;
    std::vector<ManagerAction> out;
    splitter.feed(text, out);
    EXPECT_EQ(out.size(), 1u) << text;
    return out.empty() ? ManagerAction{} : out[0];
}

// All text the plan sends, in order.
std::string sentText(const ReplyPlan& plan) {
    std::string text;
    for (const ReplyStep& step : plan) {
        if (step.kind == ReplyStep::Kind::Send) text += step.text;
    }
    return text;
}

bool closes(const ReplyPlan& plan) {
    return !plan.empty() && plan.back().kind == ReplyStep::Kind::Close;
}

ManagerConfig labConfig() {
    ManagerConfig config;
    config.users = {{"queueopr", "bramwick"}};
    config.agents = {"1001", "SIP/1002"};
    config.mailboxes = {{"2001", "default", 3, 1, 0}, {"2002", "sales", 7, 0, 2}};
    config.mailboxSplitMs = 15;
    return config;
}

class Behaviour : public ::testing::Test {
protected:
    ReplyPlan ask(const std::string& text) { return behaviour.respond(parse(text), connection); }
    void logIn() {
        ASSERT_EQ(sentText(ask("Action: Login\r\nUsername: queueopr\r\nSecret: bramwick\r\nEvents: off\r\n\r\n")),
                  "Response: Success\r\nMessage: Authentication accepted\r\n\r\n");
    }

    ManagerBehaviour behaviour{labConfig()};
    ConnectionState connection;
};

TEST_F(Behaviour, Greeting) {
    EXPECT_EQ(behaviour.greeting(), "Asterisk Call Manager/10.0.0\r\n");
}

TEST_F(Behaviour, LoginRules) {
    // Wrong secret: the real manager's refusal, then the connection closes.
    ReplyPlan plan = ask("Action: Login\r\nUsername: queueopr\r\nSecret: wrong\r\n\r\n");
    EXPECT_EQ(sentText(plan), "Response: Error\r\nMessage: Authentication failed\r\n\r\n");
    EXPECT_TRUE(closes(plan));
    EXPECT_FALSE(connection.authenticated);

    // Unknown user, and a missing user, are refused the same way.
    EXPECT_TRUE(closes(ask("Action: Login\r\nUsername: nobody\r\nSecret: bramwick\r\n\r\n")));
    EXPECT_TRUE(closes(ask("Action: Login\r\nSecret: bramwick\r\n\r\n")));

    // Before a login only Login and Logoff are served.
    EXPECT_EQ(sentText(ask("Action: QueuePause\r\nInterface: Agent/1001\r\nPaused: true\r\n\r\n")),
              "Response: Error\r\nMessage: Permission denied\r\n\r\n");
    EXPECT_TRUE(behaviour.pauseHistory("1001").empty());

    // With events on, the login is followed by the fully-booted event.
    plan = ask("Action: Login\r\nUsername: QUEUEOPR\r\nSecret: bramwick\r\n\r\n");
    EXPECT_TRUE(connection.authenticated);
    EXPECT_TRUE(connection.eventsOn);
    EXPECT_EQ(sentText(plan).rfind(
                  "Response: Success\r\nMessage: Authentication accepted\r\n\r\nEvent: FullyBooted\r\n", 0),
              0u);

    ConnectionState quiet;
    plan = behaviour.respond(
        parse("Action: Login\r\nUsername: queueopr\r\nSecret: bramwick\r\nEvents: off\r\n\r\n"), quiet);
    EXPECT_FALSE(quiet.eventsOn);
    EXPECT_EQ(sentText(plan), "Response: Success\r\nMessage: Authentication accepted\r\n\r\n");

    // A second login on the same connection changes nothing.
    plan = behaviour.respond(parse("Action: Login\r\nActionID: L4\r\nUsername: x\r\nSecret: y\r\n\r\n"), quiet);
    EXPECT_EQ(sentText(plan), "Response: Success\r\nActionID: L4\r\nMessage: Already authenticated\r\n\r\n");
    EXPECT_FALSE(closes(plan));
    EXPECT_TRUE(quiet.authenticated);
}

TEST(BehaviourDelays, ARefusedLoginIsAnsweredAfterTheConfiguredDelayThenCloses) {
    ManagerConfig config = labConfig();
    config.failedLoginDelayMs = 1000;
    ManagerBehaviour slow(config);
    ConnectionState state;
    const ReplyPlan plan = slow.respond(parse("Action: Login\r\nUsername: queueopr\r\nSecret: no\r\n\r\n"), state);
    ASSERT_EQ(plan.size(), 3u);
    EXPECT_EQ(plan[0].kind, ReplyStep::Kind::Pause);
    EXPECT_EQ(plan[0].ms, 1000);
    EXPECT_EQ(sentText(plan), "Response: Error\r\nMessage: Authentication failed\r\n\r\n");
    EXPECT_TRUE(closes(plan));
}

TEST_F(Behaviour, GeneralReplies) {
    logIn();
    EXPECT_EQ(sentText(ask("Username: x\r\n\r\n")),
              "Response: Error\r\nMessage: Missing action in request\r\n\r\n");
    EXPECT_EQ(sentText(ask("Action: Dance\r\n\r\n")),
              "Response: Error\r\nMessage: Invalid/unknown command: Dance. Use Action: ListCommands to show "
              "available commands.\r\n\r\n");
    // ActionID is echoed after the response line.
    EXPECT_EQ(sentText(ask("Action: AgentLogoff\r\nActionID: 77\r\n\r\n")),
              "Response: Error\r\nActionID: 77\r\nMessage: No agent specified\r\n\r\n");
    EXPECT_EQ(sentText(ask("Action: Ping\r\n\r\n")).rfind("Response: Success\r\nPing: Pong\r\nTimestamp: ", 0),
              0u);

    const ReplyPlan bye = ask("Action: Logoff\r\n\r\n");
    EXPECT_EQ(sentText(bye), "Response: Goodbye\r\nMessage: Thanks for all the fish.\r\n\r\n");
    EXPECT_TRUE(closes(bye));
}

TEST_F(Behaviour, ExtensionState) {
    logIn();
    // Without a lookup every extension is unknown.
    EXPECT_EQ(sentText(ask("Action: IAXExtState\r\nExten: 2001\r\n\r\n")), "Response: NOTEXIST\r\n\r\n");
    EXPECT_EQ(sentText(ask("Action: IAXExtState\r\n\r\n")), "Response: NOEXT\r\n\r\n");

    behaviour.setExtStateLookup([](const std::string& extension) {
        if (extension == "2001") return ExtStateAnswer{ExtState::Registered, "10.1.2.3"};
        if (extension == "2002") return ExtStateAnswer{ExtState::Unused, ""};
        if (extension == "2003") return ExtStateAnswer{ExtState::NoExt, ""};
        if (extension == "2004") return ExtStateAnswer{ExtState::Registered, ""};
        return ExtStateAnswer{ExtState::NotExist, ""};
    });
    EXPECT_EQ(sentText(ask("Action: IAXExtState\r\nExten: 2001\r\n\r\n")), "Response: 10.1.2.3\r\n\r\n");
    EXPECT_EQ(sentText(ask("Action: IAXExtState\r\nExten: 2002\r\n\r\n")), "Response: UNUSED\r\n\r\n");
    EXPECT_EQ(sentText(ask("Action: IAXExtState\r\nExten: 2003\r\n\r\n")), "Response: NOEXT\r\n\r\n");
    EXPECT_EQ(sentText(ask("Action: IAXExtState\r\nExten: 2004\r\n\r\n")), "Response: UNUSED\r\n\r\n");
    EXPECT_EQ(sentText(ask("Action: IAXExtState\r\nExten: 9999\r\nActionID: a\r\n\r\n")),
              "Response: NOTEXIST\r\nActionID: a\r\n\r\n");
}

TEST_F(Behaviour, AgentLoginPauseAndLogoff) {
    logIn();
    EXPECT_EQ(sentText(ask("Action: AgentCallBackLogin\r\nAgent: 1001\r\nExten: 2001\r\nAckCall: false\r\n\r\n")),
              "Response: Success\r\nMessage: Agent logged in\r\n\r\n");
    std::string extension;
    EXPECT_TRUE(behaviour.agentLoggedIn("1001", &extension));
    EXPECT_EQ(extension, "2001");
    EXPECT_EQ(sentText(ask("Action: AgentCallBackLogin\r\nAgent: 9999\r\nExten: 2001\r\n\r\n")),
              "Response: Error\r\nMessage: No such agent\r\n\r\n");
    EXPECT_EQ(sentText(ask("Action: AgentCallBackLogin\r\nExten: 2001\r\n\r\n")),
              "Response: Error\r\nMessage: No agent specified\r\n\r\n");

    // Every paused value is recorded, for "Agent/<id>" and full names alike.
    for (const char* value : {"true", "false", "acwib", "acwob", "aux4", "aux11"}) {
        const std::string reply = sentText(
            ask(std::string("Action: QueuePause\r\nInterface: Agent/1001\r\nPaused: ") + value + "\r\n\r\n"));
        EXPECT_EQ(reply, std::string("Response: Success\r\nMessage: Interface ") +
                             (std::string(value) == "true" ? "paused" : "unpaused") + " successfully\r\n\r\n");
    }
    EXPECT_EQ(behaviour.pauseHistory("1001"),
              (std::vector<std::string>{"true", "false", "acwib", "acwob", "aux4", "aux11"}));
    EXPECT_EQ(sentText(ask("Action: QueuePause\r\nInterface: SIP/1002\r\nPaused: true\r\n\r\n")),
              "Response: Success\r\nMessage: Interface paused successfully\r\n\r\n");
    EXPECT_EQ(behaviour.pauseHistory("SIP/1002"), std::vector<std::string>{"true"});

    EXPECT_EQ(sentText(ask("Action: QueuePause\r\nInterface: Agent/SIP/1002\r\nPaused: true\r\n\r\n")),
              "Response: Error\r\nMessage: Interface not found\r\n\r\n");
    EXPECT_EQ(sentText(ask("Action: QueuePause\r\nInterface: Agent/1001\r\n\r\n")),
              "Response: Error\r\nMessage: Need 'Interface' and 'Paused' parameters.\r\n\r\n");
    EXPECT_EQ(behaviour.pauseHistory("SIP/1002").size(), 1u);

    EXPECT_EQ(sentText(ask("Action: AgentLogoff\r\nAgent: 1001\r\n\r\n")),
              "Response: Success\r\nMessage: Agent logged out\r\n\r\n");
    EXPECT_FALSE(behaviour.agentLoggedIn("1001"));
    EXPECT_EQ(sentText(ask("Action: AgentLogoff\r\nAgent: 4242\r\n\r\n")),
              "Response: Error\r\nMessage: No such agent\r\n\r\n");
}

TEST_F(Behaviour, PauseHistoryStaysBounded) {
    logIn();
    const ManagerAction pause = parse("Action: QueuePause\r\nInterface: Agent/1001\r\nPaused: aux4\r\n\r\n");
    const ManagerAction last = parse("Action: QueuePause\r\nInterface: Agent/1001\r\nPaused: aux11\r\n\r\n");
    for (size_t i = 0; i < ManagerBehaviour::kMaxPauseHistory; ++i) behaviour.respond(pause, connection);
    EXPECT_EQ(behaviour.pauseHistory("1001").size(), ManagerBehaviour::kMaxPauseHistory);
    behaviour.respond(last, connection);
    const auto history = behaviour.pauseHistory("1001");
    EXPECT_EQ(history.size(), ManagerBehaviour::kMaxPauseHistory / 2 + 1);
    EXPECT_EQ(history.back(), "aux11");
}

TEST_F(Behaviour, MailboxCountComesInTwoSegments) {
    logIn();
    const ReplyPlan plan = ask("Action: MailboxCount\r\nMailbox: 2001@default\r\n\r\n");
    ASSERT_EQ(plan.size(), 3u);
    EXPECT_EQ(plan[0].kind, ReplyStep::Kind::Send);
    EXPECT_EQ(plan[0].text, "Response: Success\r\n");
    EXPECT_EQ(plan[1].kind, ReplyStep::Kind::Pause);
    EXPECT_EQ(plan[1].ms, 15);
    EXPECT_EQ(plan[2].text,
              "Message: Mailbox Message Count\r\nMailbox: 2001@default\r\nUrgMessages: 0\r\nNewMessages: 3\r\n"
              "OldMessages: 1\r\n\r\n");

    EXPECT_NE(sentText(ask("Action: MailboxCount\r\nMailbox: 2002@sales\r\n\r\n")).find("NewMessages: 7\r\n"),
              std::string::npos);
    // A mailbox without context is in "default"; an unknown one has nothing.
    EXPECT_TRUE(behaviour.setNewMessages("2001", 12));
    EXPECT_EQ(behaviour.newMessages("2001@default"), 12);
    EXPECT_FALSE(behaviour.setNewMessages("2001@sales", 1));
    EXPECT_NE(sentText(ask("Action: MailboxCount\r\nMailbox: 2001\r\n\r\n")).find("NewMessages: 12\r\n"),
              std::string::npos);
    EXPECT_NE(sentText(ask("Action: MailboxCount\r\nMailbox: 5555@default\r\n\r\n")).find("NewMessages: 0\r\n"),
              std::string::npos);
    EXPECT_EQ(sentText(ask("Action: MailboxCount\r\n\r\n")),
              "Response: Error\r\nMessage: Mailbox not specified\r\n\r\n");
}

}  // namespace
}  // namespace labpbx
