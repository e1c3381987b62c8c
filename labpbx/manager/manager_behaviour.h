// The lab PBX's answers to manager actions, without any socket: Login with
// users and secrets, IAXExtState through a lookup the PBX supplies,
// AgentCallBackLogin, QueuePause (each paused value recorded per agent),
// MailboxCount (the reply in two segments), AgentLogoff, Logoff, Ping.
// Replies follow the manager format: "Response: ...", optional
// "ActionID: ...", "Message: ...", CRLF lines, an empty line at the end.
//
// Thread safety: all members may be called from any thread. The lookup is
// called without any lock of this class held.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "labpbx/manager/manager_action.h"
#include "labpbx/manager/queue_dialect.h"
#include "labpbx/manager/reply_plan.h"

namespace labpbx {

struct ManagerUser {
    std::string name;
    std::string secret;
};

struct ManagerMailbox {
    std::string number;
    std::string context = "default";
    int newMessages = 0;
    int oldMessages = 0;
    int urgentMessages = 0;
};

struct ManagerConfig {
    std::string bindAddress = "127.0.0.1";
    int port = 5038;  // 0: an ephemeral port (see ManagerServer::port)
    std::string version = "10.0.0";
    std::vector<ManagerUser> users;
    // Agent IDs ("1001") or full interface names ("SIP/1001").
    std::vector<std::string> agents;
    std::vector<ManagerMailbox> mailboxes;
    // Gap between the two segments of the MailboxCount reply.
    int mailboxSplitMs = 10;
    // A refused Login is answered this much later (then the connection
    // closes), as a real manager slows down password guessing.
    int failedLoginDelayMs = 0;
    // "classic" or "queues" (queue_dialect.h), and the queues of the latter.
    std::string dialect = "classic";
    std::vector<std::string> queues;
};

// The registration state of an extension, as IAXExtState reports it.
enum class ExtState { NoExt, NotExist, Unused, Registered };
struct ExtStateAnswer {
    ExtState state = ExtState::NotExist;
    std::string address;  // the registering IPv4 address, for Registered
};
using ExtStateLookup = std::function<ExtStateAnswer(const std::string& extension)>;

// What one connection has done so far.
struct ConnectionState {
    bool authenticated = false;
    bool eventsOn = true;
    std::string user;
};

class ManagerBehaviour {
public:
    explicit ManagerBehaviour(const ManagerConfig& config);

    // Without a lookup every extension is reported as not defined.
    void setExtStateLookup(ExtStateLookup lookup);

    // The reply to one action on a connection; updates that connection's
    // state and the PBX state (agents, pause history).
    ReplyPlan respond(const ManagerAction& action, ConnectionState& connection);

    // Paused values received for the agent, in order ("true", "acwib", ...).
    // Past kMaxPauseHistory entries the older half is dropped.
    std::vector<std::string> pauseHistory(const std::string& agent) const;
    static constexpr size_t kMaxPauseHistory = 65536;
    // Whether the agent is logged in by AgentCallBackLogin, and where.
    bool agentLoggedIn(const std::string& agent, std::string* extension = nullptr) const;
    // mailbox is "number" or "number@context" (context "default" if none).
    // Returns false for a mailbox that is not configured.
    bool setNewMessages(const std::string& mailbox, int count);
    int newMessages(const std::string& mailbox) const;

    // Greeting line sent when a connection opens.
    std::string greeting() const;

    // The queue dialect's state (used when the config asks for it).
    QueueDialect& queueDialect() { return queueDialect_; }

private:
    struct AgentState {
        bool loggedIn = false;
        std::string extension;
        std::vector<std::string> pauses;
    };

    ReplyPlan login(const ManagerAction& action, ConnectionState& connection);
    ReplyPlan extensionState(const ManagerAction& action);
    ReplyPlan agentLogin(const ManagerAction& action);
    ReplyPlan queuePause(const ManagerAction& action);
    ReplyPlan mailboxCount(const ManagerAction& action);
    ReplyPlan agentLogoff(const ManagerAction& action);
    ManagerMailbox* findMailbox(const std::string& mailbox);
    const ManagerMailbox* findMailbox(const std::string& mailbox) const;

    const ManagerConfig config_;
    mutable std::mutex mutex_;
    ExtStateLookup lookup_;
    std::map<std::string, AgentState> agents_;
    std::vector<ManagerMailbox> mailboxes_;
    QueueDialect queueDialect_;
};

// "Response: <status>\r\n[ActionID: <id>\r\n][Message: <message>\r\n]\r\n"
std::string managerResponse(const std::string& status, const std::string& message, const ManagerAction& action);

}  // namespace labpbx
