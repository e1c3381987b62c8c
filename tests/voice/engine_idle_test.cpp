// The network thread with little or nothing to do: it sleeps until its next
// deadline (a refresh, a resend, a ping) or until a datagram or an API call
// comes, with no fixed tick.
#include <thread>

#include "engine_fixture.h"
#include "fake_media.h"
#include "voice/engine/tuning.h"
#include "voice/iax2/frame.h"
#include "voice/iax2/protocol.h"

using namespace std::chrono_literals;
using voice::engine::networkSleep;

namespace {

int resentRequests(const iax2test::ScriptedPeer& peer) {
    int count = 0;
    for (const auto& d : peer.received()) {
        iax2::DecodedFrame f;
        if (iax2::decodeFrame(d.bytes.data(), d.bytes.size(), f) == iax2::DecodeStatus::Ok &&
            f.kind == iax2::FrameKind::Full && f.full.type == iax2::frametype::Iax &&
            f.full.subclass == iax2::cmd::RegReq && f.full.retransmitted)
            ++count;
    }
    return count;
}

}  // namespace

using NetworkIdle = EngineTest;

TEST_F(NetworkIdle, WithNothingToDoTheThreadSleepsWithoutDeadline) {
    ASSERT_TRUE(peer->waitFor([] { return networkSleep().rounds >= 1; }, 2000));
    EXPECT_EQ(networkSleep().lastWaitMs, -1);
    const uint64_t rounds = networkSleep().rounds;
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(networkSleep().rounds, rounds) << "no round without a datagram, an API call or a deadline";
}

TEST_F(NetworkIdle, RegisteredTheThreadSleepsUntilTheRefresh) {
    ASSERT_EQ(iaxc_register("101", "secret", peerHost().c_str()), 1);
    ASSERT_TRUE(log.waitForRegistrations(1, 3000));
    ASSERT_TRUE(peer->waitFor([] { return voice::engine::openDialogCount() == 0; }, 2000));
    // 60 s granted: the refresh is due in 50 s, and nothing comes before it.
    ASSERT_TRUE(peer->waitFor([] { return networkSleep().lastWaitMs > 40000; }, 2000))
        << "last wait " << networkSleep().lastWaitMs << " ms";
    const uint64_t rounds = networkSleep().rounds;
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(networkSleep().rounds, rounds);
}

TEST_F(NetworkIdle, ARequestMadeWhileTheThreadSleepsIsResentAndTimesOut) {
    stopEngine();
    TearDown();
    peerOptions.answerRegistrations = false;
    SetUp();
    ASSERT_TRUE(peer->waitFor([] { return networkSleep().lastWaitMs == -1; }, 2000));
    ASSERT_EQ(iaxc_register("101", "secret", peerHost().c_str()), 1);
    // Only the thread's own timers resend the request and give up on it.
    ASSERT_TRUE(log.waitForRegistrations(1, 5000));
    EXPECT_EQ(log.registrations()[0].reply, IAXC_REGISTRATION_REPLY_TIMEOUT);
    EXPECT_GE(resentRequests(*peer), 3);
}

TEST_F(NetworkIdle, DuringACallTheThreadWakesForPingsAndLevelsOnly) {
    const int slot = iaxc_call(dial("200").c_str());
    ASSERT_EQ(slot, 0);
    ASSERT_TRUE(peer->waitFor([] { return fakemedia::snapshot().running; }, 3000));
    // The media stream has levels reported every 100 ms: the thread never
    // sleeps longer than that while the call has audio.
    ASSERT_TRUE(peer->waitFor([] { return networkSleep().lastWaitMs >= 0; }, 2000));
    EXPECT_LE(networkSleep().lastWaitMs, 100);
    iaxc_dump_call();
    ASSERT_TRUE(log.waitForState(slot, IAXC_CALL_STATE_FREE, 2000));
    ASSERT_TRUE(peer->waitFor([] { return voice::engine::openDialogCount() == 0; }, 2000));
    EXPECT_TRUE(peer->waitFor([] { return networkSleep().lastWaitMs == -1; }, 2000))
        << "with the call gone, nothing is due: last wait " << networkSleep().lastWaitMs << " ms";
}
