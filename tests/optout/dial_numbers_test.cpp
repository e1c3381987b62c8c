// The texts of a dial request: search number, statements, outgoing number
// and dial string, with the screening trace.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "app/settings.h"
#include "optout/dial_numbers.h"
#include "test_support.h"

using optout_test::LogCapture;

namespace {

class DialNumbers : public ::testing::Test {
protected:
    void SetUp() override {
        optout_test::resetGlobals();
        log.emplace();
        g_settings.dncdebug = 1;
    }
    void TearDown() override { log.reset(); }

    std::string search(const char* dialed) {
        char target[kSearchNumberMax + 1];
        buildSearchNumber(dialed, target, sizeof target);
        return target;
    }
    std::string outgoing(const char* dialed) {
        char target[kOutgoingNumberMax + 1];
        buildOutgoingNumber(dialed, target, sizeof target);
        return target;
    }

    std::optional<LogCapture> log;
};

TEST_F(DialNumbers, NoRulesLeavesTheNumberAlone) {
    EXPECT_EQ(search("5551234"), "5551234");
    EXPECT_TRUE(log->lines().empty());
}

TEST_F(DialNumbers, PrefixAsLongAsTheNumberIsIgnored) {
    copyText(g_settings.removeDNCprefix, "9");
    EXPECT_EQ(search("9"), "9");
    EXPECT_EQ(log->lines(),
              std::vector<std::string>{"**WRN** [Dial]->removeDNCprefix: prefix[9] => dialedNum[9]; ignored"});
}

TEST_F(DialNumbers, PrefixThenPstnCodeAreRemoved) {
    copyText(g_settings.removeDNCprefix, "9");
    EXPECT_EQ(search("91357123456"), "123456");
    const std::vector<std::string> expected = {
        "**DEB** [Dial]->removeDNCprefix: dialedNum[91357123456], prefix[9], searchNum[1357123456]",
        "**DEB** [Dial]->PSTN code prefix [1357] removed->[123456]",
    };
    EXPECT_EQ(log->lines(), expected);
}

TEST_F(DialNumbers, PrefixNotFoundIsTraced) {
    copyText(g_settings.removeDNCprefix, "9");
    EXPECT_EQ(search("8123"), "8123");
    EXPECT_TRUE(log->has("**DEB** [Dial]->removeDNCprefix: prefix[9] not found in dialedNum[8123]"));
}

TEST_F(DialNumbers, PrefixComparisonIsExact) {
    copyText(g_settings.removeDNCprefix, "*9");
    EXPECT_EQ(search("#9555"), "#9555");
    EXPECT_EQ(search("*9555"), "555");
}

TEST_F(DialNumbers, OnlyTheFirstMatchingPstnCodeIsRemoved) {
    EXPECT_EQ(search("1331357888"), "1357888");
    EXPECT_EQ(log->countContaining("PSTN code prefix"), 1);
    EXPECT_TRUE(log->has("**DEB** [Dial]->PSTN code prefix [133] removed->[1357888]"));
}

TEST_F(DialNumbers, PstnTableAfterResetAndEmptyTable) {
    g_pstnCodeCount = 0;
    EXPECT_EQ(search("1331"), "1331");
    copyText(g_pstnCodes[0], "55");
    g_pstnCodeCount = 1;
    EXPECT_EQ(search("55512"), "512");
}

TEST_F(DialNumbers, MaxLengthKeepsTheStart) {
    g_settings.maxlength = 8;
    EXPECT_EQ(search("55512345678"), "55512345");
    const std::vector<std::string> expected = {
        "**DEB** [Dial]->dncmaxlength: search number [55512345678], maxlength [8]",
        "**DEB** [Dial]->dncmaxlength: search number is truncated to maxlength [8] ad [55512345]",
    };
    EXPECT_EQ(log->lines(), expected);

    log->clear();
    EXPECT_EQ(search("5551234"), "5551234");
    EXPECT_EQ(log->lines().size(), 1u);  // the first line only: nothing cut
}

TEST_F(DialNumbers, MaxLengthZeroMeansNoLimitAndNoTrace) {
    EXPECT_EQ(search("123456789012345678901234567890"), "123456789012345678901234567890");
    EXPECT_EQ(log->countContaining("dncmaxlength"), 0);
}

TEST_F(DialNumbers, TraceNeedsDncdebugButNotDebug) {
    g_settings.dncdebug = 0;
    g_settings.debug = 1;
    copyText(g_settings.removeDNCprefix, "9");
    g_settings.maxlength = 4;
    EXPECT_EQ(search("91357123456"), "1234");
    EXPECT_TRUE(log->lines().empty());
}

TEST_F(DialNumbers, StatementAsWrittenAndParameterised) {
    char text[kStatementMax + 1];
    buildDncStatement("dnc_list", "555' OR '1'='1", text, sizeof text);
    EXPECT_STREQ(text, "SELECT dnc_phone FROM dnc_list WHERE dnc_phone = '555' OR '1'='1'");
    buildDncQuery("dnc_list", text, sizeof text);
    EXPECT_STREQ(text, "SELECT dnc_phone FROM dnc_list WHERE dnc_phone = ?");

    const std::string table(63, 't');
    const std::string number(30, '5');
    buildDncStatement(table.c_str(), number.c_str(), text, sizeof text);
    EXPECT_EQ(std::string(text), "SELECT dnc_phone FROM " + table + " WHERE dnc_phone = '" + number + "'");
}

TEST_F(DialNumbers, AccessCodeBeforeExternalNumbersOnly) {
    g_settings.maxInternalExtSz = 4;
    copyText(g_settings.pstnAccessCode, "9");
    g_settings.debug = 1;
    EXPECT_EQ(outgoing("1234"), "1234");
    EXPECT_EQ(outgoing("12345"), "912345");
    EXPECT_TRUE(log->has("**DEB** [Dial]->Outgoing number with pstnAccessCode[9]=[912345]"));
}

TEST_F(DialNumbers, AccessCodeWinsOverDialPrefix) {
    g_settings.maxInternalExtSz = 4;
    copyText(g_settings.pstnAccessCode, "9");
    copyText(g_settings.dialprefix, "1");
    g_dncEnabled = 1;
    EXPECT_EQ(outgoing("1234"), "11234");
    EXPECT_TRUE(log->has("**DEB** [Dial]->Outgoing number with dncDialprefix[1]=[11234]"));
    EXPECT_EQ(outgoing("12345"), "912345");
}

TEST_F(DialNumbers, NoAccessCodeWhenDisabledOrEmpty) {
    copyText(g_settings.pstnAccessCode, "9");
    EXPECT_EQ(outgoing("123456789"), "123456789");  // maxInternalExtSz 0
    g_settings.maxInternalExtSz = 2;
    g_settings.pstnAccessCode[0] = '\0';
    EXPECT_EQ(outgoing("123456789"), "123456789");
}

TEST_F(DialNumbers, DialPrefixOnlyWhileScreening) {
    copyText(g_settings.dialprefix, "1");
    g_dncEnabled = 0;
    EXPECT_EQ(outgoing("5551234"), "5551234");
    g_dncEnabled = 1;
    EXPECT_EQ(outgoing("5551234"), "15551234");
}

TEST_F(DialNumbers, LongestOutgoingNumberFits) {
    g_settings.maxInternalExtSz = 1;
    copyText(g_settings.pstnAccessCode, std::string(31, '8').c_str());
    const std::string dialed(30, '5');
    EXPECT_EQ(outgoing(dialed.c_str()), std::string(31, '8') + dialed);
}

TEST_F(DialNumbers, DialStringIsCutAt127) {
    char text[kDialStringMax + 1];
    buildDialString("1001", "pw", "pbx", "5551234", text, sizeof text);
    EXPECT_STREQ(text, "1001:pw@pbx/5551234");

    const std::string user(31, 'u'), pass(63, 'p'), host(63, 'h'), number(61, '5');
    buildDialString(user.c_str(), pass.c_str(), host.c_str(), number.c_str(), text, sizeof text);
    const std::string full = user + ":" + pass + "@" + host + "/" + number;
    EXPECT_EQ(std::string(text), full.substr(0, 127));
}

}  // namespace
