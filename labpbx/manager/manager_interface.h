// The lab PBX's manager interface: a TCP server (loopback by default) that
// greets each connection with "Asterisk Call Manager/<version>\r\n", splits
// what arrives into actions, records every action, and answers each one with
// the lab PBX's behaviour (manager_behaviour.h), a script's plan, or an
// injected fault. The same class is the scripted manager of the tests.
//
// Use:
//   ManagerConfig config;  config.port = 0;  config.users = {{"queueopr", "x"}};
//   ManagerServer server(config);
//   if (!server.start(&error)) ...;   server.port() is the bound port
//   ... server.actions(), server.pauseHistory("1001"), server.failNextReply() ...
//   server.stop();                    (the destructor stops too)
//
// Threads: one thread accepts connections and one thread serves each
// connection. Every public member may be called from any thread, also while
// connections are being served. Hooks and the extension-state lookup are
// called from a connection's thread without any lock of the server held, so
// they may call back into the server.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "labpbx/manager/manager_action.h"
#include "labpbx/manager/manager_behaviour.h"
#include "labpbx/manager/reply_plan.h"

namespace labpbx {

// One action as the server received it.
struct ReceivedAction {
    int connection = 0;  // 1 for the first accepted connection, and so on
    ManagerAction action;
    // Bytes of a later action had arrived before the last write of this
    // action's reply: the client did not wait for the reply before sending.
    bool overlapped = false;
};

// A test's script: a plan for this action, or nullopt for the normal reply.
using ActionScript = std::function<std::optional<ReplyPlan>(const ReceivedAction& received)>;
// A plan instead of the greeting (connection number given), or nullopt.
using GreetingScript = std::function<std::optional<ReplyPlan>(int connection)>;

class ManagerServer {
public:
    explicit ManagerServer(ManagerConfig config);
    ~ManagerServer();
    ManagerServer(const ManagerServer&) = delete;
    ManagerServer& operator=(const ManagerServer&) = delete;

    // Binds, listens and starts serving. False (and a reason) on failure.
    bool start(std::string* error = nullptr);
    // Closes every connection and the listener and joins all threads.
    void stop();
    // The bound port (the ephemeral one when the config asked for 0).
    int port() const { return port_; }

    ManagerBehaviour& behaviour() { return behaviour_; }
    void setExtStateLookup(ExtStateLookup lookup) { behaviour_.setExtStateLookup(std::move(lookup)); }
    void setActionScript(ActionScript script);
    void setGreetingScript(GreetingScript script);

    // Faults for the next reply, one each, taken in the order given. The
    // action itself is not carried out when its reply fails.
    void failNextReply();            // "Response: Error" / "Message: Injected failure"
    void delayNextReply(int ms);     // the normal reply, ms later
    void splitNextReply(int gapMs);  // cut in the middle of its first line
    // Closes every open manager connection now (reset: with RST, else FIN).
    void dropLinks(bool reset = false);

    // Records. At most kMaxRecordedActions are kept; actionCount() counts all.
    std::vector<ReceivedAction> actions() const;
    size_t actionCount() const;
    bool waitForActions(size_t count, int timeoutMs) const;
    // Bytes received on all connections so far.
    size_t bytesReceived() const;
    bool waitForBytes(size_t count, int timeoutMs) const;
    // Connections accepted so far, and those still open.
    int connectionsAccepted() const;
    int openConnections() const;
    bool waitForOpenConnections(int count, int timeoutMs) const;
    // Replies (plans) completed so far.
    size_t repliesDone() const;
    bool waitForReplies(size_t count, int timeoutMs) const;

    std::vector<std::string> pauseHistory(const std::string& agent) const {
        return behaviour_.pauseHistory(agent);
    }
    bool setNewMessages(const std::string& mailbox, int count) {
        return behaviour_.setNewMessages(mailbox, count);
    }

    static constexpr size_t kMaxRecordedActions = 4096;

private:
    struct Connection;
    struct Fault {
        enum class Kind { Fail, Delay, Split } kind;
        int ms;
    };

    void acceptLoop();
    void serve(const std::shared_ptr<Connection>& connection);
    struct PlanRun {
        bool hadDefault = false;
        // Whether bytes of a later action are already here, and what it said
        // before the plan's last write.
        std::function<bool()> laterInput;
        bool overlapped = false;
    };
    // Runs a plan; false when the connection ended.
    bool runPlan(Connection& connection, const ReplyPlan& plan, const ReceivedAction* received,
                 ConnectionState& state, PlanRun& run);
    ReplyPlan planFor(const ReceivedAction& received, ConnectionState& state);
    bool sendAll(Connection& connection, const std::string& text);
    bool pauseFor(int ms);
    void closeConnection(Connection& connection, bool reset);
    void reapFinished();
    void noteChange();
    template <typename Ready>
    bool waitUntil(int timeoutMs, Ready ready) const;

    const ManagerConfig config_;
    ManagerBehaviour behaviour_;
    int listenFd_ = -1;
    int wakeFd_ = -1;  // eventfd: readable once stop() begins
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread acceptThread_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::list<std::shared_ptr<Connection>> connections_;
    ActionScript actionScript_;
    GreetingScript greetingScript_;
    std::deque<Fault> faults_;
    std::vector<ReceivedAction> records_;
    size_t actionCount_ = 0;
    size_t bytesReceived_ = 0;
    size_t repliesDone_ = 0;
    int accepted_ = 0;
    int open_ = 0;
};

}  // namespace labpbx
