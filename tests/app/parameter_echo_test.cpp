#include <cstdio>
#include <string>
#include <vector>

#include "app/parameter_echo.h"
#include "app/settings.h"
#include "tests/support/app/app_test_support.h"

namespace {

using ParameterEchoTest = AppTest;

// The echo of the start-up values; the opt-out block is absent.
std::vector<std::string> defaultEcho() {
    return {
        "",
        "",
        "",
        "**INF** echo of AIX2 parameters",
        "**INF** Debug log folder     = []",
        "**INF** IAX host name        = []",
        "**INF** IAX user/extension   = []",
        "**INF** IAX password         = []",
        "**INF** IAX config file name = [Quendra.ini]",
        "**INF** IAX UDP port         = [4569]",
        "**INF** Speaker volume       = [50]",
        "**INF** MIC volume           = [50]",
        "**INF** jitterbuffer         = [Disabled]",
        "**INF** filters              = []",
        "**INF** PSTN Access Code     = []",
        "**INF** Max Internal Ext Size= [0]",
        "**INF** Preferred outgoing call audio codec = [gsm]",
        "**INF** Sound playback device number   = [-1]",
        "**INF** Sound recording device number  = [-1]",
        "**INF** Allow different agent ID       = [No]",
        "**INF** Resize height        = [250]",
        "**INF** Auto-Answer/force-in = [Disabled]",
        "**INF** No auto-Answer alert = [False]",
        "**INF** Link msg logging     = [Disabled]",
        "**INF** Agent login ID       = []",
        "**INF** ACM TCP/IP port      = [5038]",
        "**INF** ACM Username         = [queueopr]",
        "**INF** ACM Password         = [bramwick]",
        "**INF** ACM read timer (sec) = [3]",
        "**INF** ACM delay read (msec)= [100]",
        "**INF** Verify Extesion State= [No]",
        "**INF** Lock ext/user field  = [No]",
        "**INF** Lock password field  = [No]",
        "**INF** vmail check          = [No]",
        "**INF** vmail check interval = [300]",
        "**INF** vmail number         = []",
        "**INF** vmail context        = [default]",
        "**INF** Must log-in to dial  = [Yes]",
        "**INF** Login action         = [Not Ready]",
        "**INF** No agent mode change when busy = [True]",
        "**INF** Inbound answer Not Ready       = [True]",
        "**INF** Outbound dial Not Ready        = [True]",
        "**INF** Inbound release action         = [No action]",
        "**INF** Inbound timed ACD (sec)        = [0]",
        "**INF** Outbound release action        = [No action]",
        "**INF** Outbound timed ACW (sec)       = [0]",
        "",
        "",
        "**INF** DNC config. file anme      = []",
        "**INF** ACM dialect          = [classic]",
        "**INF** ACM queues           = []",
        "",
        "",
    };
}

TEST_F(ParameterEchoTest, DefaultsEchoLineForLine) {
    writeParameterEcho();
    EXPECT_EQ(logLines(), defaultEcho());
    // The blank lines carry the stamp and its blank: "\n\n" and "\n" texts.
    const std::string content = logContent();
    EXPECT_EQ(content.substr(0, 23), "2008-12-31 10:20:30 \n\n\n");
    EXPECT_EQ(content.substr(content.size() - 22), "2008-12-31 10:20:30 \n\n");
}

TEST_F(ParameterEchoTest, ValuesAndWordPairs) {
    Settings& s = g_settings;
    copyText(s.host, "pbx");
    copyText(s.pass, "pw");
    copyText(s.agid, "77");
    s.jitterbuffer = 1;
    s.filter_agc = s.filter_cn = 1;
    s.diffagid = 1;
    s.aa = 1;
    s.noAutoAnsAlert = 1;
    s.linkDebug = 1;
    s.verExtState = 5;
    s.lockuser = 7;
    s.loginAction = 1;
    s.noChangeAgentWhenBusy = 0;
    s.inboundReleaseAction = 4;
    s.outboundReleaseAction = 3;
    copyText(g_optOutCfgFile, "dnc.cfg");
    writeParameterEcho();
    const std::vector<std::string> lines = logLines();
    ASSERT_EQ(lines.size(), defaultEcho().size());
    EXPECT_EQ(lines[5], "**INF** IAX host name        = [pbx]");
    EXPECT_EQ(lines[7], "**INF** IAX password         = [pw]") << "passwords in clear";
    EXPECT_EQ(lines[12], "**INF** jitterbuffer         = [Enabled]");
    EXPECT_EQ(lines[13], "**INF** filters              = [AGC|CN]");
    EXPECT_EQ(lines[19], "**INF** Allow different agent ID       = [Yes]");
    EXPECT_EQ(lines[21], "**INF** Auto-Answer/force-in = [Enabled]");
    EXPECT_EQ(lines[22], "**INF** No auto-Answer alert = [True]");
    EXPECT_EQ(lines[23], "**INF** Link msg logging     = [Enabled]");
    EXPECT_EQ(lines[24], "**INF** Agent login ID       = [77]");
    EXPECT_EQ(lines[30], "**INF** Verify Extesion State= [Yes]");
    EXPECT_EQ(lines[31], "**INF** Lock ext/user field  = [Yes]");
    EXPECT_EQ(lines[38], "**INF** Login action         = [Ready]");
    EXPECT_EQ(lines[39], "**INF** No agent mode change when busy = [False]");
    EXPECT_EQ(lines[42], "**INF** Inbound release action         = [Timed ACW]");
    EXPECT_EQ(lines[44], "**INF** Outbound release action        = [ACW]");
    EXPECT_EQ(lines[48], "**INF** DNC config. file anme      = [dnc.cfg]");
}

TEST(ActionNames, LoginAndReleaseActions) {
    EXPECT_STREQ(loginActionName(0), "Not Ready");
    EXPECT_STREQ(loginActionName(1), "Ready");
    EXPECT_STREQ(loginActionName(5), "No action");
    EXPECT_STREQ(loginActionName(-1), "No action");
    EXPECT_STREQ(releaseActionName(0), "No action");
    EXPECT_STREQ(releaseActionName(1), "Ready");
    EXPECT_STREQ(releaseActionName(2), "Not Ready");
    EXPECT_STREQ(releaseActionName(3), "ACW");
    EXPECT_STREQ(releaseActionName(4), "Timed ACW");
    EXPECT_STREQ(releaseActionName(9), "No action");
    EXPECT_STREQ(releaseActionName(-4), "No action");
}

TEST_F(ParameterEchoTest, OptOutBlockOnlyWhileScreeningIsOn) {
    Settings& s = g_settings;
    s.dncdebug = 1;
    copyText(s.dbtype, "mysql");
    s.dbmysqlPort = 3307;
    copyText(s.dbhost, "dbh");
    copyText(s.dbserver, "dbs");
    copyText(s.dbdnctable, "dnc");
    copyText(s.dbusername, "u");
    copyText(s.dbpassword, "p");
    copyText(s.dialprefix, "9");
    copyText(s.removeDNCprefix, "1");
    s.maxlength = 10;
    copyText(g_pstnCodes[2], "55");
    g_pstnCodeCount = 3;

    g_dncEnabled = 0;
    writeParameterEcho();
    EXPECT_EQ(logLines(), defaultEcho());
    std::remove(logName().c_str());

    g_dncEnabled = 1;
    writeParameterEcho();
    std::vector<std::string> expected = defaultEcho();
    const std::vector<std::string> block = {
        "**INF** DNC debug mode     = [Enabled]", "**INF** DB type            = [mysql]",
        "**INF** DB mysql TCP port  = [3307]",    "**INF** DB host            = [dbh]",
        "**INF** DB server          = [dbs]",     "**INF** table name         = [dnc]",
        "**INF** DB username        = [u]",       "**INF** DB password        = [p]",
        "**INF** DNC dial prefix    = [9]",       "**INF** DNC remove prefix  = [1]",
        "**INF** DNC maxlength      = [10]",      "**INF** PSTN CODE(0)   = [133]",
        "**INF** PSTN CODE(1)   = [1357]",        "**INF** PSTN CODE(2)   = [55]",
    };
    // The opt-out block comes before the manager dialect's two lines.
    expected.insert(expected.end() - 4, block.begin(), block.end());
    EXPECT_EQ(logLines(), expected);
}

}  // namespace
