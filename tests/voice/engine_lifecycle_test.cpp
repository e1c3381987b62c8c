// Start-up, shutdown and misuse of the API: calls before start-up or with
// bad arguments fail softly, and the threads may be stopped and the engine
// shut down from inside the event callback.
#include <atomic>
#include <thread>

#include "engine_fixture.h"
#include "fake_media.h"
#include "voice/engine/tuning.h"

using namespace std::chrono_literals;

TEST(EngineLifecycle, CallsBeforeStartUpFailSoftly) {
    EXPECT_EQ(iaxc_call("101:x@127.0.0.1/200"), -1);
    EXPECT_EQ(iaxc_register("101", "x", "127.0.0.1"), -1);
    EXPECT_EQ(iaxc_unregister(1), 0);
    EXPECT_EQ(iaxc_quelch(0, 1), -1);
    EXPECT_EQ(iaxc_unquelch(0), -1);
    EXPECT_EQ(iaxc_select_call(0), -1);
    EXPECT_EQ(iaxc_first_free_call(), -1);
    EXPECT_EQ(iaxc_start_processing_thread(), -1);
    EXPECT_EQ(iaxc_stop_processing_thread(), 0);
    EXPECT_EQ(iaxc_get_bind_port(), -1);
    iaxc_answer_call(0);
    iaxc_dump_call();
    iaxc_send_dtmf('1');
    iaxc_blind_transfer_call(0, "1");
    iaxc_shutdown();
    EXPECT_EQ(voice::engine::openDialogCount(), 0u);
}

TEST(EngineLifecycle, InitializeTwiceAndAgainAfterShutdown) {
    fakemedia::reset();
    iaxc_set_preferred_source_udp_port(-1);
    ASSERT_EQ(iaxc_initialize(0), 0);  // 0 slots means one
    EXPECT_EQ(iaxc_initialize(2), -1);
    EXPECT_EQ(iaxc_first_free_call(), 0);
    EXPECT_EQ(iaxc_select_call(1), -1);
    EXPECT_NE(iaxc_get_bind_port(), -1);  // a short: ports above 32767 read negative
    iaxc_shutdown();
    ASSERT_EQ(iaxc_initialize(2), 0);
    EXPECT_EQ(iaxc_select_call(1), 0);
    EXPECT_EQ(fakemedia::snapshot().shutdownCalls, 1);
    iaxc_shutdown();
    EXPECT_EQ(fakemedia::snapshot().shutdownCalls, 2);
}

TEST(EngineLifecycle, BadArgumentsAreRefused) {
    iaxc_set_preferred_source_udp_port(-1);
    ASSERT_EQ(iaxc_initialize(2), 0);
    EXPECT_EQ(iaxc_call(nullptr), -1);
    EXPECT_EQ(iaxc_call("101:x@/200"), -1);
    EXPECT_EQ(iaxc_call("101:x@127.0.0.1:70000/200"), -1);
    EXPECT_EQ(iaxc_register("101", nullptr, "127.0.0.1"), -1);
    iaxc_blind_transfer_call(0, nullptr);
    iaxc_blind_transfer_call(-3, "1");
    iaxc_answer_call(-1);
    iaxc_answer_call(99);
    iaxc_send_text(nullptr);
    EXPECT_EQ(iaxc_get_netstats(5, nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(voice::engine::openDialogCount(), 0u);
    iaxc_shutdown();
}

using CallbackReentry = EngineTest;

TEST_F(CallbackReentry, StopAndShutdownFromInsideTheCallback) {
    std::atomic<bool> done{false};
    log.setHook([&](const iaxc_event& e) {
        if (e.type == IAXC_EVENT_REGISTRATION && !done) {
            iaxc_stop_processing_thread();
            iaxc_shutdown();
            done = true;
        }
    });
    iaxc_register("101", "secret", peerHost().c_str());
    ASSERT_TRUE(peer->waitFor([&] { return done.load(); }, 3000));
    EXPECT_EQ(iaxc_get_bind_port(), -1);
    // The engine comes back up normally afterwards.
    engineUp = false;
    log.setHook(nullptr);
    startEngine();
    iaxc_register("101", "secret", peerHost().c_str());
    ASSERT_TRUE(log.waitForRegistrations(2, 3000));
}

TEST_F(CallbackReentry, ShutdownHangsUpCallsWithFreeEvents) {
    const int id = peer->placeCall(static_cast<uint16_t>(iaxc_get_bind_port()));
    ASSERT_TRUE(log.waitForState(0, kActive | kRinging, 2000));
    iaxc_answer_call(0);
    ASSERT_TRUE(log.waitForState(0, kActive | kComplete | kSelected, 2000));
    stopEngine();
    EXPECT_TRUE(log.waitForState(0, IAXC_CALL_STATE_FREE, 1000));
    ASSERT_TRUE(peer->waitFor([&] { return peer->call(id).ended; }, 2000));
    EXPECT_EQ(peer->call(id).endCause, "Dumped Call");
}
