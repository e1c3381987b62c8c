// Connection strings, what is handed to each driver, and the error trace,
// all without a database server.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "app/settings.h"
#include "optout/dnc_connection.h"
#include "optout/dnc_database.h"
#include "test_support.h"
#include "tests/support/window/fake_main_window.h"

using optout_test::LogCapture;

namespace {

class DncOffline : public ::testing::Test {
protected:
    void SetUp() override {
        optout_test::resetGlobals();
        log.emplace();
        g_settings.debug = 1;
        copyText(g_settings.dbhost, "dbhost1");
        copyText(g_settings.dbserver, "dncdb");
        copyText(g_settings.dbusername, "agent");
        copyText(g_settings.dbpassword, "pw");
        g_settings.dbmysqlPort = 3307;
    }
    void TearDown() override {
        optout_test::resetGlobals();
        log.reset();
    }
    std::string connString() {
        char text[512];
        buildOptOutConnString(text, sizeof text);
        return text;
    }
    std::optional<LogCapture> log;
};

TEST_F(DncOffline, ConnectionStringsAsWritten) {
    copyText(g_settings.dbtype, "mysql3.51");
    EXPECT_EQ(connString(),
              "DRIVER={MySQL ODBC 3.51 Driver};SERVER=dbhost1;PORT=3307;DATABASE=dncdb;"
              "USER=agent;PASSWORD=pw;OPTION=3");
    copyText(g_settings.dbtype, "mysql5.0");
    EXPECT_EQ(connString(),
              "DRIVER={MySQL Connector/ODBC v5};SERVER=dbhost1;PORT=3307;DATABASE=dncdb;"
              "UID=agent;PASSWORD=pw;OPTION=3;");
    copyText(g_settings.dbtype, "mssql");
    EXPECT_EQ(connString(), "DRIVER={SQL Server};SERVER=dbhost1;DATABASE=dncdb;UID=agent;PWD=pw;");
    g_settings.dbmysqlPort = 1;
    EXPECT_EQ(connString(), "DRIVER={SQL Server};SERVER=dbhost1;DATABASE=dncdb;UID=agent;PWD=pw;");
}

TEST_F(DncOffline, LongestConnectionStringFits) {
    copyText(g_settings.dbtype, "mysql5.0");
    const std::string v(63, 'v');
    for (char* f : {g_settings.dbhost, g_settings.dbserver, g_settings.dbusername, g_settings.dbpassword})
        copyText(f, 64, v.c_str());
    g_settings.dbmysqlPort = 65535;
    const std::string s = connString();
    EXPECT_LT(s.size(), 512u);
    EXPECT_EQ(s.substr(s.size() - 10), ";OPTION=3;");
}

TEST_F(DncOffline, DriverNameFromTheString) {
    char name[64];
    EXPECT_TRUE(connectionStringDriver("DRIVER={MySQL ODBC 3.51 Driver};SERVER=x", name, sizeof name));
    EXPECT_STREQ(name, "MySQL ODBC 3.51 Driver");
    EXPECT_TRUE(connectionStringDriver("SERVER=x; driver = FreeTDS ;UID=a", name, sizeof name));
    EXPECT_STREQ(name, "FreeTDS ");
    EXPECT_TRUE(connectionStringDriver("PWD={a;DRIVER=b};Driver={c}", name, sizeof name));
    EXPECT_STREQ(name, "c");
    EXPECT_FALSE(connectionStringDriver("SERVER=x;UID=a", name, sizeof name));
    EXPECT_FALSE(connectionStringDriver("DRIVER={", name, sizeof name));
    char small[4];
    EXPECT_TRUE(connectionStringDriver("DRIVER={LongName}", small, sizeof small));
    EXPECT_STREQ(small, "Lon");
}

TEST_F(DncOffline, MariaDbGetsItsOwnTimeOut) {
    DriverRegistration maria;
    addDriverAttribute(&maria, "Driver=/usr/lib/x86_64-linux-gnu/odbc/libmaodbc.so");
    char out[640];
    driverConnectionString("DRIVER={MySQL ODBC 3.51 Driver};SERVER=h;OPTION=3", maria, out, sizeof out);
    EXPECT_STREQ(out,
                 "DRIVER={MySQL ODBC 3.51 Driver};SERVER=h;OPTION=3;CONN_TIMEOUT=10;"
                 "READ_TIMEOUT=30;WRITE_TIMEOUT=30");
    driverConnectionString("DRIVER={MySQL Connector/ODBC v5};OPTION=3;", maria, out, sizeof out);
    EXPECT_STREQ(out,
                 "DRIVER={MySQL Connector/ODBC v5};OPTION=3;CONN_TIMEOUT=10;READ_TIMEOUT=30;"
                 "WRITE_TIMEOUT=30");
    driverConnectionString("DRIVER={x};conn_timeout=3;Read_Timeout=5;WRITE_TIMEOUT=6", maria, out, sizeof out);
    EXPECT_STREQ(out, "DRIVER={x};conn_timeout=3;Read_Timeout=5;WRITE_TIMEOUT=6");
}

TEST_F(DncOffline, FreeTdsGetsTheRegisteredPortAndVersion) {
    DriverRegistration tds;
    addDriverAttribute(&tds, "Driver=/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so");
    char out[640];
    const char* sqlServer = "DRIVER={SQL Server};SERVER=h;DATABASE=d;UID=u;PWD=p;";
    driverConnectionString(sqlServer, tds, out, sizeof out);
    EXPECT_STREQ(out, "DRIVER={SQL Server};SERVER=h;DATABASE=d;UID=u;PWD=p;Port=1433;TDS_Version=7.4");

    addDriverAttribute(&tds, "Port=1533");
    addDriverAttribute(&tds, "tds_version=7.3");
    addDriverAttribute(&tds, "UsageCount=1");
    driverConnectionString(sqlServer, tds, out, sizeof out);
    EXPECT_STREQ(out, "DRIVER={SQL Server};SERVER=h;DATABASE=d;UID=u;PWD=p;Port=1533;TDS_Version=7.3");

    driverConnectionString("DRIVER={SQL Server};SERVER=h;PORT=2000", tds, out, sizeof out);
    EXPECT_STREQ(out, "DRIVER={SQL Server};SERVER=h;PORT=2000;TDS_Version=7.3");
}

TEST_F(DncOffline, OtherDriversGetTheStringAsItIs) {
    DriverRegistration other;
    char out[640];
    driverConnectionString("DRIVER={Nosuch};A=1", other, out, sizeof out);
    EXPECT_STREQ(out, "DRIVER={Nosuch};A=1");
    // A string at the capacity is not overrun by what is appended.
    DriverRegistration maria;
    addDriverAttribute(&maria, "Driver=libmaodbc.so");
    char small[24];
    driverConnectionString("DRIVER={MySQL ODBC 3.51 Driver}", maria, small, sizeof small);
    EXPECT_EQ(std::string(small), std::string("DRIVER={MySQL ODBC 3.51 Driver}").substr(0, 23));
}

TEST_F(DncOffline, SqlStateTexts) {
    EXPECT_STREQ(sqlStateClassText("28000"), "invalid authorization specification");
    EXPECT_STREQ(sqlStateClassText("42S02"), "base table or view not found");
    EXPECT_STREQ(sqlStateClassText("42000"), "syntax error or access rule violation");
    EXPECT_STREQ(sqlStateClassText("HYT00"), "timeout expired");
    EXPECT_STREQ(sqlStateClassText("HY000"), "general error");
    EXPECT_STREQ(sqlStateClassText("ZZ999"), "unclassified condition");
    EXPECT_STREQ(sqlStateClassText(nullptr), "unclassified condition");
}

TEST_F(DncOffline, PrintErrWithoutAConnection) {
    DbError e;
    e.code = -2147467259;
    copyText(e.message, "HY000 general error");
    copyText(e.source, "[vendor]");
    dbPrintErr(nullptr, e);
    const std::vector<std::string> expected = {
        "**ERR** dbPrintErr(): COM error [Code, Message] = [-2147467259, HY000 general error]",
        "**ERR** dbPrintErr(): COM error Description [Source, Descrip] = [[vendor], ]",
    };
    EXPECT_EQ(log->lines(), expected);
}

TEST_F(DncOffline, SearchWithoutStatementOrConnection) {
    EXPECT_EQ(dbSearchRecord(""), DB_LOOKUP_FAILED);
    EXPECT_EQ(dbSearchRecord(nullptr), DB_LOOKUP_FAILED);
    EXPECT_EQ(dbSearchRecord("SELECT 1"), DB_LOOKUP_FAILED);
    const std::vector<std::string> expected = {
        "**WRN** dbSearchRecord()-> empty inputted comand string",
        "**WRN** dbSearchRecord()-> empty inputted comand string",
        "**WRN** dbSearchRecord()-> pConnection not = adStateOpen",
    };
    EXPECT_EQ(log->lines(), expected);
    EXPECT_FALSE(dbConnectionOpen());
}

TEST_F(DncOffline, OpenWithoutEnvironmentFailsWithTheErrorLines) {
    EXPECT_EQ(dbOpenConnection("DRIVER={x}"), DB_FAILURE);
    EXPECT_EQ(dbCurrentConnection(), nullptr);
    const auto lines = log->lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "**DEB** dbOpenConnection()-> before creating connection instance using OLE DB syntax...");
    EXPECT_EQ(lines[1].rfind("**ERR** dbPrintErr(): COM error [Code, Message] = [0, ", 0), 0u);
}

