#include "agent/agent_modes.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "agent/agent_mode_steps.h"
#include "agent/manager_link.h"
#include "agent/manager_session.h"
#include "app/call_globals.h"
#include "app/control_ids.h"
#include "app/debug_log.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/settings.h"

int g_inboundTimedAcwActive = 0;
int g_outboundTimedAcwActive = 0;

namespace {

constexpr int kNoReason = -1;
// Reasons 0 and 1 are set by the program on dialling and answering only.
constexpr int kFirstAgentReason = 2;
constexpr int kReasonCodeOffset = 4;

constexpr char kBusyText[] = "**WRN** It is configured not to change agent mode when busy!";
constexpr char kProgramOnlyText[] = "**WRN** This Not Ready reason code is set by program only!";

struct ModeRow {
    const char* label;              // for the manager session's log lines
    const char* pausedValue;        // the text after "Paused: "
    bool ready, aux, acwib, acwob;  // button states after success
    const char* warningName;        // names the operation when it fails
};

constexpr ModeRow kModeRows[] = {
    {"Ready", "false", false, true, true, true, "Ready"},
    {"NotReady", "true", true, false, true, true, "AUX"},
    {"ACW", "acwib", true, true, false, true, "ACWIB"},
    {"ACW-OB", "acwob", true, true, true, false, "ACWOB"},
};

void focusTransferField() {
    g_mainDlg->focusControl(IDC_EDIT_TRANSFER);
}

}  // namespace

void killTimedAcwTimers() {
    if (g_inboundTimedAcwActive) {
        g_inboundTimedAcwActive = 0;
        g_mainDlg->stopTimer(TIMERID_INBOUNDTIMEDACW);
    }
    if (g_outboundTimedAcwActive) {
        g_outboundTimedAcwActive = 0;
        g_mainDlg->stopTimer(TIMERID_OUTBOUNDTIMEDACW);
    }
}

namespace agentmode {

bool busyRuleApplies() {
    return callIsActive() && g_settings.noChangeAgentWhenBusy != 0;
}

bool refuseWhenBusy() {
    if (!busyRuleApplies()) return false;
    showMessage(kBusyText);
    return true;
}

void setModeButtons(bool ready, bool aux, bool acwib, bool acwob) {
    g_mainDlg->enableControl(IDC_BUT_READY, ready);
    g_mainDlg->enableControl(IDC_BUT_AUX, aux);
    g_mainDlg->enableControl(IDC_BUT_ACWIB, acwib);
    g_mainDlg->enableControl(IDC_BUT_ACWOB, acwob);
}

bool agentLoggedIn() {
    return g_mainDlg->isControlEnabled(IDC_BUT_LOGOUT);
}

void clearReasonSelection() {
    g_mainDlg->setReasonSelection(kNoReason);
    g_mainDlg->m_reasonIndex = kNoReason;
}

ModeOperationResult runModeOperation(AgentMode mode) {
    const ModeRow& row = kModeRows[mode];
    if (refuseWhenBusy()) return MODEOP_REFUSED_WHEN_BUSY;
    killTimedAcwTimers();
    const int result = managerLink().changeAgentMode(row.label, row.pausedValue);
    if (result == MODE_CHANGED) {
        setModeButtons(row.ready, row.aux, row.acwib, row.acwob);
        clearReasonSelection();
        return MODEOP_CHANGED;
    }
    if (result == MODE_LINK_LOST) {
        resetAgentLogin();
        return MODEOP_LINK_LOST;
    }
    warnOperationFailed(row.warningName);
    return MODEOP_NOT_CHANGED;
}

void showModeReadBack(bool paused, const char* reason) {
    const char* code = paused ? (reason ? reason : "") : "false";
    // "aux" and a whole decimal number (blanks and a sign before it allowed).
    const char* digits = std::strncmp(code, "aux", 3) == 0 ? code + 3 : nullptr;
    char* end = nullptr;
    const long number = digits ? std::strtol(digits, &end, 10) : 0;
    if (digits && end != digits && *end == '\0' && number >= kReasonCodeOffset &&
        number < kReasonCodeOffset + kNotReadyReasonCount) {
        const int index = static_cast<int>(number - kReasonCodeOffset);
        setModeButtons(true, true, true, true);
        g_mainDlg->setReasonSelection(index);
        g_mainDlg->m_reasonIndex = index;
        return;
    }
    clearReasonSelection();
    const ModeRow* shown = &kModeRows[AGENTMODE_AUX];
    for (const ModeRow& row : kModeRows) {
        if (std::strcmp(row.pausedValue, code) == 0) shown = &row;
    }
    setModeButtons(shown->ready, shown->aux, shown->acwib, shown->acwob);
}

}  // namespace agentmode

