// The opt-out file: every key's pattern, the limits and warnings, the
// mandatory keys and the PSTN code table.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <optional>
#include <string>

#include "app/settings.h"
#include "optout/optout_file.h"
#include "test_support.h"

using optout_test::LogCapture;

namespace {

const char* const kMandatory =
    "dbhost=db.example\n"
    "dbserver=dnc\n"
    "dbdnctable=dnc_list\n"
    "dbusername=agent\n"
    "dbpassword=secret\n";

class OptOutFile : public ::testing::Test {
protected:
    void SetUp() override {
        optout_test::resetGlobals();
        log.emplace();
        g_settings.debug = 1;
    }
    void TearDown() override { log.reset(); }

    // Writes text to a file (readable by its owner only unless mode says
    // otherwise) and reads it through readOptOutParameters.
    int read(const std::string& text, mode_t mode = 0600) {
        char path[] = "/tmp/quendra-optout-file-XXXXXX";
        const int fd = mkstemp(path);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(fchmod(fd, mode), 0);
        FILE* f = fdopen(fd, "w");
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
        lastPath = path;
        const int result = readOptOutParameters(path);
        std::remove(path);
        return result;
    }

    std::string lastPath;

    std::optional<LogCapture> log;
};

TEST_F(OptOutFile, MandatoryKeysAloneGiveDefaultsAndResultOne) {
    EXPECT_EQ(read(kMandatory), 1);
    EXPECT_STREQ(g_settings.dbhost, "db.example");
    EXPECT_STREQ(g_settings.dbserver, "dnc");
    EXPECT_STREQ(g_settings.dbdnctable, "dnc_list");
    EXPECT_STREQ(g_settings.dbusername, "agent");
    EXPECT_STREQ(g_settings.dbpassword, "secret");
    EXPECT_STREQ(g_settings.dbtype, "mssql");
    EXPECT_EQ(g_settings.dbmysqlPort, 3306);
    EXPECT_EQ(g_settings.maxlength, 0);
    EXPECT_EQ(g_settings.dncdebug, 0);
    ASSERT_EQ(g_pstnCodeCount, 2);
    EXPECT_STREQ(g_pstnCodes[0], "133");
    EXPECT_STREQ(g_pstnCodes[1], "1357");
    EXPECT_TRUE(log->lines().empty());
}

TEST_F(OptOutFile, SharedFileWithTheDatabasePasswordIsNamed) {
    EXPECT_EQ(read(kMandatory, 0644), 1);
    EXPECT_EQ(log->lines(), std::vector<std::string>{"**WRN** opt-out file [" + lastPath +
                                                     "] holds a password and can be read by other users "
                                                     "(mode 0644); make it readable by its owner only"});
    // Without the password line there is nothing to warn about (and the
    // file configures no screening).
    log->clear();
    read("dbhost=db.example\ndbserver=dnc\n", 0644);
    EXPECT_EQ(log->countContaining("holds a password"), 0);
}

TEST_F(OptOutFile, OnlyTheFirstMissingMandatoryKeyIsReported) {
    EXPECT_EQ(read("dbhost=h\ndbserver=s\ndbdnctable=t\ndbusername=u\n"), 0);
    EXPECT_EQ(log->lines(),
              std::vector<std::string>{
                  "**WRN** readOptOutParameters() mandatory dbpassword is not given; Opt-out disabled"});
    // The settings read stay in place.
    EXPECT_STREQ(g_settings.dbusername, "u");

    optout_test::resetGlobals();
    log.emplace();
    g_settings.debug = 1;
    EXPECT_EQ(read("dbserver=s\ndbdnctable=t\ndbusername=u\n"), 0);
    EXPECT_EQ(log->lines(), std::vector<std::string>{
                                "**WRN** readOptOutParameters() mandatory dbhost is not given; Opt-out disabled"});
}

TEST_F(OptOutFile, EachMandatoryWarningNamesItsKey) {
    const struct {
        const char* file;
        const char* warning;
    } cases[] = {
        {"dbhost=h\n", "mandatory dbserver is not given"},
        {"dbhost=h\ndbserver=s\n", "mandatory dbDNCtable is not given"},
        {"dbhost=h\ndbserver=s\ndbdnctable=t\n", "mandatory dbusername is not given"},
    };
    for (const auto& c : cases) {
        optout_test::resetGlobals();
        log.emplace();
        g_settings.debug = 1;
        EXPECT_EQ(read(c.file), 0) << c.file;
        EXPECT_EQ(log->countContaining(c.warning), 1) << c.file;
        EXPECT_EQ(log->lines().size(), 1u) << c.file;
    }
}

TEST_F(OptOutFile, MissingFileGivesZeroAndTheFopenLine) {
    EXPECT_EQ(readOptOutParameters("/nonexistent/quendra/optout.cfg"), 0);
    EXPECT_TRUE(log->has("**ERR** readOptOutOptions->fopen(/nonexistent/quendra/optout.cfg) failed"));
    EXPECT_STREQ(g_settings.dbtype, "mssql");
    EXPECT_EQ(g_pstnCodeCount, 2);
}

TEST_F(OptOutFile, WarningsNeedTheDebugSwitch) {
    g_settings.debug = 0;
    EXPECT_EQ(read("bogus line\nmaxlength=3\ndbtype=MSSQL\n"), 0);
    EXPECT_EQ(readOptOutParameters("/nonexistent/optout.cfg"), 0);
    EXPECT_TRUE(log->lines().empty());
}

TEST_F(OptOutFile, DbTypeChecksAndResets) {
    EXPECT_EQ(read(std::string(kMandatory) + "dbtype=mysql5.0;\n"), 1);
    EXPECT_STREQ(g_settings.dbtype, "mysql5.0");

    EXPECT_EQ(read("dbtype = mysql3.51 trailing remark\n"), 1);
    EXPECT_STREQ(g_settings.dbtype, "mysql3.51");

    log->clear();
    read("dbtype=MSSQL\n");
    EXPECT_STREQ(g_settings.dbtype, "mssql");
    EXPECT_TRUE(
        log->has("**WRN** readOptOutOptions->dbtype invalid; {mssql, mysql3.51, mysql5.0}; "
                 "reset to 'mssql'"));

    // Too long: refused, the earlier valid value stays and no reset follows.
    read("dbtype=mysql5.0\n");
    log->clear();
    read("dbtype=mysql5.0-and-more-than-15\n");
    EXPECT_STREQ(g_settings.dbtype, "mysql5.0");
    EXPECT_TRUE(
        log->has("**WRN** **WRN** dbtype  [mysql5.0-and-more-than-15] is empty or too long; "
                 "max sz=15"));
    EXPECT_EQ(log->countContaining("reset to 'mssql'"), 0);
}

TEST_F(OptOutFile, NumberKeysAndTheirRanges) {
    read("dbmysqlPort = 3307;\nmaxlength=24\ndncdebug=7\n");
    EXPECT_EQ(g_settings.dbmysqlPort, 3307);
    EXPECT_EQ(g_settings.maxlength, 24);
    EXPECT_EQ(g_settings.dncdebug, 1);

    log->clear();
    read("dbmysqlPort=0\ndbmysqlPort=65536\nmaxlength=3\nmaxlength=25\ndncdebug=0\n");
    EXPECT_EQ(g_settings.dbmysqlPort, 3307);
    EXPECT_EQ(g_settings.maxlength, 24);
    EXPECT_EQ(g_settings.dncdebug, 0);
    EXPECT_EQ(log->countContaining("**WRN** readOptOutOptions->dbmysqlPort invalid range; must be 1...65535"), 2);
    EXPECT_TRUE(
        log->has("**WRN** **WRN** readOptOutOptions->maxlength invalid range (4...24) [3] "
                 "is out of range (4...24)"));
    EXPECT_TRUE(
        log->has("**WRN** **WRN** readOptOutOptions->maxlength invalid range (4...24) [25] "
                 "is out of range (4...24)"));

    read("dbmysqlPort=1\n");
    EXPECT_EQ(g_settings.dbmysqlPort, 1);
    read("dbmysqlPort=65535\nmaxlength=4\n");
    EXPECT_EQ(g_settings.dbmysqlPort, 65535);
    EXPECT_EQ(g_settings.maxlength, 4);
}

TEST_F(OptOutFile, HugeAndSignedNumbersAreRefusedNotWrapped) {
    read("dbmysqlPort=4294970592\nmaxlength=-99999999999999999999\n");
    EXPECT_EQ(g_settings.dbmysqlPort, 3306);  // 4294970592 would wrap to 3296
    EXPECT_EQ(g_settings.maxlength, 0);
    EXPECT_TRUE(
        log->has("**WRN** **WRN** readOptOutOptions->maxlength invalid range (4...24) "
                 "[-2147483648] is out of range (4...24)"));
    read("dbmysqlPort=+3310\n");
    EXPECT_EQ(g_settings.dbmysqlPort, 3310);
}

TEST_F(OptOutFile, TextValuesStopAtSemicolonAndBlankButKeepTabs) {
    read("dbhost=db1 remark\ndbserver =\tdnc;x\ndbusername=a\tb\ndbpassword=p;w\n");
    EXPECT_STREQ(g_settings.dbhost, "db1");
    EXPECT_STREQ(g_settings.dbserver, "dnc");
    EXPECT_STREQ(g_settings.dbusername, "a\tb");
    EXPECT_STREQ(g_settings.dbpassword, "p");
}

TEST_F(OptOutFile, TextLimitsRefuseLongValues) {
    const std::string v63(63, 'h');
    const std::string v64(64, 'x');
    read("dbhost=" + v63 + "\n");
    EXPECT_STREQ(g_settings.dbhost, v63.c_str());
    log->clear();
    read("dbhost=" + v64 + "\n");
    EXPECT_STREQ(g_settings.dbhost, v63.c_str());
    EXPECT_TRUE(log->has("**WRN** **WRN** dbhost  [" + v64 + "] is empty or too long; max sz=63"));

    const struct {
        const char* key;
        const char* label;
    } keys[] = {{"dbserver", "dbserver"},
                {"dbdnctable", "dbdnctable"},
                {"dbusername", "dbusername"},
                {"dbpassword", "dbpassword"}};
    for (const auto& k : keys) {
        log->clear();
        read(std::string(k.key) + "=" + v64 + "\n");
        EXPECT_TRUE(log->has(std::string("**WRN** **WRN** ") + k.label + "  [" + v64 +
                             "] is empty or too long; max sz=63"))
            << k.key;
    }
}

TEST_F(OptOutFile, DialCharacterKeys) {
    read("dialprefix=9,1\nremoveDNCprefix = *#0\n");
    EXPECT_STREQ(g_settings.dialprefix, "9");
    EXPECT_STREQ(g_settings.removeDNCprefix, "*#0");

    log->clear();
    read("dialprefix=,1\n");
    EXPECT_STREQ(g_settings.dialprefix, "9");
    EXPECT_TRUE(log->has("**WRN** readOptOutParameters() invalid input line: [dialprefix=,1]"));

    const std::string d32(32, '1');
    log->clear();
    read("removeDNCprefix=" + d32 + "\n");
    EXPECT_STREQ(g_settings.removeDNCprefix, "*#0");
    EXPECT_TRUE(log->has("**WRN** **WRN** removeDNCprefix  [" + d32 + "] is empty or too long; max sz=31"));
    read("dialprefix=" + std::string(31, '2') + "\n");
    EXPECT_EQ(std::string(g_settings.dialprefix), std::string(31, '2'));
}

TEST_F(OptOutFile, LineShapes) {
    read(
        "#dbhost=commented\n"
        " dbhost=leading-blank\n"
        "dbhost\t=\tspaced\r\n"
        "\n"
        "   \t\n"
        "dbhost\n"
        "dbhost=\n"
        "dbhostx=1\n"
        "DBHOST=caps\n");
    EXPECT_STREQ(g_settings.dbhost, "spaced");
    const auto lines = log->lines();
    const std::vector<std::string> expected = {
        "**WRN** readOptOutParameters() invalid input line: [ dbhost=leading-blank]",
        "**WRN** readOptOutParameters() invalid input line: [dbhost]",
        "**WRN** readOptOutParameters() invalid input line: [dbhost=]",
        "**WRN** readOptOutParameters() invalid input line: [dbhostx=1]",
        "**WRN** readOptOutParameters() invalid input line: [DBHOST=caps]",
        "**WRN** readOptOutParameters() mandatory dbserver is not given; Opt-out disabled",
    };
    EXPECT_EQ(lines, expected);
}

TEST_F(OptOutFile, LongLinesAreReadInPiecesOf509) {
    // 509 characters of a comment, then "dbhost=piece" continues the same
    // physical line and is handled as a line of its own.
    const std::string text = "#" + std::string(508, 'c') + "dbhost=piece\n";
    read(text);
    EXPECT_STREQ(g_settings.dbhost, "piece");
}

TEST_F(OptOutFile, PstnCodeTableFillsToFiveThenWarnsWhateverTheSwitch) {
    g_settings.debug = 0;
    read("pstncode=11\npstncode = 22\npstncode=33\npstncode=44\n");
    ASSERT_EQ(g_pstnCodeCount, 5);
    EXPECT_STREQ(g_pstnCodes[0], "133");
    EXPECT_STREQ(g_pstnCodes[1], "1357");
    EXPECT_STREQ(g_pstnCodes[2], "11");
    EXPECT_STREQ(g_pstnCodes[3], "22");
    EXPECT_STREQ(g_pstnCodes[4], "33");
    EXPECT_EQ(log->lines(),
              std::vector<std::string>{"**WRN** readOptOutParameters() pstncode table size (5) full"});
}

TEST_F(OptOutFile, PstnCodeResetRefillsFromEntryZero) {
    read("pstncodereset\npstncode=1\npstncode=22\npstncode=333\npstncode=4444\npstncode=1234567\n");
    ASSERT_EQ(g_pstnCodeCount, 5);
    EXPECT_STREQ(g_pstnCodes[0], "1");
    EXPECT_STREQ(g_pstnCodes[4], "1234567");
    EXPECT_TRUE(log->has("**DEB** readOptOutParameters() PSTN code table reset"));
    EXPECT_EQ(log->countContaining("full"), 0);

    read("pstncodereset anything after it\n");
    EXPECT_EQ(g_pstnCodeCount, 0);
}

TEST_F(OptOutFile, PstnCodeRefusals) {
    read("pstncode=12345678\npstncode=12a\npstncode=*1\n");
    ASSERT_EQ(g_pstnCodeCount, 3);  // only "12" of "12a" was taken
    EXPECT_STREQ(g_pstnCodes[2], "12");
    EXPECT_TRUE(log->has("**WRN** **WRN** pstncode  [12345678] is empty or too long; max sz=7"));
    EXPECT_TRUE(log->has("**WRN** readOptOutParameters() invalid input line: [pstncode=*1]"));
}

TEST_F(OptOutFile, LastAcceptedValueWins) {
    read("dbhost=first\ndbhost=second\ndbhost=" + std::string(70, 'z') + "\n");
    EXPECT_STREQ(g_settings.dbhost, "second");
}

TEST_F(OptOutFile, InMemoryReaderHandlesNulBytesAndEmptyText) {
    const char text[] = "dbhost=a\0b\ndbserver=s\n";
    readOptOutText(text, sizeof text - 1);
    EXPECT_STREQ(g_settings.dbhost, "a");
    EXPECT_STREQ(g_settings.dbserver, "s");
    EXPECT_EQ(readOptOutText("", 0), 0);
}

}  // namespace

