// The agent modes and the voicemail check over the real manager session,
// against the lab PBX's manager interface on loopback. The interface
// records every action and the paused values it received per agent.
#include <string>

#include "agent/agent_modes.h"
#include "agent/manager_session.h"
#include "agent/socket_layer.h"
#include "agent/voicemail_check.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "lab_manager_fixture.h"

namespace {

constexpr char kAgent[] = "2001";

class ManagerServerTest : public LabManagerFixture {
protected:
    void SetUp() override {
        config.agents = {kAgent};
        LabManagerFixture::SetUp();
    }

    Strings pauses() const { return server->pauseHistory(kAgent); }
    int actionsNamed(const std::string& name) const {
        int n = 0;
        for (const std::string& each : actionNames()) n += each == name;
        return n;
    }
    // The mailbox-count reply comes in two segments, and the second one may
    // wait for the acknowledgement of the first (delayed by up to 40 ms):
    // the voicemail tests read after the default delay, as the program does.
    void useMailboxDelay() { g_settings.acmDelayB4Read = defaultSettings().acmDelayB4Read; }
    // The two ways a link is lost: the manager resets it, or the PBX goes
    // away altogether (its socket closed, so what is sent next is refused).
    enum class Loss { Reset, PbxGone };
    void loseLink(Loss loss) {
        if (loss == Loss::Reset) {
            server->dropLinks(true);
            ASSERT_TRUE(server->waitForOpenConnections(0, 2000));
        } else {
            server->stop();
        }
    }
};

TEST_F(ManagerServerTest, WalksEveryRowAndEveryKindOfTransition) {
    loginWith(0);
    expectState(AgentState::NotReady);
    std::string extension;
    EXPECT_TRUE(server->behaviour().agentLoggedIn(kAgent, &extension));
    EXPECT_EQ(extension, "2001");

    OnBnClickedButReady();
    expectState(AgentState::Ready);
    OnBnClickedButAcwib();
    expectState(AgentState::AcwInbound);
    OnBnClickedButAcwob();
    expectState(AgentState::AcwOutbound);
    pick(3);
    expectState(AgentState::NotReadyWithReason, 3);
    OnBnClickedButAux();
    expectState(AgentState::NotReady);
    pick(7);
    expectState(AgentState::NotReadyWithReason, 7);
    OnBnClickedButReady();
    expectState(AgentState::Ready);
    OnBnClickedButLogout();
    expectState(AgentState::LoggedOut);

    EXPECT_EQ(pauses(), (Strings{"true", "false", "acwib", "acwob", "aux7", "true", "aux11", "false"}));
    EXPECT_FALSE(server->behaviour().agentLoggedIn(kAgent));
    EXPECT_EQ(actionNames().back(), "Logoff");
    EXPECT_EQ(g_acmSocket, 0);
    EXPECT_TRUE(boxes.shown.empty());
    ASSERT_TRUE(server->waitForOpenConnections(0, 2000));
}

TEST_F(ManagerServerTest, LoginActionsZeroOneAndTwo) {
    const struct {
        int action;
        AgentState state;
        Strings added;
    } cases[] = {
        {0, AgentState::NotReady, {"true"}},
        {1, AgentState::Ready, {"false"}},
        {2, AgentState::ModeNotSet, {}},
    };
    Strings expected;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action);
        loginWith(c.action);
        expectState(c.state);
        expected.insert(expected.end(), c.added.begin(), c.added.end());
        EXPECT_EQ(pauses(), expected);
        OnBnClickedButLogout();
        expectState(AgentState::LoggedOut);
    }
    EXPECT_EQ(actionsNamed("AgentCallBackLogin"), 3);
    EXPECT_EQ(server->connectionsAccepted(), 3);
}

TEST_F(ManagerServerTest, RefusedModeChangeNamesTheOperation) {
    loginWith(1);
    server->failNextReply();
    OnBnClickedButAux();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, operationFailedBox("AUX"));
    expectState(AgentState::Ready);
    EXPECT_EQ(pauses(), (Strings{"false"}));

    server->failNextReply();
    pick(2);
    EXPECT_EQ(boxes.shown.back().text, operationFailedBox("AUX6"));
    EXPECT_EQ(window.m_reasonIndex, -1);
    EXPECT_EQ(pauses(), (Strings{"false"}));
}

