// The frames of calls as the reference server sends them: ANSWER and "stop
// indications" after ACCEPT, refusals with their causes, hang-ups with a
// cause code only, the codec of the PBX's own list, hold, blind transfer
// and DTMF.
#include "pbx_fixture.h"

namespace labpbx::test {
namespace {

using namespace iax2;

class Signalling : public PbxTest {
protected:
    // Alice (2001) calls Bob (2002), who answers.
    void connect() {
        alice = registered("2001", "secret1");
        bob = registered("2002", "secret2");
        ASSERT_TRUE(connectCall(*alice, "2001", "secret1", *bob, "2002", a, b));
    }
    // A phone registered as 2001 in a call to 603, ringing at the PBX.
    uint16_t ringingCall(TestPhone& phone) {
        uint16_t call = phone.dial("2001", "secret1", "603");
        EXPECT_NE(call, 0);
        EXPECT_TRUE(phone.waitFor(call, frametype::Control, ctl::Ringing));
        return call;
    }
    // Voice frames (full or mini) a phone receives within ms.
    static int voiceWithin(TestPhone& phone, int ms) {
        int frames = 0;
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            auto rx = phone.next(20);
            if (rx && (rx->mini || rx->h.type == frametype::Voice)) ++frames;
        }
        return frames;
    }
    std::unique_ptr<TestPhone> alice, bob;
    uint16_t a = 0, b = 0;
};

// ANSWER, then CONTROL -1, each a full frame of its own, in sequence.
void expectAnswerThenStopIndications(TestPhone& phone, uint16_t call) {
    auto answer = phone.waitFor(call, frametype::Control, ctl::Answer);
    ASSERT_TRUE(answer);
    auto stop = phone.waitFor(call, frametype::Control, kStopIndications);
    ASSERT_TRUE(stop);
    EXPECT_TRUE(stop->payload.empty());
    EXPECT_EQ(stop->h.oseq, static_cast<uint8_t>(answer->h.oseq + 1));
    EXPECT_FALSE(stop->h.retransmitted);
}

TEST_F(Signalling, AServiceAnswersWithAnswerThenStopIndicationsRightAfterAccept) {
    auto phone = registered("2001", "secret1");
    uint16_t call = phone->dial("2001", "secret1", "600", codec::Gsm);
    ASSERT_NE(call, 0);
    // AUTHREQ (0) and ACCEPT (1) came first.
    auto answer = phone->waitFor(call, frametype::Control, ctl::Answer);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->h.oseq, 2);
    auto stop = phone->waitFor(call, frametype::Control, kStopIndications);
    ASSERT_TRUE(stop);
    EXPECT_EQ(stop->h.oseq, 3);
    // The phone acknowledged both: nothing of the PBX is left to resend.
    EXPECT_TRUE(eventually([&] { return pbx->counts().unacked == 0; }));
    phone->hangup(call);
    EXPECT_TRUE(eventually([&] { return idle(); }));
}

TEST_F(Signalling, TheCallerGetsAnswerThenStopIndicationsWhenTheCalledPhoneAnswers) {
    alice = registered("2001", "secret1");
    bob = registered("2002", "secret2");
    ASSERT_TRUE(connectCall(*alice, "2001", "secret1", *bob, "2002", a, b, false));
    bob->send(b, frametype::Control, ctl::Answer);
    expectAnswerThenStopIndications(*alice, a);
    // The answering phone gets neither back.
    EXPECT_FALSE(bob->waitFor(b, frametype::Control, ctl::Answer, 300));
    EXPECT_FALSE(bob->waitFor(b, frametype::Control, kStopIndications, 1));
    alice->hangup(a);
    ASSERT_TRUE(bob->waitIax(b, cmd::Hangup));
    EXPECT_TRUE(eventually([&] { return idle(); }));
}

TEST_F(Signalling, ARingingNumberAnsweredAtThePbxSendsAnswerThenStopIndications) {
    auto phone = registered("2001", "secret1");
    uint16_t call = ringingCall(*phone);
    EXPECT_EQ(pbx->command("answer " + std::to_string(pbx->calls()[0].id)), "OK\n");
    expectAnswerThenStopIndications(*phone, call);
    phone->hangup(call);
    EXPECT_TRUE(eventually([&] { return idle(); }));
}

