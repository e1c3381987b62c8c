// The release actions at the end of inbound and outbound calls, timed
// after-call work and its expiry, and Not Ready on answering.
#include <string>
#include <vector>

#include "agent/agent_modes.h"
#include "agent/socket_layer.h"
#include "agent_fixture.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "fake_manager_link.h"

namespace {

using Strings = std::vector<std::string>;

constexpr int kInbound = 1;
constexpr int kOutbound = 2;

struct Side {
    const char* name;
    int direction;
    int32_t Settings::*action;
    int32_t Settings::*seconds;
    int timerId;
    int* flag;
    AgentState acwState;
    const char* acwExchange;
    const char* readyLine;   // logged by release action 1
    const char* expiryLine;  // logged when the timed ACW ends
};

const Side kSides[] = {
    {"inbound", kInbound, &Settings::inboundReleaseAction, &Settings::inboundTimedACW, TIMERID_INBOUNDTIMEDACW,
     &g_inboundTimedAcwActive, AgentState::AcwInbound, "mode ACW acwib",
     "**DEB** iaxEventCallback()->Inbound releaseAction->call OnBnClickedButReady()",
     "**DEB** OnTimer()->Inbound timed ACW->call OnBnClickedButReady()"},
    {"outbound", kOutbound, &Settings::outboundReleaseAction, &Settings::outboundTimedACW,
     TIMERID_OUTBOUNDTIMEDACW, &g_outboundTimedAcwActive, AgentState::AcwOutbound, "mode ACW-OB acwob",
     "**DEB** iaxEventCallback()->outbound releaseAction->call OnBnClickedButReady()",
     "**DEB** OnTimer()->Outbound timed ACW->call OnBnClickedButReady()"},
};

class ReleaseActionTest : public AgentFixture, public ::testing::WithParamInterface<Side> {
protected:
    const Side& side() const { return GetParam(); }
    void configure(int action, int seconds = 0) {
        g_settings.*(side().action) = action;
        g_settings.*(side().seconds) = seconds;
    }
    // A call of this side's direction ends (the event handler has already
    // marked it as ended).
    void endCall() {
        callActive(false);
        runReleaseAction(side().direction);
    }
    // Fires the timer as the window would.
    void fireTimer() {
        ASSERT_TRUE(window.timerRunning(side().timerId)) << "timer not running";
        onTimedAcwTimer(side().timerId);
    }
    Strings exchangesSince(size_t from) const {
        return Strings(g_fakeLink.exchanges.begin() + from, g_fakeLink.exchanges.end());
    }
};

TEST_P(ReleaseActionTest, NoActionAndUnknownValuesDoNothing) {
    enterState(AgentState::NotReady);
    for (int action : {0, 5, -1, 99}) {
        configure(action, 10);
        const size_t before = g_fakeLink.exchanges.size();
        endCall();
        EXPECT_EQ(g_fakeLink.exchanges.size(), before) << action;
    }
    expectState(AgentState::NotReady);
    EXPECT_TRUE(window.runningTimers.empty());
}

TEST_P(ReleaseActionTest, ActionOneGoesReadyOnlyFromAnotherMode) {
    configure(1);
    enterState(AgentState::NotReady);
    size_t before = g_fakeLink.exchanges.size();
    endCall();
    EXPECT_EQ(exchangesSince(before), (Strings{"mode Ready false"}));
    expectState(AgentState::Ready);
    EXPECT_EQ(logLines(side().readyLine), 1);

    // Already Ready: the Ready button is disabled, nothing is sent.
    before = g_fakeLink.exchanges.size();
    endCall();
    EXPECT_EQ(g_fakeLink.exchanges.size(), before);
    EXPECT_EQ(logLines(side().readyLine), 1);
}

TEST_P(ReleaseActionTest, ActionTwoGoesNotReady) {
    configure(2);
    enterState(AgentState::AcwInbound);
    const size_t before = g_fakeLink.exchanges.size();
    endCall();
    EXPECT_EQ(exchangesSince(before), (Strings{"mode NotReady true"}));
    expectState(AgentState::NotReady);
    endCall();  // AUX now disabled
    EXPECT_EQ(g_fakeLink.exchanges.size(), before + 1);
}

TEST_P(ReleaseActionTest, ActionThreeGoesToThisSidesAcw) {
    configure(3);
    enterState(AgentState::Ready);
    const size_t before = g_fakeLink.exchanges.size();
    endCall();
    EXPECT_EQ(exchangesSince(before), (Strings{side().acwExchange}));
    expectState(side().acwState);
    EXPECT_TRUE(window.runningTimers.empty());
    endCall();
    EXPECT_EQ(g_fakeLink.exchanges.size(), before + 1);
}

TEST_P(ReleaseActionTest, TimedAcwReturnsToReadyAtExpiry) {
    configure(4, 30);
    enterState(AgentState::NotReady);
    const size_t before = g_fakeLink.exchanges.size();
    endCall();
    EXPECT_EQ(exchangesSince(before), (Strings{side().acwExchange}));
    expectState(side().acwState);
    EXPECT_EQ(window.timerPeriod(side().timerId), 30000);
    EXPECT_EQ(*side().flag, 1);

    fireTimer();

    EXPECT_EQ(exchangesSince(before), (Strings{side().acwExchange, "mode Ready false"}));
    expectState(AgentState::Ready);
    EXPECT_FALSE(window.timerRunning(side().timerId));
    EXPECT_EQ(*side().flag, 0);
    EXPECT_EQ(logLines(side().expiryLine), 1);
    EXPECT_EQ(g_fakeLink.pausedValues.back(), "false");
}

TEST_P(ReleaseActionTest, TimedAcwStartsAlsoWhenAcwIsInForce) {
    configure(4, 7);
    enterState(side().acwState);
    const size_t before = g_fakeLink.exchanges.size();
    endCall();
    EXPECT_EQ(g_fakeLink.exchanges.size(), before);
    EXPECT_EQ(window.timerPeriod(side().timerId), 7000);
    fireTimer();
    expectState(AgentState::Ready);
}

TEST_P(ReleaseActionTest, PressInBetweenCancelsTheTimedAcw) {
    configure(4, 30);
    enterState(AgentState::Ready);
    endCall();
    ASSERT_TRUE(window.timerRunning(side().timerId));

    OnBnClickedButAux();
    EXPECT_FALSE(window.timerRunning(side().timerId));
    EXPECT_EQ(*side().flag, 0);

    // A tick already on its way finds the flag clear: no second change.
    const size_t before = g_fakeLink.exchanges.size();
    onTimedAcwTimer(side().timerId);
    EXPECT_EQ(g_fakeLink.exchanges.size(), before);
    expectState(AgentState::NotReady);
    EXPECT_EQ(logLines(side().expiryLine), 0);
}

TEST_P(ReleaseActionTest, ReadyPressedDuringTimedAcwFiresNoSecondReady) {
    configure(4, 30);
    enterState(AgentState::Ready);
    endCall();
    OnBnClickedButReady();
    expectState(AgentState::Ready);
    EXPECT_FALSE(window.timerRunning(side().timerId));
    const size_t before = g_fakeLink.exchanges.size();
    onTimedAcwTimer(side().timerId);
    EXPECT_EQ(g_fakeLink.exchanges.size(), before);
}

TEST_P(ReleaseActionTest, ReasonAndNewCallCancelTheTimedAcw) {
    configure(4, 30);
    enterState(AgentState::Ready);
    endCall();
    window.pickReason(6);
    OnCbnSelchangeComboReason();
    EXPECT_FALSE(window.timerRunning(side().timerId));

    endCall();
    ASSERT_TRUE(window.timerRunning(side().timerId));
    killTimedAcwTimers();  // what the event handler does when a call becomes active
    EXPECT_FALSE(window.timerRunning(side().timerId));
    EXPECT_EQ(*side().flag, 0);
}

TEST_P(ReleaseActionTest, TimedAcwBelowOneSecondDoesNothing) {
    configure(4, 0);
    enterState(AgentState::Ready);
    const size_t before = g_fakeLink.exchanges.size();
    endCall();
    EXPECT_EQ(g_fakeLink.exchanges.size(), before);
    EXPECT_TRUE(window.timerEvents.empty());
    expectState(AgentState::Ready);
}

TEST_P(ReleaseActionTest, TimerThatCannotStartIsLoggedAndLeavesTheFlagClear) {
    configure(4, 15);
    enterState(AgentState::Ready);
    window.refuseTimers = true;
    endCall();
    expectState(side().acwState);
    EXPECT_EQ(*side().flag, 0);
    const std::string log = logText();
    EXPECT_NE(log.find("**ERR** iaxEventCallback()->"), std::string::npos);
    EXPECT_NE(log.find("SetTimer(" + std::to_string(side().timerId) + ", 15 sec) failed"), std::string::npos);
}

TEST_P(ReleaseActionTest, SecondsNoTimerCanCountAreATimerThatCannotStart) {
    configure(4, 3000000);
    enterState(AgentState::Ready);
    endCall();
    expectState(side().acwState);
    EXPECT_FALSE(window.timerRunning(side().timerId));
    EXPECT_EQ(*side().flag, 0);
    EXPECT_NE(logText().find("3000000 sec) failed"), std::string::npos);
}

TEST_P(ReleaseActionTest, RefusedAcwStillRunsTheTimer) {
    configure(4, 5);
    enterState(AgentState::Ready);
    g_fakeLink.modeResults = {0};
    endCall();
    EXPECT_EQ(boxes.countStartingWith("**WRN**: operation [ACW"), 1);
    EXPECT_TRUE(window.timerRunning(side().timerId));
    fireTimer();
    EXPECT_EQ(g_fakeLink.exchanges.back(), "mode Ready false");
}

TEST_P(ReleaseActionTest, TimedAcwNeverStartsOnceANewCallIsActive) {
    configure(4, 5);
    enterState(AgentState::Ready);
    // The ACW is refused; while its warning box is open a new call becomes
    // active.
    g_fakeLink.modeResults = {0};
    boxes.whileOpen = [this] { callActive(true); };
    endCall();
    EXPECT_EQ(boxes.countStartingWith("**WRN**: operation [ACW"), 1);
    EXPECT_FALSE(window.timerRunning(side().timerId));
    EXPECT_EQ(*side().flag, 0);
}

TEST_P(ReleaseActionTest, LostLinkDuringTimedAcwGivesOneResetBoxAndNoTimer) {
    configure(4, 5);
    enterState(AgentState::Ready);
    g_fakeLink.modeResults = {-1};
    endCall();
    EXPECT_EQ(boxes.count(kResetText), 1);
    EXPECT_EQ(boxes.shown.size(), 1u);
    EXPECT_FALSE(window.timerRunning(side().timerId));
    EXPECT_EQ(*side().flag, 0);
    // A later call's end finds no agent logged in and no button enabled.
    const size_t before = g_fakeLink.exchanges.size();
    endCall();
    EXPECT_EQ(g_fakeLink.exchanges.size(), before);
    EXPECT_EQ(boxes.shown.size(), 1u);
}

TEST_P(ReleaseActionTest, NothingHappensWithoutALink) {
    for (int action : {1, 2, 3, 4}) {
        configure(action, 10);
        enterState(AgentState::ModeNotSet);
        window.enableControl(IDC_BUT_READY, true);
        window.enableControl(IDC_BUT_AUX, true);
        g_acmSocket = 0;
        const size_t before = g_fakeLink.exchanges.size();
        endCall();
        EXPECT_EQ(g_fakeLink.exchanges.size(), before) << action;
        EXPECT_TRUE(window.runningTimers.empty());
        showRegisteredLoggedOut();
    }
}

TEST_P(ReleaseActionTest, BusyRuleDoesNotStopActionsAfterTheCallEnded) {
    g_settings.noChangeAgentWhenBusy = 1;
    configure(1);
    enterState(AgentState::NotReady);
    callActive(true);
    OnBnClickedButReady();  // refused during the call
    EXPECT_EQ(boxes.count(kBusyText), 1);
    expectState(AgentState::NotReady);

    endCall();  // the call has ended when the release action runs
    expectState(AgentState::Ready);
    EXPECT_EQ(boxes.shown.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(BothDirections, ReleaseActionTest, ::testing::ValuesIn(kSides),
                         [](const ::testing::TestParamInfo<Side>& info) { return std::string(info.param.name); });

class CallReactionTest : public AgentFixture {};

TEST_F(CallReactionTest, CallWithoutDirectionHasNoReleaseAction) {
    g_settings.inboundReleaseAction = 1;
    g_settings.outboundReleaseAction = 1;
    enterState(AgentState::NotReady);
    const size_t before = g_fakeLink.exchanges.size();
    runReleaseAction(0);
    runReleaseAction(3);
    EXPECT_EQ(g_fakeLink.exchanges.size(), before);
}

TEST_F(CallReactionTest, TimerTicksOfOtherIdsAreIgnored) {
    enterState(AgentState::AcwInbound);
    g_inboundTimedAcwActive = 1;
    window.startTimer(TIMERID_INBOUNDTIMEDACW, 1000);
    window.timerEvents.clear();
    onTimedAcwTimer(TIMERID_MWICHECKER);
    EXPECT_TRUE(window.timerEvents.empty());
    EXPECT_EQ(g_inboundTimedAcwActive, 1);
}

TEST_F(CallReactionTest, InboundAnswerSetsReasonOne) {
    enterState(AgentState::AcwInbound);
    g_inboundTimedAcwActive = 1;  // left alone, and no busy rule
    window.startTimer(TIMERID_INBOUNDTIMEDACW, 1000);
    callActive(true);
    runInboundAnswerNotReady();
    EXPECT_EQ(g_fakeLink.exchanges.back(), "mode Inbound NR aux5");
    EXPECT_EQ(g_fakeLink.pausedValues.back(), "aux5");
    expectState(AgentState::NotReadyWithReason, 1);
    EXPECT_TRUE(window.timerRunning(TIMERID_INBOUNDTIMEDACW));
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(logLines("**DEB** IAXC_EVENT_STATE: INBOUND/COMPLETE g_inboundAnswerNotReady on"), 1);
}

TEST_F(CallReactionTest, InboundAnswerRefusedShowsNothing) {
    enterState(AgentState::Ready);
    callActive(true);
    g_fakeLink.modeResults = {0};
    runInboundAnswerNotReady();
    EXPECT_TRUE(boxes.shown.empty());
    expectState(AgentState::Ready);
    EXPECT_EQ(logLines("**DEB** IAXC_EVENT_STATE: INBOUND/COMPLETE g_inboundAnswerNotReady on"), 1);
}

TEST_F(CallReactionTest, InboundAnswerOnALostLinkResets) {
    enterState(AgentState::Ready);
    callActive(true);
    g_fakeLink.modeResults = {-1};
    runInboundAnswerNotReady();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, kResetText);
    EXPECT_FALSE(enabled(IDC_BUT_LOGOUT));
    EXPECT_EQ(logLines("**DEB** IAXC_EVENT_STATE: INBOUND/COMPLETE g_inboundAnswerNotReady on"), 1);
}

TEST_F(CallReactionTest, AnsweredOutboundCallSetsNoReason) {
    enterState(AgentState::Ready);
    callActive(true, CALLTYPE_OUTBOUND);
    const size_t before = g_fakeLink.exchanges.size();
    runInboundAnswerNotReady();
    EXPECT_EQ(g_fakeLink.exchanges.size(), before);
    expectState(AgentState::Ready);
}

TEST_F(CallReactionTest, InboundAnswerNeedsTheSettingAndALoggedInAgent) {
    callActive(true);
    runInboundAnswerNotReady();  // logged out
    EXPECT_TRUE(g_fakeLink.exchanges.empty());
    callActive(false);

    enterState(AgentState::Ready);
    callActive(true);
    g_settings.inboundAnswerNotReady = 0;
    const size_t before = g_fakeLink.exchanges.size();
    runInboundAnswerNotReady();
    EXPECT_EQ(g_fakeLink.exchanges.size(), before);
    expectState(AgentState::Ready);
}

}  // namespace
