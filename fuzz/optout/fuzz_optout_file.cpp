// The opt-out file reader on arbitrary bytes: no input may overrun a field
// or the PSTN table, and whatever is stored must keep its limits.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "app/settings.h"
#include "optout/optout_file.h"

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

bool isDialChars(const char* s, bool digitsOnly) {
    for (; *s; ++s) {
        const bool digit = *s >= '0' && *s <= '9';
        if (!digit && (digitsOnly || (*s != '*' && *s != '#'))) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    g_settings = defaultSettings();
    resetStartupDefaults();
    g_settings.debug = 0;
    copyText(g_settings.debugLogDir, "/nonexistent-quendra-fuzz/");

    const int result = readOptOutText(reinterpret_cast<const char*>(data), size);
    check(result == 0 || result == 1);

    const Settings& s = g_settings;
    check(std::strcmp(s.dbtype, "mssql") == 0 || std::strcmp(s.dbtype, "mysql3.51") == 0 ||
          std::strcmp(s.dbtype, "mysql5.0") == 0);
    check(s.dbmysqlPort >= 1 && s.dbmysqlPort <= 65535);
    check(s.maxlength == 0 || (s.maxlength >= 4 && s.maxlength <= 24));
    check(s.dncdebug == 0 || s.dncdebug == 1);
    for (const char* text : {s.dbhost, s.dbserver, s.dbdnctable, s.dbusername, s.dbpassword})
        check(strnlen(text, 64) <= 63);
    check(strnlen(s.dialprefix, 32) <= 31 && isDialChars(s.dialprefix, false));
    check(strnlen(s.removeDNCprefix, 32) <= 31 && isDialChars(s.removeDNCprefix, false));
    check(g_pstnCodeCount >= 0 && g_pstnCodeCount <= kPstnCodeSlots);
    for (int i = 0; i < g_pstnCodeCount; ++i) {
        check(strnlen(g_pstnCodes[i], kPstnCodeCapacity) <= kPstnCodeCapacity - 1);
        check(g_pstnCodes[i][0] != '\0' && isDialChars(g_pstnCodes[i], true));
    }
    const bool complete = s.dbhost[0] && s.dbserver[0] && s.dbdnctable[0] && s.dbusername[0] && s.dbpassword[0];
    check(result == (complete ? 1 : 0));
    return 0;
}
