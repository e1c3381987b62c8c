#include "optout/dial_request.h"

#include <cstdio>
#include <cstring>

#include "app/control_ids.h"
#include "app/debug_log.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/settings.h"
#include "optout/dial_numbers.h"
#include "optout/dnc_database.h"

namespace {

constexpr int kTitleCapacity = 2048;
constexpr int kOutboundReasonIndex = 0;

enum class Screening { Allowed, Stopped };

// Screening off for the rest of the run: the title loses its " (file)" end.
void disableScreening(MainWindow& window) {
    g_dncEnabled = 0;
    char title[kTitleCapacity] = "";
    window.windowTitle(title, sizeof title);
    char* open = std::strchr(title, '(');
    if (open == nullptr) return;
    *open = '\0';
    window.setWindowTitle(title);
}

// The three-way question after a failure of the database.
Screening askAfterFailure(MainWindow& window, const char* firstLine) {
    char text[256];
    std::snprintf(text, sizeof text, "%s%s%s%s", firstLine, "Yes - Disable DNC and dial this number\n",
                  "No - dial this number anyway\n", "Cancel - stop dialing transaction");
    switch (askYesNoCancel(text, BoxIcon::Question)) {
        case IDYES_ANSWER:
            disableScreening(window);
            return Screening::Allowed;
        case IDNO_ANSWER:
            return Screening::Allowed;
        default:
            return Screening::Stopped;
    }
}

void dncTrace(const char* text) {
    if (g_settings.dncdebug) writeDebugLog(text);
}

Screening screen(MainWindow& window, const DialServices& services, const char* dialed) {
    char search[kSearchNumberMax + 1];
    buildSearchNumber(dialed, search, sizeof search);
    char statement[kStatementMax + 1];
    buildDncStatement(g_settings.dbdnctable, search, statement, sizeof statement);
    char trace[kStatementMax + 64];
    std::snprintf(trace, sizeof trace, "**DEB** [Dial]->optout statement [%s]", statement);
    dncTrace(trace);

    if (!services.connectionOpen()) {
        showMessage("DB connection not opened");
        if (services.openConnection(g_optOutConnString) != DB_SUCCESS)
            return askAfterFailure(window, "dbOpenConnection() failed!\n");
    }

    char query[kStatementMax + 1];
    buildDncQuery(g_settings.dbdnctable, query, sizeof query);
    const int found = services.searchRecord(query, search);
    if (found == DB_FOUND) {
        char text[128];
        std::snprintf(text, sizeof text, "[%s] is found in Opt-out / Do-Not-Call table; operation aborted",
                      search);
        showMessage(text);
        dncTrace(text);
        return Screening::Stopped;
    }
    if (found != DB_NOT_FOUND) return askAfterFailure(window, "Database/table retrieval failed!\n");
    return Screening::Allowed;
}

void setOutboundNotReady(MainWindow& window, const DialServices& services) {
    if (!window.isControlEnabled(IDC_BUT_LOGOUT) || !g_settings.outboundDialNotReady) return;
    // On failure the agent has already been told; the dial goes on.
    if (services.setNotReadyReason("Outbound NR", "aux4")) {
        window.setReasonSelection(kOutboundReasonIndex);
        window.m_reasonIndex = kOutboundReasonIndex;
    }
}

}  // namespace

void runDialRequest(MainWindow& window, const DialServices& services) {
    const Settings& s = g_settings;
    if (s.loggedInToDial && window.isControlEnabled(IDC_BUT_LOGIN)) {
        showMessage("You must log-in to make outbound call.\nPlease login!", BoxIcon::Error);
        return;
    }

    char dialed[kDialedNumberMax + 1] = "";
    window.controlText(IDC_EDIT_NUMBER, dialed, kDialedNumberMax);
    dialed[kDialedNumberMax] = '\0';
    window.setControlText(IDC_EDIT_NUMBER, dialed);
    if (dialed[0] == '\0') {
        showMessage("No digit to dial");
        logDebugf("No digit to dial");
        return;
    }

    if (g_dncEnabled && screen(window, services, dialed) == Screening::Stopped) return;

    setOutboundNotReady(window, services);

    char outgoing[kOutgoingNumberMax + 1];
    buildOutgoingNumber(dialed, outgoing, sizeof outgoing);
    char dialString[kDialStringMax + 1];
    buildDialString(s.user, s.pass, s.host, outgoing, dialString, sizeof dialString);
    logDebugf("**DEB** [Dial] ready to dial number (%s)...", dialString);

    const int callNo = services.placeCall(dialString);
    *services.activeCallNo = callNo;
    if (callNo < 0) {
        char text[kDialStringMax + 64];
        std::snprintf(text, sizeof text, "**WRN** [Dial]->iaxc_call(%s) failed", dialString);
        logDebugf("%s", text);
        showMessage(text);
        return;
    }
    logDebugf("**DEB** [Dial->iaxc_call(%s) succeeded; callNo=[%d]", dialString, callNo);
    window.enableControl(IDC_BUT_RELEASE, true);
    window.enableControl(IDC_BUT_DIAL, false);
}
