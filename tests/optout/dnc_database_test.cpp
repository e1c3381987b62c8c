// The database layer and the Dial request against a real MariaDB on
// loopback: the three driver names, lookups, failures and their trace, a
// server that goes away, and numbers that try to change the statement.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "app/control_ids.h"
#include "app/settings.h"
#include "db_support.h"
#include "optout/dial_numbers.h"
#include "optout/dial_request.h"
#include "optout/dnc_database.h"
#include "test_support.h"
#include "tests/support/window/fake_main_window.h"
#include "tests/support/window/scripted_message_boxes.h"

using namespace optout_test;

namespace {

const char* const kCfgFile = "/etc/quendra/optout.cfg";

// Calls the dial request placed, through databaseDialServices.
std::vector<std::string>& placedCalls() {
    static std::vector<std::string> placed;
    return placed;
}

// The dial request's steps with the real database, Not Ready always
// accepted, and calls recorded in placedCalls() (emptied here).
DialServices databaseDialServices(int* activeCallNo) {
    placedCalls().clear();
    return {dbConnectionOpen,
            dbOpenConnection,
            [](const char* s, const char* p) { return dbSearchRecord(s, p); },
            [](const char*, const char*) { return 1; },
            [](const char* d) {
                placedCalls().push_back(d);
                return 0;
            },
            activeCallNo};
}

class DncDatabase : public ::testing::Test {
protected:
    void SetUp() override {
        resetGlobals();
        log.emplace();
        g_settings.debug = 1;
        if (!server.loadFromEnvironment()) GTEST_SKIP() << "QUENDRA_TEST_MYSQL_* not set";
        side.emplace(server);
        ASSERT_TRUE(side->ok()) << "side connection to the test database failed";
        // Each test has a table of its own: tests may run at the same time.
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        table = "dnc_t_" + name.substr(0, 50);
        window.title = "Quendra";
        // No agent logged in and Login off: the request neither sets Not
        // Ready nor applies the login rule.
        window.enableControl(IDC_BUT_LOGOUT, false);
        window.enableControl(IDC_BUT_LOGIN, false);
        g_mainDlg = &window;
        copyText(g_optOutCfgFile, kCfgFile);
    }
    void TearDown() override {
        resetGlobals();
        if (side && side->ok()) side->exec("DROP TABLE IF EXISTS " + table);
        log.reset();
    }

    // Start-up as the window runs it, with screening configured.
    void startUp(const char* dbtype) {
        useServer(server, dbtype, table.c_str());
        g_dncEnabled = 1;
        optOutStartUp();
    }

    int lookup(const char* number) {
        char query[kStatementMax + 1];
        buildDncQuery(table.c_str(), query, sizeof query);
        return dbSearchRecord(query, number);
    }
    int lookupWritten(const char* number) {
        char statement[kStatementMax + 1];
        buildDncStatement(table.c_str(), number, statement, sizeof statement);
        return dbSearchRecord(statement);
    }

