// The Not Ready reason list and setNotReadyReason, as the list and the Dial
// operation use them.
#include <string>

#include "agent/agent_modes.h"
#include "agent_fixture.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "fake_manager_link.h"

namespace {

class ReasonListTest : public AgentFixture {
protected:
    void pick(int index) {
        window.pickReason(index);
        OnCbnSelchangeComboReason();
    }
};

TEST_F(ReasonListTest, AgentReasonsSendAuxNumberFollowingTheIndex) {
    enterState(AgentState::Ready);
    for (int index = 2; index < 8; ++index) {
        SCOPED_TRACE(index);
        window.focus = 0;
        pick(index);
        const std::string paused = "aux" + std::to_string(index + 4);
        EXPECT_EQ(g_fakeLink.exchanges.back(), std::string("mode ") + g_notReadyReasons[index] + " " + paused);
        EXPECT_EQ(g_fakeLink.pausedValues.back(), paused);
        expectState(AgentState::NotReadyWithReason, index);
        EXPECT_EQ(window.focus, IDC_EDIT_TRANSFER);
    }
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ReasonListTest, RenamedEntryKeepsItsNumber) {
    copyText(g_notReadyReasons[3], "Lunch");
    enterState(AgentState::NotReady);
    pick(3);
    EXPECT_EQ(g_fakeLink.exchanges.back(), "mode Lunch aux7");
    expectState(AgentState::NotReadyWithReason, 3);
}

TEST_F(ReasonListTest, ProgramOnlyEntriesAreRefused) {
    enterState(AgentState::Ready);
    const size_t before = g_fakeLink.exchanges.size();
    for (int index : {0, 1}) {
        SCOPED_TRACE(index);
        boxes.shown.clear();
        window.focus = 0;
        pick(index);
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].text, kProgramOnlyText);
        EXPECT_EQ(boxes.shown[0].icon, BoxIcon::None);
        EXPECT_EQ(window.reasonSelection(), -1);  // none was selected before
        EXPECT_EQ(window.m_reasonIndex, -1);
        EXPECT_EQ(window.focus, IDC_EDIT_TRANSFER);
    }
    // With a reason in force, that reason comes back.
    pick(6);
    boxes.shown.clear();
    pick(1);
    EXPECT_EQ(boxes.count(kProgramOnlyText), 1);
    expectState(AgentState::NotReadyWithReason, 6);
    EXPECT_EQ(g_fakeLink.exchanges.size(), before + 1);
}

TEST_F(ReasonListTest, EntryAlreadyInForceSendsNothing) {
    enterState(AgentState::NotReadyWithReason);  // entry 4
    const size_t before = g_fakeLink.exchanges.size();
    window.focus = 0;
    pick(4);
    EXPECT_EQ(g_fakeLink.exchanges.size(), before);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(window.focus, IDC_EDIT_TRANSFER);
    expectState(AgentState::NotReadyWithReason, 4);
}

TEST_F(ReasonListTest, NoSelectionForgetsTheReason) {
    enterState(AgentState::NotReadyWithReason);
    pick(-1);
    EXPECT_EQ(window.m_reasonIndex, -1);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ReasonListTest, RefusedReasonKeepsShowingTheChoiceButNotItsIndex) {
    enterState(AgentState::NotReadyWithReason);  // entry 4 in force
    g_fakeLink.modeResults = {0};
    window.focus = 0;
    pick(7);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, operationFailedBox("AUX11"));
    EXPECT_EQ(window.reasonSelection(), 7);
    EXPECT_EQ(window.m_reasonIndex, 4);
    EXPECT_EQ(window.focus, IDC_EDIT_TRANSFER);
}

TEST_F(ReasonListTest, LostLinkResets) {
    enterState(AgentState::Ready);
    g_fakeLink.modeResults = {-1};
    pick(2);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, kResetText);
    EXPECT_EQ(window.m_reasonIndex, -1);
    EXPECT_FALSE(enabled(IDC_BUT_LOGOUT));
    EXPECT_TRUE(enabled(IDC_BUT_LOGIN));
}

TEST_F(ReasonListTest, BusyRuleRestoresTheSelectionFirst) {
    enterState(AgentState::NotReadyWithReason);
    callActive(true);
    window.focus = 0;
    pick(2);
    EXPECT_EQ(boxes.count(kBusyText), 1);
    EXPECT_EQ(window.reasonSelection(), 4);
    EXPECT_EQ(window.focus, IDC_EDIT_TRANSFER);
    expectState(AgentState::NotReadyWithReason, 4);
}

TEST_F(ReasonListTest, DialNotReadyThroughSetNotReadyReason) {
    enterState(AgentState::AcwOutbound);
    g_outboundTimedAcwActive = 1;
    window.startTimer(TIMERID_OUTBOUNDTIMEDACW, 9000);
    window.focus = 0;
    EXPECT_EQ(setNotReadyReason("Outbound NR", "aux4"), 1);
    EXPECT_EQ(g_fakeLink.exchanges.back(), "mode Outbound NR aux4");
    expectModeButtons(true, true, true, true);
    EXPECT_FALSE(window.timerRunning(TIMERID_OUTBOUNDTIMEDACW));
    EXPECT_EQ(window.focus, IDC_EDIT_TRANSFER);
    // Dial itself selects entry 0 and sets the index; setNotReadyReason
    // leaves the list to its caller.
    EXPECT_EQ(window.m_reasonIndex, -1);

    g_fakeLink.modeResults = {0, -1};
    EXPECT_EQ(setNotReadyReason("Outbound NR", "aux4"), 0);
    EXPECT_EQ(boxes.count(operationFailedBox("Outbound NR")), 1);
    EXPECT_EQ(setNotReadyReason("Outbound NR", "aux4"), 0);
    EXPECT_EQ(boxes.count(kResetText), 1);
    EXPECT_EQ(boxes.shown.size(), 2u);
}

}  // namespace
