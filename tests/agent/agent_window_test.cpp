// The agent modes in the real main window: the buttons and the reason list
// are clicked as an agent clicks them, and the lab PBX's manager interface
// on loopback answers and records the paused values.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "agent/agent_modes.h"
#include "agent/manager_session.h"
#include "agent/socket_layer.h"
#include "agent/voicemail_check.h"
#include "app/call_globals.h"
#include "app/control_ids.h"
#include "app/settings.h"
#include "labpbx/manager/manager_interface.h"
#include "tests/support/window/ui_fixture.h"

namespace {

using Strings = std::vector<std::string>;

constexpr char kAgent[] = "2001";
constexpr char kResetText[] =
    "Warning: Agent mode function is reset to socket disconnection unexpectedly; please login "
    "again immediately";

class AgentWindowTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        labpbx::ManagerConfig config;
        config.port = 0;
        config.users = {{"queueopr", "bramwick"}};
        config.agents = {kAgent};
        config.mailboxes = {{kAgent}};
        server = std::make_unique<labpbx::ManagerServer>(config);
        std::string error;
        ASSERT_TRUE(server->start(&error)) << error;
    }
    void TearDown() override {
        if (g_acmSocket != 0) agi_Logout(nullptr);
        g_acmSocket = 0;
        g_activeCallNo = -1;
        UiTest::TearDown();
        server->stop();
    }

    // The window as start-up leaves it with these options, then registered
    // (the first accepted registration enables Login).
    // The mailbox-count reply comes in two segments: its checks read after
    // the program's default delay.
    CQuendraDlg& openWindow(const std::string& options, int delayB4Read = 50) {
        writeFile("Quendra.ini", "acmPort=" + std::to_string(server->port()) +
                                     "\nacmDelayB4Read=" + std::to_string(delayB4Read) + "\n" + options);
        CQuendraDlg& dlg = makeDialog({"-user2001", "-host127.0.0.1", "-debug"});
        dlg.enableControl(IDC_BUT_LOGIN, true);
        return dlg;
    }

    bool isEnabled(int id) const { return control(id)->isEnabled(); }
    void click(int id) {
        auto* button = qobject_cast<QAbstractButton*>(control(id));
        ASSERT_NE(button, nullptr);
        button->click();
    }
    // What an agent's pick in the list does: the entry shows, then the list
    // reports the activation.
    void chooseReason(int index) {
        auto* combo = qobject_cast<QComboBox*>(control(IDC_COMBO_REASON));
        ASSERT_NE(combo, nullptr);
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }
    int listSelection() const { return qobject_cast<QComboBox*>(control(IDC_COMBO_REASON))->currentIndex(); }
    void expectButtons(bool ready, bool aux, bool acwib, bool acwob) const {
        EXPECT_EQ(isEnabled(IDC_BUT_READY), ready) << "Ready";
        EXPECT_EQ(isEnabled(IDC_BUT_AUX), aux) << "AUX";
        EXPECT_EQ(isEnabled(IDC_BUT_ACWIB), acwib) << "ACWIB";
        EXPECT_EQ(isEnabled(IDC_BUT_ACWOB), acwob) << "ACWOB";
    }
    void expectLoggedIn(bool in) const {
        EXPECT_EQ(isEnabled(IDC_BUT_LOGIN), !in);
        EXPECT_EQ(isEnabled(IDC_BUT_LOGOUT), in);
        EXPECT_EQ(isEnabled(IDC_COMBO_REASON), in);
        EXPECT_EQ(isEnabled(IDC_EDIT_ACM_USER), !in);
        EXPECT_EQ(isEnabled(IDC_EDIT_ACM_PASS), !in);
        EXPECT_FALSE(isEnabled(IDC_EDIT_AGENT_ID));  // the extension is the agent ID
    }
    Strings pauses() const { return server->pauseHistory(kAgent); }
    int boxesWith(const std::string& text) const { return m_boxes.count(text); }

    std::unique_ptr<labpbx::ManagerServer> server;
};

TEST_F(AgentWindowTest, ClicksWalkTheStateTable) {
    CQuendraDlg& dlg = openWindow("loginAction=0\n");
    expectLoggedIn(false);
    expectButtons(false, false, false, false);

    click(IDC_BUT_LOGIN);
    expectLoggedIn(true);
    expectButtons(true, false, true, true);
    EXPECT_EQ(listSelection(), -1);

    click(IDC_BUT_READY);
    expectButtons(false, true, true, true);
    click(IDC_BUT_ACWIB);
    expectButtons(true, true, false, true);
    click(IDC_BUT_ACWOB);
    expectButtons(true, true, true, false);
    chooseReason(5);
    expectButtons(true, true, true, true);
    EXPECT_EQ(listSelection(), 5);
    EXPECT_EQ(dlg.m_reasonIndex, 5);
    click(IDC_BUT_AUX);
    expectButtons(true, false, true, true);
    EXPECT_EQ(listSelection(), -1);
    EXPECT_EQ(dlg.m_reasonIndex, -1);
    click(IDC_BUT_AUX);  // disabled: nothing happens
    click(IDC_BUT_LOGOUT);
    expectLoggedIn(false);
    expectButtons(false, false, false, false);

    EXPECT_EQ(pauses(), (Strings{"true", "false", "acwib", "acwob", "aux9", "true"}));
    EXPECT_TRUE(m_boxes.shown.empty());
    EXPECT_EQ(g_acmSocket, 0);
}

