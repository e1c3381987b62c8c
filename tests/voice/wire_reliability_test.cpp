// Sequence numbers, acknowledgements and retransmission timing.
#include <gtest/gtest.h>

#include <vector>

#include "voice/iax2/dialog.h"
#include "voice/iax2/frame.h"
#include "voice/iax2/protocol.h"
#include "voice/iax2/reliability.h"

using namespace iax2;

namespace {

FullHeader header(uint8_t type, uint32_t subclass, uint8_t oseq, uint8_t iseq, uint32_t ts = 10) {
    FullHeader h;
    h.sourceCall = 700;
    h.destinationCall = 5;
    h.type = type;
    h.subclass = subclass;
    h.oseq = oseq;
    h.iseq = iseq;
    h.timestamp = ts;
    return h;
}

struct Sent {
    std::vector<std::vector<uint8_t>> frames;
    std::function<void(const uint8_t*, size_t)> fn() {
        return [this](const uint8_t* p, size_t n) { frames.emplace_back(p, p + n); };
    }
};

}  // namespace

TEST(WireReliability, WhichFramesAreSequencedAndAcknowledged) {
    EXPECT_FALSE(takesSequenceNumber(frametype::Iax, cmd::Ack));
    EXPECT_FALSE(takesSequenceNumber(frametype::Iax, cmd::Inval));
    EXPECT_FALSE(takesSequenceNumber(frametype::Iax, cmd::Vnak));
    EXPECT_FALSE(takesSequenceNumber(frametype::Iax, cmd::TxCnt));
    EXPECT_FALSE(takesSequenceNumber(frametype::Iax, cmd::TxAcc));
    EXPECT_TRUE(takesSequenceNumber(frametype::Iax, cmd::New));
    EXPECT_TRUE(takesSequenceNumber(frametype::Voice, codec::Gsm));
    EXPECT_TRUE(takesSequenceNumber(frametype::Dtmf, '5'));
    EXPECT_FALSE(wantsAck(frametype::Iax, cmd::CallToken));
    EXPECT_TRUE(wantsAck(frametype::Iax, cmd::Hangup));
    EXPECT_TRUE(isFinalFrame(frametype::Iax, cmd::RegRej));
    EXPECT_FALSE(isFinalFrame(frametype::Iax, cmd::Accept));
}

TEST(WireReliability, ArrivalClassificationWrapsAt256) {
    EXPECT_EQ(classifyArrival(5, 5), Arrival::Expected);
    EXPECT_EQ(classifyArrival(5, 4), Arrival::Duplicate);
    EXPECT_EQ(classifyArrival(5, 6), Arrival::Ahead);
    EXPECT_EQ(classifyArrival(0, 255), Arrival::Duplicate);
    EXPECT_EQ(classifyArrival(255, 0), Arrival::Ahead);
    EXPECT_EQ(classifyArrival(10, static_cast<uint8_t>(10 - 127)), Arrival::Duplicate);
    EXPECT_EQ(classifyArrival(10, static_cast<uint8_t>(10 - 128)), Arrival::Ahead);
}

TEST(WireReliability, RetransmissionScheduleAndGiveUp) {
    // The default schedule: first resend after 2 x 100 ms, then x4 up to
    // 4000 ms, ten resends, then given up.
    RetryPolicy policy;
    Dialog d(5, 0, policy);
    uint8_t out[64];
    const size_t n = d.build(OutFrame::of(frametype::Iax, cmd::RegReq), 0, out, sizeof out);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(d.oseq(), 1);
    Sent sent;
    int gaveUp = 0;
    std::vector<uint64_t> times;
    for (uint64_t t = 0; t <= 60000 && gaveUp == 0; ++t) {
        const size_t before = sent.frames.size();
        d.service(t, sent.fn(), [&](const RetransmitQueue::Entry& e) {
            ++gaveUp;
            EXPECT_EQ(e.subclass, cmd::RegReq);
            times.push_back(t);
        });
        if (sent.frames.size() != before) times.push_back(t);
    }
    const std::vector<uint64_t> expected = {200,   1000,  4200,  8200,  12200, 16200,
                                            20200, 24200, 28200, 32200, 36200};
    EXPECT_EQ(times, expected);
    EXPECT_EQ(gaveUp, 1);
    EXPECT_TRUE(d.allAcknowledged());
    ASSERT_FALSE(sent.frames.empty());
    DecodedFrame f;
    ASSERT_EQ(decodeFrame(sent.frames[0].data(), sent.frames[0].size(), f), DecodeStatus::Ok);
    EXPECT_TRUE(f.full.retransmitted);
}

TEST(WireReliability, IseqOfPeerReleasesFramesInsideTheWindowOnly) {
    Dialog d(5, 0, RetryPolicy{});
    uint8_t out[64];
    for (int i = 0; i < 3; ++i) d.build(OutFrame::of(frametype::Iax, cmd::Ping), 10 * i, out, 64);
    EXPECT_EQ(d.queue().size(), 3u);
    // An ISeqno beyond what we sent is ignored.
    EXPECT_EQ(d.receive(header(frametype::Iax, cmd::Ack, 0, 7)), Verdict::Unsequenced);
    EXPECT_EQ(d.queue().size(), 3u);
    EXPECT_EQ(d.receive(header(frametype::Iax, cmd::Ack, 0, 2)), Verdict::Unsequenced);
    EXPECT_EQ(d.queue().size(), 1u);
    EXPECT_EQ(d.queue().entries()[0].oseq, 2);
    // An INVAL's ISeqno acknowledges nothing.
    EXPECT_EQ(d.receive(header(frametype::Iax, cmd::Inval, 0, 3)), Verdict::Unsequenced);
    EXPECT_EQ(d.queue().size(), 1u);
    EXPECT_EQ(d.receive(header(frametype::Iax, cmd::Pong, 0, 3)), Verdict::Accept);
    EXPECT_TRUE(d.allAcknowledged());
}

