#include <sys/stat.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/debug_log.h"
#include "app/settings.h"
#include "tests/support/app/app_test_support.h"

namespace {

using DebugLogTest = AppTest;

TEST_F(DebugLogTest, FileNameIsFolderQuendraExtensionAndDate) {
    copyText(g_settings.user, "1001");
    EXPECT_EQ(writeDebugLog("**INF** hello"), 1);
    EXPECT_EQ(listFiles("."), std::vector<std::string>{"Quendra1001-20081231.log"});
    EXPECT_EQ(readFile("Quendra1001-20081231.log"), "2008-12-31 10:20:30 **INF** hello\n");

    std::tm tm{};
    tm.tm_year = 2009 - 1900;
    tm.tm_mon = 0;
    tm.tm_mday = 5;
    char name[512];
    copyText(g_settings.debugLogDir, "/var/log/q/");
    debugLogFileName(name, sizeof name, tm);
    EXPECT_STREQ(name, "/var/log/q/Quendra1001-20090105.log");
    char tiny[12];
    debugLogFileName(tiny, sizeof tiny, tm);
    EXPECT_STREQ(tiny, "/var/log/q/") << "a short buffer is cut, never overrun";
}

TEST_F(DebugLogTest, EmptyExtensionLeavesNothingBetweenNameAndDate) {
    writeDebugLog("x");
    EXPECT_EQ(listFiles("."), std::vector<std::string>{"Quendra-20081231.log"});
}

TEST_F(DebugLogTest, FolderIsAPlainPrefix) {
    ASSERT_EQ(::mkdir("logs", 0755), 0);
    copyText(g_settings.user, "7");
    copyText(g_settings.debugLogDir, "logs/");
    writeDebugLog("in folder");
    copyText(g_settings.debugLogDir, "logs");
    writeDebugLog("glued");
    EXPECT_EQ(listFiles("logs"), std::vector<std::string>{"Quendra7-20081231.log"});
    EXPECT_TRUE(fileExists("logsQuendra7-20081231.log"));
}

TEST_F(DebugLogTest, ExtensionChangeBetweenLinesSwitchesFiles) {
    copyText(g_settings.user, "1001");
    writeDebugLog("first");
    copyText(g_settings.user, "2002");
    writeDebugLog("second");
    EXPECT_EQ(logTexts("Quendra1001-20081231.log"), std::vector<std::string>{"first"});
    EXPECT_EQ(logTexts("Quendra2002-20081231.log"), std::vector<std::string>{"second"});
}

TEST_F(DebugLogTest, MidnightStartsTheNextDaysFile) {
    copyText(g_settings.user, "1001");
    m_now = utcTime(2008, 12, 31, 23, 59, 59);
    writeDebugLog("before");
    m_now = utcTime(2009, 1, 1, 0, 0, 0);
    writeDebugLog("after");
    EXPECT_EQ(readFile("Quendra1001-20081231.log"), "2008-12-31 23:59:59 before\n");
    EXPECT_EQ(readFile("Quendra1001-20090101.log"), "2009-01-01 00:00:00 after\n");
}

TEST_F(DebugLogTest, TextsAreWrittenAsTheyAre) {
    writeDebugLog("");
    writeDebugLog("\n\n");
    writeDebugLog("**ERR** ends with a break\n");
    writeDebugLog(nullptr);
    const std::string long_(20000, 'L');
    writeDebugLog(long_.c_str());
    EXPECT_EQ(logContent(),
              "2008-12-31 10:20:30 \n"
              "2008-12-31 10:20:30 \n\n\n"
              "2008-12-31 10:20:30 **ERR** ends with a break\n\n"
              "2008-12-31 10:20:30 \n"
              "2008-12-31 10:20:30 " +
                  long_ + "\n");
}

TEST_F(DebugLogTest, UnwritableFolderLosesTheLineQuietly) {
    copyText(g_settings.debugLogDir, "no/such/folder/");
    EXPECT_EQ(writeDebugLog("lost"), 0);
    EXPECT_TRUE(listFiles(".").empty());
}

TEST_F(DebugLogTest, TimeStampFormat) {
    m_now = utcTime(2024, 3, 7, 8, 5, 9);
    char stamp[20];
    getTimeStamp(stamp);
    EXPECT_STREQ(stamp, "2024-03-07 08:05:09");
}

TEST_F(DebugLogTest, FormattedWritersAndTheDebugSwitch) {
    logDebugf("**DEB** %s %d", "off", 1);
    EXPECT_TRUE(listFiles(".").empty()) << "logDebugf writes nothing with debug off";
    writeDebugLogf("**WRN** always %d", 2);
    g_settings.debug = 1;
    logDebugf("**DEB** on %d", 3);
    EXPECT_EQ(logLines(), (std::vector<std::string>{"**WRN** always 2", "**DEB** on 3"}));
}

TEST_F(DebugLogTest, LinesFromTwoThreadsStayWhole) {
    const std::string a(300, 'a');
    const std::string b(300, 'b');
    auto writer = [](const std::string& text) {
        for (int i = 0; i < 500; ++i) writeDebugLog(text.c_str());
    };
    std::thread first(writer, a);
    std::thread second(writer, b);
    first.join();
    second.join();
    const std::vector<std::string> lines = logLines();
    ASSERT_EQ(lines.size(), 1000u);
    for (const std::string& line : lines) EXPECT_TRUE(line == a || line == b);
}

}  // namespace
