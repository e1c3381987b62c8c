#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/settings.h"
#include "tests/support/app/app_test_support.h"

namespace {

class CommandLineTest : public AppTest {
protected:
    void parse(std::vector<std::string> words) {
        words.insert(words.begin(), "quendra");
        std::vector<const char*> argv;
        for (const auto& w : words) argv.push_back(w.c_str());
        argv.push_back(nullptr);
        parseCommandLine(static_cast<int>(words.size()), argv.data());
    }
};

TEST_F(CommandLineTest, EverySwitchSetsItsField) {
    parse({"-debug", "-hostpbx.example", "-user1001", "-passsecret", "-agid77", "-initmy.ini", "-optodnc.cfg",
           "-aa"});
    EXPECT_EQ(g_settings.debug, 1);
    EXPECT_STREQ(g_settings.host, "pbx.example");
    EXPECT_STREQ(g_settings.user, "1001");
    EXPECT_STREQ(g_settings.pass, "secret");
    EXPECT_STREQ(g_settings.agid, "77");
    EXPECT_STREQ(g_settings.cfgFile, "my.ini");
    EXPECT_STREQ(g_optOutCfgFile, "dnc.cfg");
    EXPECT_EQ(g_settings.aa, 1);
}

TEST_F(CommandLineTest, WholeWordSwitchesMustMatchExactly) {
    parse({"-debugX", "-aa1", "-Debug", "-AA", "debug"});
    EXPECT_EQ(g_settings.debug, 0);
    EXPECT_EQ(g_settings.aa, 0);
}

TEST_F(CommandLineTest, PrefixSwitchesAreCaseSensitiveAndTakeTheRest) {
    parse({"-HOSTpbx", "-Userx", "--hostx"});
    EXPECT_STREQ(g_settings.host, "");
    EXPECT_STREQ(g_settings.user, "");

    parse({"-hostpbx"});
    EXPECT_STREQ(g_settings.host, "pbx");
    parse({"-host"});
    EXPECT_STREQ(g_settings.host, "") << "a switch alone gives an empty value";
}

TEST_F(CommandLineTest, InitAloneEmptiesTheOptionsFileName) {
    ASSERT_STREQ(g_settings.cfgFile, "Quendra.ini");
    parse({"-init"});
    EXPECT_STREQ(g_settings.cfgFile, "");
}

TEST_F(CommandLineTest, LongValuesAreCutAtTheFieldCapacity) {
    const std::string hundred(100, 'u');
    const std::string threeHundred(300, 'f');
    parse({"-user" + hundred, "-host" + hundred, "-pass" + hundred, "-agid" + hundred, "-init" + threeHundred,
           "-opto" + threeHundred});
    EXPECT_EQ(std::string(g_settings.user), hundred.substr(0, 31));
    EXPECT_EQ(std::string(g_settings.host), hundred.substr(0, 63));
    EXPECT_EQ(std::string(g_settings.pass), hundred.substr(0, 63));
    EXPECT_EQ(std::string(g_settings.agid), hundred.substr(0, 15));
    EXPECT_EQ(std::string(g_settings.cfgFile), threeHundred.substr(0, 255));
    EXPECT_EQ(std::string(g_optOutCfgFile), threeHundred.substr(0, 255));
}

TEST_F(CommandLineTest, FirstMatchInTableOrderDecidesAndLastRepeatWins) {
    // "-host" is tried before "-user" and "-init" before "-opto": the rest
    // of the word is the value even when it looks like another switch.
    parse({"-host-user1001", "-init-optox"});
    EXPECT_STREQ(g_settings.host, "-user1001");
    EXPECT_STREQ(g_settings.user, "");
    EXPECT_STREQ(g_settings.cfgFile, "-optox");
    EXPECT_STREQ(g_optOutCfgFile, "");

    parse({"-user1001", "-user2002"});
    EXPECT_STREQ(g_settings.user, "2002");
}

TEST_F(CommandLineTest, ProgramNameAndUnknownWordsAreIgnoredSilently) {
    const char* argv[] = {"-debug", "hello", "-x", "", nullptr};
    parseCommandLine(4, argv);
    EXPECT_EQ(g_settings.debug, 0) << "the first word is the program's name";
    const char* withNull[] = {"quendra", nullptr, "-aa", nullptr};
    parseCommandLine(3, withNull);
    EXPECT_EQ(g_settings.aa, 1);
    parseCommandLine(5, nullptr);
    EXPECT_TRUE(listFiles(".").empty()) << "nothing is logged";
}

}  // namespace
