#include "labpbx/manager/manager_behaviour.h"

#include <chrono>
#include <cstdio>

namespace labpbx {

namespace {

constexpr const char* kAgentPrefix = "Agent/";

bool isOneOf(const std::string& value, std::initializer_list<const char*> words) {
    for (const char* word : words) {
        if (equalsIgnoreCase(value, word)) return true;
    }
    return false;
}

// The manager's notion of a true and a false flag.
bool isTrueFlag(const std::string& value) {
    return isOneOf(value, {"yes", "true", "y", "t", "1", "on"});
}
bool isFalseFlag(const std::string& value) {
    return isOneOf(value, {"no", "false", "n", "f", "0", "off"});
}

std::string actionIdLine(const ManagerAction& action) {
    if (!action.has("ActionID")) return {};
    return "ActionID: " + action.value("ActionID") + "\r\n";
}

ReplyPlan single(std::string text) {
    return {sendStep(std::move(text))};
}

ReplyPlan error(const std::string& message, const ManagerAction& action) {
    return single(managerResponse("Error", message, action));
}

// "2001@sales" -> ("2001", "sales"); "2001" -> ("2001", "default").
void splitMailbox(const std::string& mailbox, std::string& number, std::string& context) {
    const size_t at = mailbox.find('@');
    number = mailbox.substr(0, at);
    context = at == std::string::npos || at + 1 == mailbox.size() ? "default" : mailbox.substr(at + 1);
}

std::string fullyBootedEvent() {
    using namespace std::chrono;
    static const auto started = steady_clock::now();
    const long long uptime = duration_cast<seconds>(steady_clock::now() - started).count();
    char text[160];
    std::snprintf(text, sizeof text,
                  "Event: FullyBooted\r\nPrivilege: system,all\r\nUptime: %lld\r\nLastReload: %lld\r\n"
                  "Status: Fully Booted\r\n\r\n",
                  uptime, uptime);
    return text;
}

}  // namespace

std::string managerResponse(const std::string& status, const std::string& message, const ManagerAction& action) {
    std::string text = "Response: " + status + "\r\n" + actionIdLine(action);
    if (!message.empty()) text += "Message: " + message + "\r\n";
    return text + "\r\n";
}

ManagerBehaviour::ManagerBehaviour(const ManagerConfig& config)
    : config_(config), mailboxes_(config.mailboxes), queueDialect_(config.queues) {
    for (const std::string& agent : config.agents) agents_[agent];
}

void ManagerBehaviour::setExtStateLookup(ExtStateLookup lookup) {
    std::lock_guard<std::mutex> lock(mutex_);
    lookup_ = std::move(lookup);
}

std::string ManagerBehaviour::greeting() const {
    return "Asterisk Call Manager/" + config_.version + "\r\n";
}

ReplyPlan ManagerBehaviour::respond(const ManagerAction& action, ConnectionState& connection) {
    const std::string name = action.name();
    if (name.empty()) return error("Missing action in request", action);
    if (equalsIgnoreCase(name, "Login")) return login(action, connection);
    if (equalsIgnoreCase(name, "Logoff")) {
        return {sendStep(managerResponse("Goodbye", "Thanks for all the fish.", action)), closeStep()};
    }
    if (!connection.authenticated) return error("Permission denied", action);
    if (config_.dialect == "queues") {
        if (auto plan = queueDialect_.respond(action, connection)) return *plan;
    }

    if (equalsIgnoreCase(name, "IAXExtState")) return extensionState(action);
    if (equalsIgnoreCase(name, "AgentCallBackLogin")) return agentLogin(action);
    if (equalsIgnoreCase(name, "QueuePause")) return queuePause(action);
    if (equalsIgnoreCase(name, "MailboxCount")) return mailboxCount(action);
    if (equalsIgnoreCase(name, "AgentLogoff")) return agentLogoff(action);
    if (equalsIgnoreCase(name, "Ping")) {
        const long long now = std::chrono::duration_cast<std::chrono::microseconds>(
                                  std::chrono::system_clock::now().time_since_epoch())
                                  .count();
        char stamp[48];
        std::snprintf(stamp, sizeof stamp, "%lld.%06lld", now / 1000000, now % 1000000);
        return single("Response: Success\r\n" + actionIdLine(action) + "Ping: Pong\r\nTimestamp: " + stamp +
                      "\r\n\r\n");
    }
    return error("Invalid/unknown command: " + name + ". Use Action: ListCommands to show available commands.",
                 action);
}

ReplyPlan ManagerBehaviour::login(const ManagerAction& action, ConnectionState& connection) {
    if (connection.authenticated) return single(managerResponse("Success", "Already authenticated", action));
    const std::string user = action.value("Username");
    const std::string secret = action.value("Secret");
    for (const ManagerUser& known : config_.users) {
        if (!user.empty() && equalsIgnoreCase(known.name, user) && known.secret == secret) {
            connection.authenticated = true;
            connection.user = known.name;
            connection.eventsOn = !isFalseFlag(action.value("Events"));
            ReplyPlan plan = single(managerResponse("Success", "Authentication accepted", action));
            if (connection.eventsOn) plan.push_back(sendStep(fullyBootedEvent()));
            return plan;
        }
    }
    // A refused login is answered late and ends the connection, as the real
    // manager does.
    ReplyPlan refused;
    if (config_.failedLoginDelayMs > 0) refused.push_back(pauseStep(config_.failedLoginDelayMs));
    refused.push_back(sendStep(managerResponse("Error", "Authentication failed", action)));
    refused.push_back(closeStep());
    return refused;
}

ReplyPlan ManagerBehaviour::extensionState(const ManagerAction& action) {
    const std::string extension = action.value("Exten");
    const std::string id = actionIdLine(action);
    if (extension.empty()) return single("Response: NOEXT\r\n" + id + "\r\n");

    ExtStateLookup lookup;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        lookup = lookup_;
    }
    const ExtStateAnswer answer = lookup ? lookup(extension) : ExtStateAnswer{};
    switch (answer.state) {
        case ExtState::NoExt:
            return single("Response: NOEXT\r\n" + id + "\r\n");
        case ExtState::NotExist:
            return single("Response: NOTEXIST\r\n" + id + "\r\n");
        case ExtState::Registered:
            if (!answer.address.empty()) return single("Response: " + answer.address + "\r\n" + id + "\r\n");
            break;
        case ExtState::Unused:
            break;
    }
    return single("Response: UNUSED\r\n" + id + "\r\n");
}