    MysqlServer server;
    std::optional<SideConnection> side;
    std::string table;
    FakeMainWindow window;
    std::optional<LogCapture> log;
};

TEST_F(DncDatabase, BothMysqlNamesConnectThroughMariaDb) {
    ASSERT_TRUE(side->createDncTable(table, {}));
    for (const char* type : {"mysql3.51", "mysql5.0"}) {
        resetGlobals();
        log.emplace();
        g_settings.debug = 1;
        g_mainDlg = &window;
        window.title = "Quendra";
        copyText(g_optOutCfgFile, kCfgFile);
        startUp(type);
        EXPECT_EQ(g_dncEnabled, 1) << type;
        EXPECT_EQ(window.title, std::string("Quendra (") + kCfgFile + ")") << type;
        EXPECT_TRUE(dbConnectionOpen()) << type;
        // The string in force and its trace stay as written.
        char expected[512];
        buildOptOutConnString(expected, sizeof expected);
        EXPECT_STREQ(g_optOutConnString, expected);
        EXPECT_TRUE(log->has(std::string("**DEB** Opt-out connection string=[") + expected + "]"));
        EXPECT_TRUE(
            log->has(std::string("**DEB** dbOpenConnection()-> Open(connString,timeout)=[") + expected + ",10]"));
        EXPECT_TRUE(log->has("**DEB** dbOpenConnection()-> Open()->State = adStateOpen"));
        EXPECT_EQ(lookup("5550000"), DB_NOT_FOUND) << type;
    }
}

TEST_F(DncDatabase, StartUpWithoutWindowStillConnects) {
    ASSERT_TRUE(side->createDncTable(table, {}));
    g_mainDlg = nullptr;
    startUp("mysql5.0");
    EXPECT_EQ(g_dncEnabled, 1);
}

TEST_F(DncDatabase, FoundNotFoundTwoRowsAndEmptyTable) {
    ASSERT_TRUE(side->createDncTable(table, {"5551001", "5552002", "5552002"}));
    startUp("mysql3.51");
    ASSERT_EQ(g_dncEnabled, 1);
    EXPECT_EQ(lookup("5551001"), DB_FOUND);
    EXPECT_EQ(lookup("5552002"), DB_FOUND);
    EXPECT_EQ(lookup("5553003"), DB_NOT_FOUND);
    EXPECT_EQ(lookup("555100"), DB_NOT_FOUND);
    EXPECT_EQ(lookup(""), DB_NOT_FOUND);
    // The parameter gives what the written statement gives.
    for (const char* n : {"5551001", "5552002", "5553003", "555100"}) EXPECT_EQ(lookup(n), lookupWritten(n)) << n;

    ASSERT_TRUE(side->exec("DELETE FROM " + table));
    EXPECT_EQ(lookup("5551001"), DB_NOT_FOUND);
    EXPECT_EQ(log->countContaining("dbPrintErr"), 0);
}

TEST_F(DncDatabase, MissingTableGivesMinusOneAndTheErrorLines) {
    startUp("mysql3.51");  // the table was never created
    ASSERT_EQ(g_dncEnabled, 1);
    log->clear();
    EXPECT_EQ(lookup("5551001"), DB_LOOKUP_FAILED);
    EXPECT_TRUE(log->has("**ERR** dbPrintErr(): pConnection [error cnt, error number]=[0, 1146]"));
    EXPECT_TRUE(
        log->has("**ERR** dbPrintErr(): COM error [Code, Message] = [1146, 42S02 base table "
                 "or view not found]"));
    EXPECT_EQ(log->countContaining("**ERR** dbPrintErr(): COM error Description [Source, Descrip] = [["), 1);
    EXPECT_EQ(log->countContaining("doesn't exist]"), 1);
    // The connection stays usable.
    EXPECT_TRUE(dbConnectionOpen());
    ASSERT_TRUE(side->createDncTable(table, {"5551001"}));
    EXPECT_EQ(lookup("5551001"), DB_FOUND);
}

TEST_F(DncDatabase, WrongPasswordLeavesScreeningOffAndTheTitleUnchanged) {
    useServer(server, "mysql5.0", table.c_str());
    copyText(g_settings.dbpassword, "not-the-password");
    g_dncEnabled = 1;
    optOutStartUp();
    EXPECT_EQ(g_dncEnabled, 0);
    EXPECT_EQ(window.title, "Quendra");
    EXPECT_FALSE(dbConnectionOpen());
    EXPECT_TRUE(log->has("**ERR** dbPrintErr(): pConnection [error cnt, error number]=[0, 1045]"));
    EXPECT_TRUE(
        log->has("**ERR** dbPrintErr(): COM error [Code, Message] = [1045, 28000 invalid "
                 "authorization specification]"));
}

TEST_F(DncDatabase, ClosedPortFailsAtOnce) {
    useServer(server, "mysql3.51", table.c_str());
    g_settings.dbmysqlPort = 1;
    g_dncEnabled = 1;
    const auto start = std::chrono::steady_clock::now();
    optOutStartUp();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(g_dncEnabled, 0);
    EXPECT_EQ(log->countContaining("COM error [Code, Message] = [2002, HY000 general error]"), 1);
}

TEST_F(DncDatabase, NumbersThatTryToChangeTheStatementAreNotFound) {
    ASSERT_TRUE(side->createDncTable(table, {"5551001", "555"}));
    startUp("mysql3.51");
    ASSERT_EQ(g_dncEnabled, 1);
    const std::string numbers[] = {
        "555' OR '1'='1",
        "555'; DROP TABLE dnc_list; --",
        "555'; DROP TABLE " + table + "; --",
        "555\\' OR 1=1 -- ",
    };
    for (const auto& n : numbers) EXPECT_EQ(lookup(n.c_str()), DB_NOT_FOUND) << n;
    EXPECT_EQ(side->queryNumber("SELECT COUNT(*) FROM " + table), 2);
    EXPECT_EQ(side->queryNumber("SELECT COUNT(*) FROM information_schema.tables WHERE table_schema = '" +
                                server.database + "' AND table_name = 'dnc_list'"),
              1);

    // Through the whole request as well: the call goes ahead, nothing found.
    int activeCallNo = -1;
    const DialServices services = databaseDialServices(&activeCallNo);
    const std::vector<std::string>& placed = placedCalls();
    g_settings.loggedInToDial = 0;
    ScriptedMessageBoxes boxes;
    setMessageBoxes(&boxes);
    window.setControlText(IDC_EDIT_NUMBER, "555' OR '1'='1");
    runDialRequest(window, services);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(placed.size(), 1u);
    EXPECT_EQ(side->queryNumber("SELECT COUNT(*) FROM " + table), 2);
}

TEST_F(DncDatabase, DialRefusesABlockedNumber) {
    ASSERT_TRUE(side->createDncTable(table, {"5551001"}));
    startUp("mysql3.51");
    ASSERT_EQ(g_dncEnabled, 1);
    int activeCallNo = -1;
    const DialServices services = databaseDialServices(&activeCallNo);
    g_settings.loggedInToDial = 0;
    copyText(g_settings.removeDNCprefix, "9");
    ScriptedMessageBoxes boxes;
    setMessageBoxes(&boxes);
    window.setControlText(IDC_EDIT_NUMBER, "95551001");
    runDialRequest(window, services);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "[5551001] is found in Opt-out / Do-Not-Call table; operation aborted");
    EXPECT_EQ(placedCalls().size(), 0u);
    window.setControlText(IDC_EDIT_NUMBER, "95551002");
    runDialRequest(window, services);
    EXPECT_EQ(placedCalls().size(), 1u);
    EXPECT_EQ(activeCallNo, 0);
}

