// Frame headers against byte sequences written out by hand from the IAX2
// frame layouts (12-byte full header, 4-byte mini header, big-endian).
#include <gtest/gtest.h>

#include <vector>

#include "voice/iax2/frame.h"
#include "voice/iax2/protocol.h"

using namespace iax2;

namespace {

// NEW from call 2 to an unknown call, timestamp 3, OSeqno 0, ISeqno 0,
// followed by VERSION = 2.
const std::vector<uint8_t> kNewFrame = {0x80, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03,
                                        0x00, 0x00, 0x06, 0x01, 0x0B, 0x02, 0x00, 0x02};

}  // namespace

TEST(WireFrame, DecodesFullFrameFields) {
    // Retransmitted ACCEPT from call 0x1234 to call 0x0102, timestamp
    // 0x01020304, OSeqno 5, ISeqno 7.
    const uint8_t bytes[] = {0x92, 0x34, 0x81, 0x02, 0x01, 0x02, 0x03, 0x04, 0x05,
                             0x07, 0x06, 0x07, 0x09, 0x04, 0x00, 0x00, 0x00, 0x02};
    DecodedFrame f;
    ASSERT_EQ(decodeFrame(bytes, sizeof bytes, f), DecodeStatus::Ok);
    EXPECT_EQ(f.kind, FrameKind::Full);
    EXPECT_EQ(f.full.sourceCall, 0x1234);
    EXPECT_TRUE(f.full.retransmitted);
    EXPECT_EQ(f.full.destinationCall, 0x0102);
    EXPECT_EQ(f.full.timestamp, 0x01020304u);
    EXPECT_EQ(f.full.oseq, 5);
    EXPECT_EQ(f.full.iseq, 7);
    EXPECT_EQ(f.full.type, frametype::Iax);
    EXPECT_EQ(f.full.subclass, cmd::Accept);
    ASSERT_EQ(f.payloadLength, 6u);
    EXPECT_EQ(f.payload[0], ie::Format);
}

TEST(WireFrame, EncodesNewFrameExactly) {
    FullHeader h;
    h.sourceCall = 2;
    h.timestamp = 3;
    h.type = frametype::Iax;
    h.subclass = cmd::New;
    const uint8_t payload[] = {0x0B, 0x02, 0x00, 0x02};
    uint8_t out[64];
    const size_t n = encodeFullFrame(h, payload, sizeof payload, out, sizeof out);
    ASSERT_EQ(n, kNewFrame.size());
    EXPECT_EQ(std::vector<uint8_t>(out, out + n), kNewFrame);
}

TEST(WireFrame, SubclassCoding) {
    // Voice frames: GSM is bit 1 (plain 0x02); Speex is bit 9, which needs
    // the compressed form 0x80 | 9.
    const uint8_t speex[] = {0x80, 0x05, 0x00, 0x09, 0x00, 0x00, 0x00, 0x14, 0x01, 0x01, 0x02, 0x89, 0xAA};
    DecodedFrame f;
    ASSERT_EQ(decodeFrame(speex, sizeof speex, f), DecodeStatus::Ok);
    EXPECT_EQ(f.full.type, frametype::Voice);
    EXPECT_EQ(f.full.subclass, 1u << 9);

    uint8_t coded = 0;
    EXPECT_TRUE(encodeSubclass(codec::Gsm, coded));
    EXPECT_EQ(coded, 0x02);
    EXPECT_TRUE(encodeSubclass(1u << 9, coded));
    EXPECT_EQ(coded, 0x89);
    EXPECT_TRUE(encodeSubclass(127, coded));
    EXPECT_EQ(coded, 0x7F);
    EXPECT_FALSE(encodeSubclass(0x180, coded));  // not a power of two
    EXPECT_EQ(decodeSubclass(0x9F), 1u << 31);
    // Bit 6 of a compressed byte is ignored: 0xC5 is 2^5 as 0x85 is.
    EXPECT_EQ(decodeSubclass(0xC5), 1u << 5);
    // Powers of two beyond 32 bits still decode, to a value nothing matches.
    EXPECT_EQ(decodeSubclass(0xA0), kSubclassBeyondRange);
    EXPECT_EQ(decodeSubclass(0xBF), kSubclassBeyondRange);
}

