#include "labpbx/pbx/control_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <system_error>

namespace labpbx {

namespace {
constexpr size_t kMaxReplyLine = 1 << 16;
}

ControlClient::~ControlClient() {
    close();
}

bool ControlClient::connect(const std::string& address, uint16_t port, std::string& error) {
    close();
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) {
        error = "bad address " + address;
        return false;
    }
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        error = std::string("connect: ") + std::system_category().message(errno);
        close();
        return false;
    }
    return true;
}

void ControlClient::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    buffer_.clear();
}

bool ControlClient::readLine(std::string& line, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        size_t nl = buffer_.find('\n');
        if (nl != std::string::npos) {
            line = buffer_.substr(0, nl);
            buffer_.erase(0, nl + 1);
            return true;
        }
        if (buffer_.size() > kMaxReplyLine) return false;
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
        char buf[4096];
        ssize_t n = recv(fd_, buf, sizeof buf, 0);
        if (n <= 0) return false;
        buffer_.append(buf, static_cast<size_t>(n));
    }
}

ControlReply ControlClient::command(const std::string& line, int timeoutMs) {
    ControlReply reply;
    if (fd_ < 0) {
        reply.status = "ERR link: not connected";
        return reply;
    }
    std::string out = line + "\n";
    if (send(fd_, out.data(), out.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(out.size())) {
        reply.status = "ERR link: send failed";
        return reply;
    }
    std::string l;
    while (readLine(l, timeoutMs)) {
        if (l.rfind("OK", 0) == 0 || l.rfind("ERR", 0) == 0) {
            reply.ok = l.rfind("OK", 0) == 0;
            reply.status = l;
            return reply;
        }
        reply.lines.push_back(l);
    }
    reply.status = "ERR link: no reply";
    return reply;
}

}  // namespace labpbx
