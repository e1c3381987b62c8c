// Call tokens (the anti-spoofing round of modern IAX2 servers). A client
// offers an empty CALLTOKEN element on every dialog-starting frame; a server
// answers with a CALLTOKEN frame holding "<unix seconds>?<40 hex SHA-1>",
// the hash taken over the client's address, port, the time and a server
// secret; the client repeats its request with that token.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace iax2 {

// Server side: issues and checks tokens. Stateless apart from the secret.
class CallTokenIssuer {
public:
    // secret: any bytes, kept for the issuer's life.
    explicit CallTokenIssuer(std::string secret) : secret_(std::move(secret)) {}

    // address: dotted IPv4 text of the client; port in host order.
    std::string issue(std::string_view address, uint16_t port, int64_t unixSeconds) const;

    enum class Check {
        Valid,
        Malformed,  // not "<digits>?<40 hex>"
        BadHash,    // not issued for this address and port by this issuer
        Expired,    // older than maxAgeSeconds, or from the future
    };
    Check verify(std::string_view token, std::string_view address, uint16_t port, int64_t nowUnixSeconds,
                 int64_t maxAgeSeconds = kDefaultMaxAgeSeconds) const;

    static constexpr int64_t kDefaultMaxAgeSeconds = 10;

private:
    std::string hashFor(std::string_view address, uint16_t port, int64_t unixSeconds) const;
    std::string secret_;
};

// The longest token a client accepts (the element's data limit).
inline constexpr size_t kMaxCallTokenLength = 255;

}  // namespace iax2
