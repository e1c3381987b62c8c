// The program's relay: events the engine reports on its own thread are
// handled on the Qt application's thread, in order, and the engine's thread
// never waits for the window's.
#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <thread>

#include "app/call_globals.h"
#include "app/control_ids.h"
#include "call/engine_events.h"
#include "call/event_relay.h"
#include "call_fixture.h"

namespace {

int l_argc = 1;
char l_name[] = "relay_qt_test";
char* l_argv[] = {l_name, nullptr};

class QtRelayTest : public CallTest {
protected:
    void SetUp() override {
        CallTest::SetUp();
        if (QCoreApplication::instance() == nullptr) new QCoreApplication(l_argc, l_argv);
        setEventRelay(nullptr);  // the program's own relay
        g_engine.callback = iaxEventCallback;
        window.threads.clear();
    }
};

TEST_F(QtRelayTest, EngineThreadPostsAndNeverWaitsForTheWindow) {
    constexpr int kTexts = 200;
    std::atomic<bool> engineDone{false};
    std::thread engine([&] {
        g_engine.deliver(registrationEvent(IAXC_REGISTRATION_REPLY_ACK));
        g_engine.deliver(stateEvent(0, IAXC_CALL_STATE_ACTIVE | IAXC_CALL_STATE_RINGING, "5550100", "Grace"));
        for (int i = 0; i < kTexts; ++i) {
            const std::string text = "message " + std::to_string(i);
            g_engine.deliver(textEvent(IAXC_TEXT_TYPE_STATUS, -1, text.c_str()));
        }
        g_engine.deliver(stateEvent(0, IAXC_CALL_STATE_FREE));
        engineDone = true;
    });
    // The window's thread is busy (it processes no events) until the engine
    // has delivered everything: a relay that waited for the window would
    // never let the engine finish.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!engineDone && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    engine.join();
    ASSERT_TRUE(engineDone);
    EXPECT_EQ(window.buttonFace(IDC_BUT_START), IDB_START);  // nothing handled yet
    EXPECT_TRUE(window.threads.empty());

    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(window.buttonFace(IDC_BUT_START), IDB_ONLINE);
    EXPECT_EQ(window.text(IDC_EDIT_REMOTE_NUMBER), "5550100");
    EXPECT_EQ(g_activeCallNo, -1);  // the FREE came last
    EXPECT_EQ(window.m_ringing, 0);
    ASSERT_EQ(window.threads.size(), 1u);
    EXPECT_EQ(*window.threads.begin(), std::this_thread::get_id());

    // The texts arrived in the order they were reported.
    std::vector<std::string> texts;
    for (const auto& line : logLines()) {
        if (line.rfind("IAXC_EVENT_TEXT:", 0) == 0) texts.push_back(line);
    }
    ASSERT_EQ(texts.size(), static_cast<size_t>(kTexts));
    for (int i = 0; i < kTexts; ++i) {
        EXPECT_EQ(texts[i], "IAXC_EVENT_TEXT: (type,callno,msg)=(Status[1],-1,message " + std::to_string(i) + ")");
    }
}

}  // namespace
