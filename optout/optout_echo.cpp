// The opt-out part of the start-up parameter echo.
#include "optout_file.h"

#include "debug_log.h"
#include "settings.h"

void writeOptOutEcho() {
    const Settings& s = g_settings;
    writeDebugLogf("**INF** DNC config. file anme      = [%s]", g_optOutCfgFile);
    if (g_dncEnabled == 1) {
        writeDebugLogf("**INF** DNC debug mode     = [%s]", s.dncdebug ? "Enabled" : "Disabled");
        writeDebugLogf("**INF** DB type            = [%s]", s.dbtype);
        writeDebugLogf("**INF** DB mysql TCP port  = [%d]", s.dbmysqlPort);
        writeDebugLogf("**INF** DB host            = [%s]", s.dbhost);
        writeDebugLogf("**INF** DB server          = [%s]", s.dbserver);
        writeDebugLogf("**INF** table name         = [%s]", s.dbdnctable);
        writeDebugLogf("**INF** DB username        = [%s]", s.dbusername);
        writeDebugLogf("**INF** DB password        = [%s]", s.dbpassword);
        writeDebugLogf("**INF** DNC dial prefix    = [%s]", s.dialprefix);
        writeDebugLogf("**INF** DNC remove prefix  = [%s]", s.removeDNCprefix);
        writeDebugLogf("**INF** DNC maxlength      = [%d]", s.maxlength);
        const int count = g_pstnCodeCount < kPstnCodeSlots ? g_pstnCodeCount : kPstnCodeSlots;
        for (int i = 0; i < count; ++i)
            writeDebugLogf("**INF** PSTN CODE(%d)   = [%.*s]", i, kPstnCodeCapacity - 1, g_pstnCodes[i]);
    }
    writeDebugLog("\n");
}

void loadOptOutFile() {
    if (g_optOutCfgFile[0] == '\0') return;
    if (readOptOutParameters(g_optOutCfgFile) == 1) g_dncEnabled = 1;
}
