// Engine events that arrive while a message box opened by another event's
// handling is open: the box runs an event loop of its own, as every modal box
// does, yet the event that opened it is handled whole before the next one.
#include <QCoreApplication>

#include <atomic>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/call_globals.h"
#include "app/control_ids.h"
#include "call/event_relay.h"
#include "tests/support/window/call_window_fixture.h"
#include "tests/support/window/scripted_message_boxes.h"

namespace {

std::atomic<int> l_ringsRelayed{0};

// The program's own relay, counting the inbound rings it has handed on.
void countingRelay(const iaxc_event& event) {
    defaultEventRelay(event);
    const int state = event.ev.call.state;
    if (event.type == IAXC_EVENT_STATE && (state & IAXC_CALL_STATE_RINGING) != 0 &&
        (state & IAXC_CALL_STATE_OUTGOING) == 0) {
        ++l_ringsRelayed;
    }
}

class BoxEventsWindowTest : public CallWindowTest {
protected:
    void SetUp() override {
        CallWindowTest::SetUp();
        l_ringsRelayed = 0;
        // Like QMessageBox::exec, a box keeps the window thread's events
        // flowing while it is open; insideFirstBox runs inside the first.
        boxes.whileOpen = [this] {
            if (auto action = std::exchange(insideFirstBox, nullptr)) action();
            QCoreApplication::processEvents();
        };
        setEventRelay(countingRelay);
    }
    void TearDown() override {
        CallWindowTest::TearDown();
        setEventRelay(nullptr);
    }
    std::string pauses() const { return pbx->command("pauses 7001"); }
    bool pausesAre(const std::string& expected) const { return pauses() == expected; }

    ScriptedMessageBoxes boxes;  // outlives the window, whose tear-down comes first
    std::function<void()> insideFirstBox;
};

TEST_F(BoxEventsWindowTest, CallRingingWhileTheReleaseBoxIsOpenKeepsItsAgentReactions) {
    startPbx();
    openWindow("inboundAnswerNotReady=1\ninboundReleaseAction=3\n");
    startAndRegister();
    click(IDC_BUT_LOGIN);
    ASSERT_TRUE(isEnabled(IDC_BUT_LOGOUT)) << "agent login failed";
    setMessageBoxes(&boxes);

    // Call 1 is answered: Inbound NR.
    const int first = placeCall();
    ASSERT_TRUE(waitFor([&] { return m_dialog->m_ringing == 1; }, 10000));
    click(IDC_BUT_ANSWER);
    ASSERT_TRUE(waitFor([&] { return pausesAre("pause true\npause aux5\nOK 2\n"); }, 10000)) << pauses();

    // The manager refuses the release action's ACW; while its warning box is
    // open, call 2 rings and its ringing reaches the window's thread.
    ASSERT_EQ(pbx->command("manager fail"), "OK\n");
    int second = -1;
    bool ringingSeenInsideTheBox = false;
    insideFirstBox = [&] {
        second = placeCall("7001", "5559876", "Bea Second");
        waitFor([] { return l_ringsRelayed.load() >= 2; }, 10000);
        QCoreApplication::processEvents();
        ringingSeenInsideTheBox = m_dialog->m_ringing == 1;
    };
    ASSERT_EQ(pbx->command("hangup " + std::to_string(first)), "OK\n");

    // After the box, call 2 rings as any call does.
    ASSERT_TRUE(waitFor([&] { return m_dialog->m_ringing == 1; }, 10000));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text.rfind("**WRN**: operation [ACWIB] cannot be completed", 0), 0u)
        << boxes.shown[0].text;
    EXPECT_FALSE(ringingSeenInsideTheBox) << "call 2 was handled in the middle of call 1's end";
    EXPECT_EQ(l_ringsRelayed.load(), 2);
    EXPECT_EQ(text(IDC_EDIT_REMOTE_NUMBER), "5559876");

    // Call 2 answered: Inbound NR again; ended: its release action.
    click(IDC_BUT_ANSWER);
    ASSERT_TRUE(waitFor([&] { return pausesAre("pause true\npause aux5\npause aux5\nOK 3\n"); }, 10000))
        << pauses();
    ASSERT_EQ(pbx->command("hangup " + std::to_string(second)), "OK\n");
    ASSERT_TRUE(waitFor([&] { return g_activeCallNo == -1 && !isEnabled(IDC_BUT_ACWIB); }, 10000));
    EXPECT_EQ(pauses(), "pause true\npause aux5\npause aux5\npause acwib\nOK 4\n");
    EXPECT_EQ(boxes.shown.size(), 1u);
}

}  // namespace
