// Window timers whose work touches the call or the agent's state tick while
// an event's handling waits for a message box: their tick waits its turn,
// once, and is dropped when the timer was stopped meanwhile. The flashing of
// the Answer face goes on inside the box.
#include <QTest>

#include <map>

#include "app/control_ids.h"
#include "app/serial_work.h"
#include "tests/support/window/ui_fixture.h"

namespace {

using SerialTimersTest = UiTest;

TEST_F(SerialTimersTest, TicksDuringAnEventsBoxWaitForItsEnd) {
    CQuendraDlg& dlg = makeDialog();
    std::map<int, int> fired;
    for (int id : {TIMERID_RINGCOLOR, TIMERID_RINGING, TIMERID_INBOUNDTIMEDACW, TIMERID_MWICHECKER}) {
        dlg.setTimerHandler(id, [&fired, id] { ++fired[id]; });
    }
    std::map<int, int> firedInsideTheBox;
    runSerialWork([&] {
        // An event's handling opens a box: its event loop runs the timers.
        for (int id : {TIMERID_RINGCOLOR, TIMERID_RINGING, TIMERID_INBOUNDTIMEDACW, TIMERID_MWICHECKER}) {
            ASSERT_TRUE(dlg.startTimer(id, 10));
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return fired[TIMERID_RINGCOLOR] >= 10; }, 20000));
        firedInsideTheBox = fired;
        // The handling stops the timed after-call work before it ends.
        dlg.stopTimer(TIMERID_INBOUNDTIMEDACW);
        EXPECT_EQ(serialWorkWaiting(), 3u) << "one tick waits for each timer";
    });
    std::map<int, int> firedRightAfter = fired;
    for (int id : {TIMERID_RINGCOLOR, TIMERID_RINGING, TIMERID_MWICHECKER}) dlg.stopTimer(id);

    EXPECT_GE(firedInsideTheBox[TIMERID_RINGCOLOR], 10);
    EXPECT_EQ(firedInsideTheBox[TIMERID_RINGING], 0);
    EXPECT_EQ(firedInsideTheBox[TIMERID_INBOUNDTIMEDACW], 0);
    EXPECT_EQ(firedInsideTheBox[TIMERID_MWICHECKER], 0);
    // Right after the handling: one tick of each timer still running, none
    // of the stopped one.
    EXPECT_EQ(firedRightAfter[TIMERID_RINGING], 1);
    EXPECT_EQ(firedRightAfter[TIMERID_MWICHECKER], 1);
    EXPECT_EQ(firedRightAfter[TIMERID_INBOUNDTIMEDACW], 0);
    EXPECT_FALSE(serialWorkRunning());
    EXPECT_EQ(serialWorkWaiting(), 0u);
}

TEST_F(SerialTimersTest, TicksRunAtOnceWhenNothingElseRuns) {
    CQuendraDlg& dlg = makeDialog();
    int fired = 0;
    dlg.setTimerHandler(TIMERID_MWICHECKER, [&] {
        EXPECT_TRUE(serialWorkRunning()) << "a tick is serial work of its own";
        ++fired;
    });
    ASSERT_TRUE(dlg.startTimer(TIMERID_MWICHECKER, 10));
    ASSERT_TRUE(QTest::qWaitFor([&] { return fired >= 3; }, 20000));
    dlg.stopTimer(TIMERID_MWICHECKER);
    EXPECT_EQ(serialWorkWaiting(), 0u);
}

}  // namespace
