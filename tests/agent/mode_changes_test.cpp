// The four mode buttons against every row of the agent state table, the
// refused and the lost mode change, the busy rule, and the shared helpers.
#include <string>
#include <tuple>
#include <vector>

#include "agent/agent_modes.h"
#include "agent/socket_layer.h"
#include "agent_fixture.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "fake_manager_link.h"

namespace {

struct ModeButton {
    const char* name;
    void (*press)();
    AgentState target;
    const char* exchange;  // what goes to the manager
    const char* paused;
    int buttonId;
};

const ModeButton kButtons[] = {
    {"Ready", OnBnClickedButReady, AgentState::Ready, "mode Ready false", "false", IDC_BUT_READY},
    {"AUX", OnBnClickedButAux, AgentState::NotReady, "mode NotReady true", "true", IDC_BUT_AUX},
    {"ACWIB", OnBnClickedButAcwib, AgentState::AcwInbound, "mode ACW acwib", "acwib", IDC_BUT_ACWIB},
    {"ACWOB", OnBnClickedButAcwob, AgentState::AcwOutbound, "mode ACW-OB acwob", "acwob", IDC_BUT_ACWOB},
};

// The logged-in rows of the state table with the buttons they leave enabled
// (Ready, AUX, ACWIB, ACWOB): the transitions an agent can make.
struct Row {
    AgentState state;
    bool enabled[4];
};

const Row kLoggedInRows[] = {
    {AgentState::Ready, {false, true, true, true}},
    {AgentState::NotReady, {true, false, true, true}},
    {AgentState::AcwInbound, {true, true, false, true}},
    {AgentState::AcwOutbound, {true, true, true, false}},
    {AgentState::NotReadyWithReason, {true, true, true, true}},
    {AgentState::ModeNotSet, {false, false, true, true}},
};

std::vector<std::tuple<AgentState, int>> transitions() {
    std::vector<std::tuple<AgentState, int>> all;
    for (const Row& row : kLoggedInRows)
        for (int button = 0; button < 4; ++button)
            if (row.enabled[button]) all.emplace_back(row.state, button);
    return all;
}

const char* stateName(AgentState state) {
    switch (state) {
        case AgentState::LoggedOut:
            return "LoggedOut";
        case AgentState::Ready:
            return "Ready";
        case AgentState::NotReady:
            return "NotReady";
        case AgentState::AcwInbound:
            return "AcwInbound";
        case AgentState::AcwOutbound:
            return "AcwOutbound";
        case AgentState::NotReadyWithReason:
            return "NotReadyWithReason";
        case AgentState::ModeNotSet:
            return "ModeNotSet";
    }
    return "?";
}

class ModeTransitionTest : public AgentFixture,
                           public ::testing::WithParamInterface<std::tuple<AgentState, int>> {};

TEST_P(ModeTransitionTest, EnabledButtonLeadsToItsRow) {
    const AgentState from = std::get<0>(GetParam());
    const ModeButton& button = kButtons[std::get<1>(GetParam())];
    g_fakeLink.reset();
    enterState(from);
    ASSERT_TRUE(enabled(button.buttonId));
    window.focus = 0;
    const size_t before = g_fakeLink.exchanges.size();

    button.press();

    ASSERT_EQ(g_fakeLink.exchanges.size(), before + 1);
    EXPECT_EQ(g_fakeLink.exchanges.back(), button.exchange);
    EXPECT_EQ(g_fakeLink.pausedValues.back(), button.paused);
    expectState(button.target);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_P(ModeTransitionTest, RefusedChangeWarnsByNameAndKeepsTheRow) {
    const AgentState from = std::get<0>(GetParam());
    const ModeButton& button = kButtons[std::get<1>(GetParam())];
    g_fakeLink.reset();
    enterState(from);
    ASSERT_TRUE(enabled(button.buttonId));
    const int reasonBefore = window.m_reasonIndex;
    g_fakeLink.modeResults = {0};

    button.press();

    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, operationFailedBox(button.name));
    EXPECT_EQ(boxes.shown[0].icon, BoxIcon::Warning);
    EXPECT_EQ(logLines(std::string("**WRN**: operation [") + button.name + "] cannot be completed"), 1);
    expectState(from, reasonBefore);
}

INSTANTIATE_TEST_SUITE_P(EveryRowEveryButton, ModeTransitionTest, ::testing::ValuesIn(transitions()),
                         [](const ::testing::TestParamInfo<ModeTransitionTest::ParamType>& info) {
                             return std::string(stateName(std::get<0>(info.param))) + "_" +
                                    kButtons[std::get<1>(info.param)].name;
                         });

class ModeChangeTest : public AgentFixture {};

TEST_F(ModeChangeTest, LostLinkGivesOneResetBoxAndNoWarning) {
    for (const ModeButton& button : kButtons) {
        SCOPED_TRACE(button.name);
        boxes.shown.clear();
        g_fakeLink.reset();
        showRegisteredLoggedOut();
        enterState(AgentState::NotReadyWithReason);
        ASSERT_EQ(window.m_reasonIndex, 4);
        const int socketBefore = g_acmSocket;
        g_fakeLink.modeResults = {-1};

        button.press();

        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].text, kResetText);
        EXPECT_EQ(boxes.shown[0].icon, BoxIcon::Error);
        EXPECT_EQ(boxes.countStartingWith("**WRN**: operation"), 0);
        // Link lost: Login on, Logout and the mode buttons off, the list and
        // the login fields as they were, the handle kept until next Login.
        EXPECT_TRUE(enabled(IDC_BUT_LOGIN));
        EXPECT_FALSE(enabled(IDC_BUT_LOGOUT));
        expectModeButtons(false, false, false, false);
        EXPECT_TRUE(enabled(IDC_COMBO_REASON));
        EXPECT_EQ(window.reasonSelection(), 4);
        EXPECT_FALSE(enabled(IDC_EDIT_ACM_USER));
        EXPECT_FALSE(enabled(IDC_EDIT_ACM_PASS));
        EXPECT_EQ(g_acmSocket, socketBefore);
    }
    EXPECT_EQ(logLines("**WRN** resetAgentLogin(), socket was disconnected unexpectedly"), 4);
}