TEST(WireFrame, CompressedMinusOneRoundTrips) {
    // Asterisk's "stop indications" control after it answers: subclass 0xFF.
    const uint8_t stop[] = {0x80, 0x05, 0x00, 0x09, 0, 0, 0, 10, 3, 2, 0x04, 0xFF};
    DecodedFrame f;
    ASSERT_EQ(decodeFrame(stop, sizeof stop, f), DecodeStatus::Ok);
    EXPECT_EQ(f.full.type, frametype::Control);
    EXPECT_EQ(f.full.subclass, kSubclassMinusOne);
    EXPECT_EQ(f.full.oseq, 3);

    uint8_t out[kFullHeaderSize];
    ASSERT_EQ(encodeFullFrame(f.full, nullptr, 0, out, sizeof out), sizeof stop);
    EXPECT_EQ(0, memcmp(out, stop, sizeof stop));
}

TEST(WireFrame, EverySubclassByteDecodes) {
    // No subclass byte may make a full frame undecodable: a frame dropped
    // before sequencing stalls its dialog.
    for (int b = 0; b < 256; ++b) {
        const uint8_t bytes[] = {0x80, 0x05, 0x00, 0x09, 0, 0, 0, 1, 0, 0, 0x04, static_cast<uint8_t>(b)};
        DecodedFrame f;
        EXPECT_EQ(decodeFrame(bytes, sizeof bytes, f), DecodeStatus::Ok) << "byte " << b;
    }
}

TEST(WireFrame, VideoMarkBitIsNotPartOfTheSubclass) {
    // H.263 (bit 19) with the end-of-frame mark: 0x80 | 0x40 | 19.
    const uint8_t bytes[] = {0x80, 0x05, 0x00, 0x09, 0, 0, 0, 1, 0, 0, 0x03, 0xD3};
    DecodedFrame f;
    ASSERT_EQ(decodeFrame(bytes, sizeof bytes, f), DecodeStatus::Ok);
    EXPECT_EQ(f.full.subclass, 1u << 19);
}

TEST(WireFrame, MiniAndMetaFrames) {
    // Mini voice frame from call 0x0345, timestamp 0xBEEF, 3 payload bytes.
    const uint8_t mini[] = {0x03, 0x45, 0xBE, 0xEF, 0x11, 0x22, 0x33};
    DecodedFrame f;
    ASSERT_EQ(decodeFrame(mini, sizeof mini, f), DecodeStatus::Ok);
    EXPECT_EQ(f.kind, FrameKind::Mini);
    EXPECT_EQ(f.mini.sourceCall, 0x0345);
    EXPECT_EQ(f.mini.timestamp, 0xBEEF);
    ASSERT_EQ(f.payloadLength, 3u);
    EXPECT_EQ(f.payload[2], 0x33);

    uint8_t out[16];
    MiniHeader h{0x0345, 0xBEEF};
    const uint8_t payload[] = {0x11, 0x22, 0x33};
    ASSERT_EQ(encodeMiniFrame(h, payload, 3, out, sizeof out), sizeof mini);
    EXPECT_EQ(0, memcmp(out, mini, sizeof mini));

    // Trunk / video mini frames start with 16 zero bits.
    const uint8_t meta[] = {0x00, 0x00, 0x80, 0x01, 0x00, 0x10};
    ASSERT_EQ(decodeFrame(meta, sizeof meta, f), DecodeStatus::Ok);
    EXPECT_EQ(f.kind, FrameKind::Meta);
}

