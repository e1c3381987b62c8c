#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "agent/manager_actions.h"

namespace {

std::string formatted(int length, const char* buffer) {
    EXPECT_EQ(length, static_cast<int>(std::strlen(buffer)));
    return buffer;
}

TEST(ManagerActions, EveryActionByteForByte) {
    char b[kActionBufferSize];
    EXPECT_EQ(formatted(formatLoginAction(b, "queueopr", "bramwick"), b),
              "Action: Login\r\nUsername: queueopr\r\nSecret: bramwick\r\nEvents: off\r\n\r\n");
    EXPECT_EQ(formatted(formatExtStateAction(b, "2001"), b), "Action: IAXExtState\r\nExten: 2001\r\n\r\n");
    EXPECT_EQ(formatted(formatAgentLoginAction(b, "1001", "2001"), b),
              "Action: AgentCallBackLogin\r\nAgent: 1001\r\nExten: 2001\r\nAckCall: false\r\n\r\n");
    EXPECT_EQ(formatted(formatQueuePauseAction(b, "1001", "true"), b),
              "Action: QueuePause\r\nInterface: Agent/1001\r\nPaused: true\r\n\r\n");
    EXPECT_EQ(formatted(formatQueuePauseAction(b, "SIP/1001", "aux7"), b),
              "Action: QueuePause\r\nInterface: SIP/1001\r\nPaused: aux7\r\n\r\n");
    EXPECT_EQ(formatted(formatMailboxCountAction(b, "2001", "default"), b),
              "Action: MailboxCount\r\nMailbox: 2001@default\r\n\r\n");
    EXPECT_EQ(formatted(formatAgentLogoffAction(b, "1001"), b), "Action: AgentLogoff\r\nAgent: 1001\r\n\r\n");
    EXPECT_EQ(formatted(formatLogoffAction(b), b), "Action: Logoff\r\n\r\n");
    // Missing values format as empty texts.
    EXPECT_EQ(formatted(formatAgentLogoffAction(b, nullptr), b), "Action: AgentLogoff\r\nAgent: \r\n\r\n");
}

TEST(ManagerActions, AnActionThatDoesNotFitSaysSo) {
    char b[kActionBufferSize];
    const std::string huge(2000, 'c');
    const int length = formatMailboxCountAction(b, "2001", huge.c_str());
    EXPECT_GE(length, kActionBufferSize);
    EXPECT_EQ(std::strlen(b), static_cast<size_t>(kActionBufferSize - 1));
}

TEST(ManagerReplies, KeywordAnywhereCounts) {
    EXPECT_TRUE(replyHas("Response: Success\r\n\r\n", "Response: Success"));
    EXPECT_TRUE(replyHas("Event: Junk\r\n\r\nResponse: Success\r\n", "Response: Success"));
    EXPECT_FALSE(replyHas("Response: Succ", "Response: Success"));
    EXPECT_FALSE(replyHas("response: success", "Response: Success"));
    EXPECT_FALSE(replyHas(nullptr, "Response: Success"));
}

TEST(ManagerReplies, ExtensionStateClassification) {
    char address[1024] = "stale";
    EXPECT_EQ(classifyExtStateReply("Response: NOEXT\r\n\r\n", address, sizeof address), ExtStateReply::NoExt);
    EXPECT_STREQ(address, "");
    EXPECT_EQ(classifyExtStateReply("Response: NOTEXIST\r\n\r\n", address, sizeof address),
              ExtStateReply::NotExist);
    EXPECT_EQ(classifyExtStateReply("Response: UNUSED\r\n\r\n", address, sizeof address), ExtStateReply::Unused);
    // First match wins.
    EXPECT_EQ(classifyExtStateReply("Response: UNUSED\r\nResponse: NOEXT\r\n", address, sizeof address),
              ExtStateReply::NoExt);

    EXPECT_EQ(classifyExtStateReply("Response: 10.1.2.3\r\n\r\n", address, sizeof address),
              ExtStateReply::Address);
    EXPECT_STREQ(address, "10.1.2.3");
    EXPECT_EQ(classifyExtStateReply("Response: 10.1.2.3:4569\r\n", address, sizeof address),
              ExtStateReply::Address);
    EXPECT_STREQ(address, "10.1.2.3");
    // The address is read from the start of the reply only.
    EXPECT_EQ(classifyExtStateReply("Event: X\r\nResponse: 10.1.2.3\r\n", address, sizeof address),
              ExtStateReply::Unexpected);
    EXPECT_STREQ(address, "");
    EXPECT_EQ(classifyExtStateReply("Response: Success\r\n\r\n", address, sizeof address),
              ExtStateReply::Unexpected);
    EXPECT_EQ(classifyExtStateReply("Response: Error\r\nMessage: Permission denied\r\n", address, sizeof address),
              ExtStateReply::Unexpected);
    EXPECT_EQ(classifyExtStateReply("", address, sizeof address), ExtStateReply::Unexpected);

    // The longest run a reply can carry fits the output buffer exactly.
    const std::string run(1013, '9');
    EXPECT_EQ(classifyExtStateReply(("Response: " + run).c_str(), address, sizeof address),
              ExtStateReply::Address);
    EXPECT_EQ(std::string(address), run);
    // A smaller buffer holds the beginning of the run.
    char small[5];
    EXPECT_EQ(classifyExtStateReply("Response: 10.1.2.3", small, sizeof small), ExtStateReply::Address);
    EXPECT_STREQ(small, "10.1");
}

TEST(ManagerReplies, NewMessagesCount) {
    int count = -99;
    EXPECT_EQ(readNewMessages("Response: Success\r\nNewMessages: 3\r\nOldMessages: 1\r\n", &count),
              NewMessagesReply::Count);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(readNewMessages("NewMessages: 0\r\n", &count), NewMessagesReply::Count);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(readNewMessages("NewMessages:12", &count), NewMessagesReply::Count);
    EXPECT_EQ(count, 12);
    EXPECT_EQ(readNewMessages("NewMessages: \r\n 4", &count), NewMessagesReply::Count);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(readNewMessages("NewMessages: +5", &count), NewMessagesReply::Count);
    EXPECT_EQ(count, 5);
    EXPECT_EQ(readNewMessages("NewMessages: 99999999999999999999", &count), NewMessagesReply::Count);
    EXPECT_EQ(count, INT_MAX);

    EXPECT_EQ(readNewMessages("NewMessages: \r\nOldMessages: 1\r\n", &count), NewMessagesReply::NoCount);
    EXPECT_EQ(readNewMessages("NewMessages: many", &count), NewMessagesReply::NoCount);
    // A negative number is no count of messages.
    EXPECT_EQ(readNewMessages("NewMessages: -1", &count), NewMessagesReply::NoCount);
    EXPECT_EQ(readNewMessages("Response: Success\r\n", &count), NewMessagesReply::KeywordMissing);
    EXPECT_EQ(readNewMessages("newmessages: 3", &count), NewMessagesReply::KeywordMissing);
    EXPECT_EQ(readNewMessages(nullptr, &count), NewMessagesReply::KeywordMissing);
}

}  // namespace