TEST_F(ModeChangeTest, BusyRuleRefusesEveryAgentOperationDuringACall) {
    enterState(AgentState::NotReady);
    callActive(true);
    const size_t exchanges = g_fakeLink.exchanges.size();
    for (const ModeButton& button : kButtons) button.press();
    OnBnClickedButLogout();
    window.pickReason(3);
    OnCbnSelchangeComboReason();

    EXPECT_EQ(g_fakeLink.exchanges.size(), exchanges);
    EXPECT_EQ(boxes.count(kBusyText), 6);
    EXPECT_EQ(boxes.shown.size(), 6u);
    for (const auto& box : boxes.shown) EXPECT_EQ(box.icon, BoxIcon::None);
    expectState(AgentState::NotReady);

    // Login is refused as well (after a lost link, with a call going on).
    resetAgentLogin();
    boxes.shown.clear();
    OnBnClickedButLogin();
    EXPECT_EQ(boxes.count(kBusyText), 1);
    EXPECT_TRUE(enabled(IDC_BUT_LOGIN));
    EXPECT_EQ(g_fakeLink.exchanges.size(), exchanges);
}

TEST_F(ModeChangeTest, BusyRuleOffLetsModesChangeDuringACall) {
    g_settings.noChangeAgentWhenBusy = 0;
    enterState(AgentState::NotReady);
    callActive(true);
    OnBnClickedButReady();
    expectState(AgentState::Ready);
    OnBnClickedButAcwob();
    expectState(AgentState::AcwOutbound);
    window.pickReason(2);
    OnCbnSelchangeComboReason();
    expectState(AgentState::NotReadyWithReason, 2);
    OnBnClickedButLogout();
    expectState(AgentState::LoggedOut);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ModeChangeTest, ModeOperationStopsTimedAcwBeforeTheExchange) {
    enterState(AgentState::AcwInbound);
    ASSERT_TRUE(window.startTimer(TIMERID_INBOUNDTIMEDACW, 30000));
    ASSERT_TRUE(window.startTimer(TIMERID_OUTBOUNDTIMEDACW, 30000));
    g_inboundTimedAcwActive = 1;
    g_outboundTimedAcwActive = 1;
    g_fakeLink.modeResults = {0};  // even a refused change ends the timed ACW

    OnBnClickedButAux();

    EXPECT_FALSE(window.timerRunning(TIMERID_INBOUNDTIMEDACW));
    EXPECT_FALSE(window.timerRunning(TIMERID_OUTBOUNDTIMEDACW));
    EXPECT_EQ(g_inboundTimedAcwActive, 0);
    EXPECT_EQ(g_outboundTimedAcwActive, 0);
}

