// The agent's operations: Release, Hold/Unhold, Single Txfer, the keypad,
// the clear buttons, the sliders and Exit.
#include "call/call_operations.h"
#include "app/call_globals.h"
#include "app/control_ids.h"
#include "app/settings.h"
#include "call/engine_events.h"
#include "call/tone_tables.h"
#include "call_fixture.h"

namespace {

constexpr int kConnected = IAXC_CALL_STATE_ACTIVE | IAXC_CALL_STATE_COMPLETE | IAXC_CALL_STATE_SELECTED;

class OperationsTest : public CallTest {
protected:
    void connectInbound(int callNo = 0) {
        ringInbound(callNo);
        OnBnClickedButAnswer();
        engineSends(stateEvent(callNo, kConnected));
        g_journal.clear();
    }
};

TEST_F(OperationsTest, ReleaseHangsUpAndEnablesDial) {
    startPhone();
    connectInbound();
    OnBnClickedButRelease();
    EXPECT_EQ(g_journal.entries, (std::vector<std::string>{"engine:iaxc_dump_call()", "window:enable(1002,1)"}));
    EXPECT_TRUE(logHas("**DEB** [Release] request on ext(7001)"));
}

TEST_F(OperationsTest, HoldTwiceHoldsThenTakesBack) {
    startPhone();
    connectInbound(1);
    OnBnClickedButHold();
    EXPECT_TRUE(g_journal.has("engine:iaxc_quelch(1,1)"));
    EXPECT_EQ(window.text(IDC_BUT_HOLD), "Unhold");
    OnBnClickedButHold();
    EXPECT_TRUE(g_journal.has("engine:iaxc_unquelch(1)"));
    EXPECT_EQ(window.text(IDC_BUT_HOLD), "Hold");
    EXPECT_TRUE(logHas("**DEB** [Hold]->Ext[7001], callNo[1]"));
    EXPECT_TRUE(boxes.shown.empty());

    // Ended while held: the caption is back to Hold.
    OnBnClickedButHold();
    engineSends(stateEvent(1, IAXC_CALL_STATE_FREE));
    EXPECT_EQ(window.text(IDC_BUT_HOLD), "Hold");
}

TEST_F(OperationsTest, HoldFailures) {
    startPhone();
    g_journal.clear();
    OnBnClickedButHold();
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"**WRN** [Hold]->No active call to hold"});
    EXPECT_TRUE(logHas("**WRN** [Hold]->No active call to hold"));
    EXPECT_TRUE(g_journal.with("engine:").empty());

    connectInbound(0);
    boxes.shown.clear();
    g_engine.quelchResult = -1;
    OnBnClickedButHold();
    EXPECT_EQ(window.text(IDC_BUT_HOLD), "Hold");
    g_engine.quelchResult = 0;
    OnBnClickedButHold();
    g_engine.unquelchResult = -1;
    OnBnClickedButHold();
    EXPECT_EQ(window.text(IDC_BUT_HOLD), "Unhold");
    window.setControlText(IDC_BUT_HOLD, "Paused");
    OnBnClickedButHold();
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{
                                 "**ERR** [Hold]->iaxc_quelch(callNo=0) failed",
                                 "**ERR** [Unhold]->iaxc_unquelch(callNo=0) failed",
                                 "**ERR** [Hold]->unknown Hold/Unhold state [Paused]; programming/design bug?",
                             }));
    EXPECT_TRUE(logHas("**ERR** [Unhold]->iaxc_unquelch(callNo=0) failed"));
    EXPECT_EQ(window.text(IDC_BUT_HOLD), "Paused");
}

TEST_F(OperationsTest, SingleTransfer) {
    startPhone();
    OnBnClickedButSingleTxfer();
    EXPECT_EQ(boxes.texts(),
              std::vector<std::string>{"**WRN** [Single Txfer]-> No number for single-step transfer!"});
    window.setControlText(IDC_EDIT_TRANSFER, "7002");
    OnBnClickedButSingleTxfer();
    EXPECT_EQ(boxes.shown.back().text, "**WRN** [Single Txfer]-> no active call to transfer!");
    // Neither warning is logged.
    EXPECT_FALSE(logHas("**WRN** [Single Txfer]-> no active call to transfer!"));
    EXPECT_TRUE(g_journal.with("engine:iaxc_blind").empty());

    connectInbound(1);
    const std::string longNumber = "123456789012345678901234567890ABCDE";
    window.setControlText(IDC_EDIT_TRANSFER, longNumber.c_str());
    OnBnClickedButSingleTxfer();
    const std::string cut = longNumber.substr(0, 30);
    EXPECT_EQ(window.text(IDC_EDIT_TRANSFER), cut);
    EXPECT_TRUE(g_journal.has("engine:iaxc_blind_transfer_call(1," + cut + ")"));
    EXPECT_TRUE(logHas("**DEB** [Single Txfer]->to be initiated ext[7001] to [" + cut + "], callNo[1]"));
    EXPECT_TRUE(logHas("**DEB** [Single Txfer]->initiated ext[7001] to [" + cut + "], callNo[1]"));
    // The call stays until the PBX ends it.
    EXPECT_EQ(g_activeCallNo, 1);
}

