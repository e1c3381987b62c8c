// The lab PBX as one object: IAX2 registrar and calls, the manager
// interface and the control interface, all driven by one event-loop thread
// of its own. Every public function may be called from any thread.
//
// Control protocol (one command a line; data lines, then a closing line
// that starts with "OK" or "ERR"):
//   call <ext> <number> [name ...]   place an inbound call      -> OK <call id>
//   answer <call id>                 answer a call ringing at the PBX
//   hangup <call id>                 hang a call up (both sides)
//   calls                            "call <id> state=... from=... to=..."
//   registrations                    "reg <ext> <ip:port> expiry=<s> left=<s>"
//   unregister <ext>|all             drop registrations         -> OK <count>
//   state <ext>                      -> OK NOTEXIST | UNUSED | <ip>
//   mailbox <number@context> [<n>]   read or set a new-message count -> OK <n>
//   dtmf | transfers | regrels [clear]   the records kept (or empty them)
//   pauses <agent>                   the agent's paused values, oldest first
//   manager fail|split|drop|delay <ms>   fault for the next manager reply
//   stats                            -> OK sessions=.. timers=.. sockets=.. calls=..
//                                       registrations=.. unacked=..
//   help, quit
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "labpbx/pbx/config.h"
#include "labpbx/pbx/event_loop.h"
#include "labpbx/pbx/iax_endpoint.h"
#include "labpbx/pbx/pbx_core.h"

namespace labpbx {

class ControlServer;
class ManagerBridge;

struct Counts {
    size_t sessions = 0;  // IAX2 sessions (call numbers in use)
    size_t timers = 0;    // pending timers of the event loop
    size_t sockets = 0;   // open sockets: IAX2, control, manager
    size_t calls = 0;
    size_t registrations = 0;
    size_t unacked = 0;  // full frames sent and not yet acknowledged
};

class LabPbx {
public:
    explicit LabPbx(LabConfig config, WireTiming timing = {});
    ~LabPbx();
    LabPbx(const LabPbx&) = delete;
    LabPbx& operator=(const LabPbx&) = delete;

    // Binds every port and starts the loop thread. False with error filled
    // when a port cannot be had.
    bool start(std::string& error);
    void stop();

    uint16_t iaxPort() const { return iaxPort_; }
    uint16_t controlPort() const { return controlPort_; }
    uint16_t managerPort() const { return managerPort_; }
    const LabConfig& config() const { return config_; }

    // Runs one control command and returns its reply text.
    std::string command(const std::string& line);

    std::vector<RegistrationInfo> registrations();
    std::vector<CallInfo> calls();
    std::vector<DtmfRecord> dtmf();
    std::vector<TransferRecord> transfers();
    std::vector<RegRelRecord> regrels();
    std::string extensionState(const std::string& ext);
    Counts counts();

    // Runs fn on the loop thread with the PBX core and waits for it.
    void withCore(const std::function<void(PbxCore&)>& fn);

private:
    std::string dispatch(const std::string& line);  // loop thread
    void scheduleDemo();
    void demoTick();

    LabConfig config_;
    EventLoop loop_;
    std::unique_ptr<PbxCore> core_;
    std::unique_ptr<ControlServer> control_;
    std::unique_ptr<ManagerBridge> manager_;
    std::thread thread_;
    bool running_ = false;
    uint16_t iaxPort_ = 0;
    uint16_t controlPort_ = 0;
    uint16_t managerPort_ = 0;
    EventLoop::TimerId demoTimer_ = 0;
    int demoCallId_ = 0;
    unsigned demoCount_ = 0;
};

// Splits a command line into words (blank-separated).
std::vector<std::string> splitWords(const std::string& line);

}  // namespace labpbx
