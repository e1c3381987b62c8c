#include "pbx_fixture.h"

namespace labpbx::test {
namespace {

using namespace iax2;

std::vector<uint8_t> payload(uint8_t seed, size_t n = 160) {
    std::vector<uint8_t> p(n);
    for (size_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(seed + i);
    return p;
}

class Calls : public PbxTest {
protected:
    // Alice (2001) calls Bob (2002); Bob accepts, rings and answers.
    void connect() {
        alice = registered("2001", "secret1");
        bob = registered("2002", "secret2");
        auto incoming = connectCall(*alice, "2001", "secret1", *bob, "2002", a, b, false);
        ASSERT_TRUE(incoming);
        EXPECT_EQ(incoming->str(ie::CalledNumber), "2002");
        EXPECT_EQ(incoming->str(ie::CallingNumber), "2001");
        EXPECT_EQ(incoming->str(ie::CallingName), "Phone 2001");
        EXPECT_EQ(incoming->num(ie::Format), codec::Ulaw);
        EXPECT_TRUE(incoming->has(ie::CallToken));  // offered, as the reference does
        ASSERT_TRUE(eventually([&] {
            auto c = pbx->calls();
            return c.size() == 1 && c[0].state == "ringing";
        }));
        bob->send(b, frametype::Control, ctl::Answer);
        ASSERT_TRUE(alice->waitFor(a, frametype::Control, ctl::Answer));
    }
    std::unique_ptr<TestPhone> alice, bob;
    uint16_t a = 0, b = 0;
};

TEST_F(Calls, ExtensionToExtensionRelaysVoiceBothWays) {
    connect();
    auto calls = pbx->calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].state, "up");
    EXPECT_EQ(calls[0].from, "2001");
    EXPECT_EQ(calls[0].to, "2002");
    EXPECT_EQ(calls[0].format, "ulaw");

    alice->sendVoice(a, codec::Ulaw, payload(1), 20);
    auto v = bob->waitFor(b, frametype::Voice, codec::Ulaw);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->payload, payload(1));
    // Mini frames after the first full one are relayed too.
    alice->sendMini(a, 40, payload(2));
    bool gotMini = false;
    for (int i = 0; i < 10 && !gotMini; ++i) {
        auto rx = bob->next(500);
        if (rx && rx->mini) {
            EXPECT_EQ(rx->payload, payload(2));
            gotMini = true;
        }
    }
    EXPECT_TRUE(gotMini);
    bob->sendVoice(b, codec::Ulaw, payload(3), 20);
    auto back = alice->waitFor(a, frametype::Voice, codec::Ulaw);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->payload, payload(3));

    // Hang-up from the called side reaches the caller; nothing stays.
    bob->hangup(b);
    auto h = alice->waitIax(a, cmd::Hangup);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->num(ie::CauseCode), cause::NormalClearing);
    EXPECT_TRUE(eventually([&] { return idle(); }));
}

TEST_F(Calls, HangUpFromTheCallerReachesTheCalled) {
    connect();
    alice->hangup(a);
    ASSERT_TRUE(bob->waitIax(b, cmd::Hangup));
    EXPECT_TRUE(eventually([&] { return idle(); }));
}

TEST_F(Calls, DtmfIsRecordedAndRelayed) {
    connect();
    for (char d : std::string("12#")) alice->send(a, frametype::Dtmf, static_cast<uint8_t>(d));
    bob->send(b, frametype::Dtmf, '*');
    std::string relayed;
    for (int i = 0; i < 3; ++i) {
        auto rx = bob->waitFor(b, frametype::Dtmf, static_cast<uint8_t>("12#"[i]));
        if (rx) relayed.push_back(static_cast<char>(rx->h.subclass));
    }
    EXPECT_EQ(relayed, "12#");
    ASSERT_TRUE(alice->waitFor(a, frametype::Dtmf, '*'));
    auto rec = pbx->dtmf();
    ASSERT_EQ(rec.size(), 4u);
    EXPECT_EQ(rec[0].from, "2001");
    EXPECT_EQ(rec[0].digit, '1');
    EXPECT_EQ(rec[2].digit, '#');
    EXPECT_EQ(rec[3].from, "2002");
    EXPECT_EQ(rec[3].digit, '*');
    EXPECT_NE(pbx->command("dtmf"), "");
    EXPECT_EQ(pbx->command("dtmf clear").substr(0, 4), "dtmf");
    EXPECT_TRUE(pbx->dtmf().empty());
}

