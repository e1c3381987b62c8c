// The lab PBX's queue dialect: the manager actions of a stock Asterisk 22
// call centre (QueueAdd, QueuePause with a reason, QueueRemove, QueueStatus,
// IAXpeerlist), answered with Asterisk's texts and written the way Asterisk
// writes them: header by header, the blank line that ends a message on its
// own (as the last one of a QueueStatus list comes). The classic dialect's own actions
// (IAXExtState, AgentCallBackLogin, AgentLogoff) are unknown commands here.
//
// Thread safety: every member may be called from any thread; the peer
// lookup is called without a lock of this class held.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "labpbx/manager/manager_action.h"
#include "labpbx/manager/reply_plan.h"

namespace labpbx {

struct ConnectionState;

// One IAX2 peer as the registrar knows it; address empty when unregistered.
struct PeerEntry {
    std::string name;
    std::string address;
    int port = 0;
};
using PeerListLookup = std::function<std::vector<PeerEntry>()>;

struct QueueMember {
    std::string interface;  // "IAX2/1001"
    std::string name;       // MemberName
    std::string stateInterface;
    bool paused = false;
    std::string reason;
    long long loginTime = 0;
    long long lastPause = 0;
};

class QueueDialect {
public:
    explicit QueueDialect(const std::vector<std::string>& queues, int segmentGapMs = 1);

    void setPeerListLookup(PeerListLookup lookup);

    // The plan for an action of this dialect, or nullopt for the actions
    // both dialects share (Login, Logoff, MailboxCount, Ping).
    std::optional<ReplyPlan> respond(const ManagerAction& action, const ConnectionState& connection);

    // The member of a queue, when there is one.
    std::optional<QueueMember> member(const std::string& queue, const std::string& interface) const;

private:
    ReplyPlan queueAdd(const ManagerAction& action, bool events);
    ReplyPlan queuePause(const ManagerAction& action, bool events);
    ReplyPlan queueRemove(const ManagerAction& action, bool events);
    ReplyPlan queueStatus(const ManagerAction& action);
    ReplyPlan peerList(const ManagerAction& action);
    // Writes messages as Asterisk does: header by header, with a gap.
    ReplyPlan segmented(const std::vector<std::string>& messages) const;

    const int gapMs_;
    mutable std::mutex mutex_;
    PeerListLookup peers_;
    std::map<std::string, std::vector<QueueMember>> queues_;
};

}  // namespace labpbx
