// The agent modes over the real manager session in the queue dialect,
// against the lab PBX's manager interface speaking it on loopback: the
// member's pause state and reason in the PBX's queues are checked after
// every step.
#include <optional>
#include <string>

#include "agent/agent_modes.h"
#include "agent/manager_session.h"
#include "agent/socket_layer.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "lab_manager_fixture.h"

namespace {

constexpr char kInterface[] = "IAX2/2001";

class QueueDialectTest : public LabManagerFixture {
protected:
    void SetUp() override {
        config.dialect = "queues";
        config.queues = {"sales", "support"};
        LabManagerFixture::SetUp();
        copyText(g_settings.acmDialect, "queues");
        copyText(g_settings.acmQueues, "sales,support");
    }
    void serverStarted() override {
        server->behaviour().queueDialect().setPeerListLookup([this] { return peers; });
    }

    std::optional<labpbx::QueueMember> member(const char* queue = "sales") const {
        return server->behaviour().queueDialect().member(queue, kInterface);
    }
    // The member's state in both queues: "unpaused", "paused:<reason>" or "absent".
    void expectMember(const std::string& state) const {
        for (const char* queue : {"sales", "support"}) {
            const auto m = member(queue);
            const std::string shown = !m ? "absent" : m->paused ? "paused:" + m->reason : "unpaused";
            EXPECT_EQ(shown, state) << queue;
        }
    }
    std::string lastAction(const std::string& name) const {
        std::string raw;
        for (const auto& received : server->actions())
            if (received.action.name() == name) raw = received.action.raw;
        return raw;
    }
    std::vector<labpbx::PeerEntry> peers;
};

TEST_F(QueueDialectTest, LoginJoinsEveryQueueInTheStateOfEachLoginAction) {
    const struct {
        int action;
        AgentState state;
        const char* member;
    } rows[] = {{0, AgentState::NotReady, "paused:"},
                {1, AgentState::Ready, "unpaused"},
                {2, AgentState::ModeNotSet, "paused:"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.action);
        showRegisteredLoggedOut();
        loginWith(row.action);
        expectState(row.state);
        expectMember(row.member);
        const std::string add = lastAction("QueueAdd");
        EXPECT_NE(add.find("Interface: IAX2/2001\r\nStateInterface: IAX2/2001\r\nMemberName: 2001\r\n"),
                  std::string::npos)
            << add;
        EXPECT_NE(add.find("ActionID: "), std::string::npos);
        OnBnClickedButLogout();
        expectState(AgentState::LoggedOut);
        expectMember("absent");
    }
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(lastAction("Login").find("Events: off\r\n") != std::string::npos, true);
    for (const std::string& name : actionNames()) {
        EXPECT_NE(name, "AgentCallBackLogin");
        EXPECT_NE(name, "AgentLogoff");
    }
}

TEST_F(QueueDialectTest, EveryModeChangeCarriesItsCodeAsTheReason) {
    loginWith(0);
    OnBnClickedButReady();
    expectState(AgentState::Ready);
    expectMember("unpaused");
    OnBnClickedButAcwib();
    expectState(AgentState::AcwInbound);
    expectMember("paused:acwib");
    OnBnClickedButAcwob();
    expectState(AgentState::AcwOutbound);
    expectMember("paused:acwob");
    pick(3);
    expectState(AgentState::NotReadyWithReason, 3);
    expectMember("paused:aux7");
    OnBnClickedButAux();
    expectState(AgentState::NotReady);
    expectMember("paused:");
    pick(7);
    expectMember("paused:aux11");
    OnBnClickedButReady();
    expectMember("unpaused");
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(QueueDialectTest, BusyRuleAndTimedAcw) {
    g_settings.inboundReleaseAction = 4;
    g_settings.inboundTimedACW = 20;
    loginWith(1);
    callActive(true);
    runInboundAnswerNotReady();
    expectMember("paused:aux5");
    OnBnClickedButReady();
    EXPECT_EQ(boxes.count(kBusyText), 1);
    expectMember("paused:aux5");

    callActive(false);
    runReleaseAction(1);
    expectState(AgentState::AcwInbound);
    expectMember("paused:acwib");
    EXPECT_EQ(window.timerPeriod(TIMERID_INBOUNDTIMEDACW), 20000);
    onTimedAcwTimer(TIMERID_INBOUNDTIMEDACW);
    expectState(AgentState::Ready);
    expectMember("unpaused");
}

TEST_F(QueueDialectTest, LoginWithoutQueuesExplainsItself) {
    g_settings.acmQueues[0] = '\0';
    g_settings.loginAction = 0;
    OnBnClickedButLogin();
    expectState(AgentState::LoggedOut);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_NE(boxes.shown[0].text.find("acmQueues"), std::string::npos);
    EXPECT_EQ(server->connectionsAccepted(), 0);
}

TEST_F(QueueDialectTest, LogoutCountsNotThereAsDone) {
    loginWith(1);
    // Someone else took the member out of one queue.
    labpbx::ConnectionState admin{true, false, "admin"};
    labpbx::ManagerAction remove;
    remove.headers = {{"Action", "QueueRemove"}, {"Queue", "support"}, {"Interface", kInterface}};
    server->behaviour().queueDialect().respond(remove, admin);
    OnBnClickedButLogout();
    expectState(AgentState::LoggedOut);
    expectMember("absent");
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(QueueDialectTest, LostLinkThenLoginReadsTheMemberStateBack) {
    loginWith(1);
    pick(4);
    expectMember("paused:aux8");
    server->dropLinks(true);
    ASSERT_TRUE(server->waitForOpenConnections(0, 2000));
    OnBnClickedButReady();
    EXPECT_EQ(boxes.count(kResetText), 1);
    EXPECT_TRUE(enabled(IDC_BUT_LOGIN));
    EXPECT_FALSE(enabled(IDC_BUT_LOGOUT));
    expectMember("paused:aux8");  // the PBX keeps the member

    // A new login finds the agent there already and shows what the PBX
    // holds, not the login action.
    loginWith(1);
    expectState(AgentState::NotReadyWithReason, 4);
    expectMember("paused:aux8");
    const Strings names = actionNames();
    EXPECT_EQ(names.back(), "QueueStatus");

    // Read back in ACW after another loss.
    OnBnClickedButAcwob();
    server->dropLinks(true);
    ASSERT_TRUE(server->waitForOpenConnections(0, 2000));
    OnBnClickedButAux();
    loginWith(0);
    expectState(AgentState::AcwOutbound);
    expectMember("paused:acwob");
}

TEST_F(QueueDialectTest, VerificationReadsThePeerList) {
    char address[kInUseAddressSize];
    peers = {{"2002", "10.0.0.9", 4569}};
    EXPECT_EQ(init_iaxAgiSocket(1, address), MGR_EXT_NOT_DEFINED);
    agi_Logout(nullptr);

    peers = {{"2001", "", 0}, {"2002", "10.0.0.9", 4569}};
    EXPECT_EQ(init_iaxAgiSocket(1, address), MGR_EXT_UNUSED);
    agi_Logout(nullptr);

    peers = {{"2001", "127.0.0.1", 4570}};
    EXPECT_EQ(init_iaxAgiSocket(1, address), MGR_EXT_IN_USE);
    EXPECT_STREQ(address, "127.0.0.1");
    agi_Logout(nullptr);

    peers = {{"2001", "192.0.2.44", 4569}};
    EXPECT_EQ(init_iaxAgiSocket(1, address), MGR_EXT_IN_USE);
    EXPECT_STREQ(address, "192.0.2.44");
    agi_Logout(nullptr);
    for (const std::string& name : actionNames()) EXPECT_NE(name, "IAXExtState");
}

TEST_F(QueueDialectTest, RepliesAreFoundPastEventsAndSplitSegments) {
    // An event before every reply, and every reply cut in the middle of a
    // line, as a session with events on could see them.
    server->setActionScript([](const labpbx::ReceivedAction&) -> std::optional<labpbx::ReplyPlan> {
        return labpbx::ReplyPlan{labpbx::sendStep("Event: PeerStatus\r\nPrivilege: system,all\r\nChannelType: "
                                                  "IAX2\r\nPeer: IAX2/2001\r\nPeerStatus: Registered\r\n\r\n"
                                                  "Response: Succ"),
                                 labpbx::pauseStep(5), labpbx::sendStep("ess\r\nActionID: stale\r\n\r\n"),
                                 labpbx::pauseStep(5), labpbx::defaultStep()};
    });
    loginWith(0);
    OnBnClickedButAcwib();
    expectState(AgentState::AcwInbound);
    expectMember("paused:acwib");
    copyText(g_settings.vmbxNumber, "2001");
    ASSERT_TRUE(server->setNewMessages("2001", 3));
    EXPECT_EQ(checkMWI("default"), 3);
    OnBnClickedButLogout();
    expectMember("absent");
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(QueueDialectTest, RefusedPauseNamesTheOperation) {
    loginWith(1);
    labpbx::ConnectionState admin{true, false, "admin"};
    for (const char* queue : {"sales", "support"}) {
        labpbx::ManagerAction remove;
        remove.headers = {{"Action", "QueueRemove"}, {"Queue", queue}, {"Interface", kInterface}};
        server->behaviour().queueDialect().respond(remove, admin);
    }
    OnBnClickedButAcwib();
    EXPECT_EQ(boxes.count(operationFailedBox("ACWIB")), 1);
    expectState(AgentState::Ready);
}

}  // namespace