TEST_F(Calls, QuelchStopsAudioToTheHolderAndPlaysMusicToTheOther) {
    connect();
    Ies moh;
    moh.empty(ie::MusicOnHold);
    alice->sendIax(a, cmd::Quelch, moh);
    ASSERT_TRUE(eventually([&] { return pbx->calls()[0].fromHeld; }));
    // Bob now hears music (generated voice), not silence.
    auto music = bob->waitFor(b, frametype::Voice, codec::Ulaw, 1000);
    ASSERT_TRUE(music);
    // What Bob says does not reach the holding Alice.
    bob->sendVoice(b, codec::Ulaw, payload(9), 2000);
    std::optional<Rx> leaked = alice->waitFor(a, frametype::Voice, codec::Ulaw, 200);
    EXPECT_FALSE(leaked);
    Ies none;
    alice->sendIax(a, cmd::Unquelch, none);
    ASSERT_TRUE(eventually([&] { return !pbx->calls()[0].fromHeld; }));
    bob->sendVoice(b, codec::Ulaw, payload(10), 4000);
    bool heard = false;
    for (int i = 0; i < 20 && !heard; ++i) {
        auto rx = alice->next(200);
        if (rx && !rx->mini && rx->h.type == frametype::Voice) heard = rx->payload == payload(10);
        if (rx && rx->mini) heard = rx->payload == payload(10);
    }
    EXPECT_TRUE(heard);
}

TEST_F(Calls, BlindTransferMovesTheFarPartyToTheTarget) {
    connect();
    auto carol = registered("2003", "secret3");
    Ies t;
    t.str(ie::CalledNumber, "2003");
    alice->sendIax(a, cmd::Transfer, t);
    // Alice leaves the call; Bob is offered to Carol with his caller ID.
    ASSERT_TRUE(alice->waitIax(a, cmd::Hangup));
    uint16_t c = 0;
    auto incoming = carol->waitIncoming(c);
    ASSERT_TRUE(incoming);
    EXPECT_EQ(incoming->str(ie::CallingNumber), "2002");
    EXPECT_EQ(incoming->str(ie::CallingName), "Bob");
    EXPECT_EQ(incoming->num(ie::Format), codec::Ulaw);  // Bob's format, no transcoding
    carol->acceptIncoming(c, codec::Ulaw);
    carol->send(c, frametype::Control, ctl::Answer);
    ASSERT_TRUE(eventually([&] {
        auto calls = pbx->calls();
        return calls.size() == 1 && calls[0].state == "up" && calls[0].to == "2003";
    }));
    bob->sendVoice(b, codec::Ulaw, payload(5), 5000);
    auto v = carol->waitFor(c, frametype::Voice, codec::Ulaw);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->payload, payload(5));
    auto tr = pbx->transfers();
    ASSERT_EQ(tr.size(), 1u);
    EXPECT_EQ(tr[0].by, "2001");
    EXPECT_EQ(tr[0].moved, "2002");
    EXPECT_EQ(tr[0].target, "2003");
    carol->hangup(c);
    ASSERT_TRUE(bob->waitIax(b, cmd::Hangup));
    EXPECT_TRUE(eventually([&] { return idle(); }));
}

TEST_F(Calls, TransferToAnUnregisteredExtensionHangsTheMovedPartyUp) {
    connect();
    Ies t;
    t.str(ie::CalledNumber, "2004");
    alice->sendIax(a, cmd::Transfer, t);
    ASSERT_TRUE(alice->waitIax(a, cmd::Hangup));
    auto h = bob->waitIax(b, cmd::Hangup);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->num(ie::CauseCode), kCauseSubscriberAbsent);
    EXPECT_TRUE(eventually([&] { return idle(); }));
}

