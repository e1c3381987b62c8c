#include "labpbx/pbx/lab_pbx.h"

#include <sstream>

#include "labpbx/pbx/control_server.h"
#include "labpbx/pbx/leading_number.h"
#include "labpbx/pbx/manager_bridge.h"

namespace labpbx {

std::vector<std::string> splitWords(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    std::string w;
    while (in >> w) words.push_back(w);
    return words;
}

namespace {

// The text after the first 'skip' words of a line.
std::string restAfter(const std::string& line, size_t skip) {
    size_t pos = 0;
    for (size_t i = 0; i < skip; ++i) {
        pos = line.find_first_not_of(" \t", pos);
        if (pos == std::string::npos) return "";
        pos = line.find_first_of(" \t", pos);
        if (pos == std::string::npos) return "";
    }
    pos = line.find_first_not_of(" \t", pos);
    return pos == std::string::npos ? "" : line.substr(pos);
}

bool parseId(const std::string& text, int& out) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    out = leadingNumber(text.c_str());
    return true;
}

// Control words are numbers, extension names and the like: printable,
// no blanks, bounded.
bool isWord(const std::string& s) {
    if (s.empty() || s.size() > 63) return false;
    for (unsigned char c : s)
        if (c <= 0x20 || c == 0x7f) return false;
    return true;
}

const char* kHelp =
    "call <ext> <number> [name...]\nanswer <call>\nhangup <call>\ncalls\nregistrations\n"
    "unregister <ext>|all\nstate <ext>\nmailbox <number@context> [count]\n"
    "dtmf [clear]\ntransfers [clear]\nregrels [clear]\npauses <agent>\n"
    "manager fail|split|drop|delay <ms>\nstats\nquit\n";

}  // namespace

LabPbx::LabPbx(LabConfig config, WireTiming timing) : config_(std::move(config)) {
    core_ = std::make_unique<PbxCore>(loop_, config_, timing);
    control_ = std::make_unique<ControlServer>(loop_, [this](const std::string& line) { return dispatch(line); });
    manager_ = std::make_unique<ManagerBridge>(loop_, *core_, config_);
}

LabPbx::~LabPbx() {
    stop();
}

bool LabPbx::start(std::string& error) {
    if (running_) return true;
    if (!core_->bind(error)) return false;
    if (!control_->listen(config_.bindAddress, config_.controlPort, error)) {
        core_->shutdown();
        return false;
    }
    if (!manager_->start(config_.bindAddress, config_.managerPort, error)) {
        control_->close();
        core_->shutdown();
        return false;
    }
    iaxPort_ = core_->endpoint().port();
    controlPort_ = control_->port();
    managerPort_ = manager_->port();
    scheduleDemo();
    running_ = true;
    thread_ = std::thread([this] { loop_.run(); });
    return true;
}

void LabPbx::stop() {
    if (!running_) return;
    // The manager first: its connections may be waiting for the loop.
    manager_->stop();
    loop_.callSync([this] {
        loop_.cancelTimer(demoTimer_);
        control_->close();
        core_->shutdown();
    });
    loop_.stop();
    thread_.join();
    running_ = false;
}

std::string LabPbx::command(const std::string& line) {
    std::string reply;
    loop_.callSync([&] { reply = dispatch(line); });
    return reply;
}

void LabPbx::withCore(const std::function<void(PbxCore&)>& fn) {
    loop_.callSync([&] { fn(*core_); });
}

std::vector<RegistrationInfo> LabPbx::registrations() {
    std::vector<RegistrationInfo> out;
    withCore([&](PbxCore& c) { out = c.registrations(); });
    return out;
}

std::vector<CallInfo> LabPbx::calls() {
    std::vector<CallInfo> out;
    withCore([&](PbxCore& c) { out = c.calls(); });
    return out;
}

std::vector<DtmfRecord> LabPbx::dtmf() {
    std::vector<DtmfRecord> out;
    withCore([&](PbxCore& c) { out = c.dtmf(); });
    return out;
}

std::vector<TransferRecord> LabPbx::transfers() {
    std::vector<TransferRecord> out;
    withCore([&](PbxCore& c) { out = c.transfers(); });
    return out;
}

std::vector<RegRelRecord> LabPbx::regrels() {
    std::vector<RegRelRecord> out;
    withCore([&](PbxCore& c) { out = c.regrels(); });
    return out;
}

std::string LabPbx::extensionState(const std::string& ext) {
    std::string out;
    withCore([&](PbxCore& c) { out = c.extensionState(ext); });
    return out;
}

Counts LabPbx::counts() {
    Counts out;
    loop_.callSync([&] {
        PbxCounts c = core_->counts();
        out.sessions = c.sessions;
        out.timers = c.timers;
        out.unacked = c.unacked;
        out.calls = c.calls;
        out.registrations = c.registrations;
        out.sockets = core_->endpoint().socketCount() + control_->socketCount() + manager_->socketCount();
    });
    return out;
}

void LabPbx::scheduleDemo() {
    if (config_.demo.intervalSeconds <= 0) return;
    demoTimer_ = loop_.addTimer(std::chrono::seconds(config_.demo.intervalSeconds), [this] { demoTick(); });
}

