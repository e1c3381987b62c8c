// A blocking client of the control interface, for tests, demonstrations and
// the labpbx-ctl tool. One command at a time; a reply ends with a line that
// starts with "OK" or "ERR".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace labpbx {

struct ControlReply {
    bool ok = false;
    std::string status;              // the closing line, e.g. "OK 3" or "ERR no such call"
    std::vector<std::string> lines;  // the data lines before it
};

class ControlClient {
public:
    ControlClient() = default;
    ~ControlClient();
    ControlClient(const ControlClient&) = delete;
    ControlClient& operator=(const ControlClient&) = delete;

    bool connect(const std::string& address, uint16_t port, std::string& error);
    void close();
    // Sends one command and reads its reply; waits at most timeoutMs for it.
    // A lost link or time-out gives ok = false with status "ERR link: ...".
    ControlReply command(const std::string& line, int timeoutMs = 5000);

private:
    bool readLine(std::string& line, int timeoutMs);
    int fd_ = -1;
    std::string buffer_;
};

}  // namespace labpbx