TEST_F(ModeChangeTest, KillTimedAcwTimersStopsOnlyTheRunningOnes) {
    killTimedAcwTimers();
    EXPECT_TRUE(window.timerEvents.empty());

    g_outboundTimedAcwActive = 1;
    window.startTimer(TIMERID_OUTBOUNDTIMEDACW, 5000);
    window.timerEvents.clear();
    killTimedAcwTimers();
    ASSERT_EQ(window.timerEvents.size(), 1u);
    EXPECT_EQ(window.timerEvents[0], (FakeMainWindow::TimerEvent{TIMERID_OUTBOUNDTIMEDACW, 0}));
    EXPECT_EQ(g_outboundTimedAcwActive, 0);
    EXPECT_EQ(g_inboundTimedAcwActive, 0);
}

TEST_F(ModeChangeTest, WarnOperationFailedTextAndLogLine) {
    warnOperationFailed("Lunch break");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text,
              "**WRN**: operation [Lunch break] cannot be completed\n"
              "   - if this message occurs continuously,\n"
              "        please perform [Logout] then [Login] and try again\n"
              "   - Or, exit the program and start it again.");
    EXPECT_EQ(boxes.shown[0].buttons, BoxButtons::Ok);
    EXPECT_EQ(boxes.shown[0].icon, BoxIcon::Warning);
    // The log gets the first line alone.
    EXPECT_EQ(logLines("**WRN**: operation [Lunch break] cannot be completed"), 1);
    EXPECT_EQ(logText().find("occurs continuously"), std::string::npos);
}

TEST_F(ModeChangeTest, LogLinesWaitForTheDebugSwitch) {
    g_settings.debug = 0;
    enterState(AgentState::Ready);
    g_fakeLink.modeResults = {0, -1};
    OnBnClickedButAux();
    OnBnClickedButAux();
    EXPECT_EQ(boxes.shown.size(), 2u);  // boxes are shown regardless
    EXPECT_EQ(logText(), "");
}

TEST_F(ModeChangeTest, ResetAgentLoginLeavesListFieldsTimerAndHandle) {
    enterState(AgentState::AcwOutbound);
    window.startTimer(TIMERID_MWICHECKER, 300000);
    g_acmSocket = 9;
    resetAgentLogin();
    EXPECT_TRUE(enabled(IDC_BUT_LOGIN));
    EXPECT_FALSE(enabled(IDC_BUT_LOGOUT));
    expectModeButtons(false, false, false, false);
    EXPECT_TRUE(enabled(IDC_COMBO_REASON));
    EXPECT_FALSE(enabled(IDC_EDIT_ACM_USER));
    EXPECT_TRUE(window.timerRunning(TIMERID_MWICHECKER));
    EXPECT_EQ(g_acmSocket, 9);
    EXPECT_EQ(boxes.count(kResetText), 1);
}

}  // namespace