TEST_F(ManagerServerTest, LostLinkDuringAModeChangeGivesOneResetBox) {
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        boxes.shown.clear();
        showRegisteredLoggedOut();
        loginWith(0);
        loseLink(Loss::Reset);

        OnBnClickedButReady();

        EXPECT_EQ(boxes.count(kResetText), 1);
        EXPECT_EQ(boxes.countStartingWith("**WRN**: operation"), 0);
        EXPECT_TRUE(enabled(IDC_BUT_LOGIN));
        EXPECT_FALSE(enabled(IDC_BUT_LOGOUT));
        expectModeButtons(false, false, false, false);
    }
    // A new Login opens a new link and works.
    restartServer();
    boxes.shown.clear();
    showRegisteredLoggedOut();
    loginWith(1);
    expectState(AgentState::Ready);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ManagerServerTest, LostLinkDuringLogoutGivesOneResetBox) {
    for (Loss loss : {Loss::Reset, Loss::PbxGone}) {
        SCOPED_TRACE(loss == Loss::Reset ? "reset" : "PBX gone");
        restartServer();
        boxes.shown.clear();
        showRegisteredLoggedOut();
        loginWith(1);
        loseLink(loss);
        OnBnClickedButLogout();
        // The reply read finds the link closed (the send before it is not
        // checked), which ends the session as a lost link does.
        EXPECT_EQ(boxes.count(std::string("**ERR** [Logout]->agi_Logout() socket error [") +
                              socket_getErrorMsg(SO_DISCONNECTED) + "]"),
                  1);
        EXPECT_EQ(boxes.count(kResetText), 1);
        EXPECT_EQ(boxes.countStartingWith("**WRN**: operation"), 0);
        EXPECT_TRUE(enabled(IDC_BUT_LOGIN));
        EXPECT_FALSE(enabled(IDC_BUT_LOGOUT));
    }
}

TEST_F(ManagerServerTest, BusyRuleHoldsDuringTheCallAndReleaseActionsRunAfter) {
    g_settings.inboundReleaseAction = 1;
    loginWith(0);
    callActive(true);
    runInboundAnswerNotReady();
    expectState(AgentState::NotReadyWithReason, 1);
    OnBnClickedButReady();
    pick(4);
    OnBnClickedButLogout();
    EXPECT_EQ(boxes.count(kBusyText), 3);
    EXPECT_EQ(window.reasonSelection(), 1);

    callActive(false);
    runReleaseAction(1);
    expectState(AgentState::Ready);
    EXPECT_EQ(pauses(), (Strings{"true", "aux5", "false"}));
    EXPECT_EQ(actionsNamed("AgentLogoff"), 0);
}

struct Direction {
    const char* name;
    int callType;
    int32_t Settings::*action;
    int32_t Settings::*seconds;
    int timerId;
    const char* acw;
};

class ReleaseOverManagerTest : public ManagerServerTest, public ::testing::WithParamInterface<Direction> {};

