// Stand-ins for a few C library calls, defined in the test program so that
// the socket layer's calls land here first: they count calls, answer names
// that must not reach the network, and can replace the interface list.
// Everything else goes on to the real call.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace fakes {

// Counted calls of socket() and getaddrinfo().
extern std::atomic<int> socketCalls;
extern std::atomic<int> nameLookups;
std::string lastLookup();

// Names ending in these are answered without a lookup: "no such name" and
// "the name has no address".
constexpr const char* kUnresolvableSuffix = ".unresolvable.test";
constexpr const char* kNoAddressSuffix = ".noaddress.test";

struct Interface {
    std::string name;
    bool loopback = false;
    // "a.b.c.d" for IPv4; "v6" for an IPv6 entry; "" for no address.
    std::string address;
};
// While set, getifaddrs() lists these (or fails when failInterfaces is set).
void useInterfaces(const std::vector<Interface>& interfaces);
void failInterfaces();
void useRealInterfaces();

}  // namespace fakes