TEST_F(Signalling, RefusalsCarryTheReferenceCauses) {
    auto phone = registered("2001", "secret1");
    // A wrong password: the AUTHREP is acknowledged, then the REJECT follows.
    uint16_t call = phone->dial("2001", "bad", "600");
    EXPECT_EQ(call, 0);
    EXPECT_EQ(phone->lastReject.str(ie::Cause), "No authority found");
    EXPECT_EQ(phone->lastReject.num(ie::CauseCode), cause::FacilityNotSubscribed);
    uint16_t refused = phone->lastReject.h.destinationCall;
    auto frames = phone->historyOf(refused, frametype::Iax);
    ASSERT_GE(frames.size(), 3u);
    EXPECT_TRUE(frames[frames.size() - 2].isIax(cmd::Ack));
    EXPECT_TRUE(frames.back().isIax(cmd::Reject));
    EXPECT_EQ(frames[frames.size() - 2].h.iseq, frames.back().h.iseq);
    EXPECT_TRUE(eventually([&] { return idle(); }));
}

TEST_F(Signalling, AnUnknownNumberIsRejectedWithNoSuchExtensionWhenExternalCallsAreOff) {
    pbx->stop();
    startPbx(testConfig("[general]\nexternalcalls = reject\n"));
    auto phone = registered("2001", "secret1");
    EXPECT_EQ(phone->dial("2001", "secret1", "9999"), 0);
    EXPECT_EQ(phone->lastReject.str(ie::Cause), "No such context/extension");
    EXPECT_EQ(phone->lastReject.num(ie::CauseCode), cause::NoRouteDestination);
    // Straight after the AUTHREP, with no ACK of its own before it.
    auto frames = phone->historyOf(phone->lastReject.h.destinationCall, frametype::Iax);
    ASSERT_GE(frames.size(), 2u);
    EXPECT_TRUE(frames[frames.size() - 2].isIax(cmd::AuthReq));
}

TEST_F(Signalling, HangUpTowardsAPhoneCarriesACauseCodeOnly) {
    auto phone = registered("2001", "secret1");
    uint16_t call = ringingCall(*phone);
    EXPECT_EQ(pbx->command("hangup " + std::to_string(pbx->calls()[0].id)), "OK\n");
    auto h = phone->waitIax(call, cmd::Hangup);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->num(ie::CauseCode), cause::NormalClearing);
    EXPECT_FALSE(h->has(ie::Cause));
    EXPECT_EQ(h->ies.size(), 1u);
    EXPECT_TRUE(eventually([&] { return idle(); }));
}

TEST_F(Signalling, TheFirstCodecOfThePbxListThatThePhoneCanDoIsChosen) {
    auto phone = registered("2001", "secret1");
    const uint32_t all = codec::Ulaw | codec::Gsm | codec::Alaw;
    struct Case {
        uint32_t format, caps, chosen;
    } cases[] = {
        {codec::Ulaw, all, codec::Gsm},                         // the phone prefers u-law
        {codec::Alaw, codec::Ulaw | codec::Alaw, codec::Ulaw},  // no GSM: u-law comes next
        {codec::Alaw, codec::Alaw, codec::Alaw},
    };
    for (const Case& k : cases) {
        uint16_t call = phone->dial("2001", "secret1", "600", k.format, k.caps);
        ASSERT_NE(call, 0);
        EXPECT_EQ(phone->lastAccept.num(ie::Format), k.chosen) << "offered " << k.format;
        EXPECT_EQ(pbx->calls()[0].format, codecName(k.chosen));
        phone->hangup(call);
        ASSERT_TRUE(eventually([&] { return idle(); }));
    }
}

TEST_F(Signalling, TheConfiguredListDecidesAndOrdersWhatThePbxOffers) {
    pbx->stop();
    startPbx(testConfig("[general]\nallow = alaw, ulaw\n"));
    auto phone = registered("2002", "secret2");
    uint16_t call = phone->dial("2002", "secret2", "600", codec::Gsm, codec::Gsm | codec::Ulaw | codec::Alaw);
    ASSERT_NE(call, 0);
    EXPECT_EQ(phone->lastAccept.num(ie::Format), codec::Alaw);
    phone->hangup(call);
    EXPECT_EQ(phone->dial("2002", "secret2", "600", codec::Gsm), 0);
    EXPECT_EQ(phone->lastReject.str(ie::Cause), "Unable to negotiate codec");
    // A call the PBX places offers its list, in its order.
    ASSERT_EQ(pbx->command("call 2002 5551234 Test").substr(0, 3), "OK ");
    uint16_t in = 0;
    auto incoming = phone->waitIncoming(in);
    ASSERT_TRUE(incoming);
    EXPECT_EQ(incoming->num(ie::Format), codec::Alaw);
    EXPECT_EQ(incoming->num(ie::Capability), codec::Alaw | codec::Ulaw);
    EXPECT_EQ(incoming->str(ie::CodecPrefs), "ED");
}

