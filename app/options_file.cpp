#include "app/options_file.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/debug_log.h"
#include "app/line_scan.h"
#include "app/secret_file.h"
#include "app/settings.h"

namespace {

enum class Kind {
    Flag,       // any number; stored as 0 or 1
    Range,      // stored only within min..max
    Unchecked,  // stored as written
    Text,       // 1..maxLength characters up to ';'
    Codec,      // one of the codec names
    DialCode,   // the run of digits, '*' and '#'
    Digits,     // the run of digits
    LogDir,     // text, then the folder test
    Dialect,    // "classic" or "queues"
    QueueList,  // names of letters, digits, '_', '-', '.', separated by commas
};

struct Key {
    const char* name;
    Kind kind;
    int32_t* number;
    char* text;
    int maxLength;
    int min;
    int max;
    const char* label;
    // The filter keys allow white space around their '='.
    bool spacedEquals;
};

Key flagKey(const char* name, int32_t* field, bool spaced = false) {
    return {name, Kind::Flag, field, nullptr, 0, 0, 0, nullptr, spaced};
}
Key rangeKey(const char* name, int32_t* field, int min, int max, const char* label) {
    return {name, Kind::Range, field, nullptr, 0, min, max, label, false};
}
Key uncheckedKey(const char* name, int32_t* field) {
    return {name, Kind::Unchecked, field, nullptr, 0, 0, 0, nullptr, false};
}
Key textKey(const char* name, Kind kind, char* field, int maxLength, const char* label) {
    return {name, kind, nullptr, field, maxLength, 0, 0, label, false};
}

// The keys in the order they are tried; the first that matches decides.
const Key* keyTable(int* count) {
    Settings& s = g_settings;
    static const Key keys[] = {
        flagKey("debug", &s.debug),
        textKey("host", Kind::Text, s.host, 63, "**WRN** dbhost name"),
        textKey("user", Kind::Text, s.user, 31, "**WRN** user (extension) name"),
        textKey("pass", Kind::Text, s.pass, 63, "**WRN** password (of user/extension)"),
        flagKey("aa", &s.aa),
        rangeKey("iax2UDPPort", &s.iax2UDPPort, 2000, 65535, "**WRN** iax2UDPPort"),
        flagKey("noAutoAnsAlert", &s.noAutoAnsAlert),
        flagKey("diffagid", &s.diffagid),
        rangeKey("speakerVol", &s.speakerVol, 0, 100, "**WRN** speakerVol"),
        rangeKey("micVol", &s.micVol, 0, 100, "**WRN** micVol"),
        textKey("audioCodecPreferred", Kind::Codec, s.audioCodecPreferred, 31, nullptr),
        rangeKey("resizedHeight", &s.resizedHeight, 150, 350, "**WRN** resizedHeight"),
        rangeKey("soundPlaybackDeviceNumber", &s.soundPlaybackDeviceNumber, -1, 10,
                 "**WRN** soundPlaybackDeviceNumber"),
        rangeKey("soundRecordingDeviceNumber", &s.soundRecordingDeviceNumber, -1, 10,
                 "**WRN** soundRecordingDeviceNumber"),
        flagKey("filter_denoise", &s.filter_denoise, true),
        flagKey("filter_agc", &s.filter_agc, true),
        flagKey("filter_echo", &s.filter_echo, true),
        flagKey("filter_aagc", &s.filter_aagc, true),
        flagKey("filter_cn", &s.filter_cn, true),
        textKey("pstnAccessCode", Kind::DialCode, s.pstnAccessCode, 31, "**WRN** pstnAccessCode"),
        rangeKey("maxInternalExtSz", &s.maxInternalExtSz, 0, 10, "**WRN** maxInternalExtSz"),
        flagKey("linkDebug", &s.linkDebug),
        textKey("agid", Kind::Text, s.agid, 15, "**WRN** agid (agent ID)"),
        rangeKey("acmPort", &s.acmPort, 2000, 65535, "**WRN** acmPort"),
        textKey("acmUser", Kind::Text, s.acmUser, 63, "**WRN** acmUser "),
        textKey("acmPass", Kind::Text, s.acmPass, 63, "**WRN** acmPass"),
        rangeKey("acmReadTimer", &s.acmReadTimer, 1, 10, "**WRN** acmReadTime (in sec)"),
        rangeKey("acmDelayB4Read", &s.acmDelayB4Read, 50, 2000, "**WRN** acmDelayB4Read (in msec)"),
        uncheckedKey("verExtState", &s.verExtState),
        uncheckedKey("lockuser", &s.lockuser),
        uncheckedKey("lockpass", &s.lockpass),
        uncheckedKey("vmbxCheck", &s.vmbxCheck),
        rangeKey("vmbxInterval", &s.vmbxInterval, 60, 3600, "**WRN** vmbx_interval (in sec)"),
        textKey("vmbxNumber", Kind::Digits, s.vmbxNumber, 31, "**WRN** vmbx_number"),
        textKey("vmbxContext", Kind::Text, s.vmbxContext, 31, "**WRN** vmbx_context"),
        uncheckedKey("loggedInToDial", &s.loggedInToDial),
        textKey("debugLogDir", Kind::LogDir, s.debugLogDir, 255, "**WRN** debugLogDir"),
        textKey("AUX6", Kind::Text, g_notReadyReasons[2], 31, "**WRN** AUX6"),
        textKey("AUX7", Kind::Text, g_notReadyReasons[3], 31, "**WRN** AUX7"),
        textKey("AUX8", Kind::Text, g_notReadyReasons[4], 31, "**WRN** AUX8"),
        textKey("AUX9", Kind::Text, g_notReadyReasons[5], 31, "**WRN** AUX9"),
        textKey("AUX10", Kind::Text, g_notReadyReasons[6], 31, "**WRN** AUX10"),
        textKey("AUX11", Kind::Text, g_notReadyReasons[7], 31, "**WRN** AUX11"),
        uncheckedKey("loginAction", &s.loginAction),
        uncheckedKey("noChangeAgentWhenBusy", &s.noChangeAgentWhenBusy),
        uncheckedKey("inboundAnswerNotReady", &s.inboundAnswerNotReady),
        uncheckedKey("outboundDialNotReady", &s.outboundDialNotReady),
        uncheckedKey("inboundReleaseAction", &s.inboundReleaseAction),
        rangeKey("inboundTimedACW", &s.inboundTimedACW, 0, 1000, "**WRN** inboundTimedACW (in sec)"),
        uncheckedKey("outboundReleaseAction", &s.outboundReleaseAction),
        rangeKey("outboundTimedACW", &s.outboundTimedACW, 0, 1000, "**WRN** outboundTimedACW (in sec)"),
        flagKey("jitterbuffer", &s.jitterbuffer),
        textKey("acmDialect", Kind::Dialect, s.acmDialect, 15, "**WRN** acmDialect"),
        textKey("acmQueues", Kind::QueueList, s.acmQueues, 255, "**WRN** acmQueues"),
    };
    *count = static_cast<int>(sizeof keys / sizeof keys[0]);
    return keys;
}

// The value part of line if it begins with the key and its '=', else null.
const char* matchKey(const char* line, const Key& key) {
    return scanKeyValue(line, key.name, key.spacedEquals ? KeyForm::Spaced : KeyForm::Exact);
}

// Leading white space, an optional sign and at least one digit; whatever
// follows the digits is not looked at. A number that does not fit in 32 bits
// is unreadable rather than wrapped.
bool readNumber(const char* p, int32_t* out) {
    return scanNumber(p, out, OutOfRange::Refuse);
}

// The leading run of characters of the kind; at least one.
bool readRun(const char* p, RunKind kind, char* out, int capacity) {
    return scanRun(p, kind, out, capacity) > 0;
}

bool isQueueNameChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '-' ||
           c == '.';
}