void LabPbx::demoTick() {
    demoTimer_ = 0;
    // One demonstration call at a time: a call still going is left alone.
    bool busy = false;
    for (const auto& c : core_->calls())
        if (c.id == demoCallId_) busy = true;
    if (!busy) {
        std::string error;
        ++demoCount_;
        int id = core_->placeInboundCall(config_.demo.extension, config_.demo.callerNumber,
                                         config_.demo.callerName, error);
        if (id > 0) demoCallId_ = id;
    }
    scheduleDemo();
}

std::string LabPbx::dispatch(const std::string& line) {
    std::vector<std::string> w = splitWords(line);
    std::ostringstream out;
    if (w.empty()) return "ERR empty command\n";
    for (const auto& word : w)
        if (word.size() > 255) return "ERR word too long\n";
    const std::string& cmd = w[0];
    PbxCore& core = *core_;
    std::string error;

    if (cmd == "help") return std::string(kHelp) + "OK\n";
    if (cmd == "call") {
        if (w.size() < 3 || !isWord(w[1]) || !isWord(w[2])) return "ERR usage: call <ext> <number> [name...]\n";
        std::string name = restAfter(line, 3);
        if (name.size() > 127) return "ERR name too long\n";
        for (unsigned char c : name)
            if (c < 0x20 || c == 0x7f) return "ERR bad name\n";
        int id = core.placeInboundCall(w[1], w[2], name.empty() ? w[2] : name, error);
        if (id < 0) return "ERR " + error + "\n";
        return "OK " + std::to_string(id) + "\n";
    }
    if (cmd == "answer" || cmd == "hangup") {
        int id = 0;
        if (w.size() != 2 || !parseId(w[1], id)) return "ERR usage: " + cmd + " <call id>\n";
        bool ok = cmd == "answer" ? core.answer(id, error) : core.hangup(id, error);
        return ok ? "OK\n" : "ERR " + error + "\n";
    }
    if (cmd == "calls") {
        auto list = core.calls();
        for (const auto& c : list)
            out << "call " << c.id << " state=" << c.state << " from=" << c.from << " to=" << c.to
                << " dialled=" << c.dialled << " number=" << c.callerNumber << " format=" << c.format << " held="
                << (c.fromHeld ? "from"
                    : c.toHeld ? "to"
                               : "none")
                << " name=\"" << c.callerName << "\"\n";
        out << "OK " << list.size() << "\n";
        return out.str();
    }
    if (cmd == "registrations") {
        auto list = core.registrations();
        for (const auto& r : list)
            out << "reg " << r.extension << " " << r.address << " expiry=" << r.expirySeconds
                << " left=" << r.secondsLeft << "\n";
        out << "OK " << list.size() << "\n";
        return out.str();
    }
    if (cmd == "unregister") {
        if (w.size() != 2) return "ERR usage: unregister <ext>|all\n";
        size_t n = core.dropRegistrations(w[1] == "all" ? "" : w[1]);
        return "OK " + std::to_string(n) + "\n";
    }
    if (cmd == "state") {
        if (w.size() != 2) return "ERR usage: state <ext>\n";
        return "OK " + core.extensionState(w[1]) + "\n";
    }
    if (cmd == "mailbox") {
        if (w.size() < 2 || w.size() > 3 || !isWord(w[1]) || w[1].find('@') == std::string::npos)
            return "ERR usage: mailbox <number@context> [count]\n";
        if (core.mailboxCount(w[1]) < 0) return "ERR no such mailbox\n";
        if (w.size() == 3) {
            int n = 0;
            if (!parseId(w[2], n) || n > 9999) return "ERR count must be 0..9999\n";
            core.setMailboxCount(w[1], n);
            manager_->setNewMessages(w[1], n);
        }
        int n = core.mailboxCount(w[1]);
        return "OK " + std::to_string(n) + "\n";
    }
    if (cmd == "dtmf" || cmd == "transfers" || cmd == "regrels") {
        bool clear = w.size() == 2 && w[1] == "clear";
        if (w.size() > 2 || (w.size() == 2 && !clear)) return "ERR usage: " + cmd + " [clear]\n";
        size_t n = 0;
        if (cmd == "dtmf") {
            for (const auto& d : core.dtmf())
                out << "dtmf " << d.callId << " " << d.from << " " << d.digit << "\n";
            n = core.dtmf().size();
        } else if (cmd == "transfers") {
            for (const auto& t : core.transfers())
                out << "transfer " << t.callId << " by=" << t.by << " moved=" << t.moved << " target=" << t.target
                    << "\n";
            n = core.transfers().size();
        } else {
            for (const auto& r : core.regrels()) out << "regrel " << r.extension << " " << r.address << "\n";
            n = core.regrels().size();
        }
        if (clear) core.clearRecords(cmd);
        out << "OK " << n << "\n";
        return out.str();
    }
    if (cmd == "pauses" || cmd == "manager") {
        return manager_->command(w);
    }
    if (cmd == "stats") {
        PbxCounts c = core.counts();
        size_t sockets = core.endpoint().socketCount() + control_->socketCount() + manager_->socketCount();
        out << "OK sessions=" << c.sessions << " timers=" << c.timers << " sockets=" << sockets
            << " calls=" << c.calls << " registrations=" << c.registrations << " unacked=" << c.unacked << "\n";
        return out.str();
    }
    return "ERR unknown command '" + cmd + "' (try help)\n";
}

}  // namespace labpbx
