// Calls against the scripted peer, each with the exact sequence of state
// events an application sees.
#include <thread>

#include "engine_fixture.h"
#include "fake_media.h"
#include "voice/engine/tuning.h"
#include "voice/iax2/protocol.h"

using namespace std::chrono_literals;

namespace {

int firstPeerCall(iax2test::ScriptedPeer& peer, int timeoutMs = 3000) {
    int id = 0;
    peer.waitFor(
        [&] {
            for (int c : peer.callIds())
                if (peer.call(c).accepted || peer.call(c).ended) return (id = c) != 0;
            return false;
        },
        timeoutMs);
    return id;
}

bool noDialogsLeft(iax2test::ScriptedPeer& peer) {
    return peer.waitFor([] { return voice::engine::openDialogCount() == 0; }, 2000) &&
           peer.waitFor([&] { return peer.openDialogs() == 0; }, 2000);
}

}  // namespace

using Calls = EngineTest;

TEST_F(Calls, OutgoingRingingAnsweredAndHungUpLocally) {
    const int slot = iaxc_call(dial("200").c_str());
    ASSERT_EQ(slot, 0);
    const int id = firstPeerCall(*peer);
    ASSERT_NE(id, 0);
    auto pc = peer->call(id);
    EXPECT_TRUE(pc.tokenUsed);
    EXPECT_TRUE(pc.md5Verified);
    EXPECT_EQ(pc.username, "101");
    EXPECT_EQ(pc.calledNumber, "200");
    EXPECT_EQ(pc.callingNumber, "101");
    EXPECT_EQ(pc.callingName, "101");
    EXPECT_EQ(pc.format, static_cast<uint32_t>(IAXC_FORMAT_GSM));
    EXPECT_EQ(pc.capability, 14u);

    // The media stream starts once ACCEPT gave the format.
    ASSERT_TRUE(peer->waitFor([] { return fakemedia::snapshot().running; }, 2000));
    EXPECT_EQ(fakemedia::snapshot().format, IAXC_FORMAT_GSM);

    peer->ring(id);
    ASSERT_TRUE(log.waitForState(slot, kActive | kOutgoing | kRinging | kSelected, 2000));
    peer->answer(id);
    ASSERT_TRUE(log.waitForState(slot, kActive | kOutgoing | kComplete | kSelected, 2000));
    iaxc_dump_call();
    ASSERT_TRUE(log.waitForState(slot, IAXC_CALL_STATE_FREE, 2000));

    const std::vector<int> expected = {kActive | kOutgoing | kSelected, kActive | kOutgoing | kRinging | kSelected,
                                       kActive | kOutgoing | kComplete | kSelected, IAXC_CALL_STATE_FREE};
    EXPECT_EQ(log.states(slot), expected);
    ASSERT_TRUE(peer->waitFor([&] { return peer->call(id).ended; }, 2000));
    EXPECT_EQ(peer->call(id).endCommand, iax2::cmd::Hangup);
    EXPECT_EQ(peer->call(id).endCause, "Dumped Call");

    // What the events carried: the dial string without its secret.
    const auto events = log.all();
    for (const SeenEvent& e : events) {
        if (e.type != IAXC_EVENT_STATE) continue;
        EXPECT_EQ(e.remote, "200");
        EXPECT_EQ(e.remoteName, "101@" + peerHost() + "/200");
        EXPECT_EQ(e.local, "101");
        EXPECT_EQ(e.localContext, "default");
    }
    EXPECT_EQ(events[0].type, IAXC_EVENT_TEXT);
    EXPECT_EQ(events[0].text, "Originating an audio only call");
    const auto texts = log.texts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Call 0 accepted"), texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Call 0 ringing"), texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Call 0 answered"), texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Hanging up call 0"), texts.end());
    EXPECT_FALSE(fakemedia::snapshot().running);
    EXPECT_TRUE(noDialogsLeft(*peer));
    // After the call the selection stays on the freed slot.
    EXPECT_EQ(iaxc_selected_call(), 0);
}

