// Do-Not-Call screening seen from the main window: the start-up with an
// opt-out file (title, echo, screening on or off) and the Dial button
// against the loopback MariaDB and the lab PBX.
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include <QLineEdit>

#include "app/call_globals.h"
#include "app/control_ids.h"
#include "app/quendra_version.h"
#include "app/settings.h"
#include "optout/dnc_database.h"
#include "tests/optout/db_support.h"
#include "tests/support/window/call_window_fixture.h"
#include "ui/about_dlg.h"

namespace {

using Strings = std::vector<std::string>;

const char* const kPlainTitle = "IAX2 Soft Phone v" QUENDRA_VERSION;

class OptOutWindowTest : public CallWindowTest {
protected:
    void SetUp() override {
        CallWindowTest::SetUp();
        if (!server.loadFromEnvironment()) GTEST_SKIP() << "QUENDRA_TEST_MYSQL_* not set";
        table = "dnc_window_" + std::to_string(::getpid());
        side = std::make_unique<optout_test::SideConnection>(server);
        ASSERT_TRUE(side->ok());
        ASSERT_TRUE(side->createDncTable(table, {"5550100", "5550100", "6001"}));
    }
    void TearDown() override {
        dbUnInitialize();
        if (side) side->exec("DROP TABLE IF EXISTS " + table);
        CallWindowTest::TearDown();
    }

    // The opt-out file dnc.cfg for the test server; extra lines follow.
    void writeOptOutFile(const std::string& password, const std::string& extra = "") {
        writeFile("dnc.cfg", "dbtype=mysql3.51\ndbhost=" + server.host + "\ndbmysqlPort=" + server.port +
                                 "\ndbserver=" + server.database + "\ndbdnctable=" + table +
                                 "\ndbusername=" + server.user + "\ndbpassword=" + password + "\n" + extra);
    }
    std::string title() const {
        char buffer[2048];
        m_dialog->windowTitle(buffer, sizeof buffer);
        return buffer;
    }
    Strings boxTexts() const { return m_boxes.texts(); }
    // Lines of the log from the first one equal to from, up to count lines.
    Strings logFrom(const std::string& from, size_t count) const {
        const Strings lines = logLines();
        auto at = std::find(lines.begin(), lines.end(), from);
        if (at == lines.end()) return {};
        const size_t left = static_cast<size_t>(lines.end() - at);
        return Strings(at, at + static_cast<std::ptrdiff_t>(std::min(left, count)));
    }
    void dial(const std::string& number) {
        type(IDC_EDIT_NUMBER, number);
        click(IDC_BUT_DIAL);
    }

