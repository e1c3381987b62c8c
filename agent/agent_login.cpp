// Login and Logout: opening and closing the agent's session on the manager
// link, with the controls of the logged-in and logged-out states.
#include <cstdio>

#include "agent/agent_mode_steps.h"
#include "agent/agent_modes.h"
#include "agent/manager_link.h"
#include "agent/manager_session.h"
#include "agent/socket_layer.h"
#include "agent/voicemail_check.h"
#include "app/control_ids.h"
#include "app/debug_log.h"
#include "app/main_window.h"
#include "app/mandatory_field.h"
#include "app/message_box.h"
#include "app/settings.h"

using namespace agentmode;

namespace {

// Characters read from the login fields (each fits its settings field).
constexpr int kAgentIdMaxChars = 14;
constexpr int kAcmUserMaxChars = 62;
constexpr int kAcmPassMaxChars = 62;

// The mode set right after the agent login.
enum LoginAction : int { LOGINACTION_NOT_READY = 0, LOGINACTION_READY = 1 };

constexpr int kSessionOpened = 0;
constexpr int kLoggedOff = 0;

// The advice of a failed Login or Logout that is no socket error.
constexpr char kRerunAdvice[] = "rerun wiht -debug and check log file!";

// Reads a login field into its setting; false when the field is empty, in
// which case the mandatory-value text is reported and Login is enabled again.
template <int N>
bool readLoginField(int controlId, int maxChars, char (&target)[N], const char* missingText) {
    if (readMandatoryField(*g_mainDlg, controlId, target, maxChars, missingText)) return true;
    g_mainDlg->enableControl(IDC_BUT_LOGIN, true);
    return false;
}

// The mode change that loginAction asks for; false when the link was lost
// (the controls are then already reset).
bool applyLoginAction() {
    const int action = g_settings.loginAction;
    if (action != LOGINACTION_NOT_READY && action != LOGINACTION_READY) return true;
    const bool ready = action == LOGINACTION_READY;
    const int result = ready ? managerLink().changeAgentMode("Ready", "false")
                             : managerLink().changeAgentMode("NotReady", "true");
    if (result == MODE_LINK_LOST) {
        resetAgentLogin();
        return false;
    }
    if (result == MODE_CHANGED) {
        g_mainDlg->enableControl(IDC_BUT_READY, !ready);
        g_mainDlg->enableControl(IDC_BUT_AUX, ready);
    }
    // A refused change leaves Ready and AUX as they are; the agent can still
    // choose ACWIB, ACWOB or a reason.
    return true;
}

void enableLoginFields(bool enable) {
    g_mainDlg->enableControl(IDC_EDIT_AGENT_ID, enable && g_settings.diffagid != 0);
    g_mainDlg->enableControl(IDC_EDIT_ACM_USER, enable);
    g_mainDlg->enableControl(IDC_EDIT_ACM_PASS, enable);
}

}  // namespace

void OnBnClickedButLogin() {
    if (refuseWhenBusy()) return;
    MainWindow& dlg = *g_mainDlg;
    dlg.enableControl(IDC_BUT_LOGIN, false);

    if (!readLoginField(IDC_EDIT_AGENT_ID, kAgentIdMaxChars, g_settings.agid,
                        "**ERR** mandatory '-agid' (Agent ID) value not given!"))
        return;
    if (!readLoginField(IDC_EDIT_ACM_USER, kAcmUserMaxChars, g_settings.acmUser,
                        "**ERR** mandatory [ACM user] value not given!"))
        return;
    if (!readLoginField(IDC_EDIT_ACM_PASS, kAcmPassMaxChars, g_settings.acmPass,
                        "**ERR** mandatory [ACM pass] (password) value not given!"))
        return;

    if (queueDialect() && g_settings.acmQueues[0] == '\0') {
        logAndShow("**ERR** [Login] no queue to join: set acmQueues in the options file for acmDialect=queues!");
        dlg.enableControl(IDC_BUT_LOGIN, true);
        return;
    }

    char unusedAddress[kInUseAddressSize];
    unusedAddress[0] = '\0';
    const int opened = managerLink().init_iaxAgiSocket(0, unusedAddress);
    if (opened != kSessionOpened) {
        char text[256];
        formatSessionError(text, sizeof text, "**ERR** [Login]->init_iaxAgiSocket()", opened, kRerunAdvice);
        logAndShow(text);
        dlg.enableControl(IDC_BUT_LOGIN, true);
        g_acmSocket = 0;
        return;
    }

    // After a lost link the agent was still in the queues: what the PBX
    // holds is shown instead of the login action.
    int readBackPaused = 0;
    char readBackReason[kReadBackReasonSize] = "";
    const bool readBackFound = queueDialect() && managerLink().takeMemberReadBack(&readBackPaused, readBackReason);
    if (!readBackFound && !applyLoginAction()) return;

    dlg.enableControl(IDC_BUT_ACWIB, true);
    dlg.enableControl(IDC_BUT_ACWOB, true);
    dlg.enableControl(IDC_BUT_LOGOUT, true);
    clearReasonSelection();
    dlg.enableControl(IDC_COMBO_REASON, true);
    enableLoginFields(false);
    if (readBackFound) showModeReadBack(readBackPaused != 0, readBackReason);

    if (g_settings.vmbxCheck != 0) startVoicemailCheck();
}

void OnBnClickedButLogout() {
    if (refuseWhenBusy()) return;
    killTimedAcwTimers();
    MainWindow& dlg = *g_mainDlg;
    dlg.enableControl(IDC_BUT_LOGOUT, false);

    const int result = managerLink().agi_Logout(g_settings.agid);
    if (result != kLoggedOff) {
        char text[256];
        formatSessionError(text, sizeof text, "**ERR** [Logout]->agi_Logout()", result, kRerunAdvice);
        logAndShow(text);
        // A closed link cannot log the agent off on a retry either: the peer's
        // orderly close (what a reset link also reads as here) counts as a
        // lost link, like the disconnect class.
        if (result == SO_CONNECTION_CLOSED || result == SO_DISCONNECTED) {
            resetAgentLogin();
        } else {
            // Still logged in: the agent may try again.
            dlg.enableControl(IDC_BUT_LOGOUT, true);
        }
        return;
    }

    stopVoicemailCheck();
    g_acmSocket = 0;  // agi_Logout has closed the link
    setModeButtons(false, false, false, false);
    dlg.enableControl(IDC_BUT_LOGIN, true);
    clearReasonSelection();
    dlg.enableControl(IDC_COMBO_REASON, false);
    enableLoginFields(true);
}
