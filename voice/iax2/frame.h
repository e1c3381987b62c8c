// Encoding and decoding of IAX2 frame headers: full frames (12-byte header,
// reliable, sequenced) and mini voice frames (4-byte header). Everything
// read from the wire is checked; nothing here allocates.
#pragma once

#include <cstddef>
#include <cstdint>

namespace iax2 {

// Subclass values that are not plain numbers: the compressed byte 0xFF stands
// for -1 (Asterisk sends control -1, "stop indications", after answering),
// and powers of two beyond 32 bits decode to kSubclassBeyondRange. Neither is
// a single codec bit, a command or a digit this stack acts on.
inline constexpr uint32_t kSubclassMinusOne = 0xFFFFFFFFu;
inline constexpr uint32_t kSubclassBeyondRange = 0xFFFFFFFEu;

// The header of a full frame. subclass holds the decoded value (a command
// number, a control number, an ASCII digit or a codec bit).
struct FullHeader {
    uint16_t sourceCall = 0;       // sender's call number, 1..32767
    bool retransmitted = false;    // R bit
    uint16_t destinationCall = 0;  // receiver's call number, 0 when unknown
    uint32_t timestamp = 0;        // ms since the sender's call started
    uint8_t oseq = 0;
    uint8_t iseq = 0;
    uint8_t type = 0;  // frametype::*
    uint32_t subclass = 0;
};

struct MiniHeader {
    uint16_t sourceCall = 0;
    uint16_t timestamp = 0;  // low 16 bits of the sender's timestamp
};

enum class FrameKind {
    Full,
    Mini,
    Meta,  // trunk and video mini frames: not handled by this stack
};

enum class DecodeStatus {
    Ok,
    TooShort,        // shorter than the header it announces
    TooLong,         // longer than kMaxDatagram
    ZeroCallNumber,  // full or mini frame without a source call number
};

// One datagram split into header and payload. payload points into the
// caller's buffer.
struct DecodedFrame {
    FrameKind kind = FrameKind::Full;
    FullHeader full;  // valid when kind == Full
    MiniHeader mini;  // valid when kind == Mini
    const uint8_t* payload = nullptr;
    size_t payloadLength = 0;
};

DecodeStatus decodeFrame(const uint8_t* data, size_t length, DecodedFrame& out);

// Subclass byte coding: values below 128 go as they are; powers of two from
// 128 up go as 0x80 | exponent; kSubclassMinusOne goes as 0xFF. Returns
// false for values that cannot be coded (128 and above but not a power of
// two).
bool encodeSubclass(uint32_t value, uint8_t& out);
// Every byte decodes: a full frame is never refused for its subclass, since
// a frame dropped before sequencing would stall its whole dialog.
uint32_t decodeSubclass(uint8_t coded);

// Writes header and payload into out. Returns the datagram length, or 0 when
// it does not fit in capacity or the subclass cannot be coded.
size_t encodeFullFrame(const FullHeader& header, const uint8_t* payload, size_t payloadLength, uint8_t* out,
                       size_t capacity);
size_t encodeMiniFrame(const MiniHeader& header, const uint8_t* payload, size_t payloadLength, uint8_t* out,
                       size_t capacity);

// The 32-bit timestamp whose low 16 bits are `low` and which lies nearest
// `reference` (the latest full timestamp seen on the stream): extends mini
// frame timestamps across their wrap every 65.536 s, in either direction.
uint32_t extendMiniTimestamp(uint32_t reference, uint16_t low);

// Rewrites fields of an already encoded full frame in place (for
// retransmission): sets the R bit and the current ISeqno.
void markRetransmission(uint8_t* frame, size_t length, uint8_t iseq);

const char* frameTypeName(uint8_t type);
const char* commandName(uint32_t subclass);

}  // namespace iax2
