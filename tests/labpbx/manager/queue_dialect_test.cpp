// The lab PBX's queue dialect: Asterisk 22's texts for the queue actions,
// the member state they keep, the peer list, and how the replies are cut
// into segments.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "labpbx/manager/manager_behaviour.h"

namespace labpbx {
namespace {

ManagerAction makeAction(std::vector<ManagerHeader> headers) {
    ManagerAction action;
    action.headers = std::move(headers);
    return action;
}

// The text a plan sends, and the texts of its sends one by one.
std::string sentText(const ReplyPlan& plan) {
    std::string text;
    for (const ReplyStep& step : plan)
        if (step.kind == ReplyStep::Kind::Send) text += step.text;
    return text;
}
std::vector<std::string> sends(const ReplyPlan& plan) {
    std::vector<std::string> out;
    for (const ReplyStep& step : plan)
        if (step.kind == ReplyStep::Kind::Send) out.push_back(step.text);
    return out;
}

class LabQueueDialectTest : public ::testing::Test {
protected:
    LabQueueDialectTest() : behaviour(makeConfig()) {
        quiet.authenticated = true;
        quiet.eventsOn = false;
        loud.authenticated = true;
    }
    static ManagerConfig makeConfig() {
        ManagerConfig config;
        config.dialect = "queues";
        config.queues = {"sales", "support"};
        return config;
    }
    std::string reply(std::vector<ManagerHeader> headers, bool events = false) {
        return sentText(behaviour.respond(makeAction(std::move(headers)), events ? loud : quiet));
    }
    std::string add(const char* queue, const char* paused = "false", bool events = false) {
        return reply({{"Action", "QueueAdd"},
                      {"ActionID", "QA"},
                      {"Queue", queue},
                      {"Interface", "IAX2/1001"},
                      {"StateInterface", "IAX2/1001"},
                      {"MemberName", "Agent 1001"},
                      {"Paused", paused}},
                     events);
    }

