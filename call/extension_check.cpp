#include "call/extension_check.h"

#include <cstdio>
#include <cstring>

#include "agent/manager_session.h"
#include "agent/socket_layer.h"
#include "app/control_ids.h"
#include "app/debug_log.h"
#include "app/main_window.h"
#include "app/mandatory_field.h"
#include "app/message_box.h"
#include "app/settings.h"
#include "call/call_services.h"

namespace {

constexpr int kFieldChars = 62;
constexpr int kTextSize = 3200;  // the in-use address and the local list fit twice
constexpr int kLocalAddressesSize = 1024;

// Ends what is left of the manager session: a link still open is logged
// off; in every case the link is marked closed.
void closeVerificationLink() {
    if (g_acmSocket != 0) callServices().logoutManager(nullptr);
    g_acmSocket = 0;
}

// The extension is in use by inUse: true when [Start] may go on.
bool acceptExtensionInUse(const char* inUse) {
    const Settings& s = g_settings;
    char local[kLocalAddressesSize] = "";
    callServices().localAddresses(local, sizeof local);
    closeVerificationLink();
    char text[kTextSize];
    if (std::strstr(local, inUse) == nullptr) {
        std::snprintf(text, sizeof text,
                      "IAX Extension Verification\nExtension [%s] is found being in-used by [%s]\n"
                      "Local IP address(es): [%s]\n",
                      s.user, inUse, local);
        logAndShow(text);
        return false;
    }
    std::snprintf(text, sizeof text,
                  "IAX Extension Verification\nExtension [%s] is found being in-used by [%s], possibly "
                  "in same computer\nLocal IP address(es): [%s]\nAre you sure to continue?",
                  s.user, inUse, local);
    return askYesNo(text) == IDYES_ANSWER;
}

}  // namespace

bool verifyExtensionState() {
    Settings& s = g_settings;
    logDebugf("**DEB** [Start]-> verifying extensin state");
    if (!readMandatoryField(*g_mainDlg, IDC_EDIT_ACM_USER, s.acmUser, kFieldChars,
                            "**ERR** mandatory (verify Extension status) [ACM user] value not given!")) {
        return false;
    }
    if (!readMandatoryField(
            *g_mainDlg, IDC_EDIT_ACM_PASS, s.acmPass, kFieldChars,
            "**ERR** mandatory (verify Extension status) [ACM pass] (password) value not given!")) {
        return false;
    }

    char inUse[kInUseAddressSize] = "";
    const int code = callServices().openManagerSession(1, inUse);
    inUse[kInUseAddressSize - 1] = '\0';
    char text[kTextSize];
    if (code > 0 || code == MGR_REFUSED) {
        formatSessionError(text, sizeof text, "**ERR** [Start] (verify Extension state)->init_iaxAgiSocket()",
                           code, "rerun with -debug and check log file!");
        logAndShow(text);
        closeVerificationLink();
        return false;
    }
    switch (code) {
        case MGR_EXT_UNUSED:
            logDebugf("**ERR** [Start]->init_iaxAgiSocket() verified ExtDN[%s] is unused", s.user);
            break;
        case MGR_EXT_NOT_DEFINED:
            std::snprintf(text, sizeof text,
                          "IAX Extension Verification\nExtension [%s] is not defined in switch!", s.user);
            logAndShow(text);
            closeVerificationLink();
            return false;
        case MGR_EXT_IN_USE:
            if (!acceptExtensionInUse(inUse)) return false;
            break;
        default:
            std::snprintf(text, sizeof text,
                          "**ERR** [Start]->init_iaxAgiSocket() verified ExtDN[%s]-> unknown return value[%d]!",
                          s.user, code);
            logAndShow(text);
            closeVerificationLink();
            return false;
    }
    // The agent logs in later with [Login]; this session only verified.
    closeVerificationLink();
    return true;
}
