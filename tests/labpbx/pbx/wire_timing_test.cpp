// Timing on the wire as the reference server's, on a shortened clock where a
// test would otherwise wait: one full voice frame per direction and minis
// across the 16-bit timestamp wrap, retransmission and giving up, VNAK,
// LAGRQ and PING during calls, POKE to registered phones.
#include <chrono>
#include <thread>

#include "pbx_fixture.h"

namespace labpbx::test {
namespace {

using namespace iax2;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

// Everything a phone receives within ms, with arrival times.
struct Arrival {
    Rx rx;
    steady_clock::time_point at;
};
std::vector<Arrival> collect(TestPhone& phone, int ms) {
    std::vector<Arrival> out;
    auto end = steady_clock::now() + milliseconds(ms);
    while (steady_clock::now() < end) {
        auto rx = phone.next(10);
        if (rx) out.push_back({*rx, steady_clock::now()});
    }
    return out;
}

long msBetween(steady_clock::time_point a, steady_clock::time_point b) {
    return static_cast<long>(std::chrono::duration_cast<milliseconds>(b - a).count());
}

class Timing : public PbxTest {
protected:
    void SetUp() override {}  // each test starts the PBX with its own timing
    // A frame without payload with the next sequence numbers of the dialog,
    // but not kept for retransmission (the phone plays dead otherwise).
    void sendBare(TestPhone& phone, uint16_t call, uint32_t command, uint8_t iseq) {
        FullHeader h;
        h.sourceCall = call;
        h.destinationCall = phone.dialog(call).remoteCall();
        h.timestamp = 7000;
        h.oseq = phone.dialog(call).oseq();
        h.iseq = iseq;
        h.type = frametype::Iax;
        h.subclass = command;
        phone.sendHeader(h);
    }
};

TEST(VoiceFrames, FullOnlyAtTheStartOnAFormatChangeOrBeyondOneWrap) {
    EXPECT_TRUE(fullVoiceFrameDue(false, 0, 0, codec::Gsm, 20));
    EXPECT_FALSE(fullVoiceFrameDue(true, codec::Gsm, 20, codec::Gsm, 40));
    EXPECT_FALSE(fullVoiceFrameDue(true, codec::Gsm, 65520, codec::Gsm, 65540));
    EXPECT_FALSE(fullVoiceFrameDue(true, codec::Gsm, 0x1FFF0, codec::Gsm, 0x20004));
    EXPECT_TRUE(fullVoiceFrameDue(true, codec::Gsm, 20, codec::Ulaw, 40));
    EXPECT_TRUE(fullVoiceFrameDue(true, codec::Gsm, 100, codec::Gsm, 0x20000 + 100));
}

TEST(Retransmission, DefaultsSendFourTimesAt0And2And12And22SecondsAndGiveUpAt32) {
    WireTiming t;
    EXPECT_EQ(t.pingIntervalMs, 21000);
    EXPECT_EQ(t.lagIntervalMs, 10000);
    EXPECT_EQ(t.pokeIntervalMs, 60000);
    Dialog d(5, 0, t.retry);
    uint8_t buf[64];
    ASSERT_GT(d.build(OutFrame::of(frametype::Control, ctl::Answer), 0, buf, sizeof buf), 0u);
    std::vector<uint64_t> resent;
    uint64_t gaveUpAt = 0;
    for (uint64_t now = 0; now <= 40000 && !gaveUpAt; now += 100)
        d.service(
            now, [&](const uint8_t*, size_t) { resent.push_back(now); },
            [&](const RetransmitQueue::Entry&) { gaveUpAt = now; });
    EXPECT_EQ(resent, (std::vector<uint64_t>{2000, 12000, 22000}));
    EXPECT_EQ(gaveUpAt, 32000u);
}

TEST_F(Timing, EachSideGetsOneFullVoiceFrameThenMinisAcrossTheTimestampWrap) {
    WireTiming timing;
    timing.clockStartMs = 0x10000 - 300;  // the wrap comes 300 ms into each call
    startPbx(testConfig(), timing);
    auto alice = registered("2001", "secret1");
    auto bob = registered("2002", "secret2");
    uint16_t a = 0, b = 0;
    ASSERT_TRUE(connectCall(*alice, "2001", "secret1", *bob, "2002", a, b));
    const std::vector<uint8_t> sound(160, 0x42);
    alice->sendVoice(a, codec::Ulaw, sound, 20);
    bob->sendVoice(b, codec::Ulaw, sound, 20);
    for (uint16_t ts = 40; ts <= 1000; ts += 20) {
        std::this_thread::sleep_for(milliseconds(20));
        alice->sendMini(a, ts, sound);
        bob->sendMini(b, ts, sound);
    }
    for (TestPhone* phone : {alice.get(), bob.get()}) {
        int full = 0, minis = 0;
        bool beforeWrap = false, afterWrap = false;
        for (const Arrival& x : collect(*phone, 300)) {
            if (!x.rx.mini) {
                if (x.rx.h.type == frametype::Voice) ++full;
                continue;
            }
            ++minis;
            if (x.rx.miniTs >= 0x10000 - 1000) beforeWrap = true;
            if (x.rx.miniTs < 1000) afterWrap = true;
        }
        EXPECT_EQ(full, 1);
        EXPECT_GE(minis, 40);
        EXPECT_TRUE(beforeWrap && afterWrap) << "the minis did not cross the wrap";
    }
}

TEST_F(Timing, AnUnacknowledgedFrameIsSentFourTimesThenTheCallDropsWithoutAWord) {
    WireTiming timing;
    timing.retry = RetryPolicy{20, 10, 200, 10, 3};  // 2 s and 10 s scaled down 50 times
    startPbx(testConfig(), timing);
    TestPhone phone(pbx->iaxPort());
    uint16_t call = echoCall(phone);
    phone.autoAck = false;
    phone.history.clear();
    phone.send(call, frametype::Iax, cmd::Ping, nullptr, 5000);
    std::vector<Arrival> pongs;
    for (const Arrival& x : collect(phone, 900))
        if (x.rx.isIax(cmd::Pong)) pongs.push_back(x);
    ASSERT_EQ(pongs.size(), 4u);
    EXPECT_FALSE(pongs[0].rx.h.retransmitted);
    for (size_t i = 1; i < pongs.size(); ++i) EXPECT_TRUE(pongs[i].rx.h.retransmitted);
    const long gaps[] = {msBetween(pongs[0].at, pongs[1].at), msBetween(pongs[1].at, pongs[2].at),
                         msBetween(pongs[2].at, pongs[3].at)};
    EXPECT_NEAR(gaps[0], 40, 30);
    EXPECT_NEAR(gaps[1], 200, 60);
    EXPECT_NEAR(gaps[2], 200, 60);
    // The call is gone, and no HANGUP told the phone so.
    ASSERT_TRUE(eventually([&] { return idle(); }));
    for (const Rx& rx : phone.history) EXPECT_FALSE(rx.isIax(cmd::Hangup));
    // What the phone still sends for that call goes unanswered: no INVAL.
    phone.send(call, frametype::Iax, cmd::Ping);
    phone.hangup(call);
    phone.sendMini(call, 100, {1, 2, 3});
    EXPECT_FALSE(phone.next(300));
}

TEST_F(Timing, AVnakGetsEveryUnacknowledgedFrameAtOnceAsFirstSent) {
    startPbx(testConfig());  // the first resend is 2 s away
    TestPhone phone(pbx->iaxPort());
    uint16_t call = echoCall(phone);
    phone.autoAck = false;
    phone.send(call, frametype::Iax, cmd::Ping, nullptr, 5000);
    phone.send(call, frametype::Iax, cmd::LagRq, nullptr, 5001);
    auto pong = phone.waitIax(call, cmd::Pong);
    auto lagrp = phone.waitIax(call, cmd::LagRp);
    ASSERT_TRUE(pong && lagrp);
    sendBare(phone, call, cmd::Vnak, pong->h.oseq);
    auto again = collect(phone, 150);
    std::vector<Rx> resent;
    for (const Arrival& x : again)
        if (!x.rx.mini && x.rx.h.destinationCall == call && x.rx.h.type == frametype::Iax) resent.push_back(x.rx);
    ASSERT_EQ(resent.size(), 2u);
    EXPECT_TRUE(resent[0].isIax(cmd::Pong));
    EXPECT_EQ(resent[0].h.oseq, pong->h.oseq);
    EXPECT_TRUE(resent[1].isIax(cmd::LagRp));
    EXPECT_EQ(resent[1].h.oseq, lagrp->h.oseq);
    for (const Rx& rx : resent) EXPECT_FALSE(rx.h.retransmitted);
}

TEST_F(Timing, LagRequestsEvery10AndPingsEvery21SecondsScaledDown) {
    WireTiming timing;
    timing.lagIntervalMs = 100;
    timing.pingIntervalMs = 210;
    startPbx(testConfig(), timing);
    TestPhone phone(pbx->iaxPort());
    uint16_t call = echoCall(phone);
    int lagrq = 0, ping = 0;
    for (const Arrival& x : collect(phone, 700)) {
        if (x.rx.isIax(cmd::LagRq)) ++lagrq;
        if (x.rx.isIax(cmd::Ping)) ++ping;
    }
    // The cycle runs from the call's start, set-up included.
    EXPECT_GE(lagrq, 5);
    EXPECT_LE(lagrq, 8);
    EXPECT_GE(ping, 2);
    EXPECT_LE(ping, 4);
    // The phone's LAGRP and PONG replies were acknowledged.
    collect(phone, 50);
    EXPECT_TRUE(phone.dialog(call).allAcknowledged());
}

TEST_F(Timing, ARegisteredPhoneIsPokedBeforeItsRegAckAndThenAtEveryInterval) {
    WireTiming timing;
    timing.pokeIntervalMs = 200;
    startPbx(testConfig(), timing);
    TestPhone phone(pbx->iaxPort());
    RegResult r = phone.registerExt("2001", "secret1");
    ASSERT_EQ(r.outcome, RegOutcome::Ack);
    // The POKE came first: a dialog of its own, with an empty CALLTOKEN.
    size_t pokeAt = phone.history.size(), ackAt = phone.history.size();
    for (size_t i = 0; i < phone.history.size(); ++i) {
        if (phone.history[i].isIax(cmd::Poke) && pokeAt == phone.history.size()) pokeAt = i;
        if (phone.history[i].isIax(cmd::RegAck)) ackAt = i;
    }
    ASSERT_LT(pokeAt, ackAt);
    const Rx first = phone.history[pokeAt];
    EXPECT_EQ(first.h.destinationCall, 0);
    EXPECT_NE(first.h.sourceCall, r.reply.h.sourceCall);
    ASSERT_TRUE(first.has(ie::CallToken));
    EXPECT_TRUE(first.str(ie::CallToken).empty());
    // The phone's PONG is acknowledged and ends the POKE's dialog.
    EXPECT_TRUE(eventually([&] { return pbx->counts().sessions == 0; }));
    std::optional<Rx> next;
    for (int i = 0; i < 3 && (!next || next->h.sourceCall == first.h.sourceCall); ++i)
        next = phone.waitIax(0, cmd::Poke, 1000);
    ASSERT_TRUE(next);
    EXPECT_NE(next->h.sourceCall, first.h.sourceCall);
    // A released registration is not poked any more.
    ASSERT_EQ(phone.registerExt("2001", "secret1", 0, true, true).outcome, RegOutcome::Ack);
    phone.history.clear();
    collect(phone, 500);
    for (const Rx& rx : phone.history) EXPECT_FALSE(rx.isIax(cmd::Poke));
}

}  // namespace
}  // namespace labpbx::test
