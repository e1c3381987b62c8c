// The agent's operations on the active call, the clear buttons and the level
// sliders. Each leaves the window's picture of the call to the events the
// engine sends back.
#include "call/call_operations.h"

#include <cstdio>
#include <cstring>

#include "app/call_globals.h"
#include "app/control_ids.h"
#include "app/debug_log.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/settings.h"
#include "call/call_services.h"
#include "call/keypad.h"
#include "call/ringing.h"
#include "call/tone_tables.h"

namespace {

constexpr int kCaptionChars = 30;
constexpr int kNumberChars = 30;
constexpr int kTextSize = 256;
constexpr int kEngineFailure = -1;
constexpr int kMusicOnHold = 1;

// Applies a slider's level: the setting always, the engine once it runs.
void applyLevel(int sliderId, int32_t& level, int (*setEngineLevel)(float)) {
    level = -g_mainDlg->sliderPosition(sliderId);
    if (g_registrationId != -1) setEngineLevel(static_cast<float>(level) / 100.0f);
}

}  // namespace

void OnBnClickedButAnswer() {
    MainWindow& dlg = *g_mainDlg;
    if (dlg.m_ringing == 0) return;
    logDebugf("**DEB** [Answer] button was clicked to pick incoming call");
    if (stopRingTone()) dlg.stopTimer(TIMERID_RINGCOLOR);
    if (g_activeCallNo >= 0) callServices().answerCall(g_activeCallNo);
}

void OnBnClickedButRelease() {
    logDebugf("**DEB** [Release] request on ext(%s)", g_settings.user);
    callServices().dumpCall();
    g_mainDlg->enableControl(IDC_BUT_DIAL, true);
}

void OnBnClickedButHold() {
    MainWindow& dlg = *g_mainDlg;
    logDebugf("**DEB** [Hold]->Ext[%s], callNo[%d]", g_settings.user, g_activeCallNo);
    if (g_activeCallNo == -1) {
        logAndShow("**WRN** [Hold]->No active call to hold");
        return;
    }
    char caption[kCaptionChars + 1];
    dlg.controlText(IDC_BUT_HOLD, caption, kCaptionChars);
    char text[kTextSize];
    if (std::strcmp(caption, "Hold") == 0) {
        if (callServices().quelch(g_activeCallNo, kMusicOnHold) != kEngineFailure) {
            dlg.setControlText(IDC_BUT_HOLD, "Unhold");
            return;
        }
        std::snprintf(text, sizeof text, "**ERR** [Hold]->iaxc_quelch(callNo=%d) failed", g_activeCallNo);
    } else if (std::strcmp(caption, "Unhold") == 0) {
        if (callServices().unquelch(g_activeCallNo) != kEngineFailure) {
            dlg.setControlText(IDC_BUT_HOLD, "Hold");
            return;
        }
        std::snprintf(text, sizeof text, "**ERR** [Unhold]->iaxc_unquelch(callNo=%d) failed", g_activeCallNo);
    } else {
        std::snprintf(text, sizeof text, "**ERR** [Hold]->unknown Hold/Unhold state [%s]; programming/design bug?",
                      caption);
    }
    logAndShow(text);
}

void OnBnClickedButSingleTxfer() {
    MainWindow& dlg = *g_mainDlg;
    char number[kNumberChars + 1];
    dlg.controlText(IDC_EDIT_TRANSFER, number, kNumberChars);
    if (number[0] == '\0') {
        showMessage("**WRN** [Single Txfer]-> No number for single-step transfer!");
        return;
    }
    dlg.setControlText(IDC_EDIT_TRANSFER, number);
    if (g_activeCallNo == -1) {
        showMessage("**WRN** [Single Txfer]-> no active call to transfer!");
        return;
    }
    logDebugf("**DEB** [Single Txfer]->to be initiated ext[%s] to [%s], callNo[%d]", g_settings.user, number,
              g_activeCallNo);
    callServices().blindTransferCall(g_activeCallNo, number);
    logDebugf("**DEB** [Single Txfer]->initiated ext[%s] to [%s], callNo[%d]", g_settings.user, number,
              g_activeCallNo);
}

void OnBnClickedButKeypad(int controlId) {
    const int index = keypadIndexById(controlId);
    if (index < 0) return;
    keypadPress(IDC_EDIT_NUMBER, g_keyToneSamples[index], keypadKeyById(controlId)->character);
}

void OnBnClickedButClearNumber() {
    g_mainDlg->setControlText(IDC_EDIT_NUMBER, "");
}

void OnBnClickedButClearTransfer() {
    g_mainDlg->setControlText(IDC_EDIT_TRANSFER, "");
}

void OnSpeakerSliderReleased() {
    applyLevel(IDC_SLIDER_SPK, g_settings.speakerVol, callServices().outputLevelSet);
}

void OnMicSliderReleased() {
    applyLevel(IDC_SLIDER_MIC, g_settings.micVol, callServices().inputLevelSet);
}