TEST_F(Calls, IncomingRingingAnsweredAndHungUpByTheFarEnd) {
    const int id = peer->placeCall(static_cast<uint16_t>(iaxc_get_bind_port()));
    ASSERT_TRUE(log.waitForState(0, kActive | kRinging, 2000));
    ASSERT_TRUE(
        peer->waitFor([&] { return peer->call(id).acceptedByEngine && peer->call(id).ringingFromEngine; }, 2000));
    const auto ringing = log.all();
    const SeenEvent* state = nullptr;
    for (const auto& e : ringing)
        if (e.type == IAXC_EVENT_STATE) state = &e;
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(state->remote, "5551234");
    EXPECT_EQ(state->remoteName, "Test Caller");
    EXPECT_EQ(state->local, "101");
    EXPECT_EQ(state->localContext, "from-lab");
    EXPECT_EQ(state->format, IAXC_FORMAT_GSM);
    EXPECT_FALSE(fakemedia::snapshot().running);

    iaxc_answer_call(0);
    ASSERT_TRUE(log.waitForState(0, kActive | kComplete | kSelected, 2000));
    ASSERT_TRUE(peer->waitFor([&] { return peer->call(id).answeredByEngine; }, 2000));
    EXPECT_TRUE(fakemedia::snapshot().running);

    peer->hangup(id);
    ASSERT_TRUE(log.waitForState(0, IAXC_CALL_STATE_FREE, 2000));
    const std::vector<int> expected = {kActive | kRinging, kActive | kComplete | kSelected, IAXC_CALL_STATE_FREE};
    EXPECT_EQ(log.states(0), expected);
    const auto texts = log.texts();
    ASSERT_GE(texts.size(), 3u);
    EXPECT_EQ(texts[0], "Call from (5551234)");
    EXPECT_EQ(texts[1], "Incoming call on line 0");
    EXPECT_EQ(texts.back(), "Call disconnected by remote");
    EXPECT_TRUE(noDialogsLeft(*peer));
}

TEST_F(Calls, CallerGivesUpWhileRinging) {
    const int id = peer->placeCall(static_cast<uint16_t>(iaxc_get_bind_port()));
    ASSERT_TRUE(log.waitForState(0, kActive | kRinging, 2000));
    peer->hangup(id);
    ASSERT_TRUE(log.waitForState(0, IAXC_CALL_STATE_FREE, 2000));
    EXPECT_EQ(log.states(0), (std::vector<int>{kActive | kRinging, IAXC_CALL_STATE_FREE}));
}

TEST_F(Calls, SelectingARingingCallAnswersIt) {
    const int id = peer->placeCall(static_cast<uint16_t>(iaxc_get_bind_port()));
    ASSERT_TRUE(log.waitForState(0, kActive | kRinging, 2000));
    EXPECT_EQ(iaxc_select_call(0), 0);
    ASSERT_TRUE(log.waitForState(0, kActive | kComplete | kSelected, 2000));
    EXPECT_TRUE(peer->waitFor([&] { return peer->call(id).answeredByEngine; }, 2000));
    EXPECT_EQ(log.states(0), (std::vector<int>{kActive | kRinging, kActive | kComplete | kSelected}));
    EXPECT_EQ(iaxc_select_call(2), -1);
    EXPECT_EQ(iaxc_select_call(-1), 0);
    EXPECT_EQ(iaxc_selected_call(), -1);
    EXPECT_FALSE(fakemedia::snapshot().running);
}

TEST_F(Calls, HoldAndUnhold) {
    const int id = peer->placeCall(static_cast<uint16_t>(iaxc_get_bind_port()));
    ASSERT_TRUE(log.waitForState(0, kActive | kRinging, 2000));
    iaxc_answer_call(0);
    ASSERT_TRUE(log.waitForState(0, kActive | kComplete | kSelected, 2000));

    EXPECT_EQ(iaxc_quelch(0, 1), 0);
    ASSERT_TRUE(peer->waitFor([&] { return peer->call(id).quelched; }, 2000));
    EXPECT_TRUE(peer->call(id).musicOnHold);
    EXPECT_TRUE(fakemedia::snapshot().muted);
    EXPECT_EQ(iaxc_unquelch(0), 0);
    ASSERT_TRUE(peer->waitFor([&] { return !peer->call(id).quelched; }, 2000));
    EXPECT_FALSE(fakemedia::snapshot().muted);
    // Hold without music on hold.
    EXPECT_EQ(iaxc_quelch(0, 0), 0);
    ASSERT_TRUE(peer->waitFor([&] { return peer->call(id).quelchCount == 2; }, 2000));
    EXPECT_FALSE(peer->call(id).musicOnHold);
    // Holding changes no state.
    EXPECT_EQ(log.states(0), (std::vector<int>{kActive | kRinging, kActive | kComplete | kSelected}));
    // No call in the slot: both fail.
    EXPECT_EQ(iaxc_quelch(1, 1), -1);
    EXPECT_EQ(iaxc_unquelch(1), -1);
    EXPECT_EQ(iaxc_unquelch(7), -1);
}

