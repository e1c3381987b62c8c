// The engine's one UDP socket (IPv4, non-blocking) and a wake-up handle for
// the network thread's poll.
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>

namespace voice::engine {

class UdpSocket {
public:
    UdpSocket() = default;
    ~UdpSocket() { close(); }
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // preferredPort: 0 -> 4569, < 0 -> any free port, > 0 -> that port, with
    // a free port as fallback when it is taken. Returns false on failure.
    bool open(int preferredPort);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    uint16_t port() const { return port_; }

    bool sendTo(const sockaddr_in& to, const uint8_t* data, size_t length);
    // One datagram, or -1 when none is waiting. Longer datagrams are cut
    // to capacity and reported with truncated set.
    long receive(uint8_t* buffer, size_t capacity, sockaddr_in& from, bool& truncated);

    // Waits until a datagram arrives, wake() is called or timeoutMs passes.
    void wait(int timeoutMs);
    // Safe from any thread at any time: the wake-up handle lives as long as
    // the process, so a late caller never touches a closed descriptor.
    static void wake();

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

}  // namespace voice::engine
