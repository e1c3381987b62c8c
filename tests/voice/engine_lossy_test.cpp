// Registration and calls through a relay that loses, duplicates, reorders
// and delays datagrams; and a far end that vanishes behind it.
#include <thread>

#include "engine_fixture.h"
#include "fake_media.h"
#include "tests/support/iax2/lossy_relay.h"
#include "voice/engine/tuning.h"

using namespace std::chrono_literals;

namespace {

class LossyPath : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        iax2test::RelayOptions o;
        o.lossPercent = 10;
        o.duplicatePercent = 10;
        o.reorderPercent = 10;
        o.jitterMs = 10;
        o.seed = 7;
        relay = std::make_unique<iax2test::LossyRelay>(peer->port(), o);
    }
    void TearDown() override {
        EngineTest::TearDown();
        relay.reset();
    }
    std::string relayHost() const { return "127.0.0.1:" + std::to_string(relay->port()); }

    std::unique_ptr<iax2test::LossyRelay> relay;
};

}  // namespace

TEST_F(LossyPath, RegistrationAndCallComplete) {
    iaxc_register("101", "secret", relayHost().c_str());
    ASSERT_TRUE(log.waitForRegistrations(1, 10000));
    EXPECT_EQ(log.registrations()[0].reply, IAXC_REGISTRATION_REPLY_ACK);

    ASSERT_EQ(iaxc_call(("101:secret@" + relayHost() + "/200").c_str()), 0);
    int id = 0;
    ASSERT_TRUE(peer->waitFor(
        [&] {
            const auto ids = peer->callIds();
            if (ids.empty() || !peer->call(ids[0]).accepted) return false;
            id = ids[0];
            return true;
        },
        10000));
    peer->ring(id);
    ASSERT_TRUE(log.waitForState(0, kActive | kOutgoing | kRinging | kSelected, 10000));
    peer->answer(id);
    ASSERT_TRUE(log.waitForState(0, kActive | kOutgoing | kComplete | kSelected, 10000));
    const std::vector<uint8_t> frame(33, 0x11);
    for (uint32_t t = 0; t < 1000; t += 20) {
        fakemedia::sendFrame(frame.data(), frame.size(), t);
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_TRUE(peer->waitFor([&] { return peer->call(id).voiceFrames >= 30; }, 5000));
    for (char d : std::string("123")) iaxc_send_dtmf(d);
    ASSERT_TRUE(peer->waitFor([&] { return peer->call(id).dtmf == "123"; }, 10000));
    iaxc_dump_call();
    ASSERT_TRUE(log.waitForState(0, IAXC_CALL_STATE_FREE, 10000));
    ASSERT_TRUE(peer->waitFor([&] { return peer->call(id).ended; }, 10000));
    // Exactly the expected states despite duplicates and reordering.
    EXPECT_EQ(log.states(0),
              (std::vector<int>{kActive | kOutgoing | kSelected, kActive | kOutgoing | kRinging | kSelected,
                                kActive | kOutgoing | kComplete | kSelected, IAXC_CALL_STATE_FREE}));
    EXPECT_TRUE(peer->waitFor([] { return voice::engine::openDialogCount() == 0; }, 5000));
    const auto stats = relay->stats();
    EXPECT_GT(stats.dropped, 0u);
    EXPECT_GT(stats.duplicated, 0u);
    EXPECT_GT(stats.reordered, 0u);
}

TEST_F(LossyPath, FarEndVanishingEndsTheCallAndLeavesNothingOpen) {
    ASSERT_EQ(iaxc_call(("101:secret@" + relayHost() + "/200").c_str()), 0);
    int id = 0;
    ASSERT_TRUE(peer->waitFor(
        [&] {
            const auto ids = peer->callIds();
            if (ids.empty() || !peer->call(ids[0]).accepted) return false;
            id = ids[0];
            return true;
        },
        10000));
    peer->answer(id);
    ASSERT_TRUE(log.waitForState(0, kActive | kOutgoing | kComplete | kSelected, 10000));
    relay->setBlackhole(true);
    // The next ping goes unanswered through its resends, and the call ends.
    ASSERT_TRUE(log.waitForState(0, IAXC_CALL_STATE_FREE, 30000));
    const auto texts = log.texts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Call 0 timed out."), texts.end());
    EXPECT_EQ(voice::engine::openDialogCount(), 0u);
    EXPECT_FALSE(fakemedia::snapshot().running);
    EXPECT_EQ(iaxc_first_free_call(), 0);
}

TEST_F(LossyPath, RegistrarVanishingGivesTimeout) {
    relay->setBlackhole(true);
    iaxc_register("101", "secret", relayHost().c_str());
    ASSERT_TRUE(log.waitForRegistrations(1, 4000));
    EXPECT_EQ(log.registrations()[0].reply, IAXC_REGISTRATION_REPLY_TIMEOUT);
    EXPECT_EQ(voice::engine::openDialogCount(), 0u);
}
