// The voicemail check around the mailbox-count exchange: start at Login,
// the periodic check, the button and its texts, stop at Logout.
#include <string>
#include <vector>

#include "agent/agent_modes.h"
#include "agent/voicemail_check.h"
#include "agent_fixture.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "fake_manager_link.h"

namespace {

using Strings = std::vector<std::string>;

class VoicemailTest : public AgentFixture {
protected:
    void SetUp() override {
        AgentFixture::SetUp();
        g_settings.vmbxCheck = 1;
        g_settings.vmbxNumber[0] = '\0';
        g_settings.vmbxContext[0] = '\0';
    }
    bool buttonVisible() const { return window.isControlVisible(IDC_BUT_VOICEMAIL); }
    Strings mailboxChecks() const {
        Strings checks;
        for (const std::string& e : g_fakeLink.exchanges)
            if (e.rfind("mwi ", 0) == 0) checks.push_back(e);
        return checks;
    }
};

TEST_F(VoicemailTest, LoginFillsDefaultsStartsTheTimerAndChecksOnce) {
    g_fakeLink.mailboxResults = {0};
    loginWith(1);
    EXPECT_STREQ(g_settings.vmbxNumber, "2001");
    EXPECT_STREQ(g_settings.vmbxContext, "default");
    EXPECT_EQ(window.timerPeriod(TIMERID_MWICHECKER), 300000);
    EXPECT_EQ(mailboxChecks(), (Strings{"mwi 2001@default"}));
    EXPECT_EQ(g_fakeLink.exchanges.back(), "mwi 2001@default");  // after the mode change
    EXPECT_FALSE(buttonVisible());
}

TEST_F(VoicemailTest, GivenMailboxAndContextAreKept) {
    copyText(g_settings.vmbxNumber, "555");
    copyText(g_settings.vmbxContext, "sales");
    g_settings.vmbxInterval = 60;
    loginWith(0);
    EXPECT_EQ(mailboxChecks(), (Strings{"mwi 555@sales"}));
    EXPECT_EQ(window.timerPeriod(TIMERID_MWICHECKER), 60000);
}

TEST_F(VoicemailTest, NewMessagesShowTheButtonAndTheClickText) {
    g_fakeLink.mailboxResults = {3, 3};
    loginWith(1);
    EXPECT_TRUE(buttonVisible());
    OnBnClickedButVoicemail();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Voice mailbox [2001] has 3 new mail(s)");
    EXPECT_EQ(boxes.shown[0].icon, BoxIcon::None);
    EXPECT_TRUE(buttonVisible());
    EXPECT_EQ(logLines("Voice mailbox [2001] has 3 new mail(s)"), 1);
}

TEST_F(VoicemailTest, ClickWithNoMailOrAFailureHidesTheButton) {
    g_fakeLink.mailboxResults = {2, 0, -2, -1};
    loginWith(1);
    ASSERT_TRUE(buttonVisible());
    OnBnClickedButVoicemail();
    EXPECT_FALSE(buttonVisible());
    window.showControl(IDC_BUT_VOICEMAIL, true);
    OnBnClickedButVoicemail();
    EXPECT_FALSE(buttonVisible());
    OnBnClickedButVoicemail();
    ASSERT_EQ(boxes.shown.size(), 3u);
    EXPECT_EQ(boxes.shown[0].text, "Voice mailbox [2001] has no new mail");
    EXPECT_EQ(boxes.shown[1].text, "Voice mailbox [2001] retrieval error");
    EXPECT_EQ(boxes.shown[2].text, "Voice mailbox [2001] retrieval error");
}

TEST_F(VoicemailTest, PeriodicCheckFollowsTheCount) {
    g_fakeLink.mailboxResults = {0, 1, 4, 0, 2, -2, 5, -1};
    loginWith(1);
    const bool expected[] = {true, true, false, true, false, true, false};
    for (bool visible : expected) {
        onVoicemailTimer();
        EXPECT_EQ(buttonVisible(), visible);
    }
    EXPECT_EQ(mailboxChecks().size(), 8u);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(VoicemailTest, TimerThatCannotStartMeansNoCheck) {
    window.refuseTimers = true;
    loginWith(1);
    EXPECT_TRUE(mailboxChecks().empty());
    EXPECT_FALSE(buttonVisible());
    EXPECT_EQ(logLines("**ERR** Login->SetTimer(TIMERID_MWICHECKER) failed"), 1);
    expectState(AgentState::Ready);  // the login itself stands
}

TEST_F(VoicemailTest, CheckOffMeansNoTimerNoCheckAndAClickOnlyHides) {
    g_settings.vmbxCheck = 0;
    loginWith(1);
    EXPECT_FALSE(window.timerRunning(TIMERID_MWICHECKER));
    EXPECT_TRUE(mailboxChecks().empty());
    EXPECT_STREQ(g_settings.vmbxNumber, "");
    window.showControl(IDC_BUT_VOICEMAIL, true);
    OnBnClickedButVoicemail();
    EXPECT_FALSE(buttonVisible());
    EXPECT_TRUE(mailboxChecks().empty());
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(VoicemailTest, LogoutStopsAndALostLinkDoesNot) {
    g_fakeLink.mailboxResults = {2};
    loginWith(1);
    ASSERT_TRUE(buttonVisible());
    g_fakeLink.modeResults = {-1};
    OnBnClickedButAux();
    EXPECT_TRUE(window.timerRunning(TIMERID_MWICHECKER));

    // Logged in again, then out.
    g_fakeLink.mailboxResults = {1};
    loginWith(1);
    OnBnClickedButLogout();
    EXPECT_FALSE(window.timerRunning(TIMERID_MWICHECKER));
    EXPECT_FALSE(buttonVisible());
}

TEST_F(VoicemailTest, StopWorksAlsoWhenTheCheckIsOff) {
    g_settings.vmbxCheck = 0;
    window.startTimer(TIMERID_MWICHECKER, 1000);
    window.showControl(IDC_BUT_VOICEMAIL, true);
    stopVoicemailCheck();
    EXPECT_FALSE(window.timerRunning(TIMERID_MWICHECKER));
    EXPECT_FALSE(buttonVisible());
}

}  // namespace
