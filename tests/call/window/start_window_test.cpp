// [Start] in the real window against the lab PBX: the field checks, the
// extension check's outcomes over the manager interface, and the three
// registration outcomes.
#include <memory>

#include "agent/socket_layer.h"
#include "app/call_globals.h"
#include "app/control_ids.h"
#include "app/settings.h"
#include "call/engine_events.h"
#include "labpbx/manager/manager_interface.h"
#include "tests/support/window/call_window_fixture.h"
#include "voice/engine/tuning.h"

namespace {

using Strings = std::vector<std::string>;

class StartWindowTest : public CallWindowTest {
protected:
    std::vector<std::string> boxTexts() const { return m_boxes.texts(); }
    // A manager interface whose IAXExtState answer the test chooses, on the
    // process's address (the phone talks to its host for both).
    void startScriptedManager(labpbx::ExtStateAnswer answer) {
        labpbx::ManagerConfig config;
        config.bindAddress = address;
        config.port = 0;
        config.users = {{"queueopr", "bramwick"}};
        manager = std::make_unique<labpbx::ManagerServer>(config);
        manager->setExtStateLookup([answer](const std::string&) { return answer; });
        std::string error;
        ASSERT_TRUE(manager->start(&error)) << error;
    }
    CQuendraDlg& openForScriptedManager(const std::string& options = "") {
        return openWindow("verExtState=1\nacmPort=" + std::to_string(manager->port()) + "\n" + options);
    }
    void TearDown() override {
        CallWindowTest::TearDown();
        if (manager) manager->stop();
    }
    std::unique_ptr<labpbx::ManagerServer> manager;
};

TEST_F(StartWindowTest, EachMissingFieldStopsStart) {
    startPbx();
    CQuendraDlg& dlg = openWindow();
    const Strings texts = {
        "**ERR** mandatory '-host' (IAX host server name/IP address) value not given!",
        "**ERR** mandatory '-user' (IAX user / extension) value not given!",
        "**ERR** mandatory '-pass' (IAX password of 'user') value not given!",
    };
    const int fields[] = {IDC_EDIT_HOST, IDC_EDIT_USER, IDC_EDIT_PASS};
    for (int i = 0; i < 3; ++i) {
        type(IDC_EDIT_HOST, address);
        type(IDC_EDIT_USER, "7001");
        type(IDC_EDIT_PASS, "secret7001");
        type(fields[i], "");
        m_boxes.shown.clear();
        click(IDC_BUT_START);
        EXPECT_EQ(boxTexts(), Strings{texts[i]});
        EXPECT_TRUE(logHas(texts[i]));
        EXPECT_EQ(dlg.m_notStarted, 1);
        EXPECT_EQ(face(IDC_BUT_START), IDB_START);
        EXPECT_TRUE(isEnabled(IDC_EDIT_HOST));
    }
    EXPECT_TRUE(pbx->registrations().empty());
    // Corrected, the next press starts the phone.
    type(IDC_EDIT_PASS, "secret7001");
    startAndRegister();
}

TEST_F(StartWindowTest, RegistrationAcceptedShowsOnlineAndEnablesLoginAndDialOnce) {
    startPbx();
    CQuendraDlg& dlg = openWindow();
    EXPECT_FALSE(isEnabled(IDC_BUT_LOGIN));
    EXPECT_FALSE(isEnabled(IDC_BUT_DIAL));
    click(IDC_BUT_START);
    EXPECT_EQ(face(IDC_BUT_START), IDB_START_GREYED);  // the reply comes later
    EXPECT_FALSE(isEnabled(IDC_EDIT_HOST));
    EXPECT_FALSE(isEnabled(IDC_EDIT_USER));
    EXPECT_FALSE(isEnabled(IDC_EDIT_PASS));
    ASSERT_TRUE(waitFor([&] { return face(IDC_BUT_START) == IDB_ONLINE; }));
    EXPECT_TRUE(isEnabled(IDC_BUT_LOGIN));
    EXPECT_TRUE(isEnabled(IDC_BUT_DIAL));
    ASSERT_EQ(pbx->registrations().size(), 1u);
    EXPECT_EQ(pbx->registrations()[0].extension, "7001");
    EXPECT_TRUE(logHas("IAXC_EVENT_REGISTRATION: (id,reply,msgcount)=(" + std::to_string(g_registrationId) +
                       ",Accepted[12],-1)"));

    // Once: a later acceptance leaves Login as the agent's login left it.
    dlg.enableControl(IDC_BUT_LOGIN, false);
    iaxc_event again{};
    again.type = IAXC_EVENT_REGISTRATION;
    again.ev.reg = {g_registrationId, IAXC_REGISTRATION_REPLY_ACK, -1};
    iaxEventCallback(again);
    runFor(50);
    EXPECT_FALSE(isEnabled(IDC_BUT_LOGIN));
    // A second press of Start does nothing.
    m_boxes.shown.clear();
    click(IDC_BUT_START);
    EXPECT_TRUE(m_boxes.shown.empty());
    EXPECT_EQ(face(IDC_BUT_START), IDB_ONLINE);
}

TEST_F(StartWindowTest, RegistrationRefusedShowsOffline) {
    startPbx();
    openWindow();
    type(IDC_EDIT_PASS, "wrong");
    click(IDC_BUT_START);
    ASSERT_TRUE(waitFor([&] { return face(IDC_BUT_START) == IDB_OFFLINE; }));
    EXPECT_FALSE(isEnabled(IDC_BUT_DIAL));
    EXPECT_FALSE(isEnabled(IDC_BUT_LOGIN));
    EXPECT_TRUE(pbx->registrations().empty());
    EXPECT_TRUE(logHas("IAXC_EVENT_REGISTRATION: (id,reply,msgcount)=(" + std::to_string(g_registrationId) +
                       ",Rejected[1E],-1)"));
}

TEST_F(StartWindowTest, RegistrationTimedOutShowsOffline) {
    // Nothing listens on the process's address; quick resends give up soon.
    voice::engine::Tuning quick = voice::engine::currentTuning();
    quick.retry = iax2::RetryPolicy{50, 20, 100, 2, 3};
    voice::engine::setTuning(quick);
    openWindow();
    click(IDC_BUT_START);
    ASSERT_TRUE(waitFor([&] { return face(IDC_BUT_START) == IDB_OFFLINE; }, 5000));
    EXPECT_FALSE(isEnabled(IDC_BUT_DIAL));
    EXPECT_TRUE(logHas("IAXC_EVENT_REGISTRATION: (id,reply,msgcount)=(" + std::to_string(g_registrationId) +
                       ",Timeout[6],-1)"));
    voice::engine::setTuning(voice::engine::Tuning{});
}

TEST_F(StartWindowTest, MalformedHostShowsOfflineAndTheProgramGoesOn) {
    const std::string host = address + ":99999";
    CQuendraDlg& dlg = openWindow();
    type(IDC_EDIT_HOST, host);
    click(IDC_BUT_START);
    EXPECT_EQ(dlg.m_notStarted, 0);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_TRUE(m_boxes.shown.empty()) << m_boxes.shown[0].text;
    ASSERT_TRUE(waitFor([&] { return face(IDC_BUT_START) == IDB_OFFLINE; }, 10000));
    EXPECT_FALSE(isEnabled(IDC_BUT_DIAL));
    EXPECT_GT(g_registrationId, 0);
    EXPECT_TRUE(
        logHas("IAXC_EVENT_TEXT: (type,callno,msg)=(Error[3],-1,Unable to use registration host " + host + ")"));
    EXPECT_TRUE(logHas("IAXC_EVENT_REGISTRATION: (id,reply,msgcount)=(" + std::to_string(g_registrationId) +
                       ",Timeout[6],-1)"));
}

TEST_F(StartWindowTest, VerifiedUnusedExtensionStartsAndRegisters) {
    startPbx();
    openWindow("verExtState=1\n");
    startAndRegister();
    EXPECT_TRUE(m_boxes.shown.empty());
    EXPECT_TRUE(logHas("**DEB** [Start]-> verifying extensin state"));
    EXPECT_TRUE(logHas("**ERR** [Start]->init_iaxAgiSocket() verified ExtDN[7001] is unused"));
    EXPECT_EQ(g_acmSocket, 0);  // the check's session is over
}

TEST_F(StartWindowTest, VerifiedUnknownExtensionStops) {
    startPbx();
    CQuendraDlg& dlg = openWindow("verExtState=1\n");
    type(IDC_EDIT_USER, "7999");
    click(IDC_BUT_START);
    EXPECT_EQ(boxTexts(), Strings{"IAX Extension Verification\nExtension [7999] is not defined in switch!"});
    EXPECT_EQ(dlg.m_notStarted, 1);
    EXPECT_EQ(g_acmSocket, 0);
    EXPECT_TRUE(pbx->registrations().empty());
}

TEST_F(StartWindowTest, VerificationWithoutManagerValuesStops) {
    startPbx();
    openWindow("verExtState=1\n");
    type(IDC_EDIT_ACM_PASS, "");
    click(IDC_BUT_START);
    EXPECT_EQ(boxTexts(),
              Strings{"**ERR** mandatory (verify Extension status) [ACM pass] (password) value not given!"});
    type(IDC_EDIT_ACM_USER, "");
    m_boxes.shown.clear();
    click(IDC_BUT_START);
    EXPECT_EQ(boxTexts(), Strings{"**ERR** mandatory (verify Extension status) [ACM user] value not given!"});
}

TEST_F(StartWindowTest, VerificationLinkFailures) {
    startPbx();
    CQuendraDlg& dlg = openWindow("verExtState=1\n");
    // A refused manager login is no socket error.
    type(IDC_EDIT_ACM_PASS, "not-the-secret");
    click(IDC_BUT_START);
    EXPECT_EQ(boxTexts(), Strings{"**ERR** [Start] (verify Extension state)->init_iaxAgiSocket() non-socket "
                                  "error; rerun with -debug and check log file!"});
    EXPECT_EQ(g_acmSocket, 0);
    // The manager interface gone: a socket error with its text.
    const int port = pbx->managerPort();
    pbx->stop();
    g_settings.acmPort = port;
    type(IDC_EDIT_ACM_PASS, "bramwick");
    m_boxes.shown.clear();
    click(IDC_BUT_START);
    EXPECT_EQ(boxTexts(), Strings{"**ERR** [Start] (verify Extension state)->init_iaxAgiSocket() socket error "
                                  "[connect() function error]"});
    EXPECT_EQ(dlg.m_notStarted, 1);
    EXPECT_EQ(g_acmSocket, 0);
}

TEST_F(StartWindowTest, ExtensionInUseElsewhereStops) {
    startScriptedManager({labpbx::ExtState::Registered, "10.200.30.4"});
    CQuendraDlg& dlg = openForScriptedManager();
    click(IDC_BUT_START);
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].buttons, BoxButtons::Ok);
    EXPECT_EQ(m_boxes.shown[0].text.rfind("IAX Extension Verification\nExtension [7001] is found being in-used by "
                                          "[10.200.30.4]\nLocal IP address(es): [",
                                          0),
              0u);
    EXPECT_EQ(dlg.m_notStarted, 1);
    EXPECT_EQ(g_acmSocket, 0);
    // The session was logged off.
    EXPECT_TRUE(manager->waitForOpenConnections(0, 2000));
}

TEST_F(StartWindowTest, ExtensionInUseHereAsksAndYesGoesOn) {
    startScriptedManager({labpbx::ExtState::Registered, "127.0.0.1"});
    CQuendraDlg& dlg = openForScriptedManager();
    click(IDC_BUT_START);  // the default button: No
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].buttons, BoxButtons::YesNo);
    EXPECT_EQ(m_boxes.shown[0].defaultAnswer, IDNO_ANSWER);
    EXPECT_NE(m_boxes.shown[0].text.find("found being in-used by [127.0.0.1], possibly in same computer"),
              std::string::npos);
    EXPECT_NE(m_boxes.shown[0].text.find("127.0.0.1]\nAre you sure to continue?"), std::string::npos);
    EXPECT_EQ(dlg.m_notStarted, 1);

    m_boxes.answers = {IDYES_ANSWER};
    click(IDC_BUT_START);
    EXPECT_EQ(dlg.m_notStarted, 0);
    EXPECT_EQ(face(IDC_BUT_START), IDB_START_GREYED);
    EXPECT_EQ(g_acmSocket, 0);
}

}  // namespace