TEST_F(DncDatabase, ServerStoppedAfterStartUpIsNoticedAtTheNextDial) {
    ASSERT_TRUE(side->createDncTable(table, {}));
    TcpRelay relay(std::atoi(server.port.c_str()));
    ASSERT_TRUE(relay.ok());
    useServer(server, "mysql3.51", table.c_str());
    g_settings.dbmysqlPort = relay.port();
    g_dncEnabled = 1;
    optOutStartUp();
    ASSERT_EQ(g_dncEnabled, 1);
    ASSERT_EQ(window.title, std::string("Quendra (") + kCfgFile + ")");
    ASSERT_TRUE(dbConnectionOpen());
    relay.stop();  // the server goes away: connection and port

    int activeCallNo = -1;
    const DialServices services = databaseDialServices(&activeCallNo);
    const std::vector<std::string>& placed = placedCalls();
    g_settings.loggedInToDial = 0;
    copyText(g_settings.user, "1001");
    copyText(g_settings.pass, "pw");
    copyText(g_settings.host, "pbx");
    copyText(g_settings.dialprefix, "8");
    window.setControlText(IDC_EDIT_NUMBER, "5551001");
    const std::string question =
        "dbOpenConnection() failed!\nYes - Disable DNC and dial this number\n"
        "No - dial this number anyway\nCancel - stop dialing transaction";

    // Cancel: nothing dialled, screening stays.
    ScriptedMessageBoxes boxes;
    setMessageBoxes(&boxes);
    boxes.answers = {IDOK_ANSWER, IDCANCEL_ANSWER};
    runDialRequest(window, services);
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[0].text, "DB connection not opened");
    EXPECT_EQ(boxes.shown[1].text, question);
    EXPECT_TRUE(placed.empty());
    EXPECT_EQ(g_dncEnabled, 1);
    EXPECT_GE(log->countContaining("dbOpenConnection()-> before creating connection instance"), 2);

    // No: dialled with the dial prefix, screening stays.
    boxes.shown.clear();
    boxes.answers = {IDOK_ANSWER, IDNO_ANSWER};
    runDialRequest(window, services);
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[1].text, question);
    EXPECT_EQ(placed, std::vector<std::string>{"1001:pw@pbx/85551001"});
    EXPECT_EQ(g_dncEnabled, 1);
    EXPECT_EQ(window.title, std::string("Quendra (") + kCfgFile + ")");

    // Yes: screening off for good, the title cut at "(", no dial prefix.
    boxes.shown.clear();
    boxes.answers = {IDOK_ANSWER, IDYES_ANSWER};
    runDialRequest(window, services);
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(placed.back(), "1001:pw@pbx/5551001");
    EXPECT_EQ(g_dncEnabled, 0);
    EXPECT_EQ(window.title, "Quendra ");

    boxes.shown.clear();
    runDialRequest(window, services);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(placed.size(), 3u);
}

