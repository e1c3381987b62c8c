// The window's thread held up for 5 s by a slow manager exchange while a call
// is connected: the engine's own thread keeps the call alive (acknowledges,
// answers the PBX's pings) and the events of that time are handled after.
#include <atomic>
#include <chrono>
#include <thread>

#include "app/call_globals.h"
#include "app/control_ids.h"
#include "app/settings.h"
#include "tests/support/window/call_window_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;

TEST_F(CallWindowTest, EngineKeepsTheCallAliveWhileTheWindowIsBusyFor5s) {
    // A PBX that pings every 500 ms and gives a leg up after a few seconds
    // without an answer, well within the window's 5 s of being busy.
    labpbx::WireTiming strict;
    strict.retry = iax2::RetryPolicy{200, 100, 800, 2, 3};
    strict.pingIntervalMs = 500;
    strict.lagIntervalMs = 500;
    startPbx("", strict);
    // The agent goes Not Ready when a call is answered: a manager exchange
    // on the window's thread.
    openWindow("inboundAnswerNotReady=1\nacmDelayB4Read=300\n");
    startAndRegister();
    click(IDC_BUT_LOGIN);
    ASSERT_TRUE(isEnabled(IDC_BUT_LOGOUT)) << "agent login failed";
    ASSERT_EQ(pbx->command("manager delay 4700"), "OK\n");

    const int id = placeCall();
    ASSERT_TRUE(waitFor([&] { return m_dialog->m_ringing == 1; }));

    // The call's states at the PBX while the window is busy, as sampled.
    std::atomic<bool> sampling{true};
    std::atomic<int> upSamples{0};
    std::atomic<int> downAfterUp{0};
    std::thread sampler([&] {
        bool seenUp = false;
        while (sampling) {
            const auto list = pbx->calls();
            const bool up = list.size() == 1 && list[0].state == "up";
            if (up) {
                seenUp = true;
                ++upSamples;
            } else if (seenUp) {
                ++downAfterUp;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });

    const auto before = Clock::now();
    click(IDC_BUT_ANSWER);
    // The connected state's handling runs the slow exchange.
    ASSERT_TRUE(waitFor([&] { return m_dialog->m_reasonIndex != -1; }, 30000));
    const auto busyMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - before).count();
    sampling = false;
    sampler.join();

    // The window was held up at least as long as the manager's delay, and
    // once up the call stayed up throughout.
    EXPECT_GE(busyMs, 4500);
    EXPECT_GT(upSamples.load(), 0);
    EXPECT_EQ(downAfterUp.load(), 0);
    EXPECT_TRUE(onlyCallIs("up"));
    const std::string pauses = pbx->command("pauses 7001");
    EXPECT_NE(pauses.find("pause aux5\nOK"), std::string::npos) << pauses;
    EXPECT_TRUE(m_boxes.shown.empty());

    // The call still works both ways.
    click(IDC_BUT_KEY_5);
    ASSERT_TRUE(waitFor([&] { return pbx->dtmf().size() == 1u; }));
    ASSERT_EQ(pbx->command("hangup " + std::to_string(id)), "OK\n");
    ASSERT_TRUE(waitFor([&] { return g_activeCallNo == -1; }));
}

}  // namespace