TEST_F(Calls, EchoServiceReturnsTheCallersAudio) {
    auto phone = registered("2001", "secret1");
    uint16_t call = phone->dial("2001", "secret1", "600", codec::Gsm);
    ASSERT_NE(call, 0);
    ASSERT_TRUE(phone->waitFor(call, frametype::Control, ctl::Answer));
    std::vector<uint8_t> frame = payload(7, 33);
    phone->sendVoice(call, codec::Gsm, frame, 20);
    auto echoed = phone->waitFor(call, frametype::Voice, codec::Gsm);
    ASSERT_TRUE(echoed);
    EXPECT_EQ(echoed->payload, frame);
    auto calls = pbx->calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].to, "echo:600");
    EXPECT_EQ(calls[0].format, "gsm");
    phone->hangup(call);
    EXPECT_TRUE(eventually([&] { return idle(); }));
}

TEST_F(Calls, ToneServiceSendsSteadyAudio) {
    auto phone = registered("2001", "secret1");
    uint16_t call = phone->dial("2001", "secret1", "601", codec::Alaw);
    ASSERT_NE(call, 0);
    ASSERT_TRUE(phone->waitFor(call, frametype::Control, ctl::Answer));
    auto first = phone->waitFor(call, frametype::Voice, codec::Alaw);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->payload.size(), 160u);
    int minis = 0;
    for (int i = 0; i < 50 && minis < 5; ++i) {
        auto rx = phone->next(200);
        if (rx && rx->mini && rx->payload.size() == 160) ++minis;
    }
    EXPECT_EQ(minis, 5);
    phone->hangup(call);
    EXPECT_TRUE(eventually([&] { return idle(); }));
}

TEST_F(Calls, BusyNumberSignalsBusy) {
    auto phone = registered("2001", "secret1");
    uint16_t call = phone->dial("2001", "secret1", "602");
    ASSERT_NE(call, 0);
    ASSERT_TRUE(phone->waitFor(call, frametype::Control, ctl::Busy));
    EXPECT_EQ(pbx->calls()[0].state, "busy");
    phone->hangup(call);
    EXPECT_TRUE(eventually([&] { return idle(); }));
}

TEST_F(Calls, RingNumberIsAnsweredAndHungUpFromTheControlInterface) {
    auto phone = registered("2001", "secret1");
    uint16_t call = phone->dial("2001", "secret1", "95551234");  // not a known number
    ASSERT_NE(call, 0);
    ASSERT_TRUE(phone->waitFor(call, frametype::Control, ctl::Ringing));
    auto calls = pbx->calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].dialled, "95551234");
    EXPECT_EQ(pbx->command("answer " + std::to_string(calls[0].id)), "OK\n");
    ASSERT_TRUE(phone->waitFor(call, frametype::Control, ctl::Answer));
    EXPECT_EQ(pbx->command("answer " + std::to_string(calls[0].id)).substr(0, 3), "ERR");
    EXPECT_EQ(pbx->command("hangup " + std::to_string(calls[0].id)), "OK\n");
    ASSERT_TRUE(phone->waitIax(call, cmd::Hangup));
    EXPECT_TRUE(eventually([&] { return idle(); }));
}

TEST_F(Calls, InboundCallCarriesCallerNumberAndName) {
    auto phone = registered("2002", "secret2");
    std::string reply = pbx->command("call 2002 5551234 Jane Q Public");
    ASSERT_EQ(reply.substr(0, 3), "OK ");
    uint16_t call = 0;
    auto incoming = phone->waitIncoming(call);
    ASSERT_TRUE(incoming);
    EXPECT_EQ(incoming->str(ie::CallingNumber), "5551234");
    EXPECT_EQ(incoming->str(ie::CallingName), "Jane Q Public");
    EXPECT_EQ(incoming->str(ie::CalledNumber), "2002");
    EXPECT_EQ(incoming->num(ie::Capability), pbx->config().codecMask());
    phone->acceptIncoming(call, codec::Gsm);
    ASSERT_TRUE(eventually([&] { return pbx->calls()[0].state == "ringing"; }));
    phone->send(call, frametype::Control, ctl::Answer);
    ASSERT_TRUE(eventually([&] { return pbx->calls()[0].state == "up"; }));
    auto info = pbx->calls()[0];
    EXPECT_EQ(info.from, "caller:5551234");
    EXPECT_EQ(info.callerName, "Jane Q Public");
    EXPECT_EQ(info.format, "gsm");
    // The scripted caller hangs up.
    EXPECT_EQ(pbx->command("hangup " + std::to_string(info.id)), "OK\n");
    ASSERT_TRUE(phone->waitIax(call, cmd::Hangup));
    EXPECT_TRUE(eventually([&] { return idle(); }));
}

