// The manager interface's TCP side: listener, one thread per connection,
// plans run on the connection, faults and records.
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

#include "labpbx/manager/manager_interface.h"

namespace labpbx {

namespace {

constexpr int kListenBacklog = 16;
constexpr size_t kReceiveChunk = 4096;
// How long an orderly close waits for the peer's own close.
constexpr int kCloseLingerMs = 1000;

bool hasPendingInput(int fd) {
    int pending = 0;
    return ioctl(fd, FIONREAD, &pending) == 0 && pending > 0;
}

int pollRetrying(pollfd* fds, nfds_t count, int timeoutMs) {
    for (;;) {
        const int ready = poll(fds, count, timeoutMs);
        if (ready >= 0 || errno != EINTR) return ready;
    }
}

}  // namespace

struct ManagerServer::Connection {
    int id = 0;
    int fd = -1;  // closed and set to -1 under the server's mutex
    enum class Drop { None, Close, Reset } drop = Drop::None;
    std::thread thread;
    std::atomic<bool> finished{false};
};

ManagerServer::ManagerServer(ManagerConfig config) : config_(std::move(config)), behaviour_(config_) {}

ManagerServer::~ManagerServer() {
    stop();
}

bool ManagerServer::start(std::string* error) {
    auto fail = [&](const char* what) {
        if (error) *error = std::string(what) + ": " + std::system_category().message(errno);
        if (listenFd_ >= 0) close(listenFd_);
        if (wakeFd_ >= 0) close(wakeFd_);
        listenFd_ = wakeFd_ = -1;
        return false;
    };
    if (listenFd_ >= 0) return true;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(config_.port));
    if (config_.port < 0 || config_.port > 65535 ||
        inet_pton(AF_INET, config_.bindAddress.c_str(), &address.sin_addr) != 1) {
        errno = EINVAL;
        return fail("bad address or port");
    }
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) return fail("socket");
    const int on = 1;
    setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (bind(listenFd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return fail("bind");
    if (listen(listenFd_, kListenBacklog) != 0) return fail("listen");
    socklen_t length = sizeof address;
    if (getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return fail("getsockname");
    port_ = ntohs(address.sin_port);
    wakeFd_ = eventfd(0, EFD_CLOEXEC);
    if (wakeFd_ < 0) return fail("eventfd");
    stopping_ = false;
    acceptThread_ = std::thread([this] { acceptLoop(); });
    return true;
}

void ManagerServer::stop() {
    if (listenFd_ < 0) return;
    stopping_ = true;
    const uint64_t one = 1;
    if (write(wakeFd_, &one, sizeof one) < 0) {
        // The flag alone still ends every loop at its next wake-up.
    }
    if (acceptThread_.joinable()) acceptThread_.join();

    std::list<std::shared_ptr<Connection>> connections;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& connection : connections_) {
            if (connection->fd >= 0) shutdown(connection->fd, SHUT_RDWR);
        }
        connections.swap(connections_);
    }
    for (const auto& connection : connections) {
        if (connection->thread.joinable()) connection->thread.join();
    }
    close(listenFd_);
    close(wakeFd_);
    listenFd_ = wakeFd_ = -1;
}

void ManagerServer::setActionScript(ActionScript script) {
    std::lock_guard<std::mutex> lock(mutex_);
    actionScript_ = std::move(script);
}

void ManagerServer::setGreetingScript(GreetingScript script) {
    std::lock_guard<std::mutex> lock(mutex_);
    greetingScript_ = std::move(script);
}

void ManagerServer::failNextReply() {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.push_back({Fault::Kind::Fail, 0});
}

void ManagerServer::delayNextReply(int ms) {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.push_back({Fault::Kind::Delay, ms});
}

void ManagerServer::splitNextReply(int gapMs) {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.push_back({Fault::Kind::Split, gapMs});
}

