// A lab PBX on ephemeral loopback ports with a small test configuration and
// quick retransmission, started for each test.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "lab_pbx.h"
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
    bool idle() {
        Counts c = pbx->counts();
        return c.sessions == 0 && c.calls == 0;
    }
    std::unique_ptr<LabPbx> pbx;
};

}  // namespace labpbx::test
