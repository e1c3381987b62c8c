// The call operations in the real window against the lab PBX: an inbound
// call rung, answered and ended from either side, auto-answer, hold, blind
// transfer, the keypad, the sliders and Exit.
#include <QSlider>
#include <QTest>

#include <iaxclient.h>
#include "app/call_globals.h"
#include "app/control_ids.h"
#include "app/settings.h"
#include "tests/support/window/call_window_fixture.h"

namespace {

class CallWindowCallTest : public CallWindowTest {
protected:
    void SetUp() override {
        CallWindowTest::SetUp();
        startPbx();
    }
    // Registered phone with an inbound call ringing; the call's id.
    int ringingCall(const std::string& options = "", const std::vector<std::string>& words = {}) {
        openWindow(options, words);
        startAndRegister();
        const int id = placeCall();
        EXPECT_TRUE(waitFor([&] { return m_dialog->m_ringing == 1; })) << "no ringing";
        return id;
    }
    int connectedCall() {
        const int id = ringingCall();
        click(IDC_BUT_ANSWER);
        EXPECT_TRUE(waitFor([&] { return onlyCallIs("up") && isEnabled(IDC_BUT_RELEASE); }));
        return id;
    }
    void expectIdle() {
        EXPECT_EQ(g_activeCallNo, -1);
        EXPECT_EQ(m_dialog->m_ringing, 0);
        EXPECT_EQ(face(IDC_BUT_ANSWER), IDB_ANSWER_IDLE);
        EXPECT_FALSE(isEnabled(IDC_BUT_RELEASE));
        EXPECT_FALSE(isEnabled(IDC_BUT_HOLD));
        EXPECT_FALSE(isEnabled(IDC_BUT_TXFER));
        EXPECT_TRUE(isEnabled(IDC_BUT_DIAL));
        EXPECT_EQ(text(IDC_BUT_HOLD), "Hold");
        EXPECT_FALSE(m_dialog->isTimerActive(TIMERID_RINGCOLOR));
        EXPECT_FALSE(m_dialog->isTimerActive(TIMERID_RINGING));
        EXPECT_EQ(g_ringToneId, -1);
    }
};

TEST_F(CallWindowCallTest, InboundCallRingsIsAnsweredAndHungUpByTheCaller) {
    const int id = ringingCall();
    EXPECT_EQ(text(IDC_EDIT_REMOTE_NUMBER), "5551234");
    EXPECT_EQ(text(IDC_EDIT_REMOTE_CONTENT), "Ada Lovelace");
    EXPECT_FALSE(isEnabled(IDC_BUT_DIAL));
    EXPECT_FALSE(isEnabled(IDC_BUT_RELEASE));
    EXPECT_TRUE(onlyCallIs("ringing"));
    EXPECT_TRUE(logHas("**DEB** before play_ringingTone()"));
    EXPECT_TRUE(logHas("**DEB** After play_ringingTone()"));
    const int firstTone = g_ringToneId;
    EXPECT_GT(firstTone, 0);

    // The face alternates red, green, red ... (every 500 ms: the period is
    // the flash timer's, and timing figures are the benchmarks' business).
    std::vector<int> faces = {face(IDC_BUT_ANSWER)};
    ASSERT_TRUE(waitFor(
        [&] {
            if (face(IDC_BUT_ANSWER) != faces.back()) faces.push_back(face(IDC_BUT_ANSWER));
            return faces.size() >= 5u;
        },
        20000));
    EXPECT_EQ(faces[0], IDB_ANSWER_RED);
    for (size_t i = 1; i < faces.size(); ++i) EXPECT_EQ(faces[i], i % 2 ? IDB_ANSWER_GREEN : IDB_ANSWER_RED) << i;
    // The ring tone comes again (every 6 s).
    EXPECT_TRUE(m_dialog->isTimerActive(TIMERID_RINGING));
    ASSERT_TRUE(waitFor([&] { return g_ringToneId != firstTone; }, 20000));
    EXPECT_GT(g_ringToneId, firstTone);

    click(IDC_BUT_ANSWER);
    EXPECT_EQ(g_ringToneId, -1);
    EXPECT_FALSE(m_dialog->isTimerActive(TIMERID_RINGCOLOR));
    ASSERT_TRUE(waitFor([&] { return isEnabled(IDC_BUT_RELEASE); }));
    EXPECT_TRUE(isEnabled(IDC_BUT_HOLD));
    EXPECT_TRUE(isEnabled(IDC_BUT_TXFER));
    EXPECT_EQ(face(IDC_BUT_ANSWER), IDB_ANSWER_IDLE);
    EXPECT_EQ(m_dialog->m_ringing, 0);
    EXPECT_TRUE(waitFor([&] { return onlyCallIs("up"); }));

    ASSERT_EQ(pbx->command("hangup " + std::to_string(id)), "OK\n");
    ASSERT_TRUE(waitFor([&] { return g_activeCallNo == -1; }));
    expectIdle();
    EXPECT_EQ(text(IDC_EDIT_REMOTE_NUMBER), "5551234");  // kept for the agent
    EXPECT_TRUE(logHas("**DEB** [Answer] button was clicked to pick incoming call"));
}

TEST_F(CallWindowCallTest, CallerHangsUpWhileItRings) {
    const int id = ringingCall();
    ASSERT_EQ(pbx->command("hangup " + std::to_string(id)), "OK\n");
    ASSERT_TRUE(waitFor([&] { return g_activeCallNo == -1; }));
    expectIdle();
    click(IDC_BUT_ANSWER);  // nothing rings: nothing happens
    EXPECT_TRUE(calls().empty());
}

TEST_F(CallWindowCallTest, AgentReleasesTheCall) {
    connectedCall();
    click(IDC_BUT_RELEASE);
    ASSERT_TRUE(waitFor([&] { return calls().empty() && g_activeCallNo == -1; }));
    expectIdle();
    EXPECT_TRUE(logHas("**DEB** [Release] request on ext(7001)"));
}

TEST_F(CallWindowCallTest, AutoAnswerWithAndWithoutAlert) {
    openWindow("", {"-aa"});
    startAndRegister();
    placeCall();
    ASSERT_TRUE(waitFor([&] { return onlyCallIs("up") && isEnabled(IDC_BUT_RELEASE); }));
    EXPECT_EQ(m_dialog->m_ringing, 0);
    EXPECT_EQ(face(IDC_BUT_ANSWER), IDB_ANSWER_IDLE);
    EXPECT_FALSE(m_dialog->isTimerActive(TIMERID_RINGCOLOR));
    EXPECT_FALSE(m_dialog->isTimerActive(TIMERID_RINGING));
    EXPECT_FALSE(logHas("**DEB** before play_ringingTone()"));
    EXPECT_EQ(text(IDC_EDIT_REMOTE_NUMBER), "5551234");
    click(IDC_BUT_RELEASE);
    ASSERT_TRUE(waitFor([&] { return calls().empty() && g_activeCallNo == -1; }));

    g_settings.noAutoAnsAlert = 1;
    placeCall("7001", "5550199", "Second");
    ASSERT_TRUE(waitFor([&] { return onlyCallIs("up") && isEnabled(IDC_BUT_RELEASE); }));
    EXPECT_EQ(text(IDC_EDIT_REMOTE_NUMBER), "5550199");
    EXPECT_EQ(m_dialog->m_ringing, 0);
}

TEST_F(CallWindowCallTest, HoldTwice) {
    connectedCall();
    click(IDC_BUT_HOLD);
    EXPECT_EQ(text(IDC_BUT_HOLD), "Unhold");
    ASSERT_TRUE(waitFor([&] { return !calls().empty() && calls()[0].toHeld; }));
    click(IDC_BUT_HOLD);
    EXPECT_EQ(text(IDC_BUT_HOLD), "Hold");
    ASSERT_TRUE(waitFor([&] { return !calls().empty() && !calls()[0].toHeld; }));
    EXPECT_TRUE(m_boxes.shown.empty());
    // Held when the caller hangs up: the caption is back to Hold.
    click(IDC_BUT_HOLD);
    ASSERT_EQ(pbx->command("hangup " + std::to_string(calls()[0].id)), "OK\n");
    ASSERT_TRUE(waitFor([&] { return g_activeCallNo == -1; }));
    EXPECT_EQ(text(IDC_BUT_HOLD), "Hold");
}

TEST_F(CallWindowCallTest, BlindTransferMovesTheCaller) {
    connectedCall();
    type(IDC_EDIT_TRANSFER, "600");
    click(IDC_BUT_TXFER);
    ASSERT_TRUE(waitFor([&] { return pbx->transfers().size() == 1u; }));
    const auto record = pbx->transfers()[0];
    EXPECT_EQ(record.by, "7001");
    EXPECT_EQ(record.target, "600");
    EXPECT_NE(record.moved.find("5551234"), std::string::npos) << record.moved;
    // The PBX ends the phone's leg; the caller now talks to the echo service.
    ASSERT_TRUE(waitFor([&] { return g_activeCallNo == -1; }));
    expectIdle();
    ASSERT_TRUE(waitFor([&] { return calls().size() == 1u && calls()[0].to.find("600") != std::string::npos; }));
    EXPECT_TRUE(logHas("**DEB** [Single Txfer]->initiated ext[7001] to [600], callNo[0]"));
}

TEST_F(CallWindowCallTest, KeypadBeforeAfterStartAndDuringACall) {
    openWindow();
    click(IDC_BUT_KEY_1);
    click(IDC_BUT_KEY_STAR);
    EXPECT_EQ(text(IDC_EDIT_NUMBER), "1*");
    startAndRegister();
    click(IDC_BUT_KEY_2);
    EXPECT_EQ(text(IDC_EDIT_NUMBER), "1*2");
    click(IDC_BUT_CLEAR_NUMBER);
    EXPECT_EQ(text(IDC_EDIT_NUMBER), "");

    placeCall();
    ASSERT_TRUE(waitFor([&] { return m_dialog->m_ringing == 1; }));
    click(IDC_BUT_ANSWER);
    ASSERT_TRUE(waitFor([&] { return onlyCallIs("up"); }));
    for (int key : {IDC_BUT_KEY_4, IDC_BUT_KEY_0, IDC_BUT_KEY_POUND}) click(key);
    EXPECT_EQ(text(IDC_EDIT_NUMBER), "40#");
    ASSERT_TRUE(waitFor([&] { return pbx->dtmf().size() == 3u; }));
    const auto dtmf = pbx->dtmf();
    EXPECT_EQ(std::string({dtmf[0].digit, dtmf[1].digit, dtmf[2].digit}), "40#");
    EXPECT_EQ(dtmf[0].from, "7001");
}

TEST_F(CallWindowCallTest, SlidersSetTheLevels) {
    openWindow("speakerVol=50\nmicVol=50\n");
    auto* speaker = qobject_cast<QSlider*>(control(IDC_SLIDER_SPK));
    auto* mic = qobject_cast<QSlider*>(control(IDC_SLIDER_MIC));
    ASSERT_TRUE(speaker && mic);
    speaker->setValue(70);
    emit speaker->sliderReleased();
    EXPECT_EQ(g_settings.speakerVol, 70);
    startAndRegister();
    EXPECT_FLOAT_EQ(iaxc_output_level_get(), 0.7f);
    EXPECT_FLOAT_EQ(iaxc_input_level_get(), 0.5f);
    speaker->setValue(20);
    emit speaker->sliderReleased();
    mic->setValue(90);
    emit mic->sliderReleased();
    EXPECT_EQ(g_settings.speakerVol, 20);
    EXPECT_EQ(g_settings.micVol, 90);
    EXPECT_FLOAT_EQ(iaxc_output_level_get(), 0.2f);
    EXPECT_FLOAT_EQ(iaxc_input_level_get(), 0.9f);
    // A key step reaches the engine as a drag does.
    speaker->setFocus();
    QTest::keyClick(speaker, Qt::Key_Up);
    EXPECT_EQ(g_settings.speakerVol, 21);
    EXPECT_FLOAT_EQ(iaxc_output_level_get(), 0.21f);
}

TEST_F(CallWindowCallTest, ExitRefusedDuringACallThenUnregisters) {
    const int id = connectedCall();
    exitWithYes();
    ASSERT_EQ(m_boxes.shown.size(), 2u);
    EXPECT_EQ(m_boxes.shown[1].text, "An active conversation is in progress! Pleaes release it before exiting!");
    EXPECT_EQ(m_boxes.shown[1].icon, BoxIcon::Error);
    EXPECT_TRUE(m_dialog->isVisible());
    EXPECT_TRUE(onlyCallIs("up"));

    ASSERT_EQ(pbx->command("hangup " + std::to_string(id)), "OK\n");
    ASSERT_TRUE(waitFor([&] { return g_activeCallNo == -1; }));
    const int registration = g_registrationId;
    exitWithYes();
    EXPECT_FALSE(m_dialog->isVisible());
    EXPECT_TRUE(logHas("**DEB** [Exit]->iaxc_unregister(" + std::to_string(registration) + ") done"));
    ASSERT_TRUE(waitFor([&] { return pbx->regrels().size() == 1u; }));
    EXPECT_EQ(pbx->regrels()[0].extension, "7001");
    EXPECT_TRUE(pbx->registrations().empty());
}

}  // namespace
