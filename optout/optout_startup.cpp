// Start-up of Do-Not-Call screening: the connection string that dbtype
// selects, the first connection, and the window title that names the
// opt-out file in force.
#include <cstdio>
#include <cstring>

#include "app/debug_log.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "optout/dnc_database.h"

namespace {

// The title is read with up to this many characters.
constexpr int kTitleCapacity = 2048;

void appendOptOutFileToTitle() {
    if (g_mainDlg == nullptr) return;
    char title[kTitleCapacity] = "";
    g_mainDlg->windowTitle(title, sizeof title);
    char newTitle[kTitleCapacity + sizeof g_optOutCfgFile + 4];
    std::snprintf(newTitle, sizeof newTitle, "%s (%s)", title, g_optOutCfgFile);
    g_mainDlg->setWindowTitle(newTitle);
}

}  // namespace

void buildOptOutConnString(char* target, int capacity) {
    const Settings& s = g_settings;
    const size_t size = capacity > 0 ? static_cast<size_t>(capacity) : 0;
    if (std::strcmp(s.dbtype, "mysql3.51") == 0) {
        std::snprintf(target, size,
                      "DRIVER={MySQL ODBC 3.51 Driver};SERVER=%s;PORT=%d;DATABASE=%s;USER=%s;"
                      "PASSWORD=%s;OPTION=3",
                      s.dbhost, s.dbmysqlPort, s.dbserver, s.dbusername, s.dbpassword);
    } else if (std::strcmp(s.dbtype, "mysql5.0") == 0) {
        std::snprintf(target, size,
                      "DRIVER={MySQL Connector/ODBC v5};SERVER=%s;PORT=%d;DATABASE=%s;UID=%s;"
                      "PASSWORD=%s;OPTION=3;",
                      s.dbhost, s.dbmysqlPort, s.dbserver, s.dbusername, s.dbpassword);
    } else {
        std::snprintf(target, size, "DRIVER={SQL Server};SERVER=%s;DATABASE=%s;UID=%s;PWD=%s;", s.dbhost,
                      s.dbserver, s.dbusername, s.dbpassword);
    }
}

void optOutStartUp() {
    if (g_dncEnabled != 1) return;
    buildOptOutConnString(g_optOutConnString, sizeof g_optOutConnString);
    logDebugf("**DEB** Opt-out connection string=[%s]", g_optOutConnString);
    if (dbInitialize() != DB_SUCCESS) {
        g_dncEnabled = 0;
        return;
    }
    if (dbOpenConnection(g_optOutConnString) != DB_SUCCESS) {
        g_dncEnabled = 0;
        return;
    }
    g_dncEnabled = 1;
    appendOptOutFileToTitle();
}
