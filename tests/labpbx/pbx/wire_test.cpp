// The PBX's behaviour on the wire, as the reference server's: INVAL for
// unknown dialogs, POKE, PING (with the receiver report) and LAGRQ answers,
// duplicates acknowledged again, gaps answered with VNAK, retransmission
// and give-up.
#include "pbx_fixture.h"

namespace labpbx::test {
namespace {

using namespace iax2;

using Wire = PbxTest;

TEST_F(Wire, FramesForUnknownDialogsGetInval) {
    TestPhone phone(pbx->iaxPort());
    FullHeader h;
    h.sourceCall = 77;
    h.destinationCall = 4242;
    h.timestamp = 10;
    h.type = frametype::Iax;
    h.subclass = cmd::Hangup;
    phone.sendHeader(h);
    auto rx = phone.next(1000);
    ASSERT_TRUE(rx);
    EXPECT_TRUE(rx->isIax(cmd::Inval));
    EXPECT_EQ(rx->h.destinationCall, 77);
    EXPECT_EQ(rx->h.sourceCall, 4242);
    // An INVAL itself is never answered.
    h.subclass = cmd::Inval;
    phone.sendHeader(h);
    EXPECT_FALSE(phone.next(200));
    // Nor are mini frames of unknown calls.
    phone.sendMini(77, 1, {1, 2, 3});
    EXPECT_FALSE(phone.next(200));
}

TEST_F(Wire, PokeIsAnsweredWithPongWithoutState) {
    TestPhone phone(pbx->iaxPort());
    uint16_t call = phone.open();
    phone.send(call, frametype::Iax, cmd::Poke, nullptr, 1234);
    auto pong = phone.waitIax(call, cmd::Pong);
    ASSERT_TRUE(pong);
    EXPECT_EQ(pong->h.sourceCall, kApatheticCallNumber);
    EXPECT_EQ(pong->h.timestamp, 1234u);
    EXPECT_EQ(pbx->counts().sessions, 0u);
}

TEST_F(Wire, PingAndLagRequestAreAnsweredWithTheirTimestamp) {
    TestPhone phone(pbx->iaxPort());
    uint16_t call = echoCall(phone);
    phone.send(call, frametype::Iax, cmd::Ping, nullptr, 5555);
    auto pong = phone.waitIax(call, cmd::Pong);
    ASSERT_TRUE(pong);
    EXPECT_EQ(pong->h.timestamp, 5555u);
    // The six receiver report elements, as the reference server fills them
    // with its jitter buffer off.
    struct Element {
        uint8_t id;
        size_t size;
        uint32_t value;
    } expected[] = {{ie::RrJitter, 4, 0}, {ie::RrLoss, 4, 0},    {ie::RrPkts, 4, 1},
                    {ie::RrDelay, 2, 40}, {ie::RrDropped, 4, 0}, {ie::RrOoo, 4, 0}};
    EXPECT_EQ(pong->ies.size(), 6u);
    for (const Element& e : expected) {
        ASSERT_TRUE(pong->has(e.id)) << int(e.id);
        EXPECT_EQ(pong->str(e.id).size(), e.size) << int(e.id);
        EXPECT_EQ(pong->num(e.id), e.value) << int(e.id);
    }
    phone.send(call, frametype::Iax, cmd::LagRq, nullptr, 6666);
    auto lag = phone.waitIax(call, cmd::LagRp);
    ASSERT_TRUE(lag);
    EXPECT_EQ(lag->h.timestamp, 6666u);
}

TEST_F(Wire, DuplicatesAreAcknowledgedAgainAndGapsGetVnak) {
    TestPhone phone(pbx->iaxPort());
    uint16_t call = echoCall(phone);
    Dialog& d = phone.dialog(call);
    // A frame from the past (sequence number already used).
    FullHeader h;
    h.sourceCall = call;
    h.destinationCall = d.remoteCall();
    h.timestamp = 99;
    h.oseq = static_cast<uint8_t>(d.oseq() - 1);
    h.iseq = d.iseq();
    h.type = frametype::Control;
    h.subclass = ctl::Ringing;
    phone.sendHeader(h);
    auto ack = phone.waitIax(call, cmd::Ack);
    ASSERT_TRUE(ack);
    EXPECT_EQ(ack->h.timestamp, 99u);
    // A frame from the future: VNAK asks for what is missing.
    h.oseq = static_cast<uint8_t>(d.oseq() + 3);
    phone.sendHeader(h);
    auto vnak = phone.waitIax(call, cmd::Vnak);
    ASSERT_TRUE(vnak);
    EXPECT_EQ(vnak->h.iseq, d.oseq());
}

TEST_F(Wire, VnakMakesThePbxResendWhatIsUnacknowledged) {
    TestPhone phone(pbx->iaxPort());
    phone.autoAck = false;
    ASSERT_EQ(phone.registerExt("2001", "secret1").outcome, RegOutcome::Ack);
    uint16_t call = phone.open();
    Ies first;
    first.str(ie::Username, "2001").u16(ie::Refresh, 60).empty(ie::CallToken);
    phone.sendIax(call, cmd::RegReq, first);
    auto tok = phone.waitIax(call, cmd::CallToken);
    ASSERT_TRUE(tok);
    phone.dialog(call).restartSequence();
    Ies again;
    again.str(ie::Username, "2001").u16(ie::Refresh, 60).str(ie::CallToken, tok->str(ie::CallToken));
    phone.sendIax(call, cmd::RegReq, again);
    auto auth = phone.waitIax(call, cmd::RegAuth);
    ASSERT_TRUE(auth);
    FullHeader h;
    h.sourceCall = call;
    h.destinationCall = auth->h.sourceCall;
    h.timestamp = 50;
    h.oseq = 1;
    h.iseq = 0;  // nothing of theirs received
    h.type = frametype::Iax;
    h.subclass = cmd::Vnak;
    phone.sendHeader(h);
    auto resent = phone.waitIax(call, cmd::RegAuth, 500);
    ASSERT_TRUE(resent);
    // A copy as first sent: same number, no retransmission mark.
    EXPECT_FALSE(resent->h.retransmitted);
    EXPECT_EQ(resent->h.oseq, auth->h.oseq);
    EXPECT_EQ(resent->str(ie::Challenge), auth->str(ie::Challenge));
}

TEST_F(Wire, VoiceBeforeAnyFullVoiceFrameGetsVnak) {
    TestPhone phone(pbx->iaxPort());
    uint16_t call = echoCall(phone);
    phone.sendMini(call, 100, {1, 2, 3});
    EXPECT_TRUE(phone.waitIax(call, cmd::Vnak, 1000));
}

TEST_F(Wire, UnknownCommandsAreAnsweredWithUnsupport) {
    TestPhone phone(pbx->iaxPort());
    uint16_t call = echoCall(phone);
    Ies none;
    phone.sendIax(call, cmd::Provision, none);
    auto un = phone.waitIax(call, cmd::Unsupport);
    ASSERT_TRUE(un);
    EXPECT_EQ(un->num(ie::IaxUnknown), cmd::Provision);
}

TEST_F(Wire, APeerThatVanishesIsHungUpAfterTheRetries) {
    pbx->stop();
    startPbx(testConfig(), fastTiming());
    auto alice = registered("2001", "secret1");
    auto bob = registered("2002", "secret2");
    uint16_t a = 0, b = 0;
    ASSERT_TRUE(connectCall(*alice, "2001", "secret1", *bob, "2002", a, b));
    // Bob goes silent; a frame to him is never acknowledged.
    bob.reset();
    alice->send(a, frametype::Dtmf, '5');
    auto h = alice->waitIax(a, cmd::Hangup, 2000);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->num(ie::CauseCode), cause::DestinationOutOfOrder);
    EXPECT_TRUE(eventually([&] { return idle(); }));
}

TEST_F(Wire, InvalFromAPhoneEndsItsCall) {
    auto alice = registered("2001", "secret1");
    auto bob = registered("2002", "secret2");
    uint16_t a = alice->dial("2001", "secret1", "2002");
    ASSERT_NE(a, 0);
    uint16_t b = 0;
    ASSERT_TRUE(bob->waitIncoming(b));
    bob->acceptIncoming(b, codec::Ulaw);
    bob->send(b, frametype::Iax, cmd::Inval);
    ASSERT_TRUE(alice->waitIax(a, cmd::Hangup));
    EXPECT_TRUE(eventually([&] { return idle(); }));
}

}  // namespace
}  // namespace labpbx::test
