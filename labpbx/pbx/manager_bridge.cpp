#include "labpbx/pbx/manager_bridge.h"

#include "labpbx/manager/manager_interface.h"
#include "labpbx/pbx/leading_number.h"
#include "labpbx/pbx/pbx_core.h"

namespace labpbx {

namespace {
constexpr int kDefaultSplitGapMs = 200;
constexpr int kMaxFaultMs = 60000;

bool parseMs(const std::string& text, int& out) {
    if (text.empty() || text.size() > 6) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    out = leadingNumber(text.c_str());
    return out <= kMaxFaultMs;
}
}  // namespace

struct ManagerBridge::Impl {
    EventLoop& loop;
    PbxCore& core;
    std::unique_ptr<ManagerServer> server;
    Impl(EventLoop& l, PbxCore& c) : loop(l), core(c) {}
};

ManagerBridge::ManagerBridge(EventLoop& loop, PbxCore& core, const LabConfig& config)
    : impl_(std::make_unique<Impl>(loop, core)) {
    ManagerConfig mc;
    mc.bindAddress = config.bindAddress;
    mc.port = config.managerPort;
    // The greeting and the slow refusal of a real Asterisk 22 manager.
    mc.version = "11.0.0";
    mc.failedLoginDelayMs = 1000;
    for (const auto& [user, secret] : config.managers) mc.users.push_back({user, secret});
    for (const auto& [id, name] : config.agents) mc.agents.push_back(id);
    for (const auto& [box, count] : config.mailboxes) {
        ManagerMailbox m;
        size_t at = box.find('@');
        m.number = box.substr(0, at);
        m.context = box.substr(at + 1);
        m.newMessages = count;
        mc.mailboxes.push_back(m);
    }
    mc.dialect = config.managerDialect;
    mc.queues = config.queues;
    impl_->server = std::make_unique<ManagerServer>(mc);
    // IAXExtState: asked from a manager connection's thread, answered from
    // the registrar on the loop thread.
    Impl* impl = impl_.get();
    // IAXpeerlist: every configured extension with its registration.
    std::vector<std::string> extensions;
    for (const ExtensionConfig& e : config.extensions) extensions.push_back(e.name);
    impl_->server->behaviour().queueDialect().setPeerListLookup([impl, extensions] {
        std::vector<RegistrationInfo> registrations;
        impl->loop.callSync([&] { registrations = impl->core.registrations(); });
        std::vector<PeerEntry> peers;
        for (const std::string& name : extensions) {
            PeerEntry peer{name, {}, 0};
            for (const RegistrationInfo& r : registrations) {
                if (r.extension != name) continue;
                const size_t colon = r.address.rfind(':');
                peer.address = r.address.substr(0, colon);
                if (colon != std::string::npos) peer.port = leadingNumber(r.address.c_str() + colon + 1);
            }
            peers.push_back(peer);
        }
        return peers;
    });
    impl_->server->setExtStateLookup([impl](const std::string& ext) {
        ExtStateAnswer answer;
        if (ext.empty()) {
            answer.state = ExtState::NoExt;
            return answer;
        }
        std::string state;
        impl->loop.callSync([&] { state = impl->core.extensionState(ext); });
        if (state == "NOTEXIST")
            answer.state = ExtState::NotExist;
        else if (state == "UNUSED")
            answer.state = ExtState::Unused;
        else {
            answer.state = ExtState::Registered;
            answer.address = state;
        }
        return answer;
    });
}

ManagerBridge::~ManagerBridge() {
    stop();
}

bool ManagerBridge::start(const std::string&, uint16_t, std::string& error) {
    return impl_->server->start(&error);
}

void ManagerBridge::stop() {
    if (impl_ && impl_->server) impl_->server->stop();
}

uint16_t ManagerBridge::port() const {
    return static_cast<uint16_t>(impl_->server->port());
}

size_t ManagerBridge::socketCount() const {
    int open = impl_->server->openConnections();
    return (impl_->server->port() > 0 ? 1 : 0) + static_cast<size_t>(open < 0 ? 0 : open);
}

bool ManagerBridge::setNewMessages(const std::string& mailbox, int count) {
    return impl_->server->setNewMessages(mailbox, count);
}

std::string ManagerBridge::command(const std::vector<std::string>& w) {
    ManagerServer& s = *impl_->server;
    if (w[0] == "pauses") {
        if (w.size() != 2) return "ERR usage: pauses <agent>\n";
        std::string out;
        auto history = s.pauseHistory(w[1]);
        for (const auto& p : history) out += "pause " + p + "\n";
        return out + "OK " + std::to_string(history.size()) + "\n";
    }
    // manager fail | split [gap ms] | delay <ms> | drop | reset | actions
    if (w.size() < 2) return "ERR usage: manager fail|split|delay <ms>|drop|reset|actions\n";
    const std::string& what = w[1];
    int ms = 0;
    if (what == "fail" && w.size() == 2) {
        s.failNextReply();
        return "OK\n";
    }
    if (what == "split" && (w.size() == 2 || (w.size() == 3 && parseMs(w[2], ms)))) {
        s.splitNextReply(w.size() == 3 ? ms : kDefaultSplitGapMs);
        return "OK\n";
    }
    if (what == "delay" && w.size() == 3 && parseMs(w[2], ms)) {
        s.delayNextReply(ms);
        return "OK\n";
    }
    if ((what == "drop" || what == "reset") && w.size() == 2) {
        s.dropLinks(what == "reset");
        return "OK\n";
    }
    if (what == "actions" && w.size() == 2) {
        std::string out;
        auto list = s.actions();
        for (const auto& a : list) out += "action " + std::to_string(a.connection) + " " + a.action.name() + "\n";
        return out + "OK " + std::to_string(list.size()) + "\n";
    }
    return "ERR usage: manager fail|split [ms]|delay <ms>|drop|reset|actions\n";
}

}  // namespace labpbx