// Queue names separated by single commas, none of them empty. The names go
// into manager actions, so nothing that could end a header line is let in.
bool isQueueList(const char* text) {
    bool inName = false;
    for (const char* p = text; *p; ++p) {
        if (*p == ',') {
            if (!inName) return false;
            inName = false;
        } else if (isQueueNameChar(*p)) {
            inName = true;
        } else {
            return false;
        }
    }
    return inName;
}

// A folder shorter than 2 characters is dropped silently; any other that is
// not an existing folder the program may read and write in is dropped with a
// warning that is written whatever the debug switch. The warning is written
// after the folder is dropped, so it reaches the log in the working folder
// instead of vanishing into the folder that was just refused.
void checkLogDir() {
    char* dir = g_settings.debugLogDir;
    if (std::strlen(dir) < 2) {
        dir[0] = '\0';
        return;
    }
    struct stat st {};
    if (::stat(dir, &st) == 0 && S_ISDIR(st.st_mode) && ::access(dir, R_OK | W_OK | X_OK) == 0) {
        return;
    }
    char rejected[sizeof g_settings.debugLogDir];
    copyText(rejected, dir);
    dir[0] = '\0';
    writeDebugLogf("**WRN** debugLogDir [%s] invalid; reset to empty", rejected);
}

// Stores the value of one key; false when the value cannot be read.
bool applyValue(const Key& key, const char* value) {
    char text[kOptionsLineLimit + 1];
    int32_t number = 0;
    switch (key.kind) {
        case Kind::Flag:
            if (!readNumber(value, &number)) return false;
            *key.number = number != 0 ? 1 : 0;
            return true;
        case Kind::Range:
            if (!readNumber(value, &number)) return false;
            setIntInRange(key.min, key.label, key.number, key.max, number);
            return true;
        case Kind::Unchecked:
            if (!readNumber(value, &number)) return false;
            *key.number = number;
            return true;
        case Kind::Text:
            if (!readRun(value, RunKind::TextWithBlanks, text, sizeof text)) return false;
            setTextIfFits(text, key.text, key.maxLength, key.label);
            return true;
        case Kind::Codec:
            if (!readRun(value, RunKind::TextWithBlanks, text, sizeof text)) return false;
            if (std::strcmp(text, "gsm") == 0 || std::strcmp(text, "ulaw") == 0 ||
                std::strcmp(text, "alaw") == 0) {
                copyText(key.text, key.maxLength + 1, text);
            } else {
                logDebugf("**WRN** audioCodecPreferred [%s] invalid audio (output) codec", text);
            }
            return true;
        case Kind::DialCode:
            if (!readRun(value, RunKind::DialChars, text, sizeof text)) return false;
            setTextIfFits(text, key.text, key.maxLength, key.label);
            return true;
        case Kind::Digits:
            if (!readRun(value, RunKind::Digits, text, sizeof text)) return false;
            setTextIfFits(text, key.text, key.maxLength, key.label);
            return true;
        case Kind::LogDir:
            if (!readRun(value, RunKind::TextWithBlanks, text, sizeof text)) return false;
            setTextIfFits(text, key.text, key.maxLength, key.label);
            checkLogDir();
            return true;
        case Kind::Dialect:
            if (!readRun(value, RunKind::TextWithBlanks, text, sizeof text)) return false;
            trimRight(text);
            if (std::strcmp(text, "classic") == 0 || std::strcmp(text, "queues") == 0) {
                copyText(key.text, key.maxLength + 1, text);
            } else {
                logDebugf("%s [%s] is neither classic nor queues", key.label, text);
            }
            return true;
        case Kind::QueueList:
            if (!readRun(value, RunKind::TextWithBlanks, text, sizeof text)) return false;
            trimRight(text);
            if (isQueueList(text)) {
                setTextIfFits(text, key.text, key.maxLength, key.label);
            } else {
                logDebugf("%s [%s] is not a comma-separated list of queue names", key.label, text);
            }
            return true;
    }
    return false;
}