    ManagerBehaviour behaviour;
    ConnectionState quiet;
    ConnectionState loud;
};

TEST_F(LabQueueDialectTest, QueueAddAndItsAlreadyThere) {
    EXPECT_EQ(add("sales", "true"),
              "Response: Success\r\nActionID: QA\r\nMessage: Added interface to queue\r\n\r\n");
    EXPECT_EQ(add("sales"),
              "Response: Error\r\nActionID: QA\r\nMessage: Unable to add interface: Already there\r\n\r\n");
    const auto member = behaviour.queueDialect().member("sales", "IAX2/1001");
    ASSERT_TRUE(member);
    EXPECT_TRUE(member->paused);
    EXPECT_EQ(member->name, "Agent 1001");
    EXPECT_FALSE(behaviour.queueDialect().member("support", "IAX2/1001"));
}

TEST_F(LabQueueDialectTest, EventsFollowOnlyWhenTheSessionHasThemOn) {
    const std::string withEvents = add("sales", "true", true);
    EXPECT_NE(withEvents.find("\r\n\r\nEvent: QueueMemberAdded\r\nPrivilege: agent,all\r\nQueue: sales\r\n"
                              "MemberName: Agent 1001\r\nInterface: IAX2/1001\r\n"),
              std::string::npos)
        << withEvents;
    EXPECT_NE(withEvents.find("Paused: 1\r\nPausedReason: \r\n"), std::string::npos);
    const std::string pause = reply(
        {{"Action", "QueuePause"}, {"Interface", "IAX2/1001"}, {"Paused", "true"}, {"Reason", "acwib"}}, true);
    EXPECT_NE(pause.find("Event: QueueMemberPause\r\n"), std::string::npos);
    EXPECT_NE(pause.find("PausedReason: acwib\r\n"), std::string::npos);
    const std::string quietPause =
        reply({{"Action", "QueuePause"}, {"Interface", "IAX2/1001"}, {"Paused", "true"}, {"Reason", "aux5"}});
    EXPECT_EQ(quietPause, "Response: Success\r\nMessage: Interface paused successfully\r\n\r\n");
}

TEST_F(LabQueueDialectTest, QueuePauseKeepsTheReasonAndFindsOnlyMembers) {
    add("sales");
    add("support");
    EXPECT_EQ(reply({{"Action", "QueuePause"},
                     {"ActionID", "P1"},
                     {"Interface", "IAX2/1001"},
                     {"Paused", "true"},
                     {"Reason", "aux7"}}),
              "Response: Success\r\nActionID: P1\r\nMessage: Interface paused successfully\r\n\r\n");
    for (const char* queue : {"sales", "support"}) {
        const auto member = behaviour.queueDialect().member(queue, "IAX2/1001");
        ASSERT_TRUE(member);
        EXPECT_TRUE(member->paused);
        EXPECT_EQ(member->reason, "aux7");
    }
    EXPECT_EQ(reply({{"Action", "QueuePause"}, {"Interface", "IAX2/1001"}, {"Paused", "false"}}),
              "Response: Success\r\nMessage: Interface unpaused successfully\r\n\r\n");
    EXPECT_FALSE(behaviour.queueDialect().member("sales", "IAX2/1001")->paused);
    EXPECT_EQ(reply({{"Action", "QueuePause"}, {"Interface", "IAX2/1003"}, {"Paused", "true"}}),
              "Response: Error\r\nMessage: Interface not found\r\n\r\n");
    EXPECT_EQ(
        reply({{"Action", "QueuePause"}, {"Queue", "nosuch"}, {"Interface", "IAX2/1001"}, {"Paused", "true"}}),
        "Response: Error\r\nMessage: Interface not found\r\n\r\n");
}

TEST_F(LabQueueDialectTest, QueueRemoveAndItsNotThere) {
    add("sales");
    const std::vector<ManagerHeader> remove = {
        {"Action", "QueueRemove"}, {"Queue", "sales"}, {"Interface", "IAX2/1001"}};
    EXPECT_EQ(reply(remove), "Response: Success\r\nMessage: Removed interface from queue\r\n\r\n");
    EXPECT_EQ(reply(remove), "Response: Error\r\nMessage: Unable to remove interface: Not there\r\n\r\n");
    EXPECT_FALSE(behaviour.queueDialect().member("sales", "IAX2/1001"));
}

TEST_F(LabQueueDialectTest, QueueStatusListsTheMemberAndEndsWithABlankLineAlone) {
    add("sales", "true");
    reply({{"Action", "QueuePause"}, {"Interface", "IAX2/1001"}, {"Paused", "true"}, {"Reason", "acwob"}});
    const ReplyPlan plan =
        behaviour.respond(makeAction({{"Action", "QueueStatus"}, {"ActionID", "QS1"}, {"Queue", "sales"}}), quiet);
    const std::string text = sentText(plan);
    EXPECT_EQ(text.rfind("Response: Success\r\nActionID: QS1\r\nEventList: start\r\n"
                         "Message: Queue status will follow\r\n\r\nEvent: QueueParams\r\nQueue: sales\r\n",
                         0),
              0u)
        << text;
    EXPECT_NE(text.find("Event: QueueMember\r\nQueue: sales\r\nName: Agent 1001\r\nLocation: IAX2/1001\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("Paused: 1\r\nPausedReason: acwob\r\nWrapuptime: 0\r\nActionID: QS1\r\n\r\n"),
              std::string::npos);
    const std::string end =
        "Event: QueueStatusComplete\r\nActionID: QS1\r\nEventList: Complete\r\nListItems: 2\r\n\r\n";
    EXPECT_EQ(text.substr(text.size() - end.size()), end);
    const auto pieces = sends(plan);
    EXPECT_EQ(pieces.back(), "\r\n") << "the last blank line comes alone";
    for (const std::string& piece : pieces)
        EXPECT_EQ(piece.find("\r\n"), piece.size() - 2) << "one line a segment";
}

TEST_F(LabQueueDialectTest, PeerListFromTheRegistrar) {
    behaviour.queueDialect().setPeerListLookup([] {
        return std::vector<PeerEntry>{{"1001", "127.0.0.1", 4610}, {"1002", "", 0}};
    });
    const std::string text = reply({{"Action", "IAXpeerlist"}, {"ActionID", "PL1"}});
    EXPECT_NE(text.find("Event: PeerEntry\r\nActionID: PL1\r\nChanneltype: IAX\r\nObjectName: 1001\r\n"
                        "ChanObjectType: peer\r\nIPaddress: 127.0.0.1\r\nMask: (null)\r\nPort: 4610\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("ObjectName: 1002\r\nChanObjectType: peer\r\nIPaddress: (null)\r\nMask: (null)\r\n"
                        "Port: (null)\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("Event: PeerlistComplete\r\nActionID: PL1\r\nEventList: Complete\r\nListItems: 2\r\n\r\n"),
              std::string::npos);
}

TEST_F(LabQueueDialectTest, ClassicActionsAreUnknownCommands) {
    for (const char* name : {"IAXExtState", "AgentCallBackLogin", "AgentLogoff"}) {
        EXPECT_EQ(reply({{"Action", name}, {"ActionID", "X1"}}),
                  std::string("Response: Error\r\nActionID: X1\r\nMessage: Invalid/unknown command: ") + name +
                      ". Use Action: ListCommands to show available commands.\r\n\r\n");
    }
    // Shared actions are answered as before.
    EXPECT_NE(reply({{"Action", "Ping"}}).find("Ping: Pong\r\n"), std::string::npos);
}

TEST(LabClassicDialectTest, QueueActionsStayUnknownInTheClassicDialect) {
    ManagerBehaviour classic{ManagerConfig{}};
    ConnectionState connection;
    connection.authenticated = true;
    const std::string text = sentText(classic.respond(makeAction({{"Action", "QueueAdd"}}), connection));
    EXPECT_NE(text.find("Invalid/unknown command: QueueAdd"), std::string::npos);
}

}  // namespace
}  // namespace labpbx