void ManagerServer::dropLinks(bool reset) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& connection : connections_) {
        if (connection->fd < 0) continue;
        connection->drop = reset ? Connection::Drop::Reset : Connection::Drop::Close;
        // Wakes the connection's thread; with reset only the receiving side
        // is shut so that the close can still abort the connection.
        shutdown(connection->fd, reset ? SHUT_RD : SHUT_RDWR);
    }
}

void ManagerServer::noteChange() {
    changed_.notify_all();
}

template <typename Ready>
bool ManagerServer::waitUntil(int timeoutMs, Ready ready) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
}

std::vector<ReceivedAction> ManagerServer::actions() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_;
}

size_t ManagerServer::actionCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return actionCount_;
}

bool ManagerServer::waitForActions(size_t count, int timeoutMs) const {
    return waitUntil(timeoutMs, [&] { return actionCount_ >= count; });
}

size_t ManagerServer::bytesReceived() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return bytesReceived_;
}

bool ManagerServer::waitForBytes(size_t count, int timeoutMs) const {
    return waitUntil(timeoutMs, [&] { return bytesReceived_ >= count; });
}

int ManagerServer::connectionsAccepted() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return accepted_;
}

int ManagerServer::openConnections() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return open_;
}

bool ManagerServer::waitForOpenConnections(int count, int timeoutMs) const {
    return waitUntil(timeoutMs, [&] { return open_ == count; });
}

size_t ManagerServer::repliesDone() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return repliesDone_;
}

bool ManagerServer::waitForReplies(size_t count, int timeoutMs) const {
    return waitUntil(timeoutMs, [&] { return repliesDone_ >= count; });
}

void ManagerServer::reapFinished() {
    std::list<std::shared_ptr<Connection>> done;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            if ((*it)->finished) {
                done.push_back(*it);
                it = connections_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const auto& connection : done) connection->thread.join();
}

void ManagerServer::acceptLoop() {
    while (!stopping_) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        if (pollRetrying(fds, 2, -1) < 0 || stopping_) break;
        reapFinished();
        if (!(fds[0].revents & POLLIN)) continue;
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        // Every write goes out at once, so that a plan's segments and pauses
        // reach the client as planned.
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        auto connection = std::make_shared<Connection>();
        connection->fd = fd;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            connection->id = ++accepted_;
            ++open_;
            connections_.push_back(connection);
        }
        noteChange();
        connection->thread = std::thread([this, connection] { serve(connection); });
    }
}

bool ManagerServer::sendAll(Connection& connection, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t sent = send(connection.fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(sent);
    }
    return true;
}

bool ManagerServer::pauseFor(int ms) {
    if (ms <= 0) return !stopping_;
    pollfd wake{wakeFd_, POLLIN, 0};
    pollRetrying(&wake, 1, ms);
    return !stopping_;
}

void ManagerServer::closeConnection(Connection& connection, bool reset) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (connection.drop == Connection::Drop::Reset) reset = true;
    }
    if (reset) {
        const linger abort{1, 0};
        setsockopt(connection.fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    } else {
        // Orderly: send FIN, then take what the peer still sends until it
        // closes too, so that no unread byte turns the close into a reset.
        shutdown(connection.fd, SHUT_WR);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kCloseLingerMs);
        char scrap[kReceiveChunk];
        while (!stopping_ && std::chrono::steady_clock::now() < deadline) {
            pollfd fds[2] = {{connection.fd, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
            if (pollRetrying(fds, 2, kCloseLingerMs) <= 0 || stopping_) break;
            const ssize_t n = recv(connection.fd, scrap, sizeof scrap, 0);
            if (n <= 0) break;
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        close(connection.fd);
        connection.fd = -1;
        --open_;
    }
    noteChange();
}

ReplyPlan ManagerServer::planFor(const ReceivedAction& received, ConnectionState& state) {
    ActionScript script;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        script = actionScript_;
    }
    if (script) {
        if (std::optional<ReplyPlan> plan = script(received)) return *plan;
    }
    std::optional<Fault> fault;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!faults_.empty()) {
            fault = faults_.front();
            faults_.pop_front();
        }
    }
    if (!fault) return {defaultStep()};
    switch (fault->kind) {
        case Fault::Kind::Fail:
            return {sendStep(managerResponse("Error", "Injected failure", received.action))};
        case Fault::Kind::Delay:
            return {pauseStep(fault->ms), defaultStep()};
        case Fault::Kind::Split:
            break;
    }
    ReplyPlan plan;
    bool split = false;
    for (ReplyStep& step : behaviour_.respond(received.action, state)) {
        if (!split && step.kind == ReplyStep::Kind::Send && !step.text.empty()) {
            const size_t lineEnd = step.text.find("\r\n");
            const size_t at = (lineEnd == std::string::npos ? step.text.size() : lineEnd) / 2;
            for (ReplyStep& piece : splitPlan(step.text, at, fault->ms)) plan.push_back(std::move(piece));
            split = true;
        } else {
            plan.push_back(std::move(step));
        }
    }
    return plan;
}

