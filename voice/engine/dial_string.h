// The dial string of iaxc_call: "[user[:secret]@]host[:port][/exten[@context]]".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace voice::engine {

struct DialString {
    std::string user;
    std::string secret;
    std::string host;
    uint16_t port = 0;
    std::string exten;
    std::string context;
    // Everything after the first '/' (the "remote" of the call's events).
    std::string afterSlash;
    // The dial string without its secret, safe to show and log.
    std::string withoutSecret;
};

// Splits at the first '/'; on its left the last '@' ends the credentials
// (so a secret may hold '@'), the first ':' of the credentials starts the
// secret and a ':' in the host starts the port. Nothing when the host is
// empty or the port is not a number from 1 to 65535.
std::optional<DialString> parseDialString(std::string_view text, uint16_t defaultPort);

// "host[:port]" as given to iaxc_register.
bool splitHostPort(std::string_view text, uint16_t defaultPort, std::string& host, uint16_t& port);

}  // namespace voice::engine
