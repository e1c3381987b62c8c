#include "labpbx/pbx/control_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace labpbx {

ControlServer::ControlServer(EventLoop& loop, Handler handler) : loop_(loop), handler_(std::move(handler)) {}

ControlServer::~ControlServer() {
    close();
}

bool ControlServer::listen(const std::string& address, uint16_t port, std::string& error) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) {
        error = "bad control address " + address;
        return false;
    }
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("control socket: ") + std::system_category().message(errno);
        return false;
    }
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(fd, 16) != 0) {
        error = "control port " + std::to_string(port) + ": " + std::system_category().message(errno);
        ::close(fd);
        return false;
    }
    socklen_t len = sizeof sa;
    getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
    port_ = ntohs(sa.sin_port);
    listenFd_ = fd;
    loop_.watchFd(fd, [this](short) { onAccept(); });
    return true;
}

void ControlServer::close() {
    while (!clients_.empty()) drop(clients_.begin()->first);
    if (listenFd_ >= 0) {
        loop_.unwatchFd(listenFd_);
        ::close(listenFd_);
        listenFd_ = -1;
    }
}

void ControlServer::onAccept() {
    for (;;) {
        int fd = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        if (clients_.size() >= kMaxClients) {
            ::close(fd);
            continue;
        }
        clients_[fd] = Client{};
        loop_.watchFd(fd, [this, fd](short) { onReadable(fd); });
    }
}

void ControlServer::onReadable(int fd) {
    char buf[2048];
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        drop(fd);
        return;
    }
    if (n < 0) return;
    auto it = clients_.find(fd);
    if (it == clients_.end()) return;
    it->second.input.append(buf, static_cast<size_t>(n));
    for (;;) {
        it = clients_.find(fd);
        if (it == clients_.end()) return;
        std::string& in = it->second.input;
        size_t nl = in.find('\n');
        if (nl == std::string::npos) {
            if (in.size() > kMaxLine) drop(fd);
            return;
        }
        std::string line = in.substr(0, nl);
        in.erase(0, nl + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == "quit") {
            drop(fd);
            return;
        }
        std::string reply = handler_(line);
        it = clients_.find(fd);  // the handler may have closed us
        if (it == clients_.end()) return;
        it->second.output += reply;
        flush(fd);
    }
}

void ControlServer::flush(int fd) {
    auto it = clients_.find(fd);
    if (it == clients_.end()) return;
    std::string& out = it->second.output;
    // Replies are small; a client that does not read them is dropped
    // rather than buffered without bound.
    while (!out.empty()) {
        ssize_t n = send(fd, out.data(), out.size(), MSG_NOSIGNAL);
        if (n > 0) {
            out.erase(0, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR) && out.size() < (1u << 20)) {
            // Wait briefly for room; the socket buffer is drained by the peer.
            pollfd p{fd, POLLOUT, 0};
            if (poll(&p, 1, 1000) > 0) continue;
        }
        drop(fd);
        return;
    }
}

void ControlServer::drop(int fd) {
    if (clients_.erase(fd) == 0) return;
    loop_.unwatchFd(fd);
    ::close(fd);
}

}  // namespace labpbx
