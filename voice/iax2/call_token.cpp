#include "voice/iax2/call_token.h"

#include <cstdio>

#include "voice/iax2/auth.h"

namespace iax2 {

std::string CallTokenIssuer::hashFor(std::string_view address, uint16_t port, int64_t unixSeconds) const {
    char prefix[96];
    std::snprintf(prefix, sizeof prefix, "%.*s:%u:%lld:", static_cast<int>(address.size()), address.data(),
                  static_cast<unsigned>(port), static_cast<long long>(unixSeconds));
    std::string material(prefix);
    material.append(secret_);
    return sha1Hex(material);
}

std::string CallTokenIssuer::issue(std::string_view address, uint16_t port, int64_t unixSeconds) const {
    return std::to_string(unixSeconds) + "?" + hashFor(address, port, unixSeconds);
}

CallTokenIssuer::Check CallTokenIssuer::verify(std::string_view token, std::string_view address, uint16_t port,
                                               int64_t now, int64_t maxAgeSeconds) const {
    const size_t q = token.find('?');
    if (q == std::string_view::npos || q == 0 || q > 18) return Check::Malformed;
    int64_t issued = 0;
    for (size_t i = 0; i < q; ++i) {
        const char c = token[i];
        if (c < '0' || c > '9') return Check::Malformed;
        issued = issued * 10 + (c - '0');
    }
    const std::string_view hash = token.substr(q + 1);
    if (hash.size() != 40) return Check::Malformed;
    for (char c : hash)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return Check::Malformed;
    if (hash != hashFor(address, port, issued)) return Check::BadHash;
    if (issued > now || now - issued > maxAgeSeconds) return Check::Expired;
    return Check::Valid;
}

}  // namespace iax2