bool isPasswordKey(const Key& key) {
    return key.text == g_settings.pass || key.text == g_settings.acmPass;
}

// Applies one line; true when it was a password line.
bool applyLine(const char* line) {
    int count = 0;
    const Key* keys = keyTable(&count);
    for (int i = 0; i < count; ++i) {
        const char* value = matchKey(line, keys[i]);
        if (value == nullptr) continue;
        if (!applyValue(keys[i], value)) break;
        return isPasswordKey(keys[i]);
    }
    logDebugf("**WRN** readIAX2Options() invalid input line: [%s]", line);
    return false;
}

// Opens only regular files: a folder, a pipe or a device (which could block
// or never end) counts as a file that does not open.
FILE* openRegularFile(const char* fileName) {
    int fd = ::open(fileName, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    FILE* file = ::fdopen(fd, "r");
    if (file == nullptr) ::close(fd);
    return file;
}

}  // namespace

int setIntInRange(int min, const char* label, int32_t* field, int max, int value) {
    if (min <= value && value <= max) {
        *field = value;
        return 1;
    }
    logDebugf("**WRN** %s [%d] is out of range (%d...%d)", label, value, min, max);
    return 0;
}

int setTextIfFits(const char* value, char* field, int maxLength, const char* label) {
    const size_t length = ::strnlen(value, static_cast<size_t>(maxLength) + 1);
    if (length >= 1 && length <= static_cast<size_t>(maxLength)) {
        copyText(field, maxLength + 1, value);
        return 1;
    }
    logDebugf("**WRN** %s [%s] is empty or too long; max sz=%d", label, value, maxLength);
    return 0;
}

void filtersToText(char* buffer, int capacity) {
    if (buffer == nullptr || capacity <= 0) return;
    const Settings& s = g_settings;
    const struct {
        int32_t on;
        const char* name;
    } filters[] = {{s.filter_denoise, "DeNOISE"},
                   {s.filter_agc, "AGC"},
                   {s.filter_echo, "ECHO"},
                   {s.filter_aagc, "AAGC"},
                   {s.filter_cn, "CN"}};
    int used = 0;
    buffer[0] = '\0';
    for (const auto& f : filters) {
        if (!f.on) continue;
        const char* separator = used > 0 ? "|" : "";
        const int n =
            std::snprintf(buffer + used, static_cast<size_t>(capacity - used), "%s%s", separator, f.name);
        if (n < 0 || n >= capacity - used) break;
        used += n;
    }
}

int readIAX2Options(const char* fileName) {
    if (fileName == nullptr) fileName = "";
    FILE* file = openRegularFile(fileName);
    if (file == nullptr) {
        logDebugf("**ERR** fopen(%s) failed\n", fileName);
        return 0;
    }
    char line[kOptionsLineLimit + 1];
    bool holdsPassword = false;
    while (std::fgets(line, sizeof line, file) != nullptr) {
        if (line[0] == '#') continue;
        trimRight(line);
        if (line[0] == '\0') continue;
        if (applyLine(line)) holdsPassword = true;
    }
    if (holdsPassword) warnIfSecretFileIsShared(::fileno(file), "options file", fileName);
    const bool readToEnd = std::ferror(file) == 0;
    std::fclose(file);
    return readToEnd ? 1 : 0;
}
