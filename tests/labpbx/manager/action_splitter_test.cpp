#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "labpbx/manager/manager_action.h"

namespace labpbx {
namespace {

std::vector<ManagerAction> split(const std::string& bytes) {
    ActionSplitter splitter;
    std::vector<ManagerAction> out;
    splitter.feed(bytes, out);
    return out;
}

TEST(ActionSplitter, SplitsCrlfBlocksAndKeepsTheirBytes) {
    const std::string login = "Action: Login\r\nUsername: queueopr\r\nSecret: bramwick\r\nEvents: off\r\n\r\n";
    const std::string pause = "Action: QueuePause\r\nInterface: Agent/1001\r\nPaused: true\r\n\r\n";
    const auto actions = split(login + pause);
    ASSERT_EQ(actions.size(), 2u);
    EXPECT_EQ(actions[0].raw, login);
    EXPECT_EQ(actions[0].name(), "Login");
    EXPECT_EQ(actions[0].value("Username"), "queueopr");
    EXPECT_EQ(actions[0].value("Events"), "off");
    EXPECT_EQ(actions[1].raw, pause);
    EXPECT_EQ(actions[1].value("Interface"), "Agent/1001");
    EXPECT_FALSE(actions[1].rawTruncated);
}

TEST(ActionSplitter, BytesArrivingOneAtATimeGiveTheSameActions) {
    const std::string text = "Action: MailboxCount\r\nMailbox: 2001@default\r\n\r\nAction: Logoff\r\n\r\n";
    ActionSplitter splitter;
    std::vector<ManagerAction> out;
    for (char c : text) {
        splitter.feed(std::string(1, c), out);
        if (out.empty()) {
            EXPECT_TRUE(splitter.hasPartial());
        }
    }
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].value("Mailbox"), "2001@default");
    EXPECT_EQ(out[1].name(), "Logoff");
    EXPECT_FALSE(splitter.hasPartial());
}

TEST(ActionSplitter, HeaderRules) {
    // Bare line feeds, keys without regard to case, blanks before the value,
    // lines without a colon ignored, the first of two equal keys wins.
    const auto actions = split("aCTION: Ping\nACTIONID:   42\nno colon here\nActionID: 43\nEmpty:\n\n");
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_EQ(actions[0].name(), "Ping");
    EXPECT_EQ(actions[0].value("ActionID"), "42");
    EXPECT_TRUE(actions[0].has("empty"));
    EXPECT_EQ(actions[0].value("Empty"), "");
    EXPECT_FALSE(actions[0].has("Missing"));
    EXPECT_EQ(actions[0].headers.size(), 4u);
}

TEST(ActionSplitter, EmptyLinesWithoutHeadersMakeNoAction) {
    EXPECT_TRUE(split("\r\n\r\n\n\r\n").empty());
    EXPECT_TRUE(split("garbage without colon\r\n\r\n").empty());
}

TEST(ActionSplitter, HostileInputStaysBounded) {
    // A line longer than the limit is dropped whole; the rest still counts.
    std::string longLine = "Action: " + std::string(kMaxLineBytes, 'x') + "\r\n";
    std::string longLines;
    for (int i = 0; i < 10; ++i) longLines += longLine;
    auto actions = split(longLines + "Action: Ping\r\n\r\n");
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_EQ(actions[0].name(), "Ping");
    EXPECT_EQ(actions[0].headers.size(), 1u);
    EXPECT_EQ(actions[0].raw.size(), kMaxRecordedActionBytes);
    EXPECT_TRUE(actions[0].rawTruncated);

    // Headers beyond the limit are ignored.
    std::string many;
    for (size_t i = 0; i < kMaxHeadersPerAction + 50; ++i) many += "K" + std::to_string(i) + ": v\r\n";
    actions = split(many + "\r\n");
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_EQ(actions[0].headers.size(), kMaxHeadersPerAction);

    // NUL bytes are ordinary bytes of a value.
    actions = split(std::string("Action: Pi\0ng\r\n\r\n", 17));
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_EQ(actions[0].name(), std::string("Pi\0ng", 5));

    // A megabyte without any line end holds no more than one line's worth.
    ActionSplitter splitter;
    std::vector<ManagerAction> out;
    splitter.feed(std::string(1 << 20, 'A'), out);
    EXPECT_TRUE(out.empty());
    splitter.feed("\r\nAction: Ping\r\n\r\n", out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].headers.size(), 1u);
}

}  // namespace
}  // namespace labpbx
