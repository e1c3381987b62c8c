#include "voice/engine/udp_socket.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "voice/iax2/protocol.h"

namespace voice::engine {
namespace {

constexpr int kSocketBufferBytes = 128 * 1024;

int bindTo(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int size = kSocketBufferBytes;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        const int err = errno;
        ::close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

int wakeFd() {
    static const int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    return fd;
}

}  // namespace

bool UdpSocket::open(int preferredPort) {
    close();
    const uint16_t wanted = preferredPort == 0                           ? iax2::kDefaultPort
                            : preferredPort < 0 || preferredPort > 65535 ? 0
                                                                         : static_cast<uint16_t>(preferredPort);
    fd_ = bindTo(wanted);
    if (fd_ < 0 && wanted != 0 && errno == EADDRINUSE) fd_ = bindTo(0);
    if (fd_ < 0) return false;
    sockaddr_in bound{};
    socklen_t len = sizeof bound;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&bound), &len);
    port_ = ntohs(bound.sin_port);
    if (wakeFd() < 0) {
        close();
        return false;
    }
    return true;
}

void UdpSocket::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    port_ = 0;
}

bool UdpSocket::sendTo(const sockaddr_in& to, const uint8_t* data, size_t length) {
    if (fd_ < 0) return false;
    const ssize_t n = ::sendto(fd_, data, length, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    return n == static_cast<ssize_t>(length);
}

long UdpSocket::receive(uint8_t* buffer, size_t capacity, sockaddr_in& from, bool& truncated) {
    if (fd_ < 0) return -1;
    socklen_t len = sizeof from;
    const ssize_t n = ::recvfrom(fd_, buffer, capacity, MSG_TRUNC, reinterpret_cast<sockaddr*>(&from), &len);
    if (n < 0) return -1;
    truncated = static_cast<size_t>(n) > capacity;
    return truncated ? static_cast<long>(capacity) : static_cast<long>(n);
}

void UdpSocket::wait(int timeoutMs) {
    if (fd_ < 0) return;
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd(), POLLIN, 0}};
    if (::poll(fds, 2, timeoutMs) > 0 && (fds[1].revents & POLLIN)) {
        uint64_t count = 0;
        [[maybe_unused]] ssize_t r = ::read(wakeFd(), &count, sizeof count);
    }
}

void UdpSocket::wake() {
    if (wakeFd() < 0) return;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t r = ::write(wakeFd(), &one, sizeof one);
}

}  // namespace voice::engine
