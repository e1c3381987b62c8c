// A lab PBX on ephemeral loopback ports with a small test configuration and
// quick retransmission, started for each test.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "labpbx/pbx/lab_pbx.h"
#include "test_phone.h"

namespace labpbx::test {

inline const char* kTestConfig = R"(
[general]
iaxport = 0
managerport = 0
controlport = 0
minregexpire = 60
maxregexpire = 300
ringtimeout = 30
[extensions]
2001 = secret1 callerid="Alice" <2001>
2002 = secret2 callerid="Bob" <2002>
2003 = secret3 requirecalltoken=no
2004 = secret4 mailbox=9004@sales
[managers]
admin = adminpass
[agents]
2001 = Alice
[mailboxes]
2001@default = 3
9004@sales = 7
[services]
600 = echo
601 = tone
602 = busy
603 = ring
)";

inline LabConfig testConfig(const std::string& extra = "") {
    ConfigError error;
    auto cfg = parseConfig(std::string(kTestConfig) + extra, error);
    if (!cfg) ADD_FAILURE() << "test config: line " << error.line << ": " << error.message;
    return cfg ? *cfg : LabConfig{};
}

// Quick retransmission so give-up cases finish in well under a second.
inline WireTiming fastTiming() {
    WireTiming t;
    t.retry = iax2::RetryPolicy{20, 10, 80, 2, 3};
    return t;
}

// Polls cond every few milliseconds until it holds or timeoutMs passes.
// The time-out only bounds a failing test: a machine busy with other work
// may take far longer than a quiet one, so it is never below ten seconds.
inline bool eventually(const std::function<bool()>& cond, int timeoutMs = 10000) {
    constexpr int kPatienceMs = 10000;
    if (timeoutMs < kPatienceMs) timeoutMs = kPatienceMs;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (cond()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return cond();
}

// A call between two test phones: the caller (registered as ext) dials
// 'to'; the called phone accepts it in u-law and rings, the caller hears
// the ringing, and with answer the called phone answers and the caller gets
// the ANSWER. Returns the NEW the called phone got, nothing when a step
// failed; a and b are the two phones' call numbers.
inline std::optional<Rx> connectCall(TestPhone& caller, const std::string& ext, const std::string& secret,
                                     TestPhone& called, const std::string& to, uint16_t& a, uint16_t& b,
                                     bool answer = true) {
    a = caller.dial(ext, secret, to);
    if (a == 0) return std::nullopt;
    std::optional<Rx> incoming = called.waitIncoming(b);
    if (!incoming) return std::nullopt;
    called.acceptIncoming(b, iax2::codec::Ulaw);
    if (!caller.waitFor(a, iax2::frametype::Control, iax2::ctl::Ringing)) return std::nullopt;
    if (!answer) return incoming;
    called.send(b, iax2::frametype::Control, iax2::ctl::Answer);
    if (!caller.waitFor(a, iax2::frametype::Control, iax2::ctl::Answer)) return std::nullopt;
    return incoming;
}

class PbxTest : public ::testing::Test {
protected:
    void startPbx(LabConfig cfg, WireTiming timing = WireTiming{}) {
        pbx = std::make_unique<LabPbx>(std::move(cfg), timing);
        std::string error;
        ASSERT_TRUE(pbx->start(error)) << error;
    }
    void SetUp() override { startPbx(testConfig()); }
    void TearDown() override {
        if (pbx) pbx->stop();
    }
    // A phone registered as ext (with the call-token round).
    std::unique_ptr<TestPhone> registered(const std::string& ext, const std::string& secret) {
        auto p = std::make_unique<TestPhone>(pbx->iaxPort());
        RegResult r = p->registerExt(ext, secret);
        EXPECT_EQ(r.outcome, RegOutcome::Ack) << "registration of " << ext;
        return p;
    }
    // A phone registered as 2001 in an answered call to the echo service
    // (GSM), with the ANSWER and stop indications acknowledged.
    uint16_t echoCall(TestPhone& phone) {
        EXPECT_EQ(phone.registerExt("2001", "secret1").outcome, RegOutcome::Ack);
        uint16_t call = phone.dial("2001", "secret1", "600", iax2::codec::Gsm);
        EXPECT_NE(call, 0);
        EXPECT_TRUE(phone.waitFor(call, iax2::frametype::Control, kStopIndications));
        EXPECT_TRUE(eventually([&] { return pbx->counts().unacked == 0; }));
        return call;
    }
    bool idle() {
        Counts c = pbx->counts();
        return c.sessions == 0 && c.calls == 0;
    }
    std::unique_ptr<LabPbx> pbx;
};

}  // namespace labpbx::test
