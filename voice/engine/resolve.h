// Name resolution for peers: IPv4 only, numeric addresses without a lookup.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <optional>
#include <string>

namespace voice::engine {

// May block on the system resolver: never call it with the engine lock held.
std::optional<sockaddr_in> resolveIpv4(const std::string& host, uint16_t port);

// Tests switch name lookups off, so that a name fails at once and without
// any traffic to a name server.
void setNameLookups(bool on);

}  // namespace voice::engine
