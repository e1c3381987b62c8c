#include "voice/iax2/values.h"

#include <cstring>

namespace iax2 {
namespace {
uint32_t clampField(int v, int lo, int hi) {
    return static_cast<uint32_t>(v < lo ? lo : (v > hi ? hi : v));
}
}  // namespace

uint32_t packDateTime(const DateTime& t) {
    return (clampField(t.year - 2000, 0, 127) << 25) | (clampField(t.month, 1, 12) << 21) |
           (clampField(t.day, 1, 31) << 16) | (clampField(t.hour, 0, 23) << 11) |
           (clampField(t.minute, 0, 59) << 5) | clampField(t.second / 2, 0, 29);
}

DateTime unpackDateTime(uint32_t p) {
    DateTime t;
    t.year = 2000 + static_cast<int>(p >> 25);
    t.month = static_cast<int>((p >> 21) & 0x0F);
    t.day = static_cast<int>((p >> 16) & 0x1F);
    t.hour = static_cast<int>((p >> 11) & 0x1F);
    t.minute = static_cast<int>((p >> 5) & 0x3F);
    t.second = static_cast<int>(p & 0x1F) * 2;
    return t;
}

void packApparentAddress(uint32_t ip, uint16_t port, uint8_t out[kApparentAddrLength]) {
    std::memset(out, 0, kApparentAddrLength);
    out[0] = 2;  // AF_INET, little-endian as on the servers that write it
    out[2] = static_cast<uint8_t>(port >> 8);
    out[3] = static_cast<uint8_t>(port);
    out[4] = static_cast<uint8_t>(ip >> 24);
    out[5] = static_cast<uint8_t>(ip >> 16);
    out[6] = static_cast<uint8_t>(ip >> 8);
    out[7] = static_cast<uint8_t>(ip);
}

bool unpackApparentAddress(const uint8_t* d, size_t length, uint32_t& ip, uint16_t& port) {
    if (d == nullptr || length != kApparentAddrLength) return false;
    port = static_cast<uint16_t>((d[2] << 8) | d[3]);
    ip = (static_cast<uint32_t>(d[4]) << 24) | (static_cast<uint32_t>(d[5]) << 16) |
         (static_cast<uint32_t>(d[6]) << 8) | d[7];
    return true;
}

uint16_t packMessageCount(int oldMessages, int newMessages) {
    return static_cast<uint16_t>((clampField(oldMessages, 0, 255) << 8) | clampField(newMessages, 0, 255));
}

}  // namespace iax2