TEST_F(DncOffline, DriverNotInstalled) {
    ASSERT_EQ(dbInitialize(), DB_SUCCESS);
    EXPECT_EQ(dbOpenConnection("DRIVER={Quendra No Such Driver};SERVER=127.0.0.1"), DB_FAILURE);
    EXPECT_FALSE(dbConnectionOpen());
    EXPECT_TRUE(log->has("**DEB** dbOpenConnection()-> l_pConnection.CreateInstance() succeeded"));
    EXPECT_TRUE(
        log->has("**DEB** dbOpenConnection()-> Open(connString,timeout)=[DRIVER={Quendra No "
                 "Such Driver};SERVER=127.0.0.1,10]"));
    EXPECT_EQ(log->countContaining("**ERR** dbPrintErr(): pConnection [error cnt, error number]=[0, "), 1);
    EXPECT_EQ(log->countContaining("**ERR** dbPrintErr(): COM error [Code, Message] = [0, 01000 warning]"), 1);
    EXPECT_EQ(log->countContaining("Source, Descrip] = [[unixODBC][Driver Manager], "), 1);
}

TEST_F(DncOffline, StartUpDoesNothingWhenScreeningIsOff) {
    FakeMainWindow window;
    g_mainDlg = &window;
    window.title = "Quendra";
    optOutStartUp();
    EXPECT_EQ(window.title, "Quendra");
    EXPECT_STREQ(g_optOutConnString, "");
    EXPECT_TRUE(log->lines().empty());
}

