// Addresses for the socket layer: the manager host's address (dotted form
// or a name lookup) and the list of this workstation's own IPv4 addresses.
#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "agent/socket_layer.h"

namespace {

constexpr int kHostScratchSize = 64;
constexpr int kDottedParts = 4;

// Reads up to four dot-separated decimal numbers the way "%d.%d.%d.%d" does
// on a text made only of digits and dots. Values are capped just above 255
// so that long digit runs cannot overflow. Returns how many were read.
int scanDottedNumbers(const char* text, int numbers[kDottedParts]) {
    int count = 0;
    const char* p = text;
    while (count < kDottedParts) {
        if (count > 0) {
            if (*p != '.') break;
            ++p;
        }
        if (*p < '0' || *p > '9') break;
        int value = 0;
        while (*p >= '0' && *p <= '9') {
            if (value <= 255) value = value * 10 + (*p - '0');
            ++p;
        }
        numbers[count++] = value;
    }
    return count;
}

// True when the whole host consists of digits and dots, as the scan with
// "%[0123456789.]" into the 64-byte scratch buffer decides it.
bool isDigitsAndDots(const char* host) {
    char scratch[kHostScratchSize];
    if (std::sscanf(host, "%63[0123456789.]", scratch) != 1) return false;
    return std::strcmp(scratch, host) == 0;
}

int lookUpHostName(const char* host, uint32_t* address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* answer = nullptr;
    const int error = getaddrinfo(host, nullptr, &hints, &answer);
    if (error != 0) {
        // The name is known but carries no IPv4 address.
        if (error == EAI_NODATA || error == EAI_ADDRFAMILY) return SO_INVALID_HOST;
        return SO_GETHOSTBYNAME_ERROR;
    }
    int result = SO_INVALID_HOST;
    for (const addrinfo* entry = answer; entry; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET && entry->ai_addr) {
            *address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr;
            result = SO_OK;
            break;
        }
    }
    freeaddrinfo(answer);
    return result;
}

bool isLoopback(const ifaddrs* entry, uint32_t address) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&address);
    return (entry->ifa_flags & IFF_LOOPBACK) != 0 || bytes[0] == 127;
}

// Appends ", a.b.c.d" (or "a.b.c.d" first) when it fits whole.
void appendAddress(char* buffer, int capacity, int& used, uint32_t address) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&address);
    char entry[24];
    const int length = std::snprintf(entry, sizeof entry, "%s%u.%u.%u.%u", used > 0 ? ", " : "", bytes[0],
                                     bytes[1], bytes[2], bytes[3]);
    if (length <= 0 || used + length >= capacity) return;
    std::memcpy(buffer + used, entry, static_cast<size_t>(length) + 1);
    used += length;
}

}  // namespace

int utl_getipaddress(const char* host, uint32_t* address) {
    if (!host || !address) return SO_INVALID_HOST;
    int numbers[kDottedParts];
    if (isDigitsAndDots(host) && scanDottedNumbers(host, numbers) == kDottedParts) {
        unsigned char bytes[kDottedParts];
        for (int i = 0; i < kDottedParts; ++i) {
            if (numbers[i] > 255) return SO_INVALID_HOST;
            bytes[i] = static_cast<unsigned char>(numbers[i]);
        }
        std::memcpy(address, bytes, sizeof bytes);
        return SO_OK;
    }
    return lookUpHostName(host, address);
}

int utl_getlocalipaddresses(char* buffer, int capacity) {
    if (!buffer || capacity < 1) return SO_INVALID_READ_BUFFER;
    ifaddrs* interfaces = nullptr;
    if (getifaddrs(&interfaces) != 0) return SO_GETHOSTNAME_ERROR;

    buffer[0] = '\0';
    int used = 0;
    int found = 0;
    // Two passes keep the interfaces' order and put loopback addresses last.
    for (int loopbackPass = 0; loopbackPass < 2; ++loopbackPass) {
        for (const ifaddrs* entry = interfaces; entry; entry = entry->ifa_next) {
            if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET) continue;
            const uint32_t address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr;
            if (isLoopback(entry, address) != (loopbackPass == 1)) continue;
            appendAddress(buffer, capacity, used, address);
            ++found;
        }
    }
    freeifaddrs(interfaces);
    return found > 0 ? SO_OK : SO_INVALID_HOST;
}
