// The engine is liberal in what it accepts: frames it has no use for are
// acknowledged in sequence and ignored, and audio starts without depending
// on one particular full frame. The sequences are those a stock Asterisk
// sends to a phone that places a call.
#include <algorithm>

#include "engine_fixture.h"
#include "fake_media.h"
#include "voice/iax2/frame.h"
#include "voice/iax2/protocol.h"

namespace {

const std::vector<uint8_t> kGsmFrame(33, 0x55);

bool receivedCommand(iax2test::ScriptedPeer& peer, uint8_t command) {
    for (const iax2test::Datagram& d : peer.received()) {
        iax2::DecodedFrame f;
        if (iax2::decodeFrame(d.bytes.data(), d.bytes.size(), f) == iax2::DecodeStatus::Ok &&
            f.kind == iax2::FrameKind::Full && f.full.type == iax2::frametype::Iax && f.full.subclass == command)
            return true;
    }
    return false;
}

}  // namespace

class Tolerance : public EngineTest {
protected:
    // Places a call that the peer accepts and answers; returns the peer's id.
    int answeredCall() {
        EXPECT_EQ(iaxc_call(dial("600").c_str()), 0);
        int id = 0;
        peer->waitFor(
            [&] {
                for (int c : peer->callIds())
                    if (peer->call(c).accepted) return (id = c) != 0;
                return false;
            },
            3000);
        if (id == 0) return 0;
        peer->answer(id);
        return id;
    }
};

TEST_F(Tolerance, StopIndicationsAfterAnswerKeepsTheDialogAndTheAudio) {
    const int id = answeredCall();
    ASSERT_NE(id, 0);
    // ANSWER, then control -1 ("stop indications"), then the only full voice
    // frame, then mini frames.
    peer->sendFull(id, iax2::frametype::Control, iax2::kSubclassMinusOne);
    peer->sendVoice(id, IAXC_FORMAT_GSM, kGsmFrame, 20);
    for (uint16_t t = 40; t <= 200; t += 20) peer->sendMini(id, kGsmFrame, t);
    ASSERT_TRUE(log.waitForState(0, kActive | kOutgoing | kComplete | kSelected, 2000));
    ASSERT_TRUE(peer->waitFor([] { return fakemedia::snapshot().voiceReceived == 10; }, 2000));
    EXPECT_EQ(fakemedia::snapshot().lastReceivedTimestamp, 200u);
    // The peer needed no VNAK and no retransmission: every frame was taken
    // in order.
    EXPECT_EQ(peer->counters().vnaksReceived, 0);

    // A later frame in sequence still reaches the engine.
    peer->hangup(id);
    ASSERT_TRUE(log.waitForState(0, IAXC_CALL_STATE_FREE, 2000));
}

TEST_F(Tolerance, MiniFramesPlayWhenTheFullVoiceFrameIsLost) {
    const int id = answeredCall();
    ASSERT_NE(id, 0);
    ASSERT_TRUE(log.waitForState(0, kActive | kOutgoing | kComplete | kSelected, 2000));
    // No full voice frame at all: the minis take the negotiated format.
    for (uint16_t t = 20; t <= 100; t += 20) peer->sendMini(id, kGsmFrame, t);
    ASSERT_TRUE(peer->waitFor([] { return fakemedia::snapshot().voiceReceived == 5; }, 2000));
    EXPECT_EQ(fakemedia::snapshot().lastReceivedTimestamp, 100u);
}

TEST_F(Tolerance, MiniTimestampsAreExtendedAcrossEveryWrap) {
    const int id = answeredCall();
    ASSERT_NE(id, 0);
    ASSERT_TRUE(log.waitForState(0, kActive | kOutgoing | kComplete | kSelected, 2000));
    peer->sendVoice(id, IAXC_FORMAT_GSM, kGsmFrame, 20);
    // Walk the stream through three wraps in steps a real stream could not
    // skip (well under half the 16-bit range), no full frame at any wrap.
    uint32_t ts = 20;
    int sent = 1;
    while (ts < 3 * 65536 + 100) {
        ts += 20000;
        peer->sendMini(id, kGsmFrame, static_cast<uint16_t>(ts));
        ++sent;
        ASSERT_TRUE(peer->waitFor([&] { return fakemedia::snapshot().voiceReceived == sent; }, 2000));
        EXPECT_EQ(fakemedia::snapshot().lastReceivedTimestamp, ts);
    }
    // A frame a little late across the wrap goes back, not forward.
    peer->sendMini(id, kGsmFrame, static_cast<uint16_t>(ts - 40));
    ASSERT_TRUE(peer->waitFor([&] { return fakemedia::snapshot().voiceReceived == sent + 1; }, 2000));
    EXPECT_EQ(fakemedia::snapshot().lastReceivedTimestamp, ts - 40);
}

TEST_F(Tolerance, UnknownFramesAreAcknowledgedAndIgnored) {
    const int id = answeredCall();
    ASSERT_NE(id, 0);
    ASSERT_TRUE(log.waitForState(0, kActive | kOutgoing | kComplete | kSelected, 2000));
    // An IAX command this engine has no number for gets UNSUPPORT.
    peer->sendIax(id, 45);
    ASSERT_TRUE(peer->waitFor([&] { return receivedCommand(*peer, iax2::cmd::Unsupport); }, 2000));
    // A control and a frame type it does not know and a DTMF begin: each is
    // taken in sequence, so the digit after them arrives.
    peer->sendFull(id, iax2::frametype::Control, 99);
    peer->sendFull(id, 0x20, 1);
    peer->sendFull(id, iax2::frametype::DtmfBegin, '5');
    peer->sendFull(id, iax2::frametype::Dtmf, '5');
    ASSERT_TRUE(log.waitFor(
        [](const std::vector<SeenEvent>& ev) {
            return std::any_of(ev.begin(), ev.end(),
                               [](const SeenEvent& e) { return e.type == IAXC_EVENT_DTMF && e.digit == '5'; });
        },
        2000));
    EXPECT_EQ(peer->counters().vnaksReceived, 0);
    EXPECT_EQ(log.states(0).back(), kActive | kOutgoing | kComplete | kSelected);
    peer->hangup(id);
    ASSERT_TRUE(log.waitForState(0, IAXC_CALL_STATE_FREE, 2000));
}
