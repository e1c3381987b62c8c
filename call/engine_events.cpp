#include "call/engine_events.h"

#include <cstring>

#include "agent/socket_layer.h"
#include "app/call_globals.h"
#include "app/control_ids.h"
#include "app/debug_log.h"
#include "app/main_window.h"
#include "app/serial_work.h"
#include "app/settings.h"
#include "call/call_services.h"
#include "call/event_relay.h"
#include "call/event_texts.h"
#include "call/ringing.h"

int g_registeredOnce = 0;

namespace {

// Window-thread only.
bool l_handlingClosed = false;

bool isIgnoredType(int type) {
    switch (type) {
        case IAXC_EVENT_LEVELS:
        case IAXC_EVENT_NETSTAT:
        case IAXC_EVENT_URL:
        case IAXC_EVENT_VIDEO:
        case IAXC_EVENT_DTMF:
        case IAXC_EVENT_AUDIO:
        case IAXC_EVENT_VIDEOSTATS:
            return true;
        default:
            return false;
    }
}

template <int N>
void terminate(char (&text)[N]) {
    text[N - 1] = '\0';
}

// The engine's texts are cut by the engine; a copy that lost its end must
// still never be read past its buffer.
void terminateTexts(iaxc_event& e) {
    if (e.type == IAXC_EVENT_STATE) {
        terminate(e.ev.call.remote);
        terminate(e.ev.call.remote_name);
        terminate(e.ev.call.local);
        terminate(e.ev.call.local_context);
    } else if (e.type == IAXC_EVENT_TEXT) {
        terminate(e.ev.text.message);
    }
}

bool has(int state, int flag) {
    return (state & flag) != 0;
}

void handleText(const iaxc_ev_text& text) {
    logDebugf("IAXC_EVENT_TEXT: (type,callno,msg)=(%s[%X],%d,%.200s)", getTextTypeString(text.type),
              static_cast<unsigned>(text.type), text.callNo, text.message);
}

void handleRegistration(const iaxc_ev_registration& reg) {
    logDebugf("IAXC_EVENT_REGISTRATION: (id,reply,msgcount)=(%d,%s[%X],%d)", reg.id,
              getRegistrationReplyString(reg.reply), static_cast<unsigned>(reg.reply), reg.msgcount);
    MainWindow& dlg = *g_mainDlg;
    if (reg.reply == IAXC_REGISTRATION_REPLY_ACK) {
        if (!g_registeredOnce) {
            g_registeredOnce = 1;
            dlg.enableControl(IDC_BUT_LOGIN, true);
            dlg.enableControl(IDC_BUT_DIAL, true);
        } else if (!callIsActive()) {
            // Online again after an outage: with no call in progress, Dial is
            // back as it would be had the outage not happened (during a call,
            // the call's end brings it back).
            dlg.enableControl(IDC_BUT_DIAL, true);
        }
        dlg.setButtonFace(IDC_BUT_START, IDB_ONLINE);
    } else {
        dlg.setButtonFace(IDC_BUT_START, IDB_OFFLINE);
        dlg.enableControl(IDC_BUT_DIAL, false);
    }
}

void handleConnected() {
    MainWindow& dlg = *g_mainDlg;
    dlg.enableControl(IDC_BUT_TXFER, true);
    dlg.enableControl(IDC_BUT_HOLD, true);
    dlg.enableControl(IDC_BUT_RELEASE, true);
    dlg.setButtonFace(IDC_BUT_ANSWER, IDB_ANSWER_IDLE);
    dlg.m_ringing = 0;
    // The agent-mode side decides on its setting and the agent's login.
    if (g_activeCallType == CALLTYPE_INBOUND) callServices().runInboundAnswerNotReady();
}

// Whatever the call number: the one call the window shows has ended.
void handleCallEnded() {
    MainWindow& dlg = *g_mainDlg;
    // The release action's busy rule must already see no active call.
    g_activeCallNo = -1;
    dlg.enableControl(IDC_BUT_RELEASE, false);
    dlg.enableControl(IDC_BUT_DIAL, true);
    dlg.stopTimer(TIMERID_RINGCOLOR);
    dlg.setButtonFace(IDC_BUT_ANSWER, IDB_ANSWER_IDLE);
    dlg.m_ringing = 0;
    dlg.enableControl(IDC_BUT_TXFER, false);
    dlg.enableControl(IDC_BUT_HOLD, false);
    dlg.setControlText(IDC_BUT_HOLD, "Hold");
    stopRingTone();
    if (g_acmSocket != 0 && (g_activeCallType == CALLTYPE_INBOUND || g_activeCallType == CALLTYPE_OUTBOUND)) {
        callServices().runReleaseAction(g_activeCallType);
    }
    g_activeCallType = CALLTYPE_NONE;
}

void handleInboundRinging(const iaxc_ev_call_state& call) {
    MainWindow& dlg = *g_mainDlg;
    callServices().killTimedAcwTimers();
    dlg.setControlText(IDC_EDIT_REMOTE_NUMBER, call.remote);
    dlg.setControlText(IDC_EDIT_REMOTE_CONTENT, call.remote_name);
    dlg.enableControl(IDC_BUT_DIAL, false);
    // Both before the answer below: its connected state needs the direction.
    g_activeCallType = CALLTYPE_INBOUND;
    g_activeCallNo = call.callNo;
    if (g_settings.aa) {
        if (!g_settings.noAutoAnsAlert) play_autoAnswerAlert();
        callServices().answerCall(g_activeCallNo);
    } else {
        startRinging();
    }
    dlg.bringToFront();
}

void handleState(const iaxc_ev_call_state& call) {
    char stateText[kCallStateTextSize];
    logDebugf(
        "**DEB** IAXC_EVENT_STATE: (callNo,State,format,Rnum,Rname,Lnum,LCont)="
        "(%d,%s[%X],%s[%X],%.50s,%.50s,%.50s,%.50s)",
        call.callNo, getCallStateString(call.state, stateText, sizeof stateText),
        static_cast<unsigned>(call.state), getFormatString(call.format), static_cast<unsigned>(call.format),
        call.remote, call.remote_name, call.local, call.local_context);
    const int state = call.state;
    if (has(state, IAXC_CALL_STATE_OUTGOING)) {
        g_activeCallType = CALLTYPE_OUTBOUND;
        logDebugf("**DEB** IAXC_EVENT_STATE: active call type = OUTBOUND");
        callServices().killTimedAcwTimers();
    }
    if (has(state, IAXC_CALL_STATE_COMPLETE)) handleConnected();
    if (state == IAXC_CALL_STATE_FREE) {
        handleCallEnded();
        return;
    }
    if (has(state, IAXC_CALL_STATE_RINGING) && !has(state, IAXC_CALL_STATE_OUTGOING)) {
        handleInboundRinging(call);
    }
}

void handleEvent(const iaxc_event& e) {
    switch (e.type) {
        case IAXC_EVENT_TEXT:
            handleText(e.ev.text);
            break;
        case IAXC_EVENT_STATE:
            handleState(e.ev.call);
            break;
        case IAXC_EVENT_REGISTRATION:
            handleRegistration(e.ev.reg);
            break;
        default:
            if (!isIgnoredType(e.type)) {
                writeDebugLogf("**ERR** unknown event code [0x%X]", static_cast<unsigned>(e.type));
            }
            break;
    }
}

}  // namespace

int iaxEventCallback(iaxc_event e) {
    if (isIgnoredType(e.type)) return 1;
    e.next = nullptr;
    relayEvent(e);
    return 1;
}

int handleIaxEvent(const iaxc_event& event) {
    if (l_handlingClosed || g_mainDlg == nullptr) return 1;
    iaxc_event e = event;
    terminateTexts(e);
    // A box opened by another event's handling must not let this one run in
    // its middle: the event waits its turn, and the window may have closed
    // by then.
    runSerialWork([e] {
        if (l_handlingClosed || g_mainDlg == nullptr) return;
        handleEvent(e);
    });
    return 1;
}

void closeEventHandling() {
    l_handlingClosed = true;
}

void reopenEventHandling() {
    l_handlingClosed = false;
}
