#include <unistd.h>

#include <string>
#include <vector>

#include "app/options_file.h"
#include "app/parameter_echo.h"
#include "app/settings.h"
#include "options_file_fixture.h"
#include "tests/support/app/app_test_support.h"

namespace {

class ManagerDialectOptionsTest : public OptionsFileTest {};

TEST_F(ManagerDialectOptionsTest, ClassicIsTheDefault) {
    EXPECT_STREQ(g_settings.acmDialect, "classic");
    EXPECT_STREQ(g_settings.acmQueues, "");
    EXPECT_FALSE(queueDialect());
}

TEST_F(ManagerDialectOptionsTest, DialectTakesExactlyClassicOrQueues) {
    read("acmDialect=queues\n");
    EXPECT_STREQ(g_settings.acmDialect, "queues");
    EXPECT_TRUE(queueDialect());
    EXPECT_FALSE(fileExists(logName())) << "an accepted dialect gives no message";

    read("acmDialect=Queues;\n");
    EXPECT_STREQ(g_settings.acmDialect, "queues") << "a refused word keeps the value in force";
    EXPECT_EQ(logLines(), std::vector<std::string>{"**WRN** acmDialect [Queues] is neither classic nor queues"});
    ::unlink(logName().c_str());

    read("acmDialect=classic   \n");
    EXPECT_STREQ(g_settings.acmDialect, "classic");
    EXPECT_FALSE(queueDialect());
}

TEST_F(ManagerDialectOptionsTest, QueuesAreCommaSeparatedNames) {
    read("acmQueues=sales,support-2,night.shift\n");
    EXPECT_STREQ(g_settings.acmQueues, "sales,support-2,night.shift");
    EXPECT_FALSE(fileExists(logName()));

    const char* refused[] = {"sales,,support", ",sales", "sales,", "sa les", "sales\tx"};
    for (const char* value : refused) {
        read(std::string("acmQueues=") + value + "\n");
        EXPECT_STREQ(g_settings.acmQueues, "sales,support-2,night.shift") << value;
    }
    const std::vector<std::string> lines = logLines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "**WRN** acmQueues [sales,,support] is not a comma-separated list of queue names");
}

TEST_F(ManagerDialectOptionsTest, QueueListLongerThanItsFieldIsRefused) {
    std::string longList(255, 'q');
    read("acmQueues=" + longList + "\n");
    EXPECT_EQ(std::string(g_settings.acmQueues), longList);
    read("acmQueues=" + longList + "q\n");
    EXPECT_EQ(std::string(g_settings.acmQueues), longList);
    EXPECT_EQ(logLines().size(), 1u);
}

TEST_F(ManagerDialectOptionsTest, EchoEndsWithTheDialectLines) {
    copyText(g_settings.acmDialect, "queues");
    copyText(g_settings.acmQueues, "sales,support");
    writeParameterEcho();
    const std::vector<std::string> lines = logLines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[lines.size() - 4], "**INF** ACM dialect          = [queues]");
    EXPECT_EQ(lines[lines.size() - 3], "**INF** ACM queues           = [sales,support]");
    EXPECT_EQ(lines[lines.size() - 2], "") << "the echo still ends with its blank line";
}

}  // namespace
