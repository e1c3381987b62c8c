// Element values with a packed layout: DATETIME, APPARENT_ADDR and the
// MSGCOUNT of a mailbox.
#pragma once

#include <cstddef>
#include <cstdint>

namespace iax2 {

struct DateTime {
    int year = 2000;  // 2000..2127
    int month = 1;    // 1..12
    int day = 1;      // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;  // stored with two-second resolution
};

uint32_t packDateTime(const DateTime& t);
DateTime unpackDateTime(uint32_t packed);

// APPARENT_ADDR holds an IPv4 socket address as servers write it: family 2
// in the first two bytes (little-endian), port and address big-endian, then
// eight zero bytes.
inline constexpr size_t kApparentAddrLength = 16;
void packApparentAddress(uint32_t ipv4HostOrder, uint16_t port, uint8_t out[kApparentAddrLength]);
bool unpackApparentAddress(const uint8_t* data, size_t length, uint32_t& ipv4HostOrder, uint16_t& port);

// MSGCOUNT: old messages in the high byte, new in the low, each capped at 255.
uint16_t packMessageCount(int oldMessages, int newMessages);

}  // namespace iax2
