// The control interface through a real TCP connection.
#include "labpbx/pbx/control_client.h"
#include "pbx_fixture.h"

namespace labpbx::test {
namespace {

class Control : public PbxTest {
protected:
    void SetUp() override {
        PbxTest::SetUp();
        std::string error;
        ASSERT_TRUE(client.connect("127.0.0.1", pbx->controlPort(), error)) << error;
    }
    ControlClient client;
};

TEST_F(Control, ListsRegistrationsAndCallsAndDropsRegistrations) {
    auto phone = registered("2001", "secret1");
    auto other = registered("2002", "secret2");
    ControlReply regs = client.command("registrations");
    ASSERT_TRUE(regs.ok) << regs.status;
    EXPECT_EQ(regs.status, "OK 2");
    ASSERT_EQ(regs.lines.size(), 2u);
    EXPECT_EQ(regs.lines[0].rfind("reg 2001 127.0.0.1:" + std::to_string(phone->port()) + " expiry=60 left=", 0),
              0u)
        << regs.lines[0];

    ControlReply placed = client.command("call 2001 5550001 Test Caller");
    ASSERT_TRUE(placed.ok) << placed.status;
    uint16_t call = 0;
    ASSERT_TRUE(phone->waitIncoming(call));
    ControlReply calls = client.command("calls");
    ASSERT_TRUE(calls.ok);
    ASSERT_EQ(calls.lines.size(), 1u);
    EXPECT_NE(calls.lines[0].find("from=caller:5550001"), std::string::npos) << calls.lines[0];
    EXPECT_NE(calls.lines[0].find("to=2001"), std::string::npos);
    EXPECT_NE(calls.lines[0].find("name=\"Test Caller\""), std::string::npos);

    EXPECT_EQ(client.command("state 2001").status, "OK 127.0.0.1");
    EXPECT_EQ(client.command("unregister 2001").status, "OK 1");
    EXPECT_EQ(client.command("state 2001").status, "OK UNUSED");
    EXPECT_EQ(client.command("unregister all").status, "OK 1");
    EXPECT_EQ(client.command("registrations").status, "OK 0");
    EXPECT_EQ(client.command("state 9999").status, "OK NOTEXIST");
}

TEST_F(Control, MailboxCountsAreReadAndSet) {
    EXPECT_EQ(client.command("mailbox 2001@default").status, "OK 3");
    EXPECT_EQ(client.command("mailbox 2001@default 12").status, "OK 12");
    EXPECT_EQ(client.command("mailbox 2001@default").status, "OK 12");
    EXPECT_EQ(client.command("mailbox 5@new 1").status, "ERR no such mailbox");
    EXPECT_EQ(client.command("mailbox 6@none").status, "ERR no such mailbox");
    EXPECT_FALSE(client.command("mailbox 2001@default -1").ok);
    EXPECT_FALSE(client.command("mailbox 2001@default 10000").ok);
    EXPECT_FALSE(client.command("mailbox nocontext 1").ok);
}

TEST_F(Control, RecordsCanBeReadAndCleared) {
    auto phone = registered("2001", "secret1");
    RegResult rel = phone->registerExt("2001", "secret1", 0, true, true);
    ASSERT_EQ(rel.outcome, RegOutcome::Ack);
    ControlReply r = client.command("regrels");
    EXPECT_EQ(r.status, "OK 1");
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_EQ(r.lines[0], "regrel 2001 127.0.0.1:" + std::to_string(phone->port()));
    EXPECT_EQ(client.command("regrels clear").status, "OK 1");
    EXPECT_EQ(client.command("regrels").status, "OK 0");
    EXPECT_EQ(client.command("transfers").status, "OK 0");
    EXPECT_EQ(client.command("dtmf").status, "OK 0");
}

TEST_F(Control, BadCommandsAreRefusedAndTheLinkSurvives) {
    const char* bad[] = {"",
                         "nonsense",
                         "call",
                         "call 2001",
                         "answer x",
                         "answer 999",
                         "hangup",
                         "hangup 12345678901",
                         "state",
                         "unregister",
                         "dtmf junk",
                         "mailbox",
                         "regrels a b",
                         "call 2001 5 \x01"};
    for (const char* line : bad) {
        ControlReply r = client.command(line);
        EXPECT_FALSE(r.ok) << line;
        EXPECT_EQ(r.status.rfind("ERR", 0), 0u) << line << " -> " << r.status;
    }
    ControlReply help = client.command("help");
    EXPECT_TRUE(help.ok);
    EXPECT_GT(help.lines.size(), 10u);
    EXPECT_TRUE(client.command("stats").ok);
}

TEST_F(Control, OverlongLinesCloseOnlyThatConnection) {
    ControlClient second;
    std::string error;
    ASSERT_TRUE(second.connect("127.0.0.1", pbx->controlPort(), error));
    ControlReply r = second.command(std::string(10000, 'x'));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.status.rfind("ERR link", 0), 0u);
    EXPECT_TRUE(client.command("stats").ok);
}

TEST_F(Control, StatsCountSessionsTimersAndSockets) {
    ControlReply s = client.command("stats");
    ASSERT_TRUE(s.ok);
    // IAX2 socket, control listener, this connection (+ manager listener).
    Counts c = pbx->counts();
    EXPECT_EQ(s.status, "OK sessions=0 timers=0 sockets=" + std::to_string(c.sockets) +
                            " calls=0 registrations=0 unacked=0");
    EXPECT_GE(c.sockets, 3u);
    client.close();
    EXPECT_TRUE(eventually([&] { return pbx->counts().sockets == c.sockets - 1; }));
}

}  // namespace
}  // namespace labpbx::test