TEST(WireFrame, MalformedDatagramsAreRefused) {
    DecodedFrame f;
    const uint8_t three[] = {0x80, 0x01, 0x00};
    EXPECT_EQ(decodeFrame(three, sizeof three, f), DecodeStatus::TooShort);
    // A full-frame marker with only 11 bytes.
    const uint8_t eleven[] = {0x80, 0x01, 0, 0, 0, 0, 0, 1, 0, 0, 6};
    EXPECT_EQ(decodeFrame(eleven, sizeof eleven, f), DecodeStatus::TooShort);
    // Full frame from call number 0.
    const uint8_t zero[] = {0x80, 0x00, 0, 0, 0, 0, 0, 1, 0, 0, 6, 1};
    EXPECT_EQ(decodeFrame(zero, sizeof zero, f), DecodeStatus::ZeroCallNumber);
    std::vector<uint8_t> huge(kMaxDatagram + 1, 0x80);
    EXPECT_EQ(decodeFrame(huge.data(), huge.size(), f), DecodeStatus::TooLong);
    EXPECT_EQ(decodeFrame(nullptr, 0, f), DecodeStatus::TooShort);
}

TEST(WireFrame, EncodingRespectsCapacity) {
    FullHeader h;
    h.sourceCall = 1;
    h.type = frametype::Iax;
    h.subclass = cmd::Ping;
    uint8_t out[12];
    EXPECT_EQ(encodeFullFrame(h, nullptr, 0, out, 11), 0u);
    EXPECT_EQ(encodeFullFrame(h, nullptr, 0, out, 12), 12u);
    const uint8_t one = 1;
    EXPECT_EQ(encodeFullFrame(h, &one, 1, out, 12), 0u);
    h.subclass = 0x300;  // cannot be coded
    EXPECT_EQ(encodeFullFrame(h, nullptr, 0, out, 12), 0u);
    MiniHeader m{0, 1};  // call number 0 is not a mini frame
    EXPECT_EQ(encodeMiniFrame(m, nullptr, 0, out, sizeof out), 0u);
}

TEST(WireFrame, RetransmissionMarkSetsRBitAndIseq) {
    std::vector<uint8_t> f = kNewFrame;
    markRetransmission(f.data(), f.size(), 9);
    EXPECT_EQ(f[2], 0x80);
    EXPECT_EQ(f[9], 9);
    DecodedFrame d;
    ASSERT_EQ(decodeFrame(f.data(), f.size(), d), DecodeStatus::Ok);
    EXPECT_TRUE(d.full.retransmitted);
    EXPECT_EQ(d.full.destinationCall, 0);
}

TEST(WireFrame, MiniTimestampsExtendToTheNearestFullTimestamp) {
    // Within one 65.536 s period nothing changes.
    EXPECT_EQ(extendMiniTimestamp(20, 40), 40u);
    EXPECT_EQ(extendMiniTimestamp(0, 40000), 40000u);
    // Forward across a wrap, and again across the next one.
    EXPECT_EQ(extendMiniTimestamp(65520, 4), 65540u);
    EXPECT_EQ(extendMiniTimestamp(131060, 4), 131076u);
    EXPECT_EQ(extendMiniTimestamp(0x7FFFFFF0u, 0x0010), 0x80000010u);
    // A late frame from before the wrap stays before it.
    EXPECT_EQ(extendMiniTimestamp(65540, 65500), 65500u);
    EXPECT_EQ(extendMiniTimestamp(131076, 65500), 131036u);
    // Every low value lands within half a period of the reference.
    for (uint32_t reference : {0u, 30000u, 65535u, 65536u, 200000u, 0xFFFF0000u}) {
        for (uint32_t low = 0; low < 0x10000; low += 97) {
            const uint32_t full = extendMiniTimestamp(reference, static_cast<uint16_t>(low));
            EXPECT_EQ(full & 0xFFFF, low);
            const int64_t distance = static_cast<int64_t>(full) - reference;
            if (reference >= 0x8000) {
                EXPECT_LE(std::llabs(distance), 0x8000) << reference << " " << low;
            }
        }
    }
}
