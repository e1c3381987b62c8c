// [Exit]: confirmation, refusal during a call, agent logout, engine
// unregistration, engine threads stopped, engine shut down, database closed,
// window closed: in that order.
#include "app/call_globals.h"
#include "app/control_ids.h"
#include "app/debug_log.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/settings.h"
#include "call/call_operations.h"
#include "call/call_services.h"
#include "call/engine_events.h"

namespace {

constexpr int kNoRegistrationRemoved = 0;

void stopEngine() {
    if (g_registrationId > 0) {
        const int removed = callServices().unregisterUser(g_registrationId);
        if (removed != kNoRegistrationRemoved) {
            logDebugf("**DEB** [Exit]->iaxc_unregister(%d) done", g_registrationId);
        } else {
            logDebugf("**DEB** [Exit]->iaxc_unregister(%d) failed", g_registrationId);
        }
    }
    callServices().stopProcessingThread();
    callServices().shutdown();
    // Events still on their way find no engine to act on.
    closeEventHandling();
}

}  // namespace

void OnBnClickedButExit() {
    MainWindow& dlg = *g_mainDlg;
    if (askYesNo("Are you sure to exit?") != IDYES_ANSWER) return;
    if (g_activeCallNo != -1) {
        showMessage("An active conversation is in progress! Pleaes release it before exiting!", BoxIcon::Error);
        return;
    }
    if (dlg.isControlEnabled(IDC_BUT_LOGOUT)) {
        logDebugf("**ERR**[Exit]->OnBnClickedButLogout()-> ext=[%s], agentID=[%s]", g_settings.user,
                  g_settings.agid);
        callServices().logoutAgent();
    }
    if (dlg.m_notStarted == 0) stopEngine();
    callServices().closeDatabase();
    closeEventHandling();
    dlg.closeWindow();
}
