// Whole-message assembly and the queue dialect's actions and reply readers,
// on byte buffers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "agent/manager_messages.h"
#include "agent/queue_actions.h"

namespace {

std::vector<std::string> feed(ManagerMessageBuffer& buffer, const std::vector<std::string>& segments) {
    std::vector<std::string> out;
    std::string message;
    for (const std::string& segment : segments) {
        EXPECT_TRUE(buffer.append(segment.data(), segment.size()));
        while (buffer.next(message)) out.push_back(message);
    }
    return out;
}

TEST(ManagerMessageBufferTest, GreetingIsOneLineThenMessagesEndAtTheBlankLine) {
    ManagerMessageBuffer buffer;
    const auto out = feed(buffer, {"Asterisk Call Manager/11.0.0\r\nResponse: Success\r\n", "ActionID: L1\r\n",
                                   "Message: Authentication accepted\r\n", "\r\n"});
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0], "Asterisk Call Manager/11.0.0\r\n");
    EXPECT_EQ(out[1], "Response: Success\r\nActionID: L1\r\nMessage: Authentication accepted\r\n");
}

TEST(ManagerMessageBufferTest, HeadersSplitAnywhereAndABlankLineAlone) {
    ManagerMessageBuffer buffer;
    feed(buffer, {"Asterisk Call Manager/11.0.0\r\n"});
    const auto out = feed(buffer, {"Event: QueueStatusComplete\r\nAction", "ID: QS1\r",
                                   "\nEventList: Complete\r\n", "ListItems: 2\r\n", "\r", "\n"});
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], "Event: QueueStatusComplete\r\nActionID: QS1\r\nEventList: Complete\r\nListItems: 2\r\n");
}

TEST(ManagerMessageBufferTest, SeveralMessagesInOneSegmentKeepTheirFirstCharacters) {
    ManagerMessageBuffer buffer;
    feed(buffer, {"Asterisk Call Manager/11.0.0\r\n"});
    const auto out = feed(buffer, {"Event: A\r\n\r\nEvent: B\r\n\r\nResponse: Success\r\nActionID: x\r\n\r\nEv"});
    EXPECT_EQ(out,
              (std::vector<std::string>{"Event: A\r\n", "Event: B\r\n", "Response: Success\r\nActionID: x\r\n"}));
    const auto rest = feed(buffer, {"ent: C\n\n"});
    EXPECT_EQ(rest, (std::vector<std::string>{"Event: C\n"})) << "a bare LF ends lines too";
}

TEST(ManagerMessageBufferTest, EndlessMessageIsDroppedAtTheLimit) {
    ManagerMessageBuffer buffer;
    feed(buffer, {"Asterisk Call Manager/11.0.0\r\n"});
    const std::string line = "X-Filler: " + std::string(1000, 'y') + "\r\n";
    bool refused = false;
    for (size_t sent = 0; sent <= ManagerMessageBuffer::kLimit + line.size() && !refused; sent += line.size())
        refused = !buffer.append(line.data(), line.size());
    EXPECT_TRUE(refused);
    std::string message;
    const std::string next = "Response: Success\r\n\r\n";
    ASSERT_TRUE(buffer.append(next.data(), next.size()));
    ASSERT_TRUE(buffer.next(message));
    EXPECT_EQ(message, "Response: Success\r\n");
}

TEST(ManagerMessageBufferTest, HeaderValuesAreMatchedByWholeName) {
    const std::string message = "Response: Error\r\nActionIDs: no\r\nActionID: q7\r\nMessage: \r\n";
    std::string value;
    ASSERT_TRUE(messageHeader(message, "ActionID", &value));
    EXPECT_EQ(value, "q7");
    ASSERT_TRUE(messageHeader(message, "Message", &value));
    EXPECT_EQ(value, "");
    EXPECT_FALSE(messageHeader(message, "Action", &value));
    EXPECT_NE(nextActionId(), nextActionId());
}

TEST(QueueActionsTest, ActionsByteForByte) {
    char buffer[kActionBufferSize];
    formatQueueAddAction(buffer, "a1", "sales", "2001", "2001", true);
    EXPECT_STREQ(buffer,
                 "Action: QueueAdd\r\nActionID: a1\r\nQueue: sales\r\nInterface: IAX2/2001\r\n"
                 "StateInterface: IAX2/2001\r\nMemberName: 2001\r\nPaused: true\r\n\r\n");
    formatQueuePauseReasonAction(buffer, "a2", "2001", "false");
    EXPECT_STREQ(buffer, "Action: QueuePause\r\nActionID: a2\r\nInterface: IAX2/2001\r\nPaused: false\r\n\r\n");
    formatQueuePauseReasonAction(buffer, "a3", "2001", "true");
    EXPECT_STREQ(buffer, "Action: QueuePause\r\nActionID: a3\r\nInterface: IAX2/2001\r\nPaused: true\r\n\r\n");
    formatQueuePauseReasonAction(buffer, "a4", "2001", "acwib");
    EXPECT_STREQ(
        buffer,
        "Action: QueuePause\r\nActionID: a4\r\nInterface: IAX2/2001\r\nPaused: true\r\nReason: acwib\r\n\r\n");
    formatQueueRemoveAction(buffer, "a5", "support", "2001");
    EXPECT_STREQ(buffer, "Action: QueueRemove\r\nActionID: a5\r\nQueue: support\r\nInterface: IAX2/2001\r\n\r\n");
    formatQueueLoginAction(buffer, "a6", "u", "s");
    EXPECT_STREQ(buffer, "Action: Login\r\nActionID: a6\r\nUsername: u\r\nSecret: s\r\nEvents: off\r\n\r\n");
}