TEST_F(Calls, InboundCallRejectedByThePhoneEndsTheCall) {
    auto phone = registered("2002", "secret2");
    ASSERT_EQ(pbx->command("call 2002 555 X").substr(0, 3), "OK ");
    uint16_t call = 0;
    ASSERT_TRUE(phone->waitIncoming(call));
    Ies rej;
    rej.str(ie::Cause, "Busy").u8(ie::CauseCode, cause::UserBusy);
    phone->sendIax(call, cmd::Reject, rej);
    EXPECT_TRUE(eventually([&] { return idle(); }));
}

TEST_F(Calls, InboundCallToAnUnregisteredExtensionIsRefused) {
    EXPECT_EQ(pbx->command("call 2002 555 X"), "ERR extension 2002 is not registered\n");
    EXPECT_EQ(pbx->command("call 9999 555 X"), "ERR no such extension 9999\n");
}

TEST_F(Calls, CalledPhoneBusyGivesTheCallerBusy) {
    alice = registered("2001", "secret1");
    bob = registered("2002", "secret2");
    a = alice->dial("2001", "secret1", "2002");
    ASSERT_NE(a, 0);
    ASSERT_TRUE(bob->waitIncoming(b));
    bob->acceptIncoming(b, codec::Ulaw);
    bob->send(b, frametype::Control, ctl::Busy);
    ASSERT_TRUE(alice->waitFor(a, frametype::Control, ctl::Busy));
    ASSERT_TRUE(bob->waitIax(b, cmd::Hangup));
    alice->hangup(a);
    EXPECT_TRUE(eventually([&] { return idle(); }));
}

TEST_F(Calls, CallsAreRefusedWithTheReferenceCauses) {
    auto phone = registered("2001", "secret1");
    EXPECT_EQ(phone->dial("2001", "bad", "2002"), 0);
    EXPECT_EQ(phone->lastReject.str(ie::Cause), "No authority found");
    EXPECT_EQ(phone->lastReject.num(ie::CauseCode), cause::FacilityNotSubscribed);
    EXPECT_EQ(phone->dial("2001", "secret1", "600", codec::G729a, codec::G729a), 0);
    EXPECT_EQ(phone->lastReject.str(ie::Cause), "Unable to negotiate codec");
    // An unregistered target is answered, then hung up as absent.
    uint16_t call = phone->dial("2001", "secret1", "2002");
    ASSERT_NE(call, 0);
    auto h = phone->waitIax(call, cmd::Hangup);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->num(ie::CauseCode), kCauseSubscriberAbsent);
    EXPECT_TRUE(eventually([&] { return idle(); }));
}

}  // namespace
}  // namespace labpbx::test

namespace labpbx::test {
namespace {

TEST(Demo, PlacesInboundCallsWithTheConfiguredCallerId) {
    LabPbx pbx(
        testConfig("[general]\ndemointerval = 1\ndemoextension = 2002\n"
                   "democallerid = \"Demo Caller\" <5550100>\n"));
    std::string error;
    ASSERT_TRUE(pbx.start(error)) << error;
    TestPhone phone(pbx.iaxPort());
    ASSERT_EQ(phone.registerExt("2002", "secret2").outcome, RegOutcome::Ack);
    uint16_t call = 0;
    auto incoming = phone.waitIncoming(call, 3000);
    ASSERT_TRUE(incoming);
    EXPECT_EQ(incoming->str(iax2::ie::CallingNumber), "5550100");
    EXPECT_EQ(incoming->str(iax2::ie::CallingName), "Demo Caller");
    // While that call is still going, no second one is placed.
    EXPECT_FALSE(phone.waitIncoming(call, 1500));
    pbx.stop();
}

}  // namespace
}  // namespace labpbx::test
