// A call that Asterisk drops without a word: a relay between the phone and
// Asterisk withholds Asterisk's LAGRQ frames, so the phone never
// acknowledges them while everything else flows. Asterisk retransmits,
// gives up ("Max retries exceeded"), hangs its side up and sends no HANGUP;
// from then on it ignores the call. The phone must end the call by itself.
//
// Withholding all of Asterisk's traffic instead would not do: the phone's
// own PING would then go unanswered and the phone would hang up first,
// telling Asterisk so.
#include <atomic>
#include <thread>

#include "interop_fixture.h"
#include "tests/support/iax2/lossy_relay.h"

namespace interop {
namespace {

constexpr uint8_t kTypeIax = 6;
constexpr uint8_t kHangup = 5;
constexpr uint8_t kLagRq = 11;

bool isFullFrame(const uint8_t* data, size_t length, uint8_t type, uint8_t subclass) {
    return length >= 12 && (data[0] & 0x80) && data[10] == type && data[11] == subclass;
}

using DroppedCall = InteropTest;

TEST_F(DroppedCall, EndsAfterAsteriskGivesUpSilently) {
    iax2test::LossyRelay relay(static_cast<uint16_t>(site->iaxPort), iax2test::RelayOptions{});
    Phone phone = startPhone("1003", 1000, 150);
    AsteriskLog log(*site);
    const size_t from = phone->lineCount();
    const std::string dest = "1003:s1003@127.0.0.1:" + std::to_string(relay.port()) + "/600";
    ASSERT_EQ(phone->command("call " + dest), "0");
    ASSERT_TRUE(phone->waitForState(0, IAXC_CALL_STATE_COMPLETE, 10s, from)) << "600 did not answer";
    std::this_thread::sleep_for(1s);

    std::atomic<bool> withholding{true};
    std::atomic<int> withheld{0}, hangups{0};
    relay.setTargetFilter([&](const uint8_t* data, size_t length) {
        if (isFullFrame(data, length, kTypeIax, kHangup)) ++hangups;
        const bool drop = withholding && isFullFrame(data, length, kTypeIax, kLagRq);
        if (drop) ++withheld;
        return drop;
    });
    const auto withholdingFrom = Clock::now();
    const auto gaveUp = log.waitFor("Max retries exceeded", 60s, "IAX2/1003");
    const auto gaveUpAt = Clock::now();
    withholding = false;
    ASSERT_TRUE(gaveUp) << "Asterisk did not give up on the call; its log:\n" << log.appended();
    ASSERT_FALSE(phone->waitForState(0, 0, 0ms, from)) << "the phone ended the call before Asterisk gave up";
    figure("dropped call: Asterisk gave up %.1f s after its LAGRQs began to be withheld (%d withheld): %s",
           secondsBetween(withholdingFrom, gaveUpAt), withheld.load(), gaveUp->c_str());

    const auto ended = phone->waitForState(0, 0, 90s, from);
    ASSERT_TRUE(ended) << "the phone never ended the call Asterisk had dropped";
    const double seconds = secondsBetween(gaveUpAt, ended->second);
    figure("dropped call: the phone's call FREE %.1f s after Asterisk gave up; HANGUP frames from Asterisk: %d",
           seconds, hangups.load());
    EXPECT_EQ(hangups.load(), 0) << "Asterisk did send a HANGUP: the call was not dropped silently";
    // The phone's next PING goes out within 10 s of the give-up; its ten
    // resends (10 ms growing fourfold to 4 s) and the last wait take 27.4 s.
    constexpr double kPingIntervalSeconds = 10, kRetryBudgetSeconds = 27.4, kSlackSeconds = 3;
    EXPECT_LT(seconds, kPingIntervalSeconds + kRetryBudgetSeconds + kSlackSeconds);
}

}  // namespace
}  // namespace interop