TEST_F(Calls, HeldByThePeerWeCannotHold) {
    const int id = peer->placeCall(static_cast<uint16_t>(iaxc_get_bind_port()));
    ASSERT_TRUE(log.waitForState(0, kActive | kRinging, 2000));
    iaxc_answer_call(0);
    ASSERT_TRUE(log.waitForState(0, kActive | kComplete | kSelected, 2000));
    peer->quelch(id);
    ASSERT_TRUE(peer->waitFor([] { return fakemedia::snapshot().muted; }, 2000));
    EXPECT_EQ(iaxc_quelch(0, 1), -1);
    peer->unquelch(id);
    ASSERT_TRUE(peer->waitFor([] { return !fakemedia::snapshot().muted; }, 2000));
    EXPECT_EQ(iaxc_quelch(0, 1), 0);
}

TEST_F(Calls, BlindTransferEndsOurLeg) {
    const int id = peer->placeCall(static_cast<uint16_t>(iaxc_get_bind_port()));
    ASSERT_TRUE(log.waitForState(0, kActive | kRinging, 2000));
    iaxc_answer_call(0);
    ASSERT_TRUE(log.waitForState(0, kActive | kComplete | kSelected, 2000));
    iaxc_blind_transfer_call(0, "300@sales");
    ASSERT_TRUE(log.waitForState(0, IAXC_CALL_STATE_FREE, 2000));
    EXPECT_EQ(peer->call(id).transfers, (std::vector<std::string>{"300@sales"}));
    EXPECT_EQ(log.states(0),
              (std::vector<int>{kActive | kRinging, kActive | kComplete | kSelected, IAXC_CALL_STATE_FREE}));
    // A free slot transfers nothing.
    iaxc_blind_transfer_call(0, "301");
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(peer->call(id).transfers.size(), 1u);
    EXPECT_TRUE(noDialogsLeft(*peer));
}

TEST_F(Calls, DtmfReachesThePeer) {
    iaxc_call(dial("200").c_str());
    const int id = firstPeerCall(*peer);
    ASSERT_NE(id, 0);
    peer->answer(id);
    ASSERT_TRUE(log.waitForState(0, kActive | kOutgoing | kComplete | kSelected, 2000));
    for (char d : std::string("1#*9A")) iaxc_send_dtmf(d);
    iaxc_send_dtmf('x');  // not a DTMF digit: nothing sent
    ASSERT_TRUE(peer->waitFor([&] { return peer->call(id).dtmf.size() >= 5; }, 2000));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(peer->call(id).dtmf, "1#*9A");
    iaxc_send_text("hello");
    ASSERT_TRUE(peer->waitFor([&] { return !peer->call(id).texts.empty(); }, 2000));
    EXPECT_EQ(peer->call(id).texts[0], "hello");
}

