#include "agent/manager_actions.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char* orEmpty(const char* text) {
    return text ? text : "";
}

}  // namespace

int formatLoginAction(char* buffer, const char* user, const char* secret) {
    return std::snprintf(buffer, kActionBufferSize,
                         "Action: Login\r\nUsername: %s\r\nSecret: %s\r\nEvents: off\r\n\r\n", orEmpty(user),
                         orEmpty(secret));
}

int formatExtStateAction(char* buffer, const char* extension) {
    return std::snprintf(buffer, kActionBufferSize, "Action: IAXExtState\r\nExten: %s\r\n\r\n",
                         orEmpty(extension));
}

int formatAgentLoginAction(char* buffer, const char* agentId, const char* extension) {
    return std::snprintf(buffer, kActionBufferSize,
                         "Action: AgentCallBackLogin\r\nAgent: %s\r\nExten: %s\r\nAckCall: false\r\n\r\n",
                         orEmpty(agentId), orEmpty(extension));
}

int formatQueuePauseAction(char* buffer, const char* agentId, const char* pausedValue) {
    const char* agent = orEmpty(agentId);
    const char* format = std::strchr(agent, '/')
                             ? "Action: QueuePause\r\nInterface: %s\r\nPaused: %s\r\n\r\n"
                             : "Action: QueuePause\r\nInterface: Agent/%s\r\nPaused: %s\r\n\r\n";
    return std::snprintf(buffer, kActionBufferSize, format, agent, orEmpty(pausedValue));
}

int formatMailboxCountAction(char* buffer, const char* mailbox, const char* context) {
    return std::snprintf(buffer, kActionBufferSize, "Action: MailboxCount\r\nMailbox: %s@%s\r\n\r\n",
                         orEmpty(mailbox), orEmpty(context));
}

int formatAgentLogoffAction(char* buffer, const char* agentId) {
    return std::snprintf(buffer, kActionBufferSize, "Action: AgentLogoff\r\nAgent: %s\r\n\r\n", orEmpty(agentId));
}

int formatLogoffAction(char* buffer) {
    return std::snprintf(buffer, kActionBufferSize, "Action: Logoff\r\n\r\n");
}

bool replyHas(const char* reply, const char* keyword) {
    return reply && keyword && std::strstr(reply, keyword) != nullptr;
}

ExtStateReply classifyExtStateReply(const char* reply, char* address, int capacity) {
    if (address && capacity > 0) address[0] = '\0';
    if (replyHas(reply, "Response: NOEXT")) return ExtStateReply::NoExt;
    if (replyHas(reply, "Response: NOTEXIST")) return ExtStateReply::NotExist;
    if (replyHas(reply, "Response: UNUSED")) return ExtStateReply::Unused;
    if (replyHas(reply, "Response: ") && address && capacity > 1) {
        char format[32];
        std::snprintf(format, sizeof format, "Response: %%%d[0-9.]", capacity - 1);
        if (std::sscanf(reply, format, address) == 1 && address[0] != '\0') return ExtStateReply::Address;
        address[0] = '\0';
    }
    return ExtStateReply::Unexpected;
}

NewMessagesReply readNewMessages(const char* reply, int* count) {
    static const char kKeyword[] = "NewMessages:";
    const char* found = reply ? std::strstr(reply, kKeyword) : nullptr;
    if (!found) return NewMessagesReply::KeywordMissing;

    // "NewMessages: %d": any white space, an optional sign, decimal digits.
    const char* p = found + sizeof kKeyword - 1;
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(p, &end, 10);
    if (end == p || value < 0) return NewMessagesReply::NoCount;
    if (count) *count = value > INT_MAX ? INT_MAX : static_cast<int>(value);
    return NewMessagesReply::Count;
}