TEST_F(OperationsTest, KeypadBeforeStartOnlyTypes) {
    OnBnClickedButKeypad(IDC_BUT_KEY_1);
    OnBnClickedButKeypad(IDC_BUT_KEY_STAR);
    OnBnClickedButKeypad(IDC_BUT_KEY_POUND);
    OnBnClickedButKeypad(9999);  // not a key
    EXPECT_EQ(window.text(IDC_EDIT_NUMBER), "1*#");
    EXPECT_TRUE(g_journal.with("engine:").empty());
}

TEST_F(OperationsTest, KeypadAfterStartPlaysTheKeyTone) {
    startPhone();
    g_journal.clear();
    OnBnClickedButKeypad(IDC_BUT_KEY_5);
    EXPECT_EQ(window.text(IDC_EDIT_NUMBER), "5");
    EXPECT_TRUE(g_journal.with("engine:iaxc_send_dtmf").empty());
    ASSERT_EQ(g_engine.sounds.size(), 1u);
    EXPECT_EQ(g_engine.sounds[0].data, g_keyToneSamples[keypadIndexById(IDC_BUT_KEY_5)]);
    EXPECT_EQ(g_engine.sounds[0].len, 2000);
    EXPECT_EQ(g_engine.sounds[0].repeat, 1);
    EXPECT_EQ(g_engine.sounds[0].ring, 0);
    EXPECT_EQ(g_engine.sounds[0].malloced, 0);
}

TEST_F(OperationsTest, KeypadDuringACallSendsDtmf) {
    startPhone();
    connectInbound(0);
    g_engine.sounds.clear();
    const int keys[] = {IDC_BUT_KEY_0, IDC_BUT_KEY_9, IDC_BUT_KEY_POUND};
    for (int key : keys) OnBnClickedButKeypad(key);
    EXPECT_EQ(g_journal.with("engine:iaxc_send_dtmf"),
              (std::vector<std::string>{"engine:iaxc_send_dtmf(0)", "engine:iaxc_send_dtmf(9)",
                                        "engine:iaxc_send_dtmf(#)"}));
    ASSERT_EQ(g_engine.sounds.size(), 3u);
    for (const auto& sound : g_engine.sounds) EXPECT_EQ(sound.repeat, 0);
    // The digit goes out before the local tone.
    const auto engineCalls = g_journal.with("engine:");
    ASSERT_EQ(engineCalls.size(), 6u);
    EXPECT_EQ(engineCalls[0], "engine:iaxc_send_dtmf(0)");
    EXPECT_EQ(engineCalls[1].rfind("engine:iaxc_play_sound(len=2000,repeat=0,ring=0)", 0), 0u);
    EXPECT_EQ(window.text(IDC_EDIT_NUMBER), "09#");
}

TEST_F(OperationsTest, KeypadNeverGrowsTheFieldBeyond31) {
    const std::string thirtyOne(31, '8');
    window.setControlText(IDC_EDIT_NUMBER, thirtyOne.c_str());
    OnBnClickedButKeypad(IDC_BUT_KEY_1);
    EXPECT_EQ(window.text(IDC_EDIT_NUMBER), std::string(30, '8') + "1");
    window.setControlText(IDC_EDIT_NUMBER, std::string(40, '4').c_str());
    OnBnClickedButKeypad(IDC_BUT_KEY_2);
    EXPECT_EQ(window.text(IDC_EDIT_NUMBER), std::string(30, '4') + "2");
}

