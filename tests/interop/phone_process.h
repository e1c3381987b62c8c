// A probe phone (interop_phone) run as a child process: one voice engine
// per process, so two phones are two processes.
#pragma once

#include "child_process.h"

namespace interop {

// A STATE line, read back.
struct PhoneState {
    int slot = -1;
    int state = 0;
    int format = 0;
    long heard = 0;  // samples in the speaker file when the event came
    std::string remote;
};
std::optional<PhoneState> parseState(const std::string& line);

class PhoneProcess : public ChildProcess {
public:
    // env holds variables added to the test's own (the audio files).
    PhoneProcess(std::string name, const std::vector<std::pair<std::string, std::string>>& env);
    ~PhoneProcess() override;

    // The UDP port the engine bound (from its READY line), 0 if not known.
    int port() const { return port_; }

    // Sends a command and waits for its "OK <command>" reply; the rest of
    // the reply line, or nothing on time-out or an error reply.
    std::optional<std::string> command(const std::string& command,
                                       std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // The first STATE line from index `from` on, for slot, whose state has
    // every bit of `all` (0 waits for FREE), with the time it came.
    std::optional<std::pair<PhoneState, Clock::time_point>> waitForState(int slot, int all,
                                                                         std::chrono::milliseconds timeout,
                                                                         size_t from = 0);
    // Quits: the phone releases its registrations and stops its engine.
    void quit();

private:
    int port_ = 0;
};

}  // namespace interop
