#include "voice/iax2/frame.h"

#include <cstring>

#include "voice/iax2/protocol.h"

namespace iax2 {
namespace {

uint16_t readU16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

uint32_t readU32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

void writeU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

void writeU32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

constexpr uint8_t kCompressedBit = 0x80;
// A compressed byte carries six exponent bits; bit 6 is ignored, as Asterisk
// ignores it.
constexpr uint8_t kExponentMask = 0x3F;
// The byte Asterisk writes for the value -1 (for example "stop indications").
constexpr uint8_t kCompressedMinusOne = 0xFF;
constexpr uint16_t kHighBit = 0x8000;

}  // namespace

bool encodeSubclass(uint32_t value, uint8_t& out) {
    if (value < kCompressedBit) {
        out = static_cast<uint8_t>(value);
        return true;
    }
    if (value == kSubclassMinusOne) {
        out = kCompressedMinusOne;
        return true;
    }
    if ((value & (value - 1)) != 0) return false;
    uint8_t exponent = 0;
    while ((1u << exponent) != value) ++exponent;
    out = static_cast<uint8_t>(kCompressedBit | exponent);
    return true;
}

uint32_t decodeSubclass(uint8_t coded) {
    if ((coded & kCompressedBit) == 0) return coded;
    if (coded == kCompressedMinusOne) return kSubclassMinusOne;
    const uint8_t exponent = coded & kExponentMask;
    // Powers of two beyond 32 bits are codecs and commands this stack has
    // none of; they decode to a value that matches nothing it knows.
    if (exponent > 31) return kSubclassBeyondRange;
    return 1u << exponent;
}

DecodeStatus decodeFrame(const uint8_t* data, size_t length, DecodedFrame& out) {
    out = DecodedFrame{};
    if (length > kMaxDatagram) return DecodeStatus::TooLong;
    if (data == nullptr || length < kMiniHeaderSize) return DecodeStatus::TooShort;
    const uint16_t first = readU16(data);
    if (first & kHighBit) {
        if (length < kFullHeaderSize) return DecodeStatus::TooShort;
        FullHeader& h = out.full;
        h.sourceCall = first & kMaxCallNumber;
        const uint16_t second = readU16(data + 2);
        h.retransmitted = (second & kHighBit) != 0;
        h.destinationCall = second & kMaxCallNumber;
        h.timestamp = readU32(data + 4);
        h.oseq = data[8];
        h.iseq = data[9];
        h.type = data[10];
        uint8_t coded = data[11];
        // Video frames carry their end-of-frame mark in bit 6.
        if (h.type == frametype::Video) coded &= static_cast<uint8_t>(~0x40);
        h.subclass = decodeSubclass(coded);
        if (h.sourceCall == 0) return DecodeStatus::ZeroCallNumber;
        out.kind = FrameKind::Full;
        out.payload = data + kFullHeaderSize;
        out.payloadLength = length - kFullHeaderSize;
        return DecodeStatus::Ok;
    }
    if (first == 0) {
        out.kind = FrameKind::Meta;
        out.payload = data + 2;
        out.payloadLength = length - 2;
        return DecodeStatus::Ok;
    }
    out.kind = FrameKind::Mini;
    out.mini.sourceCall = first;
    out.mini.timestamp = readU16(data + 2);
    out.payload = data + kMiniHeaderSize;
    out.payloadLength = length - kMiniHeaderSize;
    return DecodeStatus::Ok;
}

size_t encodeFullFrame(const FullHeader& h, const uint8_t* payload, size_t payloadLength, uint8_t* out,
                       size_t capacity) {
    const size_t total = kFullHeaderSize + payloadLength;
    if (out == nullptr || total > capacity || total > kMaxDatagram) return 0;
    if (payloadLength > 0 && payload == nullptr) return 0;
    uint8_t coded = 0;
    if (!encodeSubclass(h.subclass, coded)) return 0;
    writeU16(out, static_cast<uint16_t>(kHighBit | (h.sourceCall & kMaxCallNumber)));
    writeU16(out + 2,
             static_cast<uint16_t>((h.retransmitted ? kHighBit : 0) | (h.destinationCall & kMaxCallNumber)));
    writeU32(out + 4, h.timestamp);
    out[8] = h.oseq;
    out[9] = h.iseq;
    out[10] = h.type;
    out[11] = coded;
    if (payloadLength > 0) std::memcpy(out + kFullHeaderSize, payload, payloadLength);
    return total;
}

size_t encodeMiniFrame(const MiniHeader& h, const uint8_t* payload, size_t payloadLength, uint8_t* out,
                       size_t capacity) {
    const size_t total = kMiniHeaderSize + payloadLength;
    if (out == nullptr || total > capacity || total > kMaxDatagram) return 0;
    if (payloadLength > 0 && payload == nullptr) return 0;
    if (h.sourceCall == 0 || h.sourceCall > kMaxCallNumber) return 0;
    writeU16(out, h.sourceCall);
    writeU16(out + 2, h.timestamp);
    if (payloadLength > 0) std::memcpy(out + kMiniHeaderSize, payload, payloadLength);
    return total;
}

uint32_t extendMiniTimestamp(uint32_t reference, uint16_t low) {
    constexpr int64_t kWrap = 0x10000;
    const int64_t ref = reference;
    int64_t candidate = (ref & ~(kWrap - 1)) | low;
    if (candidate < ref - kWrap / 2)
        candidate += kWrap;
    else if (candidate > ref + kWrap / 2 && candidate >= kWrap)
        candidate -= kWrap;
    return static_cast<uint32_t>(candidate);
}

void markRetransmission(uint8_t* frame, size_t length, uint8_t iseq) {
    if (frame == nullptr || length < kFullHeaderSize) return;
    frame[2] |= 0x80;
    frame[9] = iseq;
}

const char* frameTypeName(uint8_t type) {
    switch (type) {
        case frametype::Dtmf:
            return "DTMF";
        case frametype::Voice:
            return "VOICE";
        case frametype::Video:
            return "VIDEO";
        case frametype::Control:
            return "CONTROL";
        case frametype::Null:
            return "NULL";
        case frametype::Iax:
            return "IAX";
        case frametype::Text:
            return "TEXT";
        case frametype::Image:
            return "IMAGE";
        case frametype::Html:
            return "HTML";
        case frametype::Cng:
            return "CNG";
        case frametype::Modem:
            return "MODEM";
        case frametype::DtmfBegin:
            return "DTMF_BEGIN";
        default:
            return "UNKNOWN";
    }
}

const char* commandName(uint32_t subclass) {
    static const char* const kNames[] = {
        "?",       "NEW",    "PING",     "PONG",  "ACK",       "HANGUP",  "REJECT",    "ACCEPT",   "AUTHREQ",
        "AUTHREP", "INVAL",  "LAGRQ",    "LAGRP", "REGREQ",    "REGAUTH", "REGACK",    "REGREJ",   "REGREL",
        "VNAK",    "DPREQ",  "DPREP",    "DIAL",  "TXREQ",     "TXCNT",   "TXACC",     "TXREADY",  "TXREL",
        "TXREJ",   "QUELCH", "UNQUELCH", "POKE",  "PAGE",      "MWI",     "UNSUPPORT", "TRANSFER", "PROVISION",
        "FWDOWNL", "FWDATA", "TXMEDIA",  "RTKEY", "CALLTOKEN",
    };
    if (subclass < sizeof(kNames) / sizeof(kNames[0])) return kNames[subclass];
    return "?";
}

}  // namespace iax2
