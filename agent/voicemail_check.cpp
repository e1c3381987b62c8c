#include "agent/voicemail_check.h"

#include <climits>
#include <cstdio>

#include "agent/manager_link.h"
#include "app/control_ids.h"
#include "app/debug_log.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/settings.h"

namespace {

constexpr char kDefaultContext[] = "default";
constexpr int kMillisecondsPerSecond = 1000;

// The button shows only while the last check found new messages; a failed
// check (negative) hides it as well.
void showButtonFor(int newMessages) {
    g_mainDlg->showControl(IDC_BUT_VOICEMAIL, newMessages > 0);
}

// The period in milliseconds, or 0 when the interval cannot be a timer's.
int checkPeriodMilliseconds() {
    const long long ms = static_cast<long long>(g_settings.vmbxInterval) * kMillisecondsPerSecond;
    return ms > 0 && ms <= INT_MAX ? static_cast<int>(ms) : 0;
}

}  // namespace

void startVoicemailCheck() {
    if (g_settings.vmbxCheck == 0) return;
    if (g_settings.vmbxNumber[0] == '\0') copyText(g_settings.vmbxNumber, g_settings.user);
    if (g_settings.vmbxContext[0] == '\0') copyText(g_settings.vmbxContext, kDefaultContext);
    const int period = checkPeriodMilliseconds();
    if (period == 0 || !g_mainDlg->startTimer(TIMERID_MWICHECKER, period)) {
        logDebugf("**ERR** Login->SetTimer(TIMERID_MWICHECKER) failed");
        return;
    }
    showButtonFor(managerLink().checkMWI(g_settings.vmbxContext));
}

void stopVoicemailCheck() {
    g_mainDlg->stopTimer(TIMERID_MWICHECKER);
    g_mainDlg->showControl(IDC_BUT_VOICEMAIL, false);
}

void onVoicemailTimer() {
    showButtonFor(managerLink().checkMWI(g_settings.vmbxContext));
}

void OnBnClickedButVoicemail() {
    if (g_settings.vmbxCheck == 0) {
        g_mainDlg->showControl(IDC_BUT_VOICEMAIL, false);
        return;
    }
    const int newMessages = managerLink().checkMWI(g_settings.vmbxContext);
    char text[128];
    if (newMessages == 0) {
        std::snprintf(text, sizeof text, "Voice mailbox [%s] has no new mail", g_settings.vmbxNumber);
    } else if (newMessages < 0) {
        std::snprintf(text, sizeof text, "Voice mailbox [%s] retrieval error", g_settings.vmbxNumber);
    } else {
        std::snprintf(text, sizeof text, "Voice mailbox [%s] has %d new mail(s)", g_settings.vmbxNumber,
                      newMessages);
    }
    showButtonFor(newMessages);
    logDebugf("%s", text);
    showMessage(text);
}