TEST_F(AgentWindowTest, LoginActionTwoLeavesReadyAndAuxOff) {
    openWindow("loginAction=2\n");
    click(IDC_BUT_LOGIN);
    expectLoggedIn(true);
    expectButtons(false, false, true, true);
    EXPECT_TRUE(pauses().empty());
    click(IDC_BUT_ACWOB);
    expectButtons(true, true, true, false);
    EXPECT_EQ(pauses(), (Strings{"acwob"}));
}

TEST_F(AgentWindowTest, ReasonListRules) {
    CQuendraDlg& dlg = openWindow("loginAction=1\nAUX7=Coaching\n");
    click(IDC_BUT_LOGIN);
    chooseReason(1);
    EXPECT_EQ(boxesWith("**WRN** This Not Ready reason code is set by program only!"), 1);
    EXPECT_EQ(listSelection(), -1);
    chooseReason(3);
    EXPECT_EQ(listSelection(), 3);
    EXPECT_EQ(dlg.m_reasonIndex, 3);
    chooseReason(3);  // already in force
    chooseReason(0);
    EXPECT_EQ(listSelection(), 3);
    EXPECT_EQ(boxesWith("**WRN** This Not Ready reason code is set by program only!"), 2);
    EXPECT_EQ(m_boxes.shown.size(), 2u);
    EXPECT_EQ(pauses(), (Strings{"false", "aux7"}));
    const auto actions = server->actions();
    EXPECT_NE(actions.back().action.raw.find("Paused: aux7"), std::string::npos);
}

TEST_F(AgentWindowTest, RefusedChangeAndLostLink) {
    openWindow("loginAction=1\n");
    click(IDC_BUT_LOGIN);
    server->failNextReply();
    click(IDC_BUT_ACWIB);
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].text.rfind("**WRN**: operation [ACWIB] cannot be completed\n", 0), 0u);
    EXPECT_EQ(m_boxes.shown[0].icon, BoxIcon::Warning);
    expectButtons(false, true, true, true);

    server->dropLinks(true);
    ASSERT_TRUE(server->waitForOpenConnections(0, 2000));
    click(IDC_BUT_AUX);
    EXPECT_EQ(boxesWith(kResetText), 1);
    EXPECT_EQ(m_boxes.shown.back().icon, BoxIcon::Error);
    EXPECT_TRUE(isEnabled(IDC_BUT_LOGIN));
    EXPECT_FALSE(isEnabled(IDC_BUT_LOGOUT));
    expectButtons(false, false, false, false);
    EXPECT_TRUE(isEnabled(IDC_COMBO_REASON));  // left as it was

    click(IDC_BUT_LOGIN);  // a new session
    expectLoggedIn(true);
    expectButtons(false, true, true, true);
}

TEST_F(AgentWindowTest, BusyRuleAndTimedAcwOfAnInboundCall) {
    CQuendraDlg& dlg = openWindow("loginAction=1\ninboundReleaseAction=4\ninboundTimedACW=30\n");
    click(IDC_BUT_LOGIN);
    g_activeCallNo = 1;
    g_activeCallType = CALLTYPE_INBOUND;
    runInboundAnswerNotReady();
    EXPECT_EQ(listSelection(), 1);
    EXPECT_EQ(dlg.m_reasonIndex, 1);
    click(IDC_BUT_READY);
    EXPECT_EQ(boxesWith("**WRN** It is configured not to change agent mode when busy!"), 1);

    g_activeCallNo = -1;
    runReleaseAction(CALLTYPE_INBOUND);
    g_activeCallType = CALLTYPE_NONE;
    expectButtons(true, true, false, true);
    EXPECT_TRUE(dlg.isTimerActive(TIMERID_INBOUNDTIMEDACW));
    EXPECT_EQ(g_inboundTimedAcwActive, 1);

    onTimedAcwTimer(TIMERID_INBOUNDTIMEDACW);  // as the window's timer does at expiry
    EXPECT_FALSE(dlg.isTimerActive(TIMERID_INBOUNDTIMEDACW));
    expectButtons(false, true, true, true);
    EXPECT_EQ(pauses(), (Strings{"false", "aux5", "acwib", "false"}));

    // Another timed ACW, cut short by a click.
    runReleaseAction(CALLTYPE_INBOUND);
    ASSERT_TRUE(dlg.isTimerActive(TIMERID_INBOUNDTIMEDACW));
    click(IDC_BUT_AUX);
    EXPECT_FALSE(dlg.isTimerActive(TIMERID_INBOUNDTIMEDACW));
    EXPECT_EQ(g_inboundTimedAcwActive, 0);
    EXPECT_EQ(pauses().back(), "true");
}

TEST_F(AgentWindowTest, VoicemailButtonFollowsTheMailbox) {
    CQuendraDlg& dlg = openWindow("loginAction=1\nvmbxCheck=1\nvmbxInterval=60\n", 100);
    ASSERT_TRUE(server->setNewMessages("2001", 3));
    click(IDC_BUT_LOGIN);
    EXPECT_TRUE(dlg.isTimerActive(TIMERID_MWICHECKER));
    EXPECT_TRUE(dlg.isControlVisible(IDC_BUT_VOICEMAIL));
    click(IDC_BUT_VOICEMAIL);
    EXPECT_EQ(boxesWith("Voice mailbox [2001] has 3 new mail(s)"), 1);

    server->setNewMessages("2001", 0);
    onVoicemailTimer();
    EXPECT_FALSE(dlg.isControlVisible(IDC_BUT_VOICEMAIL));

    click(IDC_BUT_LOGOUT);
    EXPECT_FALSE(dlg.isTimerActive(TIMERID_MWICHECKER));
}

}  // namespace
