// The extension check at [Start]: each answer of the manager and what
// [Start] does with it.
#include "agent/manager_session.h"
#include "agent/socket_layer.h"
#include "app/call_globals.h"
#include "app/control_ids.h"
#include "app/settings.h"
#include "call/phone_start.h"
#include "call_fixture.h"

namespace {

class ExtensionCheckTest : public CallTest {
protected:
    void SetUp() override {
        CallTest::SetUp();
        g_settings.verExtState = 1;
        window.setControlText(IDC_EDIT_HOST, "127.0.0.1");
        window.setControlText(IDC_EDIT_USER, "7001");
        window.setControlText(IDC_EDIT_PASS, "pw");
        window.setControlText(IDC_EDIT_ACM_USER, "queueopr");
        window.setControlText(IDC_EDIT_ACM_PASS, "bramwick");
        g_journal.clear();
    }
    bool engineStarted() const { return g_journal.has("engine:iaxc_initialize(2)"); }
};

TEST_F(ExtensionCheckTest, MissingManagerFieldsStopStart) {
    window.setControlText(IDC_EDIT_ACM_USER, "");
    OnBnClickedButStart();
    EXPECT_EQ(boxes.texts(),
              std::vector<std::string>{"**ERR** mandatory (verify Extension status) [ACM user] value not given!"});
    EXPECT_TRUE(logHas("**DEB** [Start]-> verifying extensin state"));

    boxes.shown.clear();
    window.setControlText(IDC_EDIT_ACM_USER, "queueopr");
    window.setControlText(IDC_EDIT_ACM_PASS, "");
    OnBnClickedButStart();
    EXPECT_EQ(boxes.texts(),
              std::vector<std::string>{
                  "**ERR** mandatory (verify Extension status) [ACM pass] (password) value not given!"});
    EXPECT_FALSE(g_journal.has("manager:init_iaxAgiSocket(1)"));
    EXPECT_FALSE(engineStarted());
    EXPECT_EQ(window.m_notStarted, 1);
}

TEST_F(ExtensionCheckTest, UnusedExtensionGoesOnWithTheLinkClosed) {
    g_agent.verifyResult = MGR_EXT_UNUSED;
    OnBnClickedButStart();
    EXPECT_STREQ(g_settings.acmUser, "queueopr");
    EXPECT_STREQ(g_settings.acmPass, "bramwick");
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(logHas("**ERR** [Start]->init_iaxAgiSocket() verified ExtDN[7001] is unused"));
    // The session only verified: it is logged off before the engine starts.
    const int logout = g_journal.indexOf("manager:agi_Logout(null)");
    ASSERT_GE(logout, 0);
    EXPECT_LT(logout, g_journal.indexOf("engine:iaxc_initialize(2)"));
    EXPECT_EQ(g_acmSocket, 0);
    EXPECT_EQ(window.m_notStarted, 0);
}

TEST_F(ExtensionCheckTest, UndefinedExtensionStops) {
    g_agent.verifyResult = MGR_EXT_NOT_DEFINED;
    OnBnClickedButStart();
    const std::string text = "IAX Extension Verification\nExtension [7001] is not defined in switch!";
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{text});
    EXPECT_TRUE(g_journal.has("manager:agi_Logout(null)"));
    EXPECT_EQ(g_acmSocket, 0);
    EXPECT_FALSE(engineStarted());
    EXPECT_EQ(window.m_notStarted, 1);
}

TEST_F(ExtensionCheckTest, ExtensionInUseElsewhereStops) {
    g_agent.verifyResult = MGR_EXT_IN_USE;
    g_agent.inUseAddress = "10.9.8.7";
    OnBnClickedButStart();
    const std::string text =
        "IAX Extension Verification\nExtension [7001] is found being in-used by [10.9.8.7]\n"
        "Local IP address(es): [192.168.7.20, 127.0.0.1]\n";
    ASSERT_EQ(boxes.texts(), std::vector<std::string>{text});
    EXPECT_EQ(boxes.shown[0].buttons, BoxButtons::Ok);
    EXPECT_TRUE(g_journal.has("manager:agi_Logout(null)"));
    EXPECT_EQ(g_acmSocket, 0);
    EXPECT_FALSE(engineStarted());
}

TEST_F(ExtensionCheckTest, ExtensionInUseHereAsksWithNoAsDefault) {
    const std::string question =
        "IAX Extension Verification\nExtension [7001] is found being in-used by [192.168.7.20], possibly in same "
        "computer\nLocal IP address(es): [192.168.7.20, 127.0.0.1]\nAre you sure to continue?";
    g_agent.verifyResult = MGR_EXT_IN_USE;
    g_agent.inUseAddress = "192.168.7.20";

    OnBnClickedButStart();  // the default answer: No
    ASSERT_EQ(boxes.texts(), std::vector<std::string>{question});
    EXPECT_EQ(boxes.shown[0].buttons, BoxButtons::YesNo);
    EXPECT_EQ(boxes.shown[0].defaultAnswer, IDNO_ANSWER);
    EXPECT_FALSE(engineStarted());
    EXPECT_EQ(window.m_notStarted, 1);

    boxes.shown.clear();
    boxes.answers = {IDYES_ANSWER};
    OnBnClickedButStart();
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{question});
    EXPECT_TRUE(engineStarted());
    EXPECT_EQ(g_acmSocket, 0);
    EXPECT_EQ(window.m_notStarted, 0);
}

TEST_F(ExtensionCheckTest, LinkFailuresAndUnknownAnswersStop) {
    struct Case {
        int code;
        std::string text;
        bool loggedOff;
    } cases[] = {
        {SO_CONNECT_ERROR,
         "**ERR** [Start] (verify Extension state)->init_iaxAgiSocket() socket error [connect() function error]",
         false},
        {MGR_REFUSED,
         "**ERR** [Start] (verify Extension state)->init_iaxAgiSocket() non-socket error; rerun with -debug and "
         "check log file!",
         false},
        {0, "**ERR** [Start]->init_iaxAgiSocket() verified ExtDN[7001]-> unknown return value[0]!", true},
        {-13, "**ERR** [Start]->init_iaxAgiSocket() verified ExtDN[7001]-> unknown return value[-13]!", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        boxes.shown.clear();
        g_journal.clear();
        g_agent.verifyResult = c.code;
        g_agent.verifyLeavesLinkOpen = c.loggedOff;
        OnBnClickedButStart();
        EXPECT_EQ(boxes.texts(), std::vector<std::string>{c.text});
        EXPECT_TRUE(logHas(c.text));
        EXPECT_EQ(g_journal.has("manager:agi_Logout(null)"), c.loggedOff);
        EXPECT_EQ(g_acmSocket, 0);
        EXPECT_FALSE(engineStarted());
        EXPECT_EQ(window.m_notStarted, 1);
    }
}

}  // namespace
