#include "app/parameter_echo.h"

#include "app/debug_log.h"
#include "app/flag_words.h"
#include "app/options_file.h"
#include "app/settings.h"

const char* loginActionName(int action) {
    switch (action) {
        case 0:
            return "Not Ready";
        case 1:
            return "Ready";
        default:
            return "No action";
    }
}

const char* releaseActionName(int action) {
    switch (action) {
        case 1:
            return "Ready";
        case 2:
            return "Not Ready";
        case 3:
            return "ACW";
        case 4:
            return "Timed ACW";
        default:
            return "No action";
    }
}

void writeParameterEcho() {
    const Settings& s = g_settings;
    char filters[kFiltersTextCapacity];
    filtersToText(filters, sizeof filters);

    writeDebugLog("\n\n");
    writeDebugLog("**INF** echo of AIX2 parameters");
    writeDebugLogf("**INF** Debug log folder     = [%s]", s.debugLogDir);
    writeDebugLogf("**INF** IAX host name        = [%s]", s.host);
    writeDebugLogf("**INF** IAX user/extension   = [%s]", s.user);
    writeDebugLogf("**INF** IAX password         = [%s]", s.pass);
    writeDebugLogf("**INF** IAX config file name = [%s]", s.cfgFile);
    writeDebugLogf("**INF** IAX UDP port         = [%d]", s.iax2UDPPort);
    writeDebugLogf("**INF** Speaker volume       = [%d]", s.speakerVol);
    writeDebugLogf("**INF** MIC volume           = [%d]", s.micVol);
    writeDebugLogf("**INF** jitterbuffer         = [%s]", enabledWord(s.jitterbuffer));
    writeDebugLogf("**INF** filters              = [%s]", filters);
    writeDebugLogf("**INF** PSTN Access Code     = [%s]", s.pstnAccessCode);
    writeDebugLogf("**INF** Max Internal Ext Size= [%d]", s.maxInternalExtSz);
    writeDebugLogf("**INF** Preferred outgoing call audio codec = [%s]", s.audioCodecPreferred);
    writeDebugLogf("**INF** Sound playback device number   = [%d]", s.soundPlaybackDeviceNumber);
    writeDebugLogf("**INF** Sound recording device number  = [%d]", s.soundRecordingDeviceNumber);
    writeDebugLogf("**INF** Allow different agent ID       = [%s]", yesWord(s.diffagid));
    writeDebugLogf("**INF** Resize height        = [%d]", s.resizedHeight);
    writeDebugLogf("**INF** Auto-Answer/force-in = [%s]", enabledWord(s.aa));
    writeDebugLogf("**INF** No auto-Answer alert = [%s]", trueWord(s.noAutoAnsAlert));
    writeDebugLogf("**INF** Link msg logging     = [%s]", enabledWord(s.linkDebug));
    writeDebugLogf("**INF** Agent login ID       = [%s]", s.agid);
    writeDebugLogf("**INF** ACM TCP/IP port      = [%d]", s.acmPort);
    writeDebugLogf("**INF** ACM Username         = [%s]", s.acmUser);
    writeDebugLogf("**INF** ACM Password         = [%s]", s.acmPass);
    writeDebugLogf("**INF** ACM read timer (sec) = [%d]", s.acmReadTimer);
    writeDebugLogf("**INF** ACM delay read (msec)= [%d]", s.acmDelayB4Read);
    writeDebugLogf("**INF** Verify Extesion State= [%s]", yesWord(s.verExtState));
    writeDebugLogf("**INF** Lock ext/user field  = [%s]", yesWord(s.lockuser));
    writeDebugLogf("**INF** Lock password field  = [%s]", yesWord(s.lockpass));
    writeDebugLogf("**INF** vmail check          = [%s]", yesWord(s.vmbxCheck));
    writeDebugLogf("**INF** vmail check interval = [%d]", s.vmbxInterval);
    writeDebugLogf("**INF** vmail number         = [%s]", s.vmbxNumber);
    writeDebugLogf("**INF** vmail context        = [%s]", s.vmbxContext);
    writeDebugLogf("**INF** Must log-in to dial  = [%s]", yesWord(s.loggedInToDial));
    writeDebugLogf("**INF** Login action         = [%s]", loginActionName(s.loginAction));
    writeDebugLogf("**INF** No agent mode change when busy = [%s]", trueWord(s.noChangeAgentWhenBusy));
    writeDebugLogf("**INF** Inbound answer Not Ready       = [%s]", trueWord(s.inboundAnswerNotReady));
    writeDebugLogf("**INF** Outbound dial Not Ready        = [%s]", trueWord(s.outboundDialNotReady));
    writeDebugLogf("**INF** Inbound release action         = [%s]", releaseActionName(s.inboundReleaseAction));
    writeDebugLogf("**INF** Inbound timed ACD (sec)        = [%d]", s.inboundTimedACW);
    writeDebugLogf("**INF** Outbound release action        = [%s]", releaseActionName(s.outboundReleaseAction));
    writeDebugLogf("**INF** Outbound timed ACW (sec)       = [%d]", s.outboundTimedACW);
    writeDebugLog("\n");
    writeDebugLogf("**INF** DNC config. file anme      = [%s]", g_optOutCfgFile);
    if (g_dncEnabled == 1) {
        writeDebugLogf("**INF** DNC debug mode     = [%s]", enabledWord(s.dncdebug));
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
        for (int i = 0; i < count; ++i) {
            writeDebugLogf("**INF** PSTN CODE(%d)   = [%.*s]", i, kPstnCodeCapacity - 1, g_pstnCodes[i]);
        }
    }
    writeDebugLogf("**INF** ACM dialect          = [%s]", s.acmDialect);
    writeDebugLogf("**INF** ACM queues           = [%s]", s.acmQueues);
    writeDebugLog("\n");
}
