// The engine's call table and registrations on their own: no socket, no
// threads, only the rules they keep.
#include <gtest/gtest.h>

#include <cstdint>

#include "voice/engine/call_table.h"
#include "voice/engine/registrations.h"

using namespace voice::engine;

namespace {

constexpr int kBusy = IAXC_CALL_STATE_ACTIVE | IAXC_CALL_STATE_COMPLETE;

}  // namespace

TEST(CallTable, FirstFreeSkipsBusySlotsAndReportsNoneWhenFull) {
    CallTable calls;
    calls.reset(3, "Name", "123");
    EXPECT_EQ(calls.firstFree(), 0);
    calls.at(0).state = kBusy;
    calls.at(2).state = kBusy;
    EXPECT_EQ(calls.firstFree(), 1);
    calls.at(1).state = kBusy;
    EXPECT_EQ(calls.firstFree(), -1);
    calls.setFree(2);
    EXPECT_EQ(calls.firstFree(), 2);
    EXPECT_FALSE(calls.inUse(2));
    EXPECT_TRUE(calls.inUse(0));
}

TEST(CallTable, AtLeastOneSlotEachWithTheCallerId) {
    CallTable calls;
    calls.reset(0, "Name", "123");
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(calls.at(0).callerName, "Name");
    EXPECT_EQ(calls.at(0).callerNumber, "123");
    EXPECT_EQ(calls.selected(), -1);
    EXPECT_FALSE(calls.valid(1));
    EXPECT_FALSE(calls.valid(-1));
}

TEST(CallTable, OutgoingCallTakesTheSelectedSlotUnlessItIsActive) {
    CallTable calls;
    calls.reset(3, "", "");
    calls.select(2);
    EXPECT_EQ(calls.slotForOutgoing(), 2);  // selected and idle, though not the first free
    calls.at(2).state = kBusy;
    EXPECT_EQ(calls.slotForOutgoing(), 0);
    calls.at(0).state = kBusy;
    calls.at(1).state = kBusy;
    EXPECT_EQ(calls.slotForOutgoing(), -1);
}

TEST(CallTable, MovingTheSelectionReportsOnlyAPreviousSlotWithACall) {
    CallTable calls;
    calls.reset(3, "", "");
    EXPECT_EQ(calls.select(0), -1);  // nothing selected before
    EXPECT_EQ(calls.select(1), -1);  // slot 0 held no call
    calls.at(1).state = kBusy;
    EXPECT_EQ(calls.select(1), -1);  // the same slot again
    EXPECT_EQ(calls.select(2), 1);
    EXPECT_FALSE(calls.at(1).selected);
    EXPECT_EQ(calls.selected(), 2);
    EXPECT_EQ(calls.select(7), -1);  // out of range: selects nothing
    EXPECT_EQ(calls.selected(), 7);
    EXPECT_EQ(calls.selectedCall(), -1);
}

TEST(CallTable, SelectedStateOnlyForTheCallThatWasChosen) {
    CallTable calls;
    calls.reset(2, "", "");
    calls.select(0);
    EXPECT_EQ(calls.reportedState(0), IAXC_CALL_STATE_FREE);  // no call, no SELECTED
    calls.at(0).state = kBusy;
    EXPECT_EQ(calls.reportedState(0), kBusy | IAXC_CALL_STATE_SELECTED);
    EXPECT_EQ(calls.selectedCall(), 0);
    // The call ends; a new one landing in the slot is not selected until chosen.
    calls.setFree(0);
    calls.at(0).state = kBusy;
    EXPECT_EQ(calls.selected(), 0);
    EXPECT_EQ(calls.selectedCall(), -1);
    EXPECT_EQ(calls.reportedState(0), kBusy);
    calls.deselect();
    EXPECT_EQ(calls.selected(), -1);
}

TEST(CallTable, DetachSessionOnlyForTheSlotsOwnDialog) {
    CallTable calls;
    calls.reset(1, "", "");
    calls.at(0).session = 42;
    calls.detachSession(0, 43);
    EXPECT_EQ(calls.at(0).session, 42);
    calls.detachSession(0, 42);
    EXPECT_EQ(calls.at(0).session, 0);
    calls.detachSession(5, 42);  // out of range: ignored
}

TEST(Registrations, RefreshComesAtFiveSixthsOfTheGrantedTime) {
    EXPECT_EQ(refreshDelayMs(60), 50000u);
    EXPECT_EQ(refreshDelayMs(6), 5000u);
    EXPECT_EQ(refreshDelayMs(0), 500u);  // never sooner than half a second
    Registrations regs;
    const int id = regs.add("101", "secret", "pbx").id;
    EXPECT_TRUE(regs.granted(id, 1000, 120));
    EXPECT_EQ(regs.find(id)->nextAttemptMs, 1000u + 100000u);
    EXPECT_TRUE(regs.granted(id, 1000, 0));  // a grant of 0 counts as 1 s
    EXPECT_EQ(regs.find(id)->nextAttemptMs, 1000u + 833u);
    EXPECT_FALSE(regs.granted(id + 1, 1000, 60));
}

TEST(Registrations, DueOnlyWhenIdleAndTimeHasComeAndOnlyOnce) {
    Registrations regs;
    const int a = regs.add("101", "s", "pbx-a").id;
    const int b = regs.add("102", "s", "pbx-b").id;
    EXPECT_EQ(b, a + 1);
    Registrations::attemptStarted(*regs.find(a), 0, 60);  // next try one refresh later
    regs.find(b)->nextAttemptMs = 30000;
    regs.find(b)->session = 7;  // an attempt under way
    EXPECT_EQ(regs.nextDueMs(), 60000u);
    EXPECT_TRUE(regs.takeDue(59999).empty());
    auto due = regs.takeDue(60000);
    ASSERT_EQ(due.size(), 1u);
    EXPECT_EQ(due[0].host, "pbx-a");
    EXPECT_TRUE(regs.takeDue(70000).empty());  // resolving: not due twice
    EXPECT_EQ(regs.nextDueMs(), UINT64_MAX);
    ASSERT_NE(regs.finishResolving(due[0].id), nullptr);
    EXPECT_EQ(regs.nextDueMs(), 60000u);

    // The attempt of b is forgotten with its dialog (or times out): b is due.
    regs.forgetSession(7);
    EXPECT_EQ(regs.nextDueMs(), 30000u);
    regs.find(b)->session = 8;
    EXPECT_TRUE(regs.timedOut(b));
    EXPECT_EQ(regs.find(b)->session, 0);
}

TEST(Registrations, RemovedOnesAreGoneAndNeverDue) {
    Registrations regs;
    const int a = regs.add("101", "s", "pbx").id;
    const int b = regs.add("102", "s", "pbx").id;
    const auto removed = regs.remove(a);
    ASSERT_TRUE(removed.has_value());
    EXPECT_EQ(removed->user, "101");
    EXPECT_FALSE(regs.remove(a).has_value());
    EXPECT_EQ(regs.find(a), nullptr);
    EXPECT_FALSE(regs.timedOut(a));
    auto due = regs.takeDue(0);
    ASSERT_EQ(due.size(), 1u);
    EXPECT_EQ(due[0].id, b);
    // Removed while its host was looked up: nothing to start.
    regs.remove(b);
    EXPECT_EQ(regs.finishResolving(b), nullptr);
    // Ids are not handed out again.
    EXPECT_EQ(regs.add("103", "s", "pbx").id, b + 1);
}
