#include "labpbx/manager/queue_dialect.h"

#include <chrono>

#include "labpbx/manager/manager_behaviour.h"

namespace labpbx {

namespace {

bool isTrue(const std::string& value) {
    for (const char* word : {"yes", "true", "y", "t", "1", "on"}) {
        if (equalsIgnoreCase(value, word)) return true;
    }
    return false;
}

long long now() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string idLine(const ManagerAction& action) {
    return action.has("ActionID") ? "ActionID: " + action.value("ActionID") + "\r\n" : std::string();
}

std::string response(const std::string& status, const std::string& message, const ManagerAction& action) {
    return "Response: " + status + "\r\n" + idLine(action) + "Message: " + message + "\r\n\r\n";
}

// The fields the member events share (Added, Pause, Removed).
std::string memberEvent(const char* event, const std::string& queue, const QueueMember& m) {
    return std::string("Event: ") + event + "\r\nPrivilege: agent,all\r\nQueue: " + queue +
           "\r\nMemberName: " + m.name + "\r\nInterface: " + m.interface +
           "\r\nStateInterface: " + m.stateInterface +
           "\r\nMembership: dynamic\r\nPenalty: 0\r\nCallsTaken: 0\r\nLastCall: 0\r\nLastPause: " +
           std::to_string(m.lastPause) + "\r\nLoginTime: " + std::to_string(m.loginTime) +
           "\r\nInCall: 0\r\nStatus: 0\r\nPaused: " + (m.paused ? "1" : "0") + "\r\nPausedReason: " + m.reason +
           "\r\nRinginuse: 1\r\nWrapuptime: 0\r\n\r\n";
}

}  // namespace

QueueDialect::QueueDialect(const std::vector<std::string>& queues, int segmentGapMs) : gapMs_(segmentGapMs) {
    for (const std::string& queue : queues) queues_[queue];
}

void QueueDialect::setPeerListLookup(PeerListLookup lookup) {
    std::lock_guard<std::mutex> lock(mutex_);
    peers_ = std::move(lookup);
}

std::optional<ReplyPlan> QueueDialect::respond(const ManagerAction& action, const ConnectionState& connection) {
    const std::string name = action.name();
    if (equalsIgnoreCase(name, "QueueAdd")) return queueAdd(action, connection.eventsOn);
    if (equalsIgnoreCase(name, "QueuePause")) return queuePause(action, connection.eventsOn);
    if (equalsIgnoreCase(name, "QueueRemove")) return queueRemove(action, connection.eventsOn);
    if (equalsIgnoreCase(name, "QueueStatus")) return queueStatus(action);
    if (equalsIgnoreCase(name, "IAXpeerlist")) return peerList(action);
    for (const char* classic : {"IAXExtState", "AgentCallBackLogin", "AgentLogoff"}) {
        if (equalsIgnoreCase(name, classic)) {
            return segmented({response(
                "Error",
                "Invalid/unknown command: " + name + ". Use Action: ListCommands to show available commands.",
                action)});
        }
    }
    return std::nullopt;
}

std::optional<QueueMember> QueueDialect::member(const std::string& queue, const std::string& interface) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = queues_.find(queue);
    if (found == queues_.end()) return std::nullopt;
    for (const QueueMember& m : found->second) {
        if (m.interface == interface) return m;
    }
    return std::nullopt;
}

ReplyPlan QueueDialect::queueAdd(const ManagerAction& action, bool events) {
    const std::string queue = action.value("Queue");
    const std::string interface = action.value("Interface");
    if (queue.empty() || interface.empty())
        return segmented({response("Error", "'Queue' and 'Interface' not specified.", action)});
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = queues_.find(queue);
    if (found == queues_.end())
        return segmented({response("Error", "Unable to add interface to queue: No such queue", action)});
    for (const QueueMember& m : found->second) {
        if (m.interface == interface)
            return segmented({response("Error", "Unable to add interface: Already there", action)});
    }
    QueueMember m;
    m.interface = interface;
    m.name = action.has("MemberName") ? action.value("MemberName") : interface;
    m.stateInterface = action.has("StateInterface") ? action.value("StateInterface") : interface;
    m.paused = isTrue(action.value("Paused"));
    m.loginTime = m.lastPause = now();
    found->second.push_back(m);
    std::vector<std::string> messages{response("Success", "Added interface to queue", action)};
    if (events) messages.push_back(memberEvent("QueueMemberAdded", queue, m));
    return segmented(messages);
}

ReplyPlan QueueDialect::queuePause(const ManagerAction& action, bool events) {
    const std::string interface = action.value("Interface");
    const std::string queue = action.value("Queue");
    if (interface.empty() || !action.has("Paused"))
        return segmented({response("Error", "Need 'Interface' and 'Paused' parameters.", action)});
    const bool paused = isTrue(action.value("Paused"));
    std::vector<std::string> eventTexts;
    bool any = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& [name, members] : queues_) {
            if (!queue.empty() && name != queue) continue;
            for (QueueMember& m : members) {
                if (m.interface != interface) continue;
                any = true;
                m.paused = paused;
                m.reason = action.value("Reason");
                m.lastPause = now();
                if (events) eventTexts.push_back(memberEvent("QueueMemberPause", name, m));
            }
        }
    }
    if (!any) return segmented({response("Error", "Interface not found", action)});
    std::vector<std::string> messages{
        response("Success", paused ? "Interface paused successfully" : "Interface unpaused successfully", action)};
    messages.insert(messages.end(), eventTexts.begin(), eventTexts.end());
    return segmented(messages);
}