TEST(QueueActionsTest, ReplyTextsAsAsteriskWritesThem) {
    const std::string there =
        "Response: Error\r\nActionID: x\r\nMessage: Unable to add interface: Already there\r\n";
    EXPECT_FALSE(replySucceeded(there));
    EXPECT_TRUE(replyMessageEndsWith(there, "Already there"));
    EXPECT_FALSE(replyMessageEndsWith(there, "Not there"));
    EXPECT_TRUE(replySucceeded("Response: Success\r\nMessage: Added interface to queue\r\n"));
    EXPECT_FALSE(replySucceeded("Response: Successful\r\n"));
}

const char kPeerList[] =
    "Response: Success\r\nActionID: PL1\r\nEventList: start\r\nMessage: IAX Peer status list will follow\r\n\r\n"
    "Event: PeerEntry\r\nActionID: PL1\r\nChanneltype: IAX\r\nObjectName: 1001\r\nChanObjectType: peer\r\n"
    "IPaddress: 127.0.0.1\r\nMask: (null)\r\nPort: 4610\r\nDynamic: yes\r\nTrunk: no\r\nEncryption: no\r\n"
    "Status: OK (1 ms)\r\n\r\n"
    "Event: PeerEntry\r\nActionID: PL1\r\nChanneltype: IAX\r\nObjectName: 1002\r\nChanObjectType: peer\r\n"
    "IPaddress: (null)\r\nMask: (null)\r\nPort: (null)\r\nDynamic: yes\r\nTrunk: no\r\nEncryption: no\r\n"
    "Status: UNKNOWN\r\n\r\n"
    "Event: PeerlistComplete\r\nActionID: PL1\r\nEventList: Complete\r\nListItems: 2\r\n";

TEST(QueueActionsTest, PeerListTellsEachVerificationOutcome) {
    char address[64];
    int port = -1;
    EXPECT_EQ(findPeer(kPeerList, "1001", address, sizeof address, &port), PeerState::Registered);
    EXPECT_STREQ(address, "127.0.0.1");
    EXPECT_EQ(port, 4610);
    EXPECT_EQ(findPeer(kPeerList, "1002", address, sizeof address, &port), PeerState::Unregistered);
    EXPECT_STREQ(address, "");
    EXPECT_EQ(findPeer(kPeerList, "100", address, sizeof address, &port), PeerState::NotDefined);
    // IAXpeers names its port field IPport.
    const std::string peers =
        "Event: PeerEntry\r\nChanneltype: IAX2\r\nObjectName: 1003\r\nIPaddress: 10.1.1.5\r\nIPport: 4569\r\n";
    EXPECT_EQ(findPeer(peers, "1003", address, sizeof address, &port), PeerState::Registered);
    EXPECT_EQ(port, 4569);
}

TEST(QueueActionsTest, QueueStatusGivesPauseAndReasonOfTheMember) {
    const std::string list =
        "Response: Success\r\nActionID: QS1\r\nEventList: start\r\nMessage: Queue status will follow\r\n\r\n"
        "Event: QueueMember\r\nQueue: sales\r\nName: Agent 1002\r\nLocation: IAX2/1002\r\nPaused: 0\r\n"
        "PausedReason: \r\nActionID: QS1\r\n\r\n"
        "Event: QueueMember\r\nQueue: sales\r\nName: Agent 1001\r\nLocation: IAX2/1001\r\nPaused: 1\r\n"
        "PausedReason: aux6\r\nActionID: QS1\r\n\r\n"
        "Event: QueueStatusComplete\r\nActionID: QS1\r\nEventList: Complete\r\nListItems: 2\r\n";
    MemberState state;
    ASSERT_TRUE(findMemberState(list, "1001", &state));
    EXPECT_TRUE(state.paused);
    EXPECT_EQ(state.reason, "aux6");
    ASSERT_TRUE(findMemberState(list, "1002", &state));
    EXPECT_FALSE(state.paused);
    EXPECT_EQ(state.reason, "");
    EXPECT_FALSE(findMemberState(list, "1003", &state));
}

TEST(QueueActionsTest, QueueListsSplitAtCommas) {
    std::vector<std::string> names;
    forEachQueue("sales,support,,night", [&](const char* name) {
        names.push_back(name);
        return true;
    });
    EXPECT_EQ(names, (std::vector<std::string>{"sales", "support", "night"}));
    names.clear();
    forEachQueue("a,b,c", [&](const char* name) {
        names.push_back(name);
        return names.size() < 2;
    });
    EXPECT_EQ(names.size(), 2u) << "a false from the visitor stops the walk";
}

}  // namespace