TEST_F(Calls, BothCallSlots) {
    const uint16_t port = static_cast<uint16_t>(iaxc_get_bind_port());
    const int first = peer->placeCall(port);
    ASSERT_TRUE(log.waitForState(0, kActive | kRinging, 2000));
    iaxc_answer_call(0);
    ASSERT_TRUE(log.waitForState(0, kActive | kComplete | kSelected, 2000));
    iax2test::PlaceCallParams p;
    p.callingNumber = "5559999";
    p.format = IAXC_FORMAT_ULAW;
    const int second = peer->placeCall(port, p);
    ASSERT_TRUE(log.waitForState(1, kActive | kRinging, 2000));
    EXPECT_EQ(iaxc_first_free_call(), -1);
    // Answering the second moves the selection (and the audio) to it.
    iaxc_answer_call(1);
    ASSERT_TRUE(log.waitForState(1, kActive | kComplete | kSelected, 2000));
    EXPECT_EQ(fakemedia::snapshot().format, IAXC_FORMAT_ULAW);
    // A third caller finds no free appearance and hears busy.
    const int third = peer->placeCall(port);
    ASSERT_TRUE(peer->waitFor([&] { return peer->call(third).busyFromEngine; }, 2000));
    peer->hangup(third);
    // Back to the first: it is selected again without a new answer.
    EXPECT_EQ(iaxc_select_call(0), 0);
    ASSERT_TRUE(log.waitFor(
        [](const std::vector<SeenEvent>& ev) {
            int n = 0;
            for (const auto& e : ev)
                n += e.type == IAXC_EVENT_STATE && e.callNo == 0 && e.state == (kActive | kComplete | kSelected);
            return n == 2;
        },
        2000));
    EXPECT_EQ(fakemedia::snapshot().format, IAXC_FORMAT_GSM);
    peer->hangup(first);
    peer->hangup(second);
    ASSERT_TRUE(log.waitForState(0, IAXC_CALL_STATE_FREE, 2000));
    ASSERT_TRUE(log.waitForState(1, IAXC_CALL_STATE_FREE, 2000));
    EXPECT_EQ(log.states(0),
              (std::vector<int>{kActive | kRinging, kActive | kComplete | kSelected, kActive | kComplete,
                                kActive | kComplete | kSelected, IAXC_CALL_STATE_FREE}));
    EXPECT_EQ(log.states(1), (std::vector<int>{kActive | kRinging, kActive | kComplete | kSelected,
                                               kActive | kComplete, IAXC_CALL_STATE_FREE}));
    EXPECT_TRUE(noDialogsLeft(*peer));
}

TEST_F(Calls, OutgoingWithOneSlotBusyUsesTheOther) {
    const int id = peer->placeCall(static_cast<uint16_t>(iaxc_get_bind_port()));
    ASSERT_TRUE(log.waitForState(0, kActive | kRinging, 2000));
    iaxc_answer_call(0);
    ASSERT_TRUE(log.waitForState(0, kActive | kComplete | kSelected, 2000));
    EXPECT_EQ(iaxc_call(dial("200").c_str()), 1);
    // The previous selection loses SELECTED first.
    ASSERT_TRUE(log.waitForState(0, kActive | kComplete, 2000));
    ASSERT_TRUE(log.waitForState(1, kActive | kOutgoing | kSelected, 2000));
    EXPECT_EQ(iaxc_call(dial("201").c_str()), -1);
    EXPECT_TRUE(log.waitFor(
        [](const std::vector<SeenEvent>& ev) {
            for (const auto& e : ev)
                if (e.type == IAXC_EVENT_TEXT && e.text == "No free call appearances") return true;
            return false;
        },
        2000));
    peer->hangup(id);
}

TEST_F(Calls, WrongSecretIsRejected) {
    iaxc_call(dial("200", "bad").c_str());
    ASSERT_TRUE(log.waitForState(0, IAXC_CALL_STATE_FREE, 3000));
    EXPECT_EQ(log.states(0), (std::vector<int>{kActive | kOutgoing | kSelected, IAXC_CALL_STATE_FREE}));
    const auto texts = log.texts();
    EXPECT_EQ(texts.back(), "Call rejected by remote");
    EXPECT_TRUE(noDialogsLeft(*peer));
}

TEST_F(Calls, AcceptWithAFormatWeDidNotOfferIsRefused) {
    stopEngine();
    TearDown();
    peerOptions.acceptFormat = IAXC_FORMAT_SPEEX;
    SetUp();
    iaxc_call(dial("200").c_str());
    ASSERT_TRUE(log.waitForState(0, IAXC_CALL_STATE_FREE, 3000));
    const int id = peer->callIds().at(0);
    ASSERT_TRUE(peer->waitFor([&] { return peer->call(id).ended; }, 2000));
    EXPECT_EQ(peer->call(id).endCommand, iax2::cmd::Reject);
    EXPECT_EQ(peer->call(id).endCause, "Unable to negotiate codec");
    EXPECT_FALSE(fakemedia::snapshot().running);
}

TEST_F(Calls, BusyFarEnd) {
    iaxc_call(dial("200").c_str());
    const int id = firstPeerCall(*peer);
    ASSERT_NE(id, 0);
    peer->ring(id);
    peer->busy(id);
    ASSERT_TRUE(log.waitForState(0, kActive | kOutgoing | kBusy | kSelected, 2000));
    iaxc_dump_call();
    ASSERT_TRUE(log.waitForState(0, IAXC_CALL_STATE_FREE, 2000));
}

