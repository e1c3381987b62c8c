// The one record of all settings, alive for the whole run, and the other
// process-wide values that start-up fills. Texts are fixed NUL-terminated
// buffers (capacity includes the NUL); numbers and flags are 32-bit ints.
// Read from both the window thread and the voice engine's event thread;
// written only during start-up and by the operations that say so.
#pragma once

#include <cstdint>

struct Settings {
    char cfgFile[256];
    char host[64];
    char user[32];
    char pass[64];
    int32_t iax2UDPPort;
    int32_t debug;
    int32_t aa;
    int32_t noAutoAnsAlert;
    int32_t speakerVol;
    int32_t micVol;
    char pstnAccessCode[32];
    int32_t maxInternalExtSz;
    char audioCodecPreferred[32];
    int32_t soundPlaybackDeviceNumber;
    int32_t soundRecordingDeviceNumber;
    int32_t filter_denoise;
    int32_t filter_agc;
    int32_t filter_echo;
    int32_t filter_aagc;
    int32_t filter_cn;
    int32_t diffagid;
    int32_t linkDebug;
    char agid[16];
    int32_t acmPort;
    char acmUser[64];
    char acmPass[64];
    int32_t acmReadTimer;
    int32_t acmDelayB4Read;
    int32_t verExtState;
    int32_t loggedInToDial;
    int32_t loginAction;
    int32_t noChangeAgentWhenBusy;
    int32_t inboundAnswerNotReady;
    int32_t outboundDialNotReady;
    int32_t inboundReleaseAction;
    int32_t inboundTimedACW;
    int32_t outboundReleaseAction;
    int32_t outboundTimedACW;
    int32_t vmbxCheck;
    char vmbxNumber[32];
    char vmbxContext[32];
    int32_t vmbxInterval;
    int32_t lockuser;
    int32_t lockpass;
    int32_t jitterbuffer;
    int32_t resizedHeight;
    char debugLogDir[256];
    int32_t dncdebug;
    char dbtype[16];
    int32_t dbmysqlPort;
    char dbhost[64];
    char dbserver[64];
    char dbdnctable[64];
    char dbusername[64];
    char dbpassword[64];
    char dialprefix[32];
    char removeDNCprefix[32];
    int32_t maxlength;
    // Manager dialect: "classic" or "queues"; the queues the agent joins in
    // the queue dialect, separated by commas.
    char acmDialect[16];
    char acmQueues[256];
};

// True when the manager link speaks the queue dialect.
bool queueDialect();

// Values every field holds when the program is loaded.
Settings defaultSettings();

extern Settings g_settings;

// Opt-out (Do-Not-Call) run-time values.
constexpr int kPstnCodeSlots = 5;
constexpr int kPstnCodeCapacity = 8;
extern char g_optOutCfgFile[256];
extern int g_dncEnabled;
extern char g_pstnCodes[kPstnCodeSlots][kPstnCodeCapacity];
extern int g_pstnCodeCount;
extern char g_optOutConnString[512];

// Not Ready reason names; the paused value of entry n is "aux" n + 4.
constexpr int kNotReadyReasonCount = 8;
constexpr int kNotReadyReasonCapacity = 32;
extern char g_notReadyReasons[kNotReadyReasonCount][kNotReadyReasonCapacity];
void initReasonNames();

// Puts the defaults that window start-up resets back in place: every text
// emptied or set to its default, the ports, codec and manager timings, the
// PSTN code table and the opt-out values.
void resetStartupDefaults();

// Bounded copy: copies at most capacity - 1 characters and always ends the
// target with a NUL. Returns the number of characters copied.
int copyText(char* target, int capacity, const char* source);

template <int N>
int copyText(char (&target)[N], const char* source) {
    return copyText(target, N, source);
}
