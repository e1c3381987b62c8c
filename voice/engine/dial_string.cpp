#include "voice/engine/dial_string.h"

namespace voice::engine {

bool splitHostPort(std::string_view text, uint16_t defaultPort, std::string& host, uint16_t& port) {
    const size_t colon = text.find(':');
    std::string_view h = text.substr(0, colon);
    port = defaultPort;
    if (colon != std::string_view::npos) {
        const std::string_view p = text.substr(colon + 1);
        if (p.empty() || p.size() > 5) return false;
        unsigned value = 0;
        for (char c : p) {
            if (c < '0' || c > '9') return false;
            value = value * 10 + static_cast<unsigned>(c - '0');
        }
        if (value == 0 || value > 65535) return false;
        port = static_cast<uint16_t>(value);
    }
    if (h.empty()) return false;
    host.assign(h);
    return true;
}

std::optional<DialString> parseDialString(std::string_view text, uint16_t defaultPort) {
    DialString d;
    const size_t slash = text.find('/');
    const std::string_view left = text.substr(0, slash);
    if (slash != std::string_view::npos) {
        const std::string_view right = text.substr(slash + 1);
        d.afterSlash.assign(right);
        const size_t at = right.find('@');
        d.exten.assign(right.substr(0, at));
        if (at != std::string_view::npos) d.context.assign(right.substr(at + 1));
    }
    std::string_view hostPart = left;
    const size_t at = left.rfind('@');
    std::string_view credentials;
    if (at != std::string_view::npos) {
        credentials = left.substr(0, at);
        hostPart = left.substr(at + 1);
        const size_t colon = credentials.find(':');
        d.user.assign(credentials.substr(0, colon));
        if (colon != std::string_view::npos) d.secret.assign(credentials.substr(colon + 1));
    }
    if (!splitHostPort(hostPart, defaultPort, d.host, d.port)) return std::nullopt;
    if (at != std::string_view::npos) {
        d.withoutSecret = d.user + "@";
    }
    d.withoutSecret.append(hostPart);
    if (slash != std::string_view::npos) {
        d.withoutSecret.push_back('/');
        d.withoutSecret.append(d.afterSlash);
    }
    return d;
}

}  // namespace voice::engine
