// The key and value scanners under the options, opt-out and driver readers.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "app/line_scan.h"

namespace {

TEST(LineScan, KeyNeedsEqualsAndAllowsAnySpacing) {
    EXPECT_STREQ(scanKeyValue("key=v", "key"), "v");
    EXPECT_STREQ(scanKeyValue("key \t=\t v", "key"), "v");
    EXPECT_EQ(scanKeyValue("key v", "key"), nullptr);
    EXPECT_EQ(scanKeyValue(" key=v", "key"), nullptr);
    EXPECT_EQ(scanKeyValue("ke=v", "key"), nullptr);
    EXPECT_EQ(scanKeyValue("keys=v", "key"), nullptr);
    EXPECT_STREQ(scanKeyValue("key=", "key"), "");
}

TEST(LineScan, Numbers) {
    int32_t v = 99;
    EXPECT_TRUE(scanNumber(" 42;", &v));
    EXPECT_EQ(v, 42);
    EXPECT_TRUE(scanNumber("-7x", &v));
    EXPECT_EQ(v, -7);
    EXPECT_TRUE(scanNumber("+0", &v));
    EXPECT_EQ(v, 0);
    EXPECT_TRUE(scanNumber("2147483647", &v));
    EXPECT_EQ(v, INT32_MAX);
    EXPECT_TRUE(scanNumber("2147483648", &v));
    EXPECT_EQ(v, INT32_MAX);
    EXPECT_TRUE(scanNumber("-2147483648", &v));
    EXPECT_EQ(v, INT32_MIN);
    EXPECT_TRUE(scanNumber(std::string(400, '9').c_str(), &v));
    EXPECT_EQ(v, INT32_MAX);
    v = 5;
    EXPECT_FALSE(scanNumber("", &v));
    EXPECT_FALSE(scanNumber("-", &v));
    EXPECT_FALSE(scanNumber("x1", &v));
    EXPECT_FALSE(scanNumber("- 1", &v));
    EXPECT_EQ(v, 5);
}

TEST(LineScan, RunsByKind) {
    char out[16];
    EXPECT_EQ(scanRun("ab\tc d", RunKind::Text, out, sizeof out), 4);
    EXPECT_STREQ(out, "ab\tc");
    EXPECT_EQ(scanRun("a;b", RunKind::Text, out, sizeof out), 1);
    EXPECT_EQ(scanRun("a\rb", RunKind::Text, out, sizeof out), 1);
    EXPECT_EQ(scanRun(";a", RunKind::Text, out, sizeof out), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(scanRun("*12#9,1", RunKind::DialChars, out, sizeof out), 5);
    EXPECT_STREQ(out, "*12#9");
    EXPECT_EQ(scanRun("12*3", RunKind::Digits, out, sizeof out), 2);
    EXPECT_STREQ(out, "12");
}

TEST(LineScan, RunLongerThanTargetIsCutButMeasured) {
    char out[4];
    EXPECT_EQ(scanRun("123456", RunKind::Digits, out, sizeof out), 6);
    EXPECT_STREQ(out, "123");
}

TEST(LineScan, TrimRightRemovesOnlyTrailingWhiteSpace) {
    char text[] = "  a b \t\r\n\v\f ";
    trimRight(text);
    EXPECT_STREQ(text, "  a b");
    char blank[] = " \t ";
    trimRight(blank);
    EXPECT_STREQ(blank, "");
    char empty[] = "";
    trimRight(empty);
    EXPECT_STREQ(empty, "");
    trimRight(nullptr);
}

TEST(LineScan, ExactKeysTakeTheValueRightAfterTheEquals) {
    EXPECT_STREQ(scanKeyValue("key= v", "key", KeyForm::Exact), " v");
    EXPECT_EQ(scanKeyValue("key =v", "key", KeyForm::Exact), nullptr);
    EXPECT_EQ(scanKeyValue("KEY=v", "key", KeyForm::Exact), nullptr);
    EXPECT_EQ(scanKeyValue("keys=v", "key", KeyForm::Exact), nullptr);
    EXPECT_STREQ(scanKeyValue("KeY=v=w", "key", KeyForm::ExactAnyCase), "v=w");
    EXPECT_EQ(scanKeyValue("KeY =v", "key", KeyForm::ExactAnyCase), nullptr);
    EXPECT_EQ(scanKeyValue("Ke=v", "key", KeyForm::ExactAnyCase), nullptr);
}

TEST(LineScan, RefusedNumbersOutsideTheRangeLeaveTheValue) {
    int32_t v = 5;
    EXPECT_TRUE(scanNumber("2147483647", &v, OutOfRange::Refuse));
    EXPECT_EQ(v, INT32_MAX);
    EXPECT_TRUE(scanNumber("-2147483648", &v, OutOfRange::Refuse));
    EXPECT_EQ(v, INT32_MIN);
    v = 5;
    EXPECT_FALSE(scanNumber("2147483648", &v, OutOfRange::Refuse));
    EXPECT_FALSE(scanNumber("-2147483649", &v, OutOfRange::Refuse));
    EXPECT_FALSE(scanNumber(std::string(400, '9').c_str(), &v, OutOfRange::Refuse));
    EXPECT_EQ(v, 5);
}

TEST(LineScan, TextWithBlanksStopsAtSemicolonAndLineEnds) {
    char out[16];
    EXPECT_EQ(scanRun("a b\tc;d", RunKind::TextWithBlanks, out, sizeof out), 5);
    EXPECT_STREQ(out, "a b\tc");
    EXPECT_EQ(scanRun(" x\r", RunKind::TextWithBlanks, out, sizeof out), 2);
    EXPECT_STREQ(out, " x");
    EXPECT_EQ(scanRun("\nx", RunKind::TextWithBlanks, out, sizeof out), 0);
}

}  // namespace
