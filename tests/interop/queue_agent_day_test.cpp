// The agent day in the queue dialect against Asterisk's queue "sales": the
// phone's own manager session verifies the extension, logs the agent in,
// walks every mode, loses its link and logs in again (reading the member
// back), and logs out. After each step a separate manager connection asks
// Asterisk for QueueStatus and prints the member, its paused state and
// reason.
#include <sys/socket.h>

#include "agent/manager_session.h"
#include "agent/queue_actions.h"
#include "agent/socket_layer.h"
#include "app/settings.h"
#include "interop_fixture.h"
#include "manager_client.h"

namespace interop {
namespace {

constexpr char kExtension[] = "1001";

class QueueAgentDayTest : public InteropTest {
protected:
    void SetUp() override {
        InteropTest::SetUp();
        if (IsSkipped()) return;
        g_settings = defaultSettings();
        copyText(g_settings.host, "127.0.0.1");
        g_settings.acmPort = site->managerPort;
        copyText(g_settings.acmUser, site->managerUser.c_str());
        copyText(g_settings.acmPass, site->managerSecret.c_str());
        copyText(g_settings.user, kExtension);
        copyText(g_settings.agid, kExtension);
        copyText(g_settings.acmDialect, "queues");
        copyText(g_settings.acmQueues, "sales");
        g_settings.loginAction = 0;
    }
    void TearDown() override {
        if (g_acmSocket > 0) agi_Logout(kExtension);
        InteropTest::TearDown();
    }

    // QueueStatus of "sales" on a connection of its own: "absent",
    // "unpaused" or "paused:<reason>", printed with the step's name.
    std::string memberState(const char* step) {
        ManagerClient link;
        if (!link.connect(site->managerPort)) return "no manager";
        link.send("Action: Login\r\nUsername: " + site->managerUser + "\r\nSecret: " + site->managerSecret +
                  "\r\nEvents: off\r\n\r\n");
        link.readResponse();
        link.send("Action: QueueStatus\r\nActionID: day\r\nQueue: sales\r\n\r\n");
        std::string list;
        for (;;) {
            const auto message = link.readMessage(5s);
            if (!message) return "no QueueStatus";
            list += *message + "\r\n";
            if (message->find("EventList: Complete") != std::string::npos) break;
        }
        link.send("Action: Logoff\r\n\r\n");
        MemberState state;
        std::string shown = "absent";
        if (findMemberState(list, kExtension, &state))
            shown = state.paused ? "paused:" + state.reason : "unpaused";
        figure("%-28s QueueStatus sales: member IAX2/%s %s", step, kExtension, shown.c_str());
        return shown;
    }
};

TEST_F(QueueAgentDayTest, VerificationLoginModesLostLinkReadBackAndLogout) {
    char inUse[kInUseAddressSize] = "";
    copyText(g_settings.user, "1999");
    EXPECT_EQ(init_iaxAgiSocket(1, inUse), MGR_EXT_NOT_DEFINED);
    agi_Logout(nullptr);
    copyText(g_settings.user, "1002");
    EXPECT_EQ(init_iaxAgiSocket(1, inUse), MGR_EXT_UNUSED);
    agi_Logout(nullptr);
    copyText(g_settings.user, kExtension);
    Phone phone = startPhone("queue-day", 440);
    ASSERT_TRUE(registerPhone(phone, kExtension));
    EXPECT_EQ(init_iaxAgiSocket(1, inUse), MGR_EXT_IN_USE);
    EXPECT_STREQ(inUse, "127.0.0.1");
    figure("verification: 1999 not defined, 1002 unused, 1001 in use by %s", inUse);
    agi_Logout(nullptr);

    // The day starts without the member (a failed earlier run may have left it).
    if (memberState("before the day") != "absent") {
        ASSERT_EQ(init_iaxAgiSocket(0, inUse), 0);
        agi_Logout(kExtension);
    }
    g_settings.loginAction = 0;
    ASSERT_EQ(init_iaxAgiSocket(0, inUse), 0);
    EXPECT_EQ(memberState("Login (Not Ready)"), "paused:");

    const struct {
        const char* label;
        const char* value;
        const char* expected;
    } modes[] = {{"Ready", "false", "unpaused"},        {"AUX7", "aux7", "paused:aux7"},
                 {"ACW", "acwib", "paused:acwib"},      {"NotReady", "true", "paused:"},
                 {"Inbound NR", "aux5", "paused:aux5"}, {"ACW-OB", "acwob", "paused:acwob"}};
    for (const auto& mode : modes) {
        EXPECT_EQ(changeAgentMode(mode.label, mode.value), MODE_CHANGED) << mode.label;
        EXPECT_EQ(memberState(mode.label), mode.expected) << mode.label;
    }

    // The link goes; the member stays in the queue with its pause.
    ::shutdown(g_acmSocket, SHUT_RDWR);
    EXPECT_EQ(changeAgentMode("Ready", "false"), MODE_LINK_LOST);
    EXPECT_EQ(memberState("link lost"), "paused:acwob");

    g_settings.loginAction = 1;
    ASSERT_EQ(init_iaxAgiSocket(0, inUse), 0);
    int paused = -1;
    char reason[kReadBackReasonSize] = "";
    ASSERT_TRUE(takeMemberReadBack(&paused, reason)) << "Already there must lead to a read-back";
    EXPECT_EQ(paused, 1);
    EXPECT_STREQ(reason, "acwob");
    figure("re-login read back: paused=%d reason=%s", paused, reason);
    EXPECT_EQ(memberState("Login after the loss"), "paused:acwob");

    EXPECT_EQ(changeAgentMode("Ready", "false"), MODE_CHANGED);
    EXPECT_EQ(memberState("Ready"), "unpaused");
    EXPECT_EQ(agi_Logout(kExtension), 0);
    EXPECT_EQ(memberState("Logout"), "absent");
}

}  // namespace
}  // namespace interop