TEST_F(Calls, VoiceFlowsBothWaysOnTheSelectedCall) {
    iaxc_call(dial("200").c_str());
    const int id = firstPeerCall(*peer);
    ASSERT_NE(id, 0);
    peer->answer(id);
    ASSERT_TRUE(log.waitForState(0, kActive | kOutgoing | kComplete | kSelected, 2000));
    ASSERT_TRUE(fakemedia::snapshot().running);
    const std::vector<uint8_t> frame(33, 0x55);
    for (uint32_t t = 0; t < 200; t += 20) ASSERT_TRUE(fakemedia::sendFrame(frame.data(), 33, t));
    ASSERT_TRUE(peer->waitFor([&] { return peer->call(id).voiceFrames == 10; }, 2000));
    peer->sendVoice(id, IAXC_FORMAT_GSM, frame, 1000);
    ASSERT_TRUE(peer->waitFor([] { return fakemedia::snapshot().voiceReceived == 1; }, 2000));
    EXPECT_EQ(fakemedia::snapshot().lastReceivedTimestamp, 1000u);

    // Silence: one comfort-noise frame with the level as its subclass.
    ASSERT_TRUE(fakemedia::sendComfortNoise(65, 220));
    ASSERT_TRUE(peer->waitFor([&] { return peer->call(id).comfortNoise == 1; }, 2000));
    EXPECT_EQ(peer->call(id).lastComfortNoiseLevel, 65);
    peer->sendFull(id, iax2::frametype::Cng, 70);
    ASSERT_TRUE(peer->waitFor([] { return fakemedia::snapshot().comfortNoiseReceived == 1; }, 2000));
    EXPECT_EQ(fakemedia::snapshot().lastComfortNoiseLevel, 70);
}

TEST_F(Calls, LevelsAndNetworkStatisticsWhileTalking) {
    iaxc_call(dial("200").c_str());
    const int id = firstPeerCall(*peer);
    ASSERT_NE(id, 0);
    peer->answer(id);
    ASSERT_TRUE(log.waitForState(0, kActive | kOutgoing | kComplete | kSelected, 2000));
    // The engine pings (first after 150 ms); the peer's PONG reports 42
    // packets received.
    ASSERT_TRUE(log.waitFor(
        [](const std::vector<SeenEvent>& ev) {
            bool levels = false, netstat = false;
            for (const auto& e : ev) {
                levels |= e.type == IAXC_EVENT_LEVELS;
                netstat |= e.type == IAXC_EVENT_NETSTAT;
            }
            return levels && netstat;
        },
        3000));
    int rtt = -5;
    iaxc_netstat local{}, remote{};
    ASSERT_EQ(iaxc_get_netstats(0, &rtt, &local, &remote), 0);
    EXPECT_GE(rtt, 0);
    EXPECT_EQ(remote.packets, 42);
    EXPECT_EQ(local.jitter, 7);  // the media side's figure
    EXPECT_EQ(iaxc_get_netstats(1, &rtt, &local, &remote), -1);
}

TEST_F(Calls, AnsweringFromInsideTheCallbackDoesNotDeadlock) {
    log.setHook([](const iaxc_event& e) {
        if (e.type == IAXC_EVENT_STATE && e.ev.call.state == (kActive | kRinging)) {
            iaxc_answer_call(e.ev.call.callNo);
            iaxc_first_free_call();
        }
    });
    const int id = peer->placeCall(static_cast<uint16_t>(iaxc_get_bind_port()));
    ASSERT_TRUE(log.waitForState(0, kActive | kComplete | kSelected, 2000));
    EXPECT_TRUE(peer->waitFor([&] { return peer->call(id).answeredByEngine; }, 2000));
}

TEST_F(Calls, FarEndVanishesAndTheCallTimesOut) {
    iaxc_call(dial("200").c_str());
    const int id = firstPeerCall(*peer);
    ASSERT_NE(id, 0);
    peer->answer(id);
    ASSERT_TRUE(log.waitForState(0, kActive | kOutgoing | kComplete | kSelected, 2000));
    peer->setSilent(true);
    // Pings every 250 ms; a ping unanswered is given up after its resends
    // and the call ends (how soon is a figure for the benchmarks).
    ASSERT_TRUE(log.waitForState(0, IAXC_CALL_STATE_FREE, 30000));
    const auto texts = log.texts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Call 0 timed out."), texts.end());
    EXPECT_EQ(voice::engine::openDialogCount(), 0u);
    EXPECT_FALSE(fakemedia::snapshot().running);
}