TEST(WireReliability, IncomingOrderDuplicatesAndGaps) {
    Dialog d(5, 0, RetryPolicy{});
    EXPECT_EQ(d.receive(header(frametype::Iax, cmd::New, 0, 0)), Verdict::Accept);
    EXPECT_EQ(d.iseq(), 1);
    EXPECT_TRUE(d.ackOwed(header(frametype::Iax, cmd::New, 0, 0)));
    EXPECT_EQ(d.receive(header(frametype::Iax, cmd::New, 0, 0)), Verdict::Duplicate);
    EXPECT_EQ(d.receive(header(frametype::Control, ctl::Answer, 3, 0)), Verdict::Ahead);
    EXPECT_TRUE(d.vnakDue());
    EXPECT_EQ(d.receive(header(frametype::Control, ctl::Answer, 4, 0)), Verdict::Ahead);
    EXPECT_FALSE(d.vnakDue());  // once per missing number
    EXPECT_EQ(d.iseq(), 1);
    // A frame sent now carries the new ISeqno: no explicit ACK owed.
    uint8_t out[64];
    ASSERT_GT(d.build(OutFrame::of(frametype::Iax, cmd::Accept), 5, out, sizeof out), 0u);
    EXPECT_FALSE(d.ackOwed(header(frametype::Iax, cmd::New, 0, 0)));
    DecodedFrame f;
    ASSERT_EQ(decodeFrame(out, 12, f), DecodeStatus::Ok);
    EXPECT_EQ(f.full.iseq, 1);
    EXPECT_EQ(f.full.oseq, 0);
}

TEST(WireReliability, AckEchoesTimestampAndDoesNotCount) {
    Dialog d(5, 0, RetryPolicy{});
    d.setRemoteCall(700);
    const FullHeader in = header(frametype::Iax, cmd::Hangup, 0, 0, 1234);
    ASSERT_EQ(d.receive(in), Verdict::Accept);
    uint8_t out[64];
    const size_t n = d.buildAck(in, out, sizeof out);
    // ACK from 5 to 700, timestamp 1234, OSeqno 0, ISeqno 1.
    const uint8_t expected[] = {0x80, 0x05, 0x02, 0xBC, 0x00, 0x00, 0x04, 0xD2, 0x00, 0x01, 0x06, 0x04};
    ASSERT_EQ(n, sizeof expected);
    EXPECT_EQ(0, memcmp(out, expected, n));
    EXPECT_EQ(d.oseq(), 0);
    EXPECT_TRUE(d.allAcknowledged());
}

TEST(WireReliability, TimestampsOfCommandsGrowAndRepliesEcho) {
    Dialog d(5, 1000, RetryPolicy{});
    uint8_t out[64];
    DecodedFrame f;
    d.build(OutFrame::of(frametype::Iax, cmd::New), 1000, out, sizeof out);
    ASSERT_EQ(decodeFrame(out, 12, f), DecodeStatus::Ok);
    EXPECT_EQ(f.full.timestamp, 3u);  // never 0
    d.build(OutFrame::of(frametype::Iax, cmd::Ping), 1000, out, sizeof out);
    ASSERT_EQ(decodeFrame(out, 12, f), DecodeStatus::Ok);
    EXPECT_EQ(f.full.timestamp, 6u);
    OutFrame pong = OutFrame::of(frametype::Iax, cmd::Pong);
    pong.timestamp = 2;
    d.build(pong, 1500, out, sizeof out);
    ASSERT_EQ(decodeFrame(out, 12, f), DecodeStatus::Ok);
    EXPECT_EQ(f.full.timestamp, 2u);
    d.build(OutFrame::of(frametype::Iax, cmd::Ping), 1500, out, sizeof out);
    ASSERT_EQ(decodeFrame(out, 12, f), DecodeStatus::Ok);
    EXPECT_EQ(f.full.timestamp, 500u);
}

TEST(WireReliability, VnakResendsFromTheAskedNumber) {
    Dialog d(5, 0, RetryPolicy{});
    uint8_t out[64];
    for (int i = 0; i < 4; ++i) d.build(OutFrame::of(frametype::Iax, cmd::Ping), i, out, 64);
    Sent sent;
    d.resendFrom(2, sent.fn());
    ASSERT_EQ(sent.frames.size(), 2u);
    EXPECT_EQ(sent.frames[0][8], 2);
    EXPECT_EQ(sent.frames[1][8], 3);
    d.restartSequence();
    EXPECT_TRUE(d.allAcknowledged());
    EXPECT_EQ(d.oseq(), 0);
}

TEST(WireReliability, QueueIsBounded) {
    RetransmitQueue q;
    uint8_t frame[12] = {0x80, 1, 0, 0, 0, 0, 0, 1, 0, 0, 6, 2};
    for (size_t i = 0; i < RetransmitQueue::kCapacity; ++i) EXPECT_TRUE(q.add(frame, 12, 0, 100));
    EXPECT_FALSE(q.add(frame, 12, 0, 100));
    const uint8_t mini[] = {0x00, 0x05, 0x00, 0x01};
    RetransmitQueue q2;
    EXPECT_FALSE(q2.add(mini, sizeof mini, 0, 100));
}
