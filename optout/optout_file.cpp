#include "optout/optout_file.h"

#include <cstdio>
#include <cstring>

#include "app/debug_log.h"
#include "app/line_scan.h"
#include "app/options_file.h"
#include "app/secret_file.h"
#include "app/settings.h"

namespace {

// A line is read in pieces of at most this many characters.
constexpr int kLineChars = 509;

constexpr int kTextMax = 63;
constexpr int kDbTypeMax = 15;
constexpr int kDialCharsMax = 31;
constexpr int kPstnCodeMax = kPstnCodeCapacity - 1;
constexpr int kMaxLengthMin = 4;
constexpr int kMaxLengthMax = 24;
constexpr int kPortMin = 1;
constexpr int kPortMax = 65535;

enum ReadResult : int { OPTOUT_NOT_CONFIGURED = 0, OPTOUT_CONFIGURED = 1 };

bool isKnownDbType(const char* type) {
    return std::strcmp(type, "mssql") == 0 || std::strcmp(type, "mysql3.51") == 0 ||
           std::strcmp(type, "mysql5.0") == 0;
}

// Text keys that go straight into a field of the settings record.
struct TextKey {
    const char* key;
    char* field;
    int capacity;
    const char* label;
};

// Matches "key = number"; on a match stores the number in *value.
bool matchNumber(const char* line, const char* key, int32_t* value) {
    const char* p = scanKeyValue(line, key);
    return p != nullptr && scanNumber(p, value);
}

// Matches "key = run"; on a match copies the run into value (capacity bytes).
bool matchRun(const char* line, const char* key, RunKind kind, char* value, int capacity) {
    const char* p = scanKeyValue(line, key);
    return p != nullptr && scanRun(p, kind, value, capacity) > 0;
}

void addPstnCode(const char* code) {
    if (g_pstnCodeCount >= kPstnCodeSlots) {
        // Written whatever the debug switch: a dropped code changes screening.
        writeDebugLogf("**WRN** readOptOutParameters() pstncode table size (%d) full", kPstnCodeSlots);
        return;
    }
    if (g_pstnCodeCount < 0) g_pstnCodeCount = 0;
    char* entry = g_pstnCodes[g_pstnCodeCount];
    entry[0] = '\0';
    setTextIfFits(code, entry, kPstnCodeMax, "**WRN** pstncode ");
    if (entry[0] != '\0') ++g_pstnCodeCount;
}

// Handles one trimmed, non-empty, non-comment line; true when it was the
// password line.
bool handleLine(const char* line) {
    Settings& s = g_settings;
    char value[kLineChars + 1];
    int32_t number = 0;

    if (matchNumber(line, "dncdebug", &number)) {
        s.dncdebug = number != 0 ? 1 : 0;
        return false;
    }
    if (matchRun(line, "dbtype", RunKind::Text, value, sizeof value)) {
        setTextIfFits(value, s.dbtype, kDbTypeMax, "**WRN** dbtype ");
        if (!isKnownDbType(s.dbtype)) {
            logDebugf(
                "**WRN** readOptOutOptions->dbtype invalid; {mssql, mysql3.51, mysql5.0}; "
                "reset to 'mssql'\n");
            copyText(s.dbtype, "mssql");
        }
        return false;
    }
    if (matchNumber(line, "dbmysqlPort", &number)) {
        if (number >= kPortMin && number <= kPortMax)
            s.dbmysqlPort = number;
        else
            logDebugf("**WRN** readOptOutOptions->dbmysqlPort invalid range; must be 1...65535");
        return false;
    }
    if (matchNumber(line, "maxlength", &number)) {
        setIntInRange(kMaxLengthMin, "**WRN** readOptOutOptions->maxlength invalid range (4...24)", &s.maxlength,
                      kMaxLengthMax, number);
        return false;
    }

    const TextKey textKeys[] = {
        {"dbhost", s.dbhost, sizeof s.dbhost, "**WRN** dbhost "},
        {"dbserver", s.dbserver, sizeof s.dbserver, "**WRN** dbserver "},
        {"dbdnctable", s.dbdnctable, sizeof s.dbdnctable, "**WRN** dbdnctable "},
        {"dbusername", s.dbusername, sizeof s.dbusername, "**WRN** dbusername "},
        {"dbpassword", s.dbpassword, sizeof s.dbpassword, "**WRN** dbpassword "},
    };
    for (const TextKey& k : textKeys) {
        if (matchRun(line, k.key, RunKind::Text, value, sizeof value)) {
            setTextIfFits(value, k.field, kTextMax < k.capacity - 1 ? kTextMax : k.capacity - 1, k.label);
            return k.field == s.dbpassword;
        }
    }

    if (matchRun(line, "dialprefix", RunKind::DialChars, value, sizeof value)) {
        setTextIfFits(value, s.dialprefix, kDialCharsMax, "**WRN** dialprefix ");
        return false;
    }
    if (matchRun(line, "removeDNCprefix", RunKind::DialChars, value, sizeof value)) {
        setTextIfFits(value, s.removeDNCprefix, kDialCharsMax, "**WRN** removeDNCprefix ");
        return false;
    }
    if (std::strncmp(line, "pstncodereset", 13) == 0) {
        g_pstnCodeCount = 0;
        logDebugf("**DEB** readOptOutParameters() PSTN code table reset");
        return false;
    }
    if (matchRun(line, "pstncode", RunKind::Digits, value, sizeof value)) {
        addPstnCode(value);
        return false;
    }
    logDebugf("**WRN** readOptOutParameters() invalid input line: [%s]", line);
    return false;
}

// The first mandatory key left empty disables screening.
int checkMandatoryKeys() {
    const Settings& s = g_settings;
    const struct {
        const char* value;
        const char* warning;
    } mandatory[] = {
        {s.dbhost, "**WRN** readOptOutParameters() mandatory dbhost is not given; Opt-out disabled"},
        {s.dbserver, "**WRN** readOptOutParameters() mandatory dbserver is not given; Opt-out disabled"},
        {s.dbdnctable, "**WRN** readOptOutParameters() mandatory dbDNCtable is not given; Opt-out disabled"},
        {s.dbusername, "**WRN** readOptOutParameters() mandatory dbusername is not given; Opt-out disabled"},
        {s.dbpassword, "**WRN** readOptOutParameters() mandatory dbpassword is not given; Opt-out disabled"},
    };
    for (const auto& m : mandatory) {
        if (m.value[0] == '\0') {
            logDebugf("%s", m.warning);
            return OPTOUT_NOT_CONFIGURED;
        }
    }
    return OPTOUT_CONFIGURED;
}

// Reads every line of file (named fileName, null for text in memory) and
// closes it.
int readOptOutStream(std::FILE* file, const char* fileName) {
    char line[kLineChars + 1];
    bool holdsPassword = false;
    while (std::fgets(line, sizeof line, file) != nullptr) {
        if (line[0] == '#') continue;
        trimRight(line);
        if (line[0] == '\0') continue;
        if (handleLine(line)) holdsPassword = true;
    }
    if (holdsPassword && fileName != nullptr) warnIfSecretFileIsShared(::fileno(file), "opt-out file", fileName);
    std::fclose(file);
    return checkMandatoryKeys();
}

}  // namespace

int readOptOutParameters(const char* fileName) {
    std::FILE* file = fileName != nullptr ? std::fopen(fileName, "r") : nullptr;
    if (file == nullptr) {
        logDebugf("**ERR** readOptOutOptions->fopen(%s) failed\n", fileName ? fileName : "");
        return OPTOUT_NOT_CONFIGURED;
    }
    return readOptOutStream(file, fileName);
}

int readOptOutText(const char* text, size_t length) {
    if (length == 0) return checkMandatoryKeys();
    std::FILE* file = fmemopen(const_cast<char*>(text), length, "r");
    if (file == nullptr) return OPTOUT_NOT_CONFIGURED;
    return readOptOutStream(file, nullptr);
}