TEST_F(DncOffline, StartUpFailureLeavesScreeningOffAndTheTitle) {
    FakeMainWindow window;
    g_mainDlg = &window;
    window.title = "Quendra";
    copyText(g_settings.dbtype, "mysql3.51");
    copyText(g_settings.dbhost, "127.0.0.1");
    g_settings.dbmysqlPort = 1;  // nothing listens there
    g_dncEnabled = 1;
    optOutStartUp();
    EXPECT_EQ(g_dncEnabled, 0);
    EXPECT_EQ(window.title, "Quendra");
    EXPECT_TRUE(
        log->has("**DEB** Opt-out connection string=[DRIVER={MySQL ODBC 3.51 Driver};"
                 "SERVER=127.0.0.1;PORT=1;DATABASE=dncdb;USER=agent;PASSWORD=pw;OPTION=3]"));
}

TEST_F(DncOffline, UnInitializeWithoutObjectsAndWithDebugOff) {
    dbUnInitialize();
    EXPECT_TRUE(log->lines().empty());

    g_settings.debug = 0;
    ASSERT_EQ(dbInitialize(), DB_SUCCESS);
    EXPECT_EQ(dbOpenConnection("DRIVER={Quendra No Such Driver}"), DB_FAILURE);
    EXPECT_EQ(dbSearchRecord(""), DB_LOOKUP_FAILED);
    dbUnInitialize();
    EXPECT_TRUE(log->lines().empty());
}

}  // namespace