ReplyPlan QueueDialect::queueRemove(const ManagerAction& action, bool events) {
    const std::string queue = action.value("Queue");
    const std::string interface = action.value("Interface");
    if (queue.empty() || interface.empty())
        return segmented({response("Error", "Need 'Queue' and 'Interface' parameters.", action)});
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = queues_.find(queue);
    if (found == queues_.end())
        return segmented({response("Error", "Unable to remove interface from queue: No such queue", action)});
    std::vector<QueueMember>& members = found->second;
    for (auto it = members.begin(); it != members.end(); ++it) {
        if (it->interface != interface) continue;
        std::vector<std::string> messages{response("Success", "Removed interface from queue", action)};
        if (events) messages.push_back(memberEvent("QueueMemberRemoved", queue, *it));
        members.erase(it);
        return segmented(messages);
    }
    return segmented({response("Error", "Unable to remove interface: Not there", action)});
}

ReplyPlan QueueDialect::queueStatus(const ManagerAction& action) {
    const std::string queue = action.value("Queue");
    const std::string memberFilter = action.value("Member");
    const std::string id = idLine(action);
    std::vector<std::string> messages{"Response: Success\r\n" + id +
                                      "EventList: start\r\nMessage: Queue status will follow\r\n\r\n"};
    int items = 0;
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [name, members] : queues_) {
        if (!queue.empty() && name != queue) continue;
        std::string params = "Event: QueueParams\r\nQueue: ";
        params += name;
        params +=
            "\r\nMax: 0\r\nStrategy: ringall\r\nCalls: 0\r\nHoldtime: 0\r\nTalkTime: 0\r\n"
            "Completed: 0\r\nAbandoned: 0\r\nServiceLevel: 0\r\nServicelevelPerf: 0.0\r\n"
            "ServicelevelPerf2: 0.0\r\nWeight: 0\r\n";
        params += id;
        params += "\r\n";
        messages.push_back(std::move(params));
        ++items;
        for (const QueueMember& m : members) {
            if (!memberFilter.empty() && m.interface != memberFilter && m.name != memberFilter) continue;
            std::string entry = "Event: QueueMember\r\nQueue: ";
            entry += name;
            entry += "\r\nName: ";
            entry += m.name;
            entry += "\r\nLocation: ";
            entry += m.interface;
            entry += "\r\nStateInterface: ";
            entry += m.stateInterface;
            entry += "\r\nMembership: dynamic\r\nPenalty: 0\r\nCallsTaken: 0\r\nLastCall: 0\r\nLastPause: ";
            entry += std::to_string(m.lastPause);
            entry += "\r\nLoginTime: ";
            entry += std::to_string(m.loginTime);
            entry += "\r\nInCall: 0\r\nStatus: 0\r\nPaused: ";
            entry += m.paused ? "1" : "0";
            entry += "\r\nPausedReason: ";
            entry += m.reason;
            entry += "\r\nWrapuptime: 0\r\n";
            entry += id;
            entry += "\r\n";
            messages.push_back(std::move(entry));
            ++items;
        }
    }
    messages.push_back("Event: QueueStatusComplete\r\n" + id +
                       "EventList: Complete\r\nListItems: " + std::to_string(items) + "\r\n\r\n");
    return segmented(messages);
}

ReplyPlan QueueDialect::peerList(const ManagerAction& action) {
    PeerListLookup lookup;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        lookup = peers_;
    }
    const std::vector<PeerEntry> peers = lookup ? lookup() : std::vector<PeerEntry>{};
    const std::string id = idLine(action);
    std::vector<std::string> messages{"Response: Success\r\n" + id +
                                      "EventList: start\r\nMessage: IAX Peer status list will follow\r\n\r\n"};
    for (const PeerEntry& peer : peers) {
        const bool registered = !peer.address.empty();
        messages.push_back("Event: PeerEntry\r\n" + id + "Channeltype: IAX\r\nObjectName: " + peer.name +
                           "\r\nChanObjectType: peer\r\nIPaddress: " + (registered ? peer.address : "(null)") +
                           "\r\nMask: (null)\r\nPort: " + (registered ? std::to_string(peer.port) : "(null)") +
                           "\r\nDynamic: yes\r\nTrunk: no\r\nEncryption: no\r\nStatus: " +
                           (registered ? "OK (1 ms)" : "UNKNOWN") + "\r\n\r\n");
    }
    messages.push_back("Event: PeerlistComplete\r\n" + id +
                       "EventList: Complete\r\nListItems: " + std::to_string(peers.size()) + "\r\n\r\n");
    return segmented(messages);
}

ReplyPlan QueueDialect::segmented(const std::vector<std::string>& messages) const {
    ReplyPlan plan;
    auto send = [&](std::string text) {
        if (!plan.empty()) plan.push_back(pauseStep(gapMs_));
        plan.push_back(sendStep(std::move(text)));
    };
    for (const std::string& message : messages) {
        // Every header line alone; the blank line that ends the message
        // alone too.
        size_t start = 0;
        while (start < message.size()) {
            const size_t end = message.find("\r\n", start);
            const size_t stop = end == std::string::npos ? message.size() : end + 2;
            send(message.substr(start, stop - start));
            start = stop;
        }
    }
    return plan;
}

}  // namespace labpbx