// Accepts connections on 127.0.0.1:port and never answers.
class SilentListener {
public:
    explicit SilentListener(int port) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd_, 8) != 0) {
            close(fd_);
            fd_ = -1;
            return;
        }
        socklen_t len = sizeof a;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    ~SilentListener() {
        if (fd_ >= 0) close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    int port() const { return port_; }

private:
    int fd_ = -1;  // the kernel completes connections in the backlog
    int port_ = 0;
};

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST_F(DncDatabase, SqlServerNameReachesFreeTdsAndFailsWithinTheTimeOut) {
    useServer(server, "mssql", "dnc_list");
    copyText(g_settings.dbhost, "127.0.0.1");
    {
        // Nothing on the SQL Server port: refused at once.
        g_dncEnabled = 1;
        const auto start = std::chrono::steady_clock::now();
        optOutStartUp();
        EXPECT_LT(secondsSince(start), 5.0);
        EXPECT_EQ(g_dncEnabled, 0);
        EXPECT_EQ(window.title, "Quendra");
        EXPECT_TRUE(
            log->has("**DEB** dbOpenConnection()-> Open(connString,timeout)=[DRIVER={SQL Server};"
                     "SERVER=127.0.0.1;DATABASE=" +
                     server.database + ";UID=" + server.user + ";PWD=" + server.password + ";,10]"));
        EXPECT_EQ(log->countContaining("Source, Descrip] = [[FreeTDS]"), 1);
    }
    SilentListener listener(1433);
    if (!listener.ok()) GTEST_SKIP() << "port 1433 is in use here";
    resetGlobals();
    log.emplace();
    g_settings.debug = 1;
    g_mainDlg = &window;
    useServer(server, "mssql", "dnc_list");
    copyText(g_settings.dbhost, "127.0.0.1");
    g_dncEnabled = 1;
    const auto start = std::chrono::steady_clock::now();
    optOutStartUp();
    const double took = secondsSince(start);
    EXPECT_EQ(g_dncEnabled, 0);
    EXPECT_GE(took, 9.0);
    EXPECT_LT(took, 14.0);
    EXPECT_EQ(log->countContaining("HYT00 timeout expired"), 1);
}

TEST_F(DncDatabase, MysqlNameGivesUpOnASilentServerWithinTheTimeOut) {
    SilentListener listener(0);
    ASSERT_TRUE(listener.ok());
    useServer(server, "mysql3.51", "dnc_list");
    g_settings.dbmysqlPort = listener.port();
    g_dncEnabled = 1;
    const auto start = std::chrono::steady_clock::now();
    optOutStartUp();
    const double took = secondsSince(start);
    EXPECT_EQ(g_dncEnabled, 0);
    EXPECT_GE(took, 9.0);
    EXPECT_LT(took, 14.0);
    // The string in force and its trace carry no driver-specific addition.
    EXPECT_EQ(log->countContaining("CONN_TIMEOUT"), 0);
    EXPECT_EQ(std::string(g_optOutConnString).find("CONN_TIMEOUT"), std::string::npos);
}

TEST_F(DncDatabase, UnInitializeClosesAndWritesItsLines) {
    ASSERT_TRUE(side->createDncTable(table, {}));
    startUp("mysql3.51");
    ASSERT_EQ(g_dncEnabled, 1);
    log->clear();
    dbUnInitialize();
    const std::vector<std::string> expected = {
        "**DEB** dbUnInitialize()->l_pConnection is not NULL",
        "**DEB** dbUnInitialize()->l_pConnection=adStateOpen; ->Close will be called",
    };
    EXPECT_EQ(log->lines(), expected);
    EXPECT_FALSE(dbConnectionOpen());
    EXPECT_EQ(lookup("1"), DB_LOOKUP_FAILED);
    // The layer can start again.
    ASSERT_EQ(dbInitialize(), DB_SUCCESS);
    EXPECT_EQ(dbOpenConnection(g_optOutConnString), DB_SUCCESS);
    EXPECT_EQ(lookup("1"), DB_NOT_FOUND);
}

}  // namespace