TEST_P(ReleaseOverManagerTest, EveryReleaseActionAndTheTimedAcw) {
    const Direction& d = GetParam();
    g_settings.*(d.seconds) = 20;
    // From Ready, so that each action shows in the pause history.
    const Strings expected[] = {{}, {}, {"true"}, {d.acw}, {d.acw}};
    for (int action = 0; action <= 4; ++action) {
        SCOPED_TRACE(action);
        g_settings.*(d.action) = action;
        showRegisteredLoggedOut();
        loginWith(1);
        const Strings before = pauses();
        runReleaseAction(d.callType);
        const Strings after = pauses();
        ASSERT_GE(after.size(), before.size());
        const Strings added(after.begin() + static_cast<long>(before.size()), after.end());
        EXPECT_EQ(added, expected[action]);
        EXPECT_EQ(window.timerRunning(d.timerId), action == 4);
        OnBnClickedButLogout();
    }

    // Release action 1 from Not Ready sends the agent Ready.
    g_settings.*(d.action) = 1;
    showRegisteredLoggedOut();
    loginWith(0);
    runReleaseAction(d.callType);
    expectState(AgentState::Ready);
    EXPECT_EQ(pauses().back(), "false");
    OnBnClickedButLogout();

    // Timed ACW: ACW now, Ready when the timer fires.
    g_settings.*(d.action) = 4;
    showRegisteredLoggedOut();
    loginWith(0);
    runReleaseAction(d.callType);
    EXPECT_EQ(window.timerPeriod(d.timerId), 20000);
    EXPECT_EQ(pauses().back(), d.acw);
    onTimedAcwTimer(d.timerId);
    expectState(AgentState::Ready);
    EXPECT_EQ(pauses().back(), "false");

    // A press in between cancels it.
    runReleaseAction(d.callType);
    ASSERT_TRUE(window.timerRunning(d.timerId));
    OnBnClickedButAux();
    EXPECT_FALSE(window.timerRunning(d.timerId));
    const size_t count = pauses().size();
    onTimedAcwTimer(d.timerId);
    EXPECT_EQ(pauses().size(), count);
    expectState(AgentState::NotReady);
    EXPECT_TRUE(boxes.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(
    BothDirections, ReleaseOverManagerTest,
    ::testing::Values(Direction{"inbound", 1, &Settings::inboundReleaseAction, &Settings::inboundTimedACW,
                                TIMERID_INBOUNDTIMEDACW, "acwib"},
                      Direction{"outbound", 2, &Settings::outboundReleaseAction, &Settings::outboundTimedACW,
                                TIMERID_OUTBOUNDTIMEDACW, "acwob"}),
    [](const ::testing::TestParamInfo<Direction>& info) { return std::string(info.param.name); });

TEST_F(ManagerServerTest, ReasonListProgramOnlyEntriesAndTheEntryInForce) {
    copyText(g_notReadyReasons[3], "Coaching");
    loginWith(1);
    const size_t actions = server->actionCount();
    pick(0);
    pick(1);
    EXPECT_EQ(boxes.count(kProgramOnlyText), 2);
    EXPECT_EQ(server->actionCount(), actions);
    EXPECT_EQ(window.reasonSelection(), -1);

    pick(3);
    expectState(AgentState::NotReadyWithReason, 3);
    pick(3);
    EXPECT_EQ(server->actionCount(), actions + 1);
    EXPECT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(pauses(), (Strings{"false", "aux7"}));

    // The Dial operation's Not Ready.
    EXPECT_EQ(setNotReadyReason("Outbound NR", "aux4"), 1);
    EXPECT_EQ(pauses().back(), "aux4");
}

TEST_F(ManagerServerTest, VoicemailDefaultsCountsAndClicks) {
    useMailboxDelay();
    g_settings.vmbxCheck = 1;
    g_settings.vmbxNumber[0] = '\0';
    g_settings.vmbxContext[0] = '\0';
    ASSERT_TRUE(server->setNewMessages("2001@default", 3));
    loginWith(1);
    EXPECT_EQ(window.timerPeriod(TIMERID_MWICHECKER), 300000);
    const auto actions = server->actions();
    ASSERT_FALSE(actions.empty());
    EXPECT_EQ(actions.back().action.raw, "Action: MailboxCount\r\nMailbox: 2001@default\r\n\r\n");
    EXPECT_TRUE(window.isControlVisible(IDC_BUT_VOICEMAIL));

    OnBnClickedButVoicemail();
    EXPECT_EQ(boxes.shown.back().text, "Voice mailbox [2001] has 3 new mail(s)");
    EXPECT_TRUE(window.isControlVisible(IDC_BUT_VOICEMAIL));

    server->setNewMessages("2001", 0);
    onVoicemailTimer();
    EXPECT_FALSE(window.isControlVisible(IDC_BUT_VOICEMAIL));
    server->setNewMessages("2001", 1);
    onVoicemailTimer();
    EXPECT_TRUE(window.isControlVisible(IDC_BUT_VOICEMAIL));
    server->setNewMessages("2001", 0);
    OnBnClickedButVoicemail();
    EXPECT_EQ(boxes.shown.back().text, "Voice mailbox [2001] has no new mail");
    EXPECT_FALSE(window.isControlVisible(IDC_BUT_VOICEMAIL));
    EXPECT_EQ(actionsNamed("MailboxCount"), 5);

    OnBnClickedButLogout();
    EXPECT_FALSE(window.timerRunning(TIMERID_MWICHECKER));
}

TEST_F(ManagerServerTest, VoicemailRepliesWithoutKeywordOrNumber) {
    useMailboxDelay();
    g_settings.vmbxCheck = 1;
    std::string reply;
    server->setActionScript([&reply](const labpbx::ReceivedAction& received) -> std::optional<labpbx::ReplyPlan> {
        if (received.action.name() != "MailboxCount") return std::nullopt;
        return labpbx::ReplyPlan{labpbx::sendStep(reply)};
    });
    reply = "Response: Success\r\nMessage: Mailbox Message Count\r\nMailbox: 2001@default\r\n\r\n";
    loginWith(1);
    EXPECT_FALSE(window.isControlVisible(IDC_BUT_VOICEMAIL));
    OnBnClickedButVoicemail();
    EXPECT_EQ(boxes.shown.back().text, "Voice mailbox [2001] retrieval error");

    reply = "Response: Success\r\nNewMessages: none\r\n\r\n";
    window.showControl(IDC_BUT_VOICEMAIL, true);
    onVoicemailTimer();
    EXPECT_FALSE(window.isControlVisible(IDC_BUT_VOICEMAIL));
    OnBnClickedButVoicemail();
    EXPECT_EQ(boxes.shown.back().text, "Voice mailbox [2001] has no new mail");
    EXPECT_EQ(logLines("**WRN** checkMWI(2001@default) cannot read 'NewMessages: <count>'; zero assumed"), 2);
}

TEST_F(ManagerServerTest, VoicemailOffSendsNoMailboxCount) {
    g_settings.vmbxCheck = 0;
    loginWith(1);
    OnBnClickedButVoicemail();
    EXPECT_EQ(actionsNamed("MailboxCount"), 0);
    EXPECT_FALSE(window.timerRunning(TIMERID_MWICHECKER));
    EXPECT_FALSE(window.isControlVisible(IDC_BUT_VOICEMAIL));
}

}  // namespace
