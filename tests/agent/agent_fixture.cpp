#include "agent_fixture.h"

#include <fstream>
#include <sstream>

#include <filesystem>
#include <stdlib.h>

#include "agent/agent_modes.h"
#include "agent/socket_layer.h"
#include "app/debug_log.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/settings.h"

namespace {

// Noon on a fixed day, so the log file name never crosses midnight.
constexpr std::time_t kFixedNow = 1717243200;

}  // namespace

const char kBusyText[] = "**WRN** It is configured not to change agent mode when busy!";
const char kResetText[] =
    "Warning: Agent mode function is reset to socket disconnection unexpectedly; please login "
    "again immediately";
const char kProgramOnlyText[] = "**WRN** This Not Ready reason code is set by program only!";

std::string operationFailedBox(const std::string& name) {
    return "**WRN**: operation [" + name +
           "] cannot be completed\n"
           "   - if this message occurs continuously,\n"
           "        please perform [Logout] then [Login] and try again\n"
           "   - Or, exit the program and start it again.";
}

void AgentFixture::SetUp() {
    g_settings = defaultSettings();
    initReasonNames();
    copyText(g_settings.user, "2001");
    copyText(g_settings.agid, "2001");
    g_settings.debug = 1;
    char dirTemplate[] = "/tmp/agent-modes-test-XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    logDir = std::string(dirTemplate) + "/";
    copyText(g_settings.debugLogDir, logDir.c_str());
    setDebugLogClock([] { return kFixedNow; });

    g_mainDlg = &window;
    setMessageBoxes(&boxes);
    resetTestLink();
    g_acmSocket = 0;
    g_activeCallNo = -1;
    g_activeCallType = CALLTYPE_NONE;
    g_inboundTimedAcwActive = 0;
    g_outboundTimedAcwActive = 0;
    showRegisteredLoggedOut();
}

void AgentFixture::TearDown() {
    closeTestLink();
    g_mainDlg = nullptr;
    setMessageBoxes(nullptr);
    setDebugLogClock(nullptr);
    g_activeCallNo = -1;
    g_activeCallType = CALLTYPE_NONE;
    g_acmSocket = 0;
    if (!logDir.empty()) std::filesystem::remove_all(logDir);
}

void AgentFixture::showRegisteredLoggedOut() {
    window.m_reasonIndex = -1;
    window.setReasonSelection(-1);
    for (int id : {IDC_BUT_READY, IDC_BUT_AUX, IDC_BUT_ACWIB, IDC_BUT_ACWOB, IDC_BUT_LOGOUT, IDC_COMBO_REASON})
        window.enableControl(id, false);
    window.enableControl(IDC_BUT_LOGIN, true);
    window.enableControl(IDC_EDIT_AGENT_ID, g_settings.diffagid != 0);
    window.enableControl(IDC_EDIT_ACM_USER, true);
    window.enableControl(IDC_EDIT_ACM_PASS, true);
    window.showControl(IDC_BUT_VOICEMAIL, false);
    window.setControlText(IDC_EDIT_AGENT_ID, g_settings.agid);
    window.setControlText(IDC_EDIT_ACM_USER, g_settings.acmUser);
    window.setControlText(IDC_EDIT_ACM_PASS, g_settings.acmPass);
}

void AgentFixture::loginWith(int loginAction) {
    g_settings.loginAction = loginAction;
    OnBnClickedButLogin();
    ASSERT_TRUE(enabled(IDC_BUT_LOGOUT)) << "login did not succeed";
}

void AgentFixture::enterState(AgentState state) {
    switch (state) {
        case AgentState::LoggedOut:
            return;
        case AgentState::Ready:
            loginWith(1);
            break;
        case AgentState::NotReady:
            loginWith(0);
            break;
        case AgentState::ModeNotSet:
            loginWith(2);
            break;
        case AgentState::AcwInbound:
            loginWith(1);
            OnBnClickedButAcwib();
            break;
        case AgentState::AcwOutbound:
            loginWith(1);
            OnBnClickedButAcwob();
            break;
        case AgentState::NotReadyWithReason:
            loginWith(1);
            window.pickReason(4);
            OnCbnSelchangeComboReason();
            break;
    }
}

void AgentFixture::expectModeButtons(bool ready, bool aux, bool acwib, bool acwob) const {
    EXPECT_EQ(enabled(IDC_BUT_READY), ready) << "Ready";
    EXPECT_EQ(enabled(IDC_BUT_AUX), aux) << "AUX";
    EXPECT_EQ(enabled(IDC_BUT_ACWIB), acwib) << "ACWIB";
    EXPECT_EQ(enabled(IDC_BUT_ACWOB), acwob) << "ACWOB";
}

void AgentFixture::expectState(AgentState state, int reason) const {
    const bool loggedIn = state != AgentState::LoggedOut;
    EXPECT_EQ(enabled(IDC_BUT_LOGIN), !loggedIn) << "Login";
    EXPECT_EQ(enabled(IDC_BUT_LOGOUT), loggedIn) << "Logout";
    EXPECT_EQ(enabled(IDC_COMBO_REASON), loggedIn) << "reason list";
    EXPECT_EQ(enabled(IDC_EDIT_AGENT_ID), !loggedIn && g_settings.diffagid != 0) << "Agent ID";
    EXPECT_EQ(enabled(IDC_EDIT_ACM_USER), !loggedIn) << "ACM user";
    EXPECT_EQ(enabled(IDC_EDIT_ACM_PASS), !loggedIn) << "ACM pass";
    switch (state) {
        case AgentState::LoggedOut:
            expectModeButtons(false, false, false, false);
            break;
        case AgentState::Ready:
            expectModeButtons(false, true, true, true);
            break;
        case AgentState::NotReady:
            expectModeButtons(true, false, true, true);
            break;
        case AgentState::AcwInbound:
            expectModeButtons(true, true, false, true);
            break;
        case AgentState::AcwOutbound:
            expectModeButtons(true, true, true, false);
            break;
        case AgentState::NotReadyWithReason:
            expectModeButtons(true, true, true, true);
            break;
        case AgentState::ModeNotSet:
            expectModeButtons(false, false, true, true);
            break;
    }
    const int expectedReason = state == AgentState::NotReadyWithReason ? reason : -1;
    EXPECT_EQ(window.reasonSelection(), expectedReason) << "reason selection";
    EXPECT_EQ(window.m_reasonIndex, expectedReason) << "m_reasonIndex";
}

std::string AgentFixture::logText() const {
    std::tm tm{};
    const std::time_t now = kFixedNow;
    localtime_r(&now, &tm);
    char name[512];
    debugLogFileName(name, sizeof name, tm);
    std::ifstream in(name);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

int AgentFixture::logLines(const std::string& line) const {
    std::istringstream in(logText());
    std::string row;
    int n = 0;
    // Each row is "<date> <time> <text>".
    while (std::getline(in, row)) {
        if (row.size() > 20 && row.compare(20, std::string::npos, line) == 0) ++n;
    }
    return n;
}