using namespace agentmode;

void OnBnClickedButReady() {
    runModeOperation(AGENTMODE_READY);
}

void OnBnClickedButAux() {
    runModeOperation(AGENTMODE_AUX);
}

void OnBnClickedButAcwib() {
    runModeOperation(AGENTMODE_ACWIB);
}

void OnBnClickedButAcwob() {
    runModeOperation(AGENTMODE_ACWOB);
}

int setNotReadyReason(const char* name, const char* pausedValue) {
    killTimedAcwTimers();
    const int result = managerLink().changeAgentMode(name, pausedValue);
    int success = 0;
    if (result == MODE_CHANGED) {
        setModeButtons(true, true, true, true);
        success = 1;
    } else if (result == MODE_LINK_LOST) {
        resetAgentLogin();
    } else {
        warnOperationFailed(name);
    }
    focusTransferField();
    return success;
}

void OnCbnSelchangeComboReason() {
    MainWindow& dlg = *g_mainDlg;
    const int selected = dlg.reasonSelection();
    if (selected < 0) {
        dlg.m_reasonIndex = kNoReason;
        return;
    }
    if (selected < kFirstAgentReason) {
        dlg.setReasonSelection(dlg.m_reasonIndex);
        showMessage(kProgramOnlyText);
        focusTransferField();
        return;
    }
    if (selected == dlg.m_reasonIndex) {
        focusTransferField();
        return;
    }
    if (busyRuleApplies()) {
        dlg.setReasonSelection(dlg.m_reasonIndex);
        showMessage(kBusyText);
        focusTransferField();
        return;
    }
    // A list longer than the reason table (a window fault) must not index
    // past it.
    if (selected >= kNotReadyReasonCount) {
        dlg.setReasonSelection(dlg.m_reasonIndex);
        return;
    }
    char pausedValue[16];
    std::snprintf(pausedValue, sizeof pausedValue, "aux%d", selected + kReasonCodeOffset);
    if (setNotReadyReason(g_notReadyReasons[selected], pausedValue) == 1) {
        dlg.m_reasonIndex = selected;
    }
}

void resetAgentLogin() {
    setModeButtons(false, false, false, false);
    g_mainDlg->enableControl(IDC_BUT_LOGOUT, false);
    g_mainDlg->enableControl(IDC_BUT_LOGIN, true);
    logDebugf("**WRN** resetAgentLogin(), socket was disconnected unexpectedly");
    showMessage(
        "Warning: Agent mode function is reset to socket disconnection unexpectedly; please "
        "login again immediately",
        BoxIcon::Error);
}

void warnOperationFailed(const char* operation) {
    char text[512];
    const int headLength = std::snprintf(text, sizeof text, "**WRN**: operation [%s] cannot be completed",
                                         operation ? operation : "");
    logDebugf("%s", text);
    if (headLength >= 0 && headLength < static_cast<int>(sizeof text)) {
        std::snprintf(text + headLength, sizeof text - headLength,
                      "\n"
                      "   - if this message occurs continuously,\n"
                      "        please perform [Logout] then [Login] and try again\n"
                      "   - Or, exit the program and start it again.");
    }
    showMessage(text, BoxIcon::Warning);
}
