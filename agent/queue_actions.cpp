#include "agent/queue_actions.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "agent/manager_messages.h"
#include "app/settings.h"

namespace {

const char* orEmpty(const char* text) {
    return text ? text : "";
}

// A peer's port as the list reply gives it: leading decimal digits (after
// blanks and a sign), 0 when there are none; beyond int is clamped.
int portNumber(const std::string& text) {
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

// Calls visit with each message of a joined list reply.
template <typename Visit>
void forEachMessage(const std::string& list, Visit visit) {
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find("\r\n\r\n", start);
        const size_t stop = end == std::string::npos ? list.size() : end + 2;
        visit(list.substr(start, stop - start));
        if (end == std::string::npos) return;
        start = end + 4;
    }
}

}  // namespace

int formatQueueLoginAction(char* buffer, const char* actionId, const char* user, const char* secret) {
    return std::snprintf(buffer, kActionBufferSize,
                         "Action: Login\r\nActionID: %s\r\nUsername: %s\r\nSecret: %s\r\nEvents: off\r\n\r\n",
                         orEmpty(actionId), orEmpty(user), orEmpty(secret));
}

int formatQueueAddAction(char* buffer, const char* actionId, const char* queue, const char* extension,
                         const char* memberName, bool paused) {
    return std::snprintf(buffer, kActionBufferSize,
                         "Action: QueueAdd\r\nActionID: %s\r\nQueue: %s\r\nInterface: IAX2/%s\r\n"
                         "StateInterface: IAX2/%s\r\nMemberName: %s\r\nPaused: %s\r\n\r\n",
                         orEmpty(actionId), orEmpty(queue), orEmpty(extension), orEmpty(extension),
                         orEmpty(memberName), paused ? "true" : "false");
}

int formatQueuePauseReasonAction(char* buffer, const char* actionId, const char* extension,
                                 const char* pausedValue) {
    const char* value = orEmpty(pausedValue);
    if (std::strcmp(value, "false") == 0 || std::strcmp(value, "true") == 0) {
        return std::snprintf(buffer, kActionBufferSize,
                             "Action: QueuePause\r\nActionID: %s\r\nInterface: IAX2/%s\r\nPaused: %s\r\n\r\n",
                             orEmpty(actionId), orEmpty(extension), value);
    }
    return std::snprintf(buffer, kActionBufferSize,
                         "Action: QueuePause\r\nActionID: %s\r\nInterface: IAX2/%s\r\nPaused: true\r\n"
                         "Reason: %s\r\n\r\n",
                         orEmpty(actionId), orEmpty(extension), value);
}

int formatQueueRemoveAction(char* buffer, const char* actionId, const char* queue, const char* extension) {
    return std::snprintf(buffer, kActionBufferSize,
                         "Action: QueueRemove\r\nActionID: %s\r\nQueue: %s\r\nInterface: IAX2/%s\r\n\r\n",
                         orEmpty(actionId), orEmpty(queue), orEmpty(extension));
}

int formatQueueStatusAction(char* buffer, const char* actionId, const char* queue, const char* extension) {
    return std::snprintf(buffer, kActionBufferSize,
                         "Action: QueueStatus\r\nActionID: %s\r\nQueue: %s\r\nMember: IAX2/%s\r\n\r\n",
                         orEmpty(actionId), orEmpty(queue), orEmpty(extension));
}

int formatPeerListAction(char* buffer, const char* actionId) {
    return std::snprintf(buffer, kActionBufferSize, "Action: IAXpeerlist\r\nActionID: %s\r\n\r\n",
                         orEmpty(actionId));
}

int formatQueueMailboxCountAction(char* buffer, const char* actionId, const char* mailbox, const char* context) {
    return std::snprintf(buffer, kActionBufferSize,
                         "Action: MailboxCount\r\nActionID: %s\r\nMailbox: %s@%s\r\n\r\n", orEmpty(actionId),
                         orEmpty(mailbox), orEmpty(context));
}

int formatQueueLogoffAction(char* buffer, const char* actionId) {
    return std::snprintf(buffer, kActionBufferSize, "Action: Logoff\r\nActionID: %s\r\n\r\n", orEmpty(actionId));
}

bool replySucceeded(const std::string& reply) {
    std::string value;
    return messageHeader(reply, "Response", &value) && value == "Success";
}

bool replyMessageEndsWith(const std::string& reply, const char* text) {
    std::string value;
    if (!messageHeader(reply, "Message", &value)) return false;
    const size_t n = std::strlen(text);
    return value.size() >= n && value.compare(value.size() - n, n, text) == 0;
}

PeerState findPeer(const std::string& list, const char* extension, char* address, int capacity, int* port) {
    if (address && capacity > 0) address[0] = '\0';
    if (port) *port = 0;
    PeerState state = PeerState::NotDefined;
    forEachMessage(list, [&](const std::string& message) {
        std::string value;
        if (!messageHeader(message, "Event", &value) || value != "PeerEntry") return;
        if (!messageHeader(message, "ObjectName", &value) || value != orEmpty(extension)) return;
        std::string ip;
        std::string portText;
        messageHeader(message, "IPaddress", &ip);
        if (!messageHeader(message, "Port", &portText)) messageHeader(message, "IPport", &portText);
        if (ip.empty() || ip == "(null)" || ip == "0.0.0.0") {
            state = PeerState::Unregistered;
            return;
        }
        state = PeerState::Registered;
        if (address && capacity > 0) copyText(address, capacity, ip.c_str());
        if (port) *port = portNumber(portText);
    });
    return state;
}

bool findMemberState(const std::string& list, const char* extension, MemberState* state) {
    const std::string interface = std::string("IAX2/") + orEmpty(extension);
    bool found = false;
    forEachMessage(list, [&](const std::string& message) {
        std::string value;
        if (found || !messageHeader(message, "Event", &value) || value != "QueueMember") return;
        if (!messageHeader(message, "Location", &value) || value != interface) return;
        found = true;
        if (!state) return;
        state->paused = messageHeader(message, "Paused", &value) && value == "1";
        state->reason.clear();
        messageHeader(message, "PausedReason", &state->reason);
    });
    return found;
}
