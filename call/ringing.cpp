#include "call/ringing.h"

#include "app/call_globals.h"
#include "app/control_ids.h"
#include "app/debug_log.h"
#include "app/main_window.h"
#include "call/call_services.h"
#include "call/engine_events.h"
#include "call/local_sound.h"
#include "call/tone_tables.h"

namespace {

constexpr int kRingColorPeriodMs = 500;
constexpr int kRingingPeriodMs = 6000;
constexpr int kRingToneRepeat = 8;
constexpr int kAutoAnswerAlertRepeat = 1;

}  // namespace

int play_ringingTone() {
    return playLocalSound(g_ringToneSamples, kRingToneSamples, kRingToneRepeat);
}

void play_autoAnswerAlert() {
    playLocalSound(g_autoAnswerAlertSamples, kAutoAnswerAlertSamples, kAutoAnswerAlertRepeat);
}

void startRinging() {
    MainWindow& dlg = *g_mainDlg;
    dlg.setButtonFace(IDC_BUT_ANSWER, IDB_ANSWER_RED);
    dlg.m_ringing = 1;
    dlg.m_ringTicks = 0;
    if (!dlg.startTimer(TIMERID_RINGCOLOR, kRingColorPeriodMs)) {
        logDebugf("**ERR** inboundringColor->SetTimer() failed");
    }
    if (dlg.startTimer(TIMERID_RINGING, kRingingPeriodMs)) {
        // Written whatever the debug switch, as a trace of every ring start.
        writeDebugLog("**DEB** before play_ringingTone()");
        g_ringToneId = play_ringingTone();
        writeDebugLog("**DEB** After play_ringingTone()");
    } else {
        logDebugf("**ERR** inboundRinging->SetTimer() failed");
    }
}

bool stopRingTone() {
    if (g_ringToneId == -1) return false;
    callServices().stopSound(g_ringToneId);
    g_ringToneId = -1;
    g_mainDlg->stopTimer(TIMERID_RINGING);
    return true;
}

void onRingingTimer(int timerId) {
    if (g_mainDlg == nullptr) return;
    MainWindow& dlg = *g_mainDlg;
    if (timerId == TIMERID_RINGCOLOR) {
        dlg.m_ringTicks += 1;
        dlg.setButtonFace(IDC_BUT_ANSWER, dlg.m_ringTicks % 2 != 0 ? IDB_ANSWER_GREEN : IDB_ANSWER_RED);
    } else if (timerId == TIMERID_RINGING) {
        g_ringToneId = play_ringingTone();
    }
}
