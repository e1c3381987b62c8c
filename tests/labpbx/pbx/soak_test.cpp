// 1,000 calls set up, answered and hung up, as fast as the loopback allows;
// afterwards no session, timer or socket is left behind.
#include "pbx_fixture.h"

namespace labpbx::test {
namespace {

using namespace iax2;

using Soak = PbxTest;

TEST_F(Soak, AThousandCallsLeaveNothingBehind) {
    auto alice = registered("2001", "secret1");
    auto bob = registered("2002", "secret2");
    ASSERT_TRUE(eventually([&] { return pbx->counts().sessions == 0; }));
    const Counts before = pbx->counts();
    const int kCalls = 1000;
    int completed = 0;
    for (int i = 0; i < kCalls; ++i) {
        uint16_t a = 0, b = 0;
        ASSERT_TRUE(connectCall(*alice, "2001", "secret1", *bob, "2002", a, b)) << "call " << i;
        // Either side hangs up, in turn.
        if (i % 2) {
            alice->hangup(a);
            ASSERT_TRUE(bob->waitIax(b, cmd::Hangup)) << "call " << i;
        } else {
            bob->hangup(b);
            ASSERT_TRUE(alice->waitIax(a, cmd::Hangup)) << "call " << i;
        }
        ++completed;
    }
    EXPECT_EQ(completed, kCalls);
    ASSERT_TRUE(eventually([&] {
        Counts c = pbx->counts();
        return c.sessions == 0 && c.calls == 0;
    }));
    Counts after = pbx->counts();
    EXPECT_EQ(after.sessions, 0u);
    EXPECT_EQ(after.calls, 0u);
    // Only the two registrations' expiry and POKE timers.
    EXPECT_EQ(after.timers, before.timers);
    EXPECT_EQ(after.timers, 4u);
    EXPECT_EQ(after.sockets, before.sockets);
    EXPECT_EQ(after.registrations, 2u);
}

}  // namespace
}  // namespace labpbx::test