bool ManagerServer::runPlan(Connection& connection, const ReplyPlan& plan, const ReceivedAction* received,
                            ConnectionState& state, PlanRun& run) {
    for (const ReplyStep& step : plan) {
        switch (step.kind) {
            case ReplyStep::Kind::Send:
                if (run.laterInput) run.overlapped = run.laterInput();
                if (!sendAll(connection, step.text)) {
                    closeConnection(connection, false);
                    return false;
                }
                break;
            case ReplyStep::Kind::Pause:
                if (!pauseFor(step.ms)) {
                    closeConnection(connection, false);
                    return false;
                }
                break;
            case ReplyStep::Kind::Close:
                closeConnection(connection, false);
                return false;
            case ReplyStep::Kind::Reset:
                closeConnection(connection, true);
                return false;
            case ReplyStep::Kind::Default:
                // Only an action has a default reply; a default inside a default
                // reply cannot occur.
                if (received && !run.hadDefault) {
                    run.hadDefault = true;
                    if (!runPlan(connection, behaviour_.respond(received->action, state), received, state, run))
                        return false;
                }
                break;
        }
    }
    return true;
}

void ManagerServer::serve(const std::shared_ptr<Connection>& connection) {
    ConnectionState state;
    ActionSplitter splitter;
    bool open = true;

    GreetingScript greetingScript;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        greetingScript = greetingScript_;
    }
    std::optional<ReplyPlan> greeting = greetingScript ? greetingScript(connection->id) : std::nullopt;
    PlanRun greetingRun;
    open = runPlan(*connection, greeting ? *greeting : ReplyPlan{sendStep(behaviour_.greeting())}, nullptr, state,
                   greetingRun);

    char chunk[kReceiveChunk];
    std::vector<ManagerAction> completed;
    while (open) {
        pollfd fds[2] = {{connection->fd, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        if (pollRetrying(fds, 2, -1) < 0 || stopping_) break;
        if (!(fds[0].revents & (POLLIN | POLLERR | POLLHUP))) continue;
        const ssize_t n = recv(connection->fd, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            bytesReceived_ += static_cast<size_t>(n);
        }
        noteChange();

        completed.clear();
        splitter.feed(std::string_view(chunk, static_cast<size_t>(n)), completed);
        for (size_t i = 0; open && i < completed.size(); ++i) {
            ReceivedAction received{connection->id, std::move(completed[i]), false};
            size_t index;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                index = records_.size();
                if (records_.size() < kMaxRecordedActions) records_.push_back(received);
                ++actionCount_;
            }
            noteChange();

            const ReplyPlan plan = planFor(received, state);
            // Anything of a later action here before the reply's last write
            // means the client sent it before it could have the whole reply.
            PlanRun run;
            run.laterInput = [&] {
                return i + 1 < completed.size() || splitter.hasPartial() || hasPendingInput(connection->fd);
            };
            open = runPlan(*connection, plan, &received, state, run);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (index < records_.size()) records_[index].overlapped = run.overlapped;
                ++repliesDone_;
            }
            noteChange();
        }
    }
    if (open) closeConnection(*connection, false);
    connection->finished = true;
}

}  // namespace labpbx
