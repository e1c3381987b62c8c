// The PBX goes away and comes back: the phone shows Offline, then Online,
// and with no call in progress its buttons are as they were before. Short
// registration periods keep the test quick; bench/call/outage_bench.cpp
// measures the same with the phone's own periods.
#include <algorithm>
#include <string>
#include <vector>

#include "app/call_globals.h"
#include "app/control_ids.h"
#include "tests/support/window/call_window_fixture.h"
#include "voice/engine/tuning.h"

namespace {

// The lab PBX grants the short refresh the engine asks for.
const char* const kShortRegistrations = "[general]\nminregexpire = 1\n";

class OutageWindowTest : public CallWindowTest {
protected:
    void SetUp() override {
        CallWindowTest::SetUp();
        voice::engine::Tuning quick = voice::engine::currentTuning();
        quick.retry = iax2::RetryPolicy{50, 20, 100, 2, 3};
        quick.registrationRefreshSec = 2;
        voice::engine::setTuning(quick);
    }
    void TearDown() override {
        CallWindowTest::TearDown();
        voice::engine::setTuning(voice::engine::Tuning{});
    }
    // The registration replies the log shows, in order, as their names.
    std::vector<std::string> replies() const {
        std::vector<std::string> names;
        for (const std::string& line : logLines()) {
            if (line.rfind("IAXC_EVENT_REGISTRATION: ", 0) != 0) continue;
            for (const char* name : {"Accepted", "Timeout", "Rejected"}) {
                if (line.find(std::string(",") + name + "[") != std::string::npos) names.push_back(name);
            }
        }
        return names;
    }
};

TEST_F(OutageWindowTest, OnlineAgainGivesBackDialWithoutACall) {
    startPbx(kShortRegistrations);
    openWindow();
    startAndRegister();
    ASSERT_TRUE(isEnabled(IDC_BUT_DIAL));
    ASSERT_TRUE(isEnabled(IDC_BUT_LOGIN));

    pbx->stop();
    ASSERT_TRUE(waitFor([&] { return face(IDC_BUT_START) == IDB_OFFLINE; }, 30000)) << "no Offline";
    EXPECT_FALSE(isEnabled(IDC_BUT_DIAL));

    startPbx(kShortRegistrations);
    ASSERT_TRUE(waitFor([&] { return face(IDC_BUT_START) == IDB_ONLINE; }, 30000)) << "no Online";
    EXPECT_TRUE(isEnabled(IDC_BUT_DIAL)) << "an outbound-only agent can dial again";
    EXPECT_TRUE(isEnabled(IDC_BUT_LOGIN));
    EXPECT_EQ(g_activeCallNo, -1);
    ASSERT_FALSE(pbx->registrations().empty());

    // Registered, then unanswered (one or more attempts), then registered.
    const std::vector<std::string> seen = replies();
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen.front(), "Accepted");
    EXPECT_EQ(seen.back(), "Accepted");
    const auto firstTimeout = std::find(seen.begin(), seen.end(), "Timeout");
    ASSERT_NE(firstTimeout, seen.end());
    EXPECT_TRUE(std::all_of(firstTimeout, seen.end() - 1, [](const std::string& s) { return s == "Timeout"; }));
    EXPECT_TRUE(m_boxes.shown.empty());
}

}  // namespace