TEST_F(OperationsTest, ClearButtonsEmptyTheirFieldOnly) {
    window.setControlText(IDC_EDIT_NUMBER, "123");
    window.setControlText(IDC_EDIT_TRANSFER, "456");
    OnBnClickedButClearNumber();
    EXPECT_EQ(window.text(IDC_EDIT_NUMBER), "");
    EXPECT_EQ(window.text(IDC_EDIT_TRANSFER), "456");
    OnBnClickedButClearTransfer();
    EXPECT_EQ(window.text(IDC_EDIT_TRANSFER), "");
}

TEST_F(OperationsTest, SlidersSetTheLevels) {
    window.setSliderPosition(IDC_SLIDER_SPK, -80);
    window.setSliderPosition(IDC_SLIDER_MIC, -25);
    OnSpeakerSliderReleased();
    OnMicSliderReleased();
    EXPECT_EQ(g_settings.speakerVol, 80);
    EXPECT_EQ(g_settings.micVol, 25);
    EXPECT_TRUE(g_journal.with("engine:").empty());  // before Start only the setting

    startPhone();
    g_journal.clear();
    window.setSliderPosition(IDC_SLIDER_SPK, -100);
    window.setSliderPosition(IDC_SLIDER_MIC, 0);
    OnSpeakerSliderReleased();
    OnMicSliderReleased();
    EXPECT_EQ(g_journal.entries,
              (std::vector<std::string>{"engine:iaxc_output_level_set(1)", "engine:iaxc_input_level_set(0)"}));
    EXPECT_EQ(g_settings.speakerVol, 100);
    EXPECT_EQ(g_settings.micVol, 0);
}

TEST_F(OperationsTest, ExitAskedNoStaysAndDuringACallRefuses) {
    OnBnClickedButExit();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Are you sure to exit?");
    EXPECT_EQ(boxes.shown[0].buttons, BoxButtons::YesNo);
    EXPECT_EQ(boxes.shown[0].defaultAnswer, IDNO_ANSWER);
    EXPECT_FALSE(window.closed);

    startPhone();
    connectInbound(0);
    boxes.answers = {IDYES_ANSWER};
    OnBnClickedButExit();
    EXPECT_EQ(boxes.shown.back().text, "An active conversation is in progress! Pleaes release it before exiting!");
    EXPECT_EQ(boxes.shown.back().icon, BoxIcon::Error);
    EXPECT_FALSE(window.closed);
    EXPECT_TRUE(g_journal.with("engine:").empty());
}

TEST_F(OperationsTest, ExitAfterTheCallInItsFullOrder) {
    startPhone();
    connectInbound(0);
    engineSends(stateEvent(0, IAXC_CALL_STATE_FREE));
    window.enableControl(IDC_BUT_LOGOUT, true);  // the agent is logged in
    g_journal.clear();
    boxes.answers = {IDYES_ANSWER};
    OnBnClickedButExit();
    const std::vector<std::string> expected = {
        "box:Are you sure to exit?",
        "agent:logout",
        "window:enable(1019,0)",
        "engine:iaxc_unregister(1)",
        "engine:iaxc_stop_processing_thread()",
        "engine:iaxc_shutdown()",
        "db:dbUnInitialize",
        "window:close",
    };
    EXPECT_EQ(g_journal.entries, expected);
    EXPECT_TRUE(logHas("**ERR**[Exit]->OnBnClickedButLogout()-> ext=[7001], agentID=[7001]"));
    EXPECT_TRUE(logHas("**DEB** [Exit]->iaxc_unregister(1) done"));

    // An event still on its way finds no phone.
    g_journal.clear();
    ringInbound(0);
    EXPECT_TRUE(g_journal.entries.empty());
}

TEST_F(OperationsTest, ExitWithFailedUnregistration) {
    startPhone();
    g_engine.unregisterResult = 0;
    boxes.answers = {IDYES_ANSWER};
    OnBnClickedButExit();
    EXPECT_TRUE(logHas("**DEB** [Exit]->iaxc_unregister(1) failed"));
    EXPECT_TRUE(g_journal.has("engine:iaxc_shutdown()"));
    EXPECT_FALSE(g_journal.has("agent:logout"));
    EXPECT_TRUE(window.closed);
}

TEST_F(OperationsTest, ExitBeforeStartClosesOnlyTheDatabase) {
    boxes.answers = {IDYES_ANSWER};
    OnBnClickedButExit();
    EXPECT_TRUE(g_journal.with("engine:").empty());
    EXPECT_TRUE(g_journal.has("db:dbUnInitialize"));
    EXPECT_TRUE(window.closed);
}

}  // namespace
