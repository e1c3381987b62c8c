// A raw TCP client of a PBX's manager interface for the interop tests:
// sends action text as given and reads whole messages (up to the blank
// line), however the PBX splits them into segments.
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace interop {

class ManagerClient {
public:
    ManagerClient() = default;
    ~ManagerClient();
    ManagerClient(const ManagerClient&) = delete;
    ManagerClient& operator=(const ManagerClient&) = delete;

    // Connects to 127.0.0.1:port and reads the banner line.
    bool connect(int port, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    const std::string& banner() const { return banner_; }
    bool send(const std::string& text);
    // The next message without its final blank line; nothing on time-out or
    // when the PBX closed the connection first.
    std::optional<std::string> readMessage(std::chrono::milliseconds timeout);
    // The next message that is not an event.
    std::optional<std::string> readResponse(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // True when the PBX closes the connection within timeout.
    bool closedByPeer(std::chrono::milliseconds timeout);
    void close();

private:
    // Reads more bytes into pending_; false on time-out or close.
    bool fill(std::chrono::steady_clock::time_point deadline);

    int fd_ = -1;
    bool peerClosed_ = false;
    std::string banner_;
    std::string pending_;
};

// The value of "Key: value" in a message, or nothing.
std::optional<std::string> headerValue(const std::string& message, const std::string& key);

// A manager action with an ActionID, for tests that send their own actions.
std::string action(const std::string& name, const std::string& actionId,
                   std::initializer_list<std::pair<const char*, std::string>> fields = {});

}  // namespace interop