TEST_F(Signalling, HoldWithoutMusicSilencesBothWaysAndIsOnlyAcknowledged) {
    connect();
    const std::vector<uint8_t> sound(160, 0x55);
    alice->sendVoice(a, codec::Ulaw, sound, 20);
    bob->sendVoice(b, codec::Ulaw, sound, 20);
    ASSERT_TRUE(bob->waitFor(b, frametype::Voice, codec::Ulaw));
    ASSERT_TRUE(alice->waitFor(a, frametype::Voice, codec::Ulaw));
    alice->history.clear();
    Ies none;
    alice->sendIax(a, cmd::Quelch, none);
    ASSERT_TRUE(eventually([&] { return pbx->calls()[0].fromHeld; }));
    // Both keep talking; neither hears anything, and Bob gets no music.
    for (uint16_t ts = 40; ts < 400; ts += 20) {
        alice->sendMini(a, ts, sound);
        bob->sendMini(b, ts, sound);
    }
    EXPECT_EQ(voiceWithin(*bob, 400), 0);
    EXPECT_EQ(voiceWithin(*alice, 100), 0);
    alice->sendIax(a, cmd::Unquelch, none);
    ASSERT_TRUE(eventually([&] { return !pbx->calls()[0].fromHeld; }));
    // Resumed: each hears the other again.
    alice->sendMini(a, 420, sound);
    bob->sendMini(b, 420, sound);
    EXPECT_GT(voiceWithin(*bob, 300), 0);
    EXPECT_GT(voiceWithin(*alice, 300), 0);
    // QUELCH and UNQUELCH got ACKs and nothing else; Bob was told nothing.
    auto commands = alice->historyOf(a, frametype::Iax);
    EXPECT_EQ(commands.size(), 2u);
    for (const Rx& rx : commands) EXPECT_TRUE(rx.isIax(cmd::Ack)) << rx.h.subclass;
    EXPECT_TRUE(alice->historyOf(a, frametype::Control).empty());
    EXPECT_TRUE(bob->historyOf(b, frametype::Control).empty());
}

TEST_F(Signalling, BlindTransferIsAcknowledgedThenTheTransferringPhoneIsHungUp) {
    connect();
    auto carol = registered("2003", "secret3");
    alice->history.clear();
    bob->history.clear();
    Ies t;
    t.str(ie::CalledNumber, "2003");
    alice->sendIax(a, cmd::Transfer, t);
    auto hangup = alice->waitIax(a, cmd::Hangup);
    ASSERT_TRUE(hangup);
    EXPECT_EQ(hangup->num(ie::CauseCode), cause::NormalClearing);
    EXPECT_FALSE(hangup->has(ie::Cause));
    auto frames = alice->historyOf(a, frametype::Iax);
    ASSERT_GE(frames.size(), 2u);
    EXPECT_TRUE(frames[frames.size() - 2].isIax(cmd::Ack));
    EXPECT_EQ(frames[frames.size() - 2].h.iseq, hangup->h.iseq);
    uint16_t c = 0;
    auto moved = carol->waitIncoming(c);
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->str(ie::CallingNumber), "2002");
    // The far party is moved without being told of a transfer.
    for (const Rx& rx : bob->historyOf(b, frametype::Control))
        EXPECT_NE(rx.h.subclass, static_cast<uint32_t>(ctl::Transfer));
    carol->hangup(c);
    ASSERT_TRUE(bob->waitIax(b, cmd::Hangup));
    EXPECT_TRUE(eventually([&] { return idle(); }));
}

TEST_F(Signalling, DtmfEndAloneIsADigitAndBeginThenEndIsOne) {
    connect();
    alice->send(a, frametype::Dtmf, '5');
    alice->send(a, frametype::DtmfBegin, '6');
    alice->send(a, frametype::Dtmf, '6');
    ASSERT_TRUE(bob->waitFor(b, frametype::Dtmf, '5'));
    ASSERT_TRUE(bob->waitFor(b, frametype::Dtmf, '6'));
    auto digits = pbx->dtmf();
    ASSERT_EQ(digits.size(), 2u);
    EXPECT_EQ(digits[0].digit, '5');
    EXPECT_EQ(digits[1].digit, '6');
}

}  // namespace
}  // namespace labpbx::test