    optout_test::MysqlServer server;
    std::unique_ptr<optout_test::SideConnection> side;
    std::string table;
};

TEST_F(OptOutWindowTest, ReachableDatabaseShowsTheFileInTheTitleAndEchoesTheSettings) {
    writeOptOutFile(server.password, "dialprefix=8\nmaxlength=12\n");
    openWindow("", {"-optodnc.cfg"});
    EXPECT_EQ(g_dncEnabled, 1);
    EXPECT_EQ(title(), std::string(kPlainTitle) + " (dnc.cfg)");
    const Strings expected = {
        "**INF** DNC config. file anme      = [dnc.cfg]",
        "**INF** DNC debug mode     = [Disabled]",
        "**INF** DB type            = [mysql3.51]",
        "**INF** DB mysql TCP port  = [" + server.port + "]",
        "**INF** DB host            = [" + server.host + "]",
        "**INF** DB server          = [" + server.database + "]",
        "**INF** table name         = [" + table + "]",
        "**INF** DB username        = [" + server.user + "]",
        "**INF** DB password        = [" + server.password + "]",
        "**INF** DNC dial prefix    = [8]",
        "**INF** DNC remove prefix  = []",
        "**INF** DNC maxlength      = [12]",
        "**INF** PSTN CODE(0)   = [133]",
        "**INF** PSTN CODE(1)   = [1357]",
        "**INF** ACM dialect          = [classic]",
        "**INF** ACM queues           = []",
        "",
        "",
    };
    EXPECT_EQ(logFrom(expected[0], expected.size()), expected);
    EXPECT_TRUE(logHas("**DEB** dbOpenConnection()-> Open()->State = adStateOpen"));

    // The settings window's Opt-Out group shows what is in force.
    CAboutDlg about;
    about.show();
    const auto field = [&](int id) { return about.field(id)->text().toStdString(); };
    EXPECT_EQ(field(IDC_ABOUT_OPTOUT_FILE), "dnc.cfg");
    EXPECT_EQ(field(IDC_ABOUT_OPTOUT_STATUS), "Enabled");
    EXPECT_EQ(field(IDC_ABOUT_DBTYPE), "mysql3.51");
    EXPECT_EQ(field(IDC_ABOUT_DBHOST), server.host);
    EXPECT_EQ(field(IDC_ABOUT_DBDNCTABLE), table);
    EXPECT_EQ(field(IDC_ABOUT_DIALPREFIX), "8");
    EXPECT_EQ(field(IDC_ABOUT_MAXLENGTH), "12");
    EXPECT_EQ(field(IDC_ABOUT_PSTNCODE), "133|1357");
}

TEST_F(OptOutWindowTest, WrongPasswordLeavesScreeningOffAndTheTitleUnchanged) {
    writeOptOutFile("not-" + server.password);
    openWindow("", {"-optodnc.cfg"});
    EXPECT_EQ(g_dncEnabled, 0);
    EXPECT_EQ(title(), kPlainTitle);
    // The echo ran while the file had switched screening on.
    EXPECT_TRUE(logHas("**INF** DB type            = [mysql3.51]"));
    bool printed = false;
    for (const std::string& line : logLines()) {
        if (line.rfind("**ERR** dbPrintErr(): COM error [Code, Message] = [", 0) == 0) printed = true;
    }
    EXPECT_TRUE(printed);
    EXPECT_TRUE(m_boxes.shown.empty());
}

TEST_F(OptOutWindowTest, ExitClosesTheOpenConnection) {
    writeOptOutFile(server.password);
    openWindow("", {"-optodnc.cfg"});
    ASSERT_EQ(g_dncEnabled, 1);
    ASSERT_TRUE(dbConnectionOpen());
    exitWithYes();
    EXPECT_FALSE(m_dialog->isVisible());
    EXPECT_FALSE(dbConnectionOpen());
    EXPECT_TRUE(logHas("**DEB** dbUnInitialize()->l_pConnection=adStateOpen; ->Close will be called"));
}

TEST_F(OptOutWindowTest, NoOptOutFileEchoesOnlyTheFileLine) {
    openWindow();
    EXPECT_EQ(title(), kPlainTitle);
    const Strings expected = {"**INF** DNC config. file anme      = []",
                              "**INF** ACM dialect          = [classic]", "**INF** ACM queues           = []", "",
                              ""};
    EXPECT_EQ(logFrom(expected[0], expected.size()), expected);
}

TEST_F(OptOutWindowTest, BlockedNumberIsRefusedAndAnAllowedOneReachesThePbx) {
    startPbx("[general]\nexternalcalls = ring\n");
    writeOptOutFile(server.password, "removeDNCprefix=9\ndialprefix=8\n");
    openWindow("loggedInToDial=0\n", {"-optodnc.cfg"});
    ASSERT_EQ(g_dncEnabled, 1);
    startAndRegister();

    // The prefix 9 comes off the search number, which is what the box quotes.
    dial("95550100");
    EXPECT_EQ(boxTexts(), Strings{"[5550100] is found in Opt-out / Do-Not-Call table; operation aborted"});
    EXPECT_EQ(g_activeCallNo, -1);
    EXPECT_TRUE(isEnabled(IDC_BUT_DIAL));
    runFor(200);
    EXPECT_TRUE(calls().empty());

    m_boxes.shown.clear();
    dial("95550199");
    EXPECT_TRUE(m_boxes.shown.empty()) << m_boxes.shown.front().text;
    EXPECT_GE(g_activeCallNo, 0);
    EXPECT_FALSE(isEnabled(IDC_BUT_DIAL));
    EXPECT_TRUE(isEnabled(IDC_BUT_RELEASE));
    ASSERT_TRUE(waitFor([&] { return calls().size() == 1; }));
    // The dial prefix goes before the whole typed number.
    EXPECT_EQ(calls()[0].dialled, "895550199");
}

TEST_F(OptOutWindowTest, DialIsRefusedWhileNoAgentIsLoggedIn) {
    startPbx();
    writeOptOutFile(server.password, "dncdebug=1\n");
    openWindow("", {"-optodnc.cfg"});
    startAndRegister();
    ASSERT_TRUE(isEnabled(IDC_BUT_LOGIN));
    dial("5550100");
    ASSERT_EQ(m_boxes.shown.size(), 1u);
    EXPECT_EQ(m_boxes.shown[0].text, "You must log-in to make outbound call.\nPlease login!");
    EXPECT_EQ(m_boxes.shown[0].icon, BoxIcon::Error);
    EXPECT_EQ(g_activeCallNo, -1);
    EXPECT_TRUE(isEnabled(IDC_BUT_DIAL));
    // Refused before the lookup: no statement was built.
    for (const std::string& line : logLines()) EXPECT_EQ(line.find("optout statement"), std::string::npos);
    EXPECT_TRUE(calls().empty());
}

}  // namespace
