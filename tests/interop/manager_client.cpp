#include "manager_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>

namespace interop {

namespace {

int remainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

ManagerClient::~ManagerClient() {
    close();
}

void ManagerClient::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool ManagerClient::connect(int port, std::chrono::milliseconds timeout) {
    close();
    peerClosed_ = false;
    pending_.clear();
    banner_.clear();
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        close();
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    size_t eol;
    while ((eol = pending_.find("\r\n")) == std::string::npos) {
        if (!fill(deadline)) return false;
    }
    banner_ = pending_.substr(0, eol);
    pending_.erase(0, eol + 2);
    return true;
}

bool ManagerClient::send(const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::send(fd_, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool ManagerClient::fill(std::chrono::steady_clock::time_point deadline) {
    if (fd_ < 0 || peerClosed_) return false;
    pollfd p{fd_, POLLIN, 0};
    const int ready = ::poll(&p, 1, remainingMs(deadline));
    if (ready <= 0) return false;
    char buf[4096];
    const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
    if (n <= 0) {
        peerClosed_ = true;
        return false;
    }
    pending_.append(buf, static_cast<size_t>(n));
    return true;
}

std::optional<std::string> ManagerClient::readMessage(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        // Blank lines before a message (a stray CRLF) are skipped.
        while (pending_.rfind("\r\n", 0) == 0) pending_.erase(0, 2);
        const size_t end = pending_.find("\r\n\r\n");
        if (end != std::string::npos) {
            std::string message = pending_.substr(0, end + 2);
            pending_.erase(0, end + 4);
            return message;
        }
        if (!fill(deadline)) return std::nullopt;
    }
}

std::optional<std::string> ManagerClient::readResponse(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        auto message = readMessage(std::chrono::milliseconds(remainingMs(deadline)));
        if (!message || message->rfind("Event:", 0) != 0) return message;
    }
}

bool ManagerClient::closedByPeer(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!peerClosed_) {
        if (!fill(deadline) && !peerClosed_) return false;
    }
    return true;
}

std::optional<std::string> headerValue(const std::string& message, const std::string& key) {
    std::istringstream lines(message);
    std::string line;
    const std::string prefix = key + ":";
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind(prefix, 0) != 0) continue;
        std::string value = line.substr(prefix.size());
        if (!value.empty() && value.front() == ' ') value.erase(0, 1);
        return value;
    }
    return std::nullopt;
}

std::string action(const std::string& name, const std::string& actionId,
                   std::initializer_list<std::pair<const char*, std::string>> fields) {
    std::string text = "Action: " + name + "\r\nActionID: " + actionId + "\r\n";
    for (const auto& [key, value] : fields) text += std::string(key) + ": " + value + "\r\n";
    return text + "\r\n";
}

}  // namespace interop
