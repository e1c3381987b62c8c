// The Dial button wired to the database layer, the agent modes and the
// voice engine. Kept apart from the request itself so that tests of the
// request need none of them.
#include <iaxclient.h>

#include "agent/agent_modes.h"
#include "app/call_globals.h"
#include "app/main_window.h"
#include "optout/dial_request.h"
#include "optout/dnc_database.h"

namespace {

int searchRecord(const char* statement, const char* parameter) {
    return dbSearchRecord(statement, parameter);
}

int placeCall(const char* dialString) {
    return iaxc_call(dialString);
}

}  // namespace

void OnBnClickedButDial() {
    if (g_mainDlg == nullptr) return;
    const DialServices services{dbConnectionOpen,  dbOpenConnection, searchRecord,
                                setNotReadyReason, placeCall,        &g_activeCallNo};
    runDialRequest(*g_mainDlg, services);
}
