// Login with each loginAction, its mandatory fields and failed sessions;
// Logout with its failures and the lost link.
#include <string>
#include <vector>

#include "agent/agent_modes.h"
#include "agent/socket_layer.h"
#include "agent_fixture.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "fake_manager_link.h"

namespace {

using Exchanges = std::vector<std::string>;

class LoginTest : public AgentFixture {};

TEST_F(LoginTest, LoginActionZeroSetsNotReady) {
    loginWith(0);
    EXPECT_EQ(g_fakeLink.exchanges, (Exchanges{"init", "mode NotReady true"}));
    EXPECT_EQ(g_fakeLink.pausedValues, (Exchanges{"true"}));
    expectState(AgentState::NotReady);
    EXPECT_EQ(g_acmSocket, g_fakeLink.openHandle);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(LoginTest, LoginActionOneSetsReady) {
    loginWith(1);
    EXPECT_EQ(g_fakeLink.exchanges, (Exchanges{"init", "mode Ready false"}));
    EXPECT_EQ(g_fakeLink.pausedValues, (Exchanges{"false"}));
    expectState(AgentState::Ready);
}

TEST_F(LoginTest, OtherLoginActionsSetNoMode) {
    for (int action : {2, -1, 5}) {
        SCOPED_TRACE(action);
        g_fakeLink.reset();
        showRegisteredLoggedOut();
        loginWith(action);
        EXPECT_EQ(g_fakeLink.exchanges, (Exchanges{"init"}));
        expectState(AgentState::ModeNotSet);
    }
}

TEST_F(LoginTest, ModeNotSetOpensUpOnceAnotherModeSucceeds) {
    loginWith(2);
    OnBnClickedButAcwib();
    expectState(AgentState::AcwInbound);

    showRegisteredLoggedOut();
    loginWith(2);
    window.pickReason(5);
    OnCbnSelchangeComboReason();
    expectState(AgentState::NotReadyWithReason, 5);
}

TEST_F(LoginTest, RefusedFirstModeLeavesModeNotSetWithoutWarning) {
    g_fakeLink.modeResults = {0};
    loginWith(1);
    expectState(AgentState::ModeNotSet);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(LoginTest, LostLinkOnFirstModeResetsAndStops) {
    g_settings.vmbxCheck = 1;
    g_fakeLink.modeResults = {-1};
    g_settings.loginAction = 0;
    OnBnClickedButLogin();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, kResetText);
    EXPECT_TRUE(enabled(IDC_BUT_LOGIN));
    EXPECT_FALSE(enabled(IDC_BUT_LOGOUT));
    expectModeButtons(false, false, false, false);
    // The steps after the mode change did not run.
    EXPECT_FALSE(enabled(IDC_COMBO_REASON));
    EXPECT_TRUE(enabled(IDC_EDIT_ACM_USER));
    EXPECT_FALSE(window.timerRunning(TIMERID_MWICHECKER));
    EXPECT_EQ(g_fakeLink.exchanges, (Exchanges{"init", "mode NotReady true"}));
}

TEST_F(LoginTest, FieldsAreReadIntoTheSettings) {
    g_settings.diffagid = 1;
    showRegisteredLoggedOut();
    window.setControlText(IDC_EDIT_AGENT_ID, "123456789012345678");
    window.setControlText(IDC_EDIT_ACM_USER, std::string(70, 'u').c_str());
    window.setControlText(IDC_EDIT_ACM_PASS, "secret");
    loginWith(1);
    EXPECT_STREQ(g_settings.agid, "12345678901234");  // 14 characters
    EXPECT_EQ(std::string(g_settings.acmUser), std::string(62, 'u'));
    EXPECT_STREQ(g_settings.acmPass, "secret");
    expectState(AgentState::Ready);
}

TEST_F(LoginTest, EmptyMandatoryFieldStopsLogin) {
    struct Case {
        int field;
        const char* text;
    };
    const Case cases[] = {
        {IDC_EDIT_AGENT_ID, "**ERR** mandatory '-agid' (Agent ID) value not given!"},
        {IDC_EDIT_ACM_USER, "**ERR** mandatory [ACM user] value not given!"},
        {IDC_EDIT_ACM_PASS, "**ERR** mandatory [ACM pass] (password) value not given!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        boxes.shown.clear();
        showRegisteredLoggedOut();
        window.setControlText(c.field, "");
        OnBnClickedButLogin();
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].text, c.text);
        EXPECT_EQ(boxes.shown[0].icon, BoxIcon::None);
        EXPECT_EQ(logLines(c.text), 1);
        EXPECT_TRUE(g_fakeLink.exchanges.empty());
        expectState(AgentState::LoggedOut);
        copyText(g_settings.agid, "2001");
        copyText(g_settings.acmUser, "queueopr");
        copyText(g_settings.acmPass, "bramwick");
    }
}

TEST_F(LoginTest, SessionNotOpenedReportsAndClearsTheHandle) {
    struct Case {
        int result;
        std::string text;
    };
    const Case cases[] = {
        {SO_CONNECT_ERROR, std::string("**ERR** [Login]->init_iaxAgiSocket() socket error [") +
                               socket_getErrorMsg(SO_CONNECT_ERROR) + "]"},
        {-1,
         "**ERR** [Login]->init_iaxAgiSocket() non-socket error; rerun wiht -debug and check "
         "log file!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        boxes.shown.clear();
        g_fakeLink.reset();
        g_acmSocket = 12;  // a handle left from a lost link
        g_fakeLink.initResults = {c.result};
        OnBnClickedButLogin();
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].text, c.text);
        EXPECT_EQ(logLines(c.text), 1);
        EXPECT_EQ(g_acmSocket, 0);
        EXPECT_EQ(g_fakeLink.exchanges, (Exchanges{"init"}));
        expectState(AgentState::LoggedOut);
    }
}

