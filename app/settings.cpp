#include "app/settings.h"

#include <cstring>

int copyText(char* target, int capacity, const char* source) {
    if (target == nullptr || capacity <= 0) return 0;
    if (source == nullptr) source = "";
    int n = 0;
    while (n < capacity - 1 && source[n] != '\0') {
        target[n] = source[n];
        ++n;
    }
    target[n] = '\0';
    return n;
}

Settings defaultSettings() {
    Settings s;
    std::memset(&s, 0, sizeof s);
    copyText(s.cfgFile, "Quendra.ini");
    s.iax2UDPPort = 4569;
    s.speakerVol = 50;
    s.micVol = 50;
    copyText(s.audioCodecPreferred, "gsm");
    s.soundPlaybackDeviceNumber = -1;
    s.soundRecordingDeviceNumber = -1;
    s.acmPort = 5038;
    copyText(s.acmUser, "queueopr");
    copyText(s.acmPass, "bramwick");
    s.acmReadTimer = 3;
    s.acmDelayB4Read = 100;
    s.loggedInToDial = 1;
    s.noChangeAgentWhenBusy = 1;
    s.inboundAnswerNotReady = 1;
    s.outboundDialNotReady = 1;
    copyText(s.vmbxContext, "default");
    s.vmbxInterval = 300;
    s.resizedHeight = 250;
    copyText(s.dbtype, "mssql");
    s.dbmysqlPort = 3306;
    copyText(s.acmDialect, "classic");
    return s;
}

bool queueDialect() {
    return std::strcmp(g_settings.acmDialect, "queues") == 0;
}

Settings g_settings = defaultSettings();

char g_optOutCfgFile[256] = "";
int g_dncEnabled = 0;
char g_pstnCodes[kPstnCodeSlots][kPstnCodeCapacity] = {"133", "1357"};
int g_pstnCodeCount = 2;
char g_optOutConnString[512] = "";

char g_notReadyReasons[kNotReadyReasonCount][kNotReadyReasonCapacity];

void initReasonNames() {
    static const char* const names[kNotReadyReasonCount] = {"Outbound NR", "Inbound NR", "AUX6",  "AUX7",
                                                            "AUX8",        "AUX9",       "AUX10", "AUX11"};
    for (int i = 0; i < kNotReadyReasonCount; ++i) copyText(g_notReadyReasons[i], names[i]);
}

void resetStartupDefaults() {
    Settings& s = g_settings;
    const Settings d = defaultSettings();
    copyText(s.vmbxContext, d.vmbxContext);
    copyText(s.cfgFile, d.cfgFile);
    copyText(s.acmUser, d.acmUser);
    copyText(s.acmPass, d.acmPass);
    copyText(s.dbtype, d.dbtype);
    s.vmbxNumber[0] = s.debugLogDir[0] = s.user[0] = s.host[0] = s.pass[0] = '\0';
    s.pstnAccessCode[0] = s.agid[0] = '\0';
    s.dbhost[0] = s.dbserver[0] = s.dbdnctable[0] = s.dbusername[0] = s.dbpassword[0] = '\0';
    g_optOutCfgFile[0] = '\0';
    g_optOutConnString[0] = '\0';
    s.iax2UDPPort = d.iax2UDPPort;
    copyText(s.audioCodecPreferred, d.audioCodecPreferred);
    s.acmPort = d.acmPort;
    s.acmReadTimer = d.acmReadTimer;
    s.acmDelayB4Read = d.acmDelayB4Read;
    copyText(s.acmDialect, d.acmDialect);
    s.acmQueues[0] = '\0';
    std::memset(g_pstnCodes, 0, sizeof g_pstnCodes);
    copyText(g_pstnCodes[0], "133");
    copyText(g_pstnCodes[1], "1357");
    g_pstnCodeCount = 2;
    g_dncEnabled = 0;
}
