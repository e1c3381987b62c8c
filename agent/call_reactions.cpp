// What the agent's mode does when calls come and go: Not Ready on answering
// an inbound call, the release action when a call ends, and the end of a
// timed after-call work.
#include <climits>

#include "agent/agent_mode_steps.h"
#include "agent/agent_modes.h"
#include "agent/manager_link.h"
#include "agent/manager_session.h"
#include "agent/socket_layer.h"
#include "app/call_globals.h"
#include "app/control_ids.h"
#include "app/debug_log.h"
#include "app/main_window.h"
#include "app/settings.h"

using namespace agentmode;

namespace {

enum ReleaseAction : int {
    RELEASE_NONE = 0,
    RELEASE_READY = 1,
    RELEASE_NOT_READY = 2,
    RELEASE_ACW = 3,
    RELEASE_TIMED_ACW = 4,
};

// Reason list entry of the Not Ready set on answering.
constexpr int kInboundAnswerReason = 1;
constexpr int kMinTimedAcwSeconds = 1;
constexpr int kMillisecondsPerSecond = 1000;

// One direction's settings, button, timer and flag.
struct ReleaseSide {
    const char* name;  // "Inbound" / "outbound" as the log lines write them
    int action;
    int timedAcwSeconds;
    AgentMode acwMode;
    int acwButton;
    int timerId;
    int* timerActive;
};

ReleaseSide releaseSide(int direction) {
    if (direction == CALLTYPE_INBOUND) {
        return {"Inbound",     g_settings.inboundReleaseAction, g_settings.inboundTimedACW, AGENTMODE_ACWIB,
                IDC_BUT_ACWIB, TIMERID_INBOUNDTIMEDACW,         &g_inboundTimedAcwActive};
    }
    return {"outbound",    g_settings.outboundReleaseAction, g_settings.outboundTimedACW, AGENTMODE_ACWOB,
            IDC_BUT_ACWOB, TIMERID_OUTBOUNDTIMEDACW,         &g_outboundTimedAcwActive};
}

bool enabled(int controlId) {
    return g_mainDlg->isControlEnabled(controlId);
}

void startTimedAcw(const ReleaseSide& side) {
    if (side.timedAcwSeconds < kMinTimedAcwSeconds) return;
    if (enabled(side.acwButton)) runModeOperation(side.acwMode);
    // After a lost link, now or earlier, no agent is logged in any more: a
    // Ready at the end of the timer would only fail on the dead link again.
    if (!agentLoggedIn()) return;
    // The timer ends the after-call work of a call that is over; once a new
    // call is active (it may have begun while the ACW operation waited for a
    // box), that work is abandoned as a ringing call abandons it.
    if (callIsActive()) return;
    // Seconds beyond what a timer can count are a timer that cannot start.
    const bool countable = side.timedAcwSeconds <= INT_MAX / kMillisecondsPerSecond;
    const int milliseconds = countable ? side.timedAcwSeconds * kMillisecondsPerSecond : 0;
    if (!countable || !g_mainDlg->startTimer(side.timerId, milliseconds)) {
        logDebugf("**ERR** iaxEventCallback()->%s releaseAction->SetTimer(%d, %d sec) failed", side.name,
                  side.timerId, side.timedAcwSeconds);
        return;
    }
    *side.timerActive = 1;
}

}  // namespace

void runReleaseAction(int callType) {
    if (g_acmSocket == 0) return;
    if (callType != CALLTYPE_INBOUND && callType != CALLTYPE_OUTBOUND) return;
    const ReleaseSide side = releaseSide(callType);
    switch (side.action) {
        case RELEASE_READY:
            if (enabled(IDC_BUT_READY)) {
                logDebugf("**DEB** iaxEventCallback()->%s releaseAction->call OnBnClickedButReady()", side.name);
                OnBnClickedButReady();
            }
            break;
        case RELEASE_NOT_READY:
            if (enabled(IDC_BUT_AUX)) OnBnClickedButAux();
            break;
        case RELEASE_ACW:
            if (enabled(side.acwButton)) runModeOperation(side.acwMode);
            break;
        case RELEASE_TIMED_ACW:
            startTimedAcw(side);
            break;
        default:
            break;
    }
}

void runInboundAnswerNotReady() {
    if (g_activeCallType != CALLTYPE_INBOUND) return;
    if (g_settings.inboundAnswerNotReady == 0 || !agentLoggedIn()) return;
    // Set by the program on answering: no busy rule, and a pending timed
    // after-call work is left alone (a ringing call has already stopped it).
    const int result = managerLink().changeAgentMode("Inbound NR", "aux5");
    if (result == MODE_LINK_LOST) {
        resetAgentLogin();
    } else if (result == MODE_CHANGED) {
        setModeButtons(true, true, true, true);
        g_mainDlg->setReasonSelection(kInboundAnswerReason);
        g_mainDlg->m_reasonIndex = kInboundAnswerReason;
    }
    logDebugf("**DEB** IAXC_EVENT_STATE: INBOUND/COMPLETE g_inboundAnswerNotReady on");
}

void onTimedAcwTimer(int timerId) {
    int* active = nullptr;
    const char* line = nullptr;
    if (timerId == TIMERID_INBOUNDTIMEDACW) {
        active = &g_inboundTimedAcwActive;
        line = "**DEB** OnTimer()->Inbound timed ACW->call OnBnClickedButReady()";
    } else if (timerId == TIMERID_OUTBOUNDTIMEDACW) {
        active = &g_outboundTimedAcwActive;
        line = "**DEB** OnTimer()->Outbound timed ACW->call OnBnClickedButReady()";
    } else {
        return;
    }
    g_mainDlg->stopTimer(timerId);
    if (*active) {
        logDebugf("%s", line);
        OnBnClickedButReady();
    }
    *active = 0;
}