TEST_F(LoginTest, LoginAgainAfterALostLink) {
    loginWith(1);
    g_fakeLink.modeResults = {-1};
    OnBnClickedButAux();
    ASSERT_TRUE(enabled(IDC_BUT_LOGIN));
    g_fakeLink.openHandle = 8;
    loginWith(0);
    EXPECT_EQ(g_acmSocket, 8);
    expectState(AgentState::NotReady);
}

class LogoutTest : public AgentFixture {};

TEST_F(LogoutTest, SuccessReturnsToLoggedOut) {
    for (int diffagid : {0, 1}) {
        SCOPED_TRACE(diffagid);
        g_settings.diffagid = diffagid;
        showRegisteredLoggedOut();
        g_fakeLink.reset();
        enterState(AgentState::NotReadyWithReason);
        window.showControl(IDC_BUT_VOICEMAIL, true);
        window.startTimer(TIMERID_MWICHECKER, 300000);

        OnBnClickedButLogout();

        EXPECT_EQ(g_fakeLink.exchanges.back(), "logoff 2001");
        expectState(AgentState::LoggedOut);
        EXPECT_EQ(g_acmSocket, 0);
        EXPECT_FALSE(window.timerRunning(TIMERID_MWICHECKER));
        EXPECT_FALSE(window.isControlVisible(IDC_BUT_VOICEMAIL));
        EXPECT_TRUE(boxes.shown.empty());
    }
}

TEST_F(LogoutTest, LostOrClosedLinkGivesTheErrorAndOneResetBox) {
    for (int code : {SO_CONNECTION_CLOSED, SO_DISCONNECTED}) {
        SCOPED_TRACE(code);
        boxes.shown.clear();
        showRegisteredLoggedOut();
        enterState(AgentState::Ready);
        g_fakeLink.logoutResults = {code};
        OnBnClickedButLogout();
        const std::string error =
            std::string("**ERR** [Logout]->agi_Logout() socket error [") + socket_getErrorMsg(code) + "]";
        ASSERT_EQ(boxes.shown.size(), 2u);
        EXPECT_EQ(boxes.shown[0].text, error);
        EXPECT_EQ(boxes.shown[1].text, kResetText);
        EXPECT_EQ(boxes.countStartingWith("**WRN**: operation"), 0);
        EXPECT_EQ(logLines(error), 1);
        EXPECT_TRUE(enabled(IDC_BUT_LOGIN));
        EXPECT_FALSE(enabled(IDC_BUT_LOGOUT));
        expectModeButtons(false, false, false, false);
    }
}

TEST_F(LogoutTest, OtherFailuresKeepTheAgentLoggedIn) {
    struct Case {
        int result;
        std::string text;
    };
    const Case cases[] = {
        {SO_READ_TIMEOUT,
         std::string("**ERR** [Logout]->agi_Logout() socket error [") + socket_getErrorMsg(SO_READ_TIMEOUT) + "]"},
        {-1,
         "**ERR** [Logout]->agi_Logout() non-socket error; rerun wiht -debug and check log "
         "file!"},
    };
    enterState(AgentState::AcwInbound);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        boxes.shown.clear();
        g_fakeLink.logoutResults = {c.result};
        OnBnClickedButLogout();
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].text, c.text);
        expectState(AgentState::AcwInbound);
        EXPECT_NE(g_acmSocket, 0);
    }
    // The retry succeeds.
    OnBnClickedButLogout();
    expectState(AgentState::LoggedOut);
}

TEST_F(LogoutTest, LogoutEndsATimedAcw) {
    enterState(AgentState::AcwInbound);
    g_inboundTimedAcwActive = 1;
    window.startTimer(TIMERID_INBOUNDTIMEDACW, 20000);
    OnBnClickedButLogout();
    EXPECT_FALSE(window.timerRunning(TIMERID_INBOUNDTIMEDACW));
    EXPECT_EQ(g_inboundTimedAcwActive, 0);
}

}  // namespace
