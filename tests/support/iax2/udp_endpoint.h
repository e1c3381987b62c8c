// A UDP socket bound to 127.0.0.1 for test doubles, with a poll helper.
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>

namespace iax2test {

class UdpEndpoint {
public:
    // port 0: any free port.
    explicit UdpEndpoint(uint16_t port = 0);
    ~UdpEndpoint();
    UdpEndpoint(const UdpEndpoint&) = delete;
    UdpEndpoint& operator=(const UdpEndpoint&) = delete;

    bool ok() const { return fd_ >= 0; }
    uint16_t port() const { return port_; }
    int fd() const { return fd_; }
    void sendTo(const sockaddr_in& to, const uint8_t* data, size_t length);
    // -1 when nothing is waiting.
    long receive(uint8_t* buffer, size_t capacity, sockaddr_in& from);

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

// 127.0.0.1:port.
sockaddr_in loopback(uint16_t port);
uint64_t nowMs();

}  // namespace iax2test
