// The queue dialect's manager actions and the reading of their replies.
// Every action carries an ActionID, by which its reply is found. The member
// interface of an agent is "IAX2/<extension>". Formatters write into a
// buffer of kActionBufferSize bytes and return the length the action needs,
// as snprintf does.
#pragma once

#include <string>

#include "agent/manager_actions.h"

int formatQueueLoginAction(char* buffer, const char* actionId, const char* user, const char* secret);
// Paused is true when the agent joins Not Ready.
int formatQueueAddAction(char* buffer, const char* actionId, const char* queue, const char* extension,
                         const char* memberName, bool paused);
// pausedValue as the mode operations give it: "false" unpauses, "true"
// pauses without a reason, any other code pauses with it as the reason.
// No queue is named: the pause applies to every queue the member is in.
int formatQueuePauseReasonAction(char* buffer, const char* actionId, const char* extension,
                                 const char* pausedValue);
int formatQueueRemoveAction(char* buffer, const char* actionId, const char* queue, const char* extension);
int formatQueueStatusAction(char* buffer, const char* actionId, const char* queue, const char* extension);
int formatPeerListAction(char* buffer, const char* actionId);
int formatQueueMailboxCountAction(char* buffer, const char* actionId, const char* mailbox, const char* context);
int formatQueueLogoffAction(char* buffer, const char* actionId);

// True for "Response: Success".
bool replySucceeded(const std::string& reply);
// True when the reply's Message ends with the given text ("Already there",
// "Not there").
bool replyMessageEndsWith(const std::string& reply, const char* text);

// The extension's entry in an IAXpeerlist (or IAXpeers) reply.
enum class PeerState { NotDefined, Unregistered, Registered };
// For Registered, address (capacity bytes) holds the IP address and port
// the port (0 when unreadable); otherwise address is emptied.
PeerState findPeer(const std::string& list, const char* extension, char* address, int capacity, int* port);

// The member's state in a QueueStatus reply.
struct MemberState {
    bool paused = false;
    std::string reason;
};
// False when the list has no QueueMember entry for IAX2/<extension>.
bool findMemberState(const std::string& list, const char* extension, MemberState* state);

// Splits "a,b,c" into its names; empty names are left out.
template <typename Visit>
void forEachQueue(const char* queues, Visit visit) {
    std::string name;
    for (const char* p = queues ? queues : "";; ++p) {
        if (*p == ',' || *p == '\0') {
            if (!name.empty() && !visit(name.c_str())) return;
            name.clear();
            if (*p == '\0') return;
        } else {
            name += *p;
        }
    }
}
