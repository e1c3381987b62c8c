#include "voice/engine/resolve.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <cstring>

#include <atomic>

namespace voice::engine {
namespace {
std::atomic<bool> g_lookups{true};
}  // namespace

void setNameLookups(bool on) {
    g_lookups = on;
}

std::optional<sockaddr_in> resolveIpv4(const std::string& host, uint16_t port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (host.empty()) return std::nullopt;
    if (::inet_pton(AF_INET, host.c_str(), &addr.sin_addr) == 1) return addr;
    if (!g_lookups) return std::nullopt;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* result = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &result) != 0 || result == nullptr) return std::nullopt;
    std::memcpy(&addr.sin_addr, &reinterpret_cast<sockaddr_in*>(result->ai_addr)->sin_addr, sizeof addr.sin_addr);
    ::freeaddrinfo(result);
    return addr;
}

}  // namespace voice::engine