ReplyPlan ManagerBehaviour::agentLogin(const ManagerAction& action) {
    const std::string agent = action.value("Agent");
    if (agent.empty()) return error("No agent specified", action);
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = agents_.find(agent);
    if (found == agents_.end()) return error("No such agent", action);
    found->second.loggedIn = true;
    found->second.extension = action.value("Exten");
    return single(managerResponse("Success", "Agent logged in", action));
}

ReplyPlan ManagerBehaviour::queuePause(const ManagerAction& action) {
    const std::string interface = action.value("Interface");
    const std::string paused = action.value("Paused");
    if (interface.empty() || paused.empty()) return error("Need 'Interface' and 'Paused' parameters.", action);

    const std::string prefix = kAgentPrefix;
    const bool agentInterface =
        interface.size() > prefix.size() && equalsIgnoreCase(interface.substr(0, prefix.size()), prefix);
    const std::string agent = agentInterface ? interface.substr(prefix.size()) : interface;
    // An agent's own ID never holds "/": "Agent/SIP/1002" names no agent.
    const bool wellFormed = !agentInterface || agent.find('/') == std::string::npos;

    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = agents_.find(agent);
    if (!wellFormed || found == agents_.end()) return error("Interface not found", action);
    std::vector<std::string>& pauses = found->second.pauses;
    if (pauses.size() >= kMaxPauseHistory) pauses.erase(pauses.begin(), pauses.begin() + kMaxPauseHistory / 2);
    pauses.push_back(paused);
    return single(managerResponse(
        "Success", isTrueFlag(paused) ? "Interface paused successfully" : "Interface unpaused successfully",
        action));
}

ReplyPlan ManagerBehaviour::mailboxCount(const ManagerAction& action) {
    const std::string mailbox = action.value("Mailbox");
    if (mailbox.empty()) return error("Mailbox not specified", action);
    ManagerMailbox counts;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (const ManagerMailbox* found = findMailbox(mailbox)) counts = *found;
    }
    char body[128];
    std::snprintf(body, sizeof body, "UrgMessages: %d\r\nNewMessages: %d\r\nOldMessages: %d\r\n\r\n",
                  counts.urgentMessages, counts.newMessages, counts.oldMessages);
    // The real manager writes the status line first and the counts a moment
    // later, so a client that reads at once sees only the first segment.
    return {sendStep("Response: Success\r\n" + actionIdLine(action)), pauseStep(config_.mailboxSplitMs),
            sendStep("Message: Mailbox Message Count\r\nMailbox: " + mailbox + "\r\n" + body)};
}

ReplyPlan ManagerBehaviour::agentLogoff(const ManagerAction& action) {
    const std::string agent = action.value("Agent");
    if (agent.empty()) return error("No agent specified", action);
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = agents_.find(agent);
    if (found == agents_.end()) return error("No such agent", action);
    found->second.loggedIn = false;
    return single(managerResponse("Success", "Agent logged out", action));
}

std::vector<std::string> ManagerBehaviour::pauseHistory(const std::string& agent) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = agents_.find(agent);
    return found == agents_.end() ? std::vector<std::string>{} : found->second.pauses;
}

bool ManagerBehaviour::agentLoggedIn(const std::string& agent, std::string* extension) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = agents_.find(agent);
    if (found == agents_.end() || !found->second.loggedIn) return false;
    if (extension) *extension = found->second.extension;
    return true;
}

ManagerMailbox* ManagerBehaviour::findMailbox(const std::string& mailbox) {
    std::string number, context;
    splitMailbox(mailbox, number, context);
    for (ManagerMailbox& box : mailboxes_) {
        if (box.number == number && box.context == context) return &box;
    }
    return nullptr;
}

const ManagerMailbox* ManagerBehaviour::findMailbox(const std::string& mailbox) const {
    return const_cast<ManagerBehaviour*>(this)->findMailbox(mailbox);
}

bool ManagerBehaviour::setNewMessages(const std::string& mailbox, int count) {
    std::lock_guard<std::mutex> lock(mutex_);
    ManagerMailbox* found = findMailbox(mailbox);
    if (!found) return false;
    found->newMessages = count;
    return true;
}

int ManagerBehaviour::newMessages(const std::string& mailbox) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const ManagerMailbox* found = findMailbox(mailbox);
    return found ? found->newMessages : 0;
}

}  // namespace labpbx