namespace {

class OptOutStartUpFile : public ::testing::Test {
protected:
    void SetUp() override {
        optout_test::resetGlobals();
        log.emplace();
    }
    void TearDown() override { log.reset(); }
    std::optional<LogCapture> log;
};

TEST_F(OptOutStartUpFile, NoFileNamedLeavesScreeningOff) {
    g_settings.debug = 1;
    loadOptOutFile();
    EXPECT_EQ(g_dncEnabled, 0);
    EXPECT_TRUE(log->lines().empty());
}

TEST_F(OptOutStartUpFile, CompleteFileSwitchesScreeningOnAndIncompleteDoesNot) {
    char path[] = "/tmp/quendra-optout-start-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    FILE* f = fdopen(fd, "w");
    std::fputs(kMandatory, f);
    std::fclose(f);
    copyText(g_optOutCfgFile, path);
    loadOptOutFile();
    EXPECT_EQ(g_dncEnabled, 1);

    optout_test::resetGlobals();
    log.emplace();
    copyText(g_optOutCfgFile, path);
    f = std::fopen(path, "w");
    std::fputs("dbhost=h\n", f);
    std::fclose(f);
    loadOptOutFile();
    EXPECT_EQ(g_dncEnabled, 0);
    std::remove(path);
}

}  // namespace
