#include "app/command_line.h"

#include <cstring>

#include "app/settings.h"

namespace {

// If argument starts with prefix, returns the rest after it, else nullptr.
const char* valueAfter(const char* argument, const char* prefix) {
    const size_t n = std::strlen(prefix);
    return std::strncmp(argument, prefix, n) == 0 ? argument + n : nullptr;
}

}  // namespace

void parseCommandLine(int argc, const char* const* argv) {
    if (argv == nullptr) return;
    Settings& s = g_settings;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (arg == nullptr) continue;
        const char* rest = nullptr;
        if (std::strcmp(arg, "-debug") == 0) {
            s.debug = 1;
        } else if ((rest = valueAfter(arg, "-host")) != nullptr) {
            copyText(s.host, rest);
        } else if ((rest = valueAfter(arg, "-user")) != nullptr) {
            copyText(s.user, rest);
        } else if ((rest = valueAfter(arg, "-pass")) != nullptr) {
            copyText(s.pass, rest);
        } else if ((rest = valueAfter(arg, "-agid")) != nullptr) {
            copyText(s.agid, rest);
        } else if ((rest = valueAfter(arg, "-init")) != nullptr) {
            copyText(s.cfgFile, rest);
        } else if ((rest = valueAfter(arg, "-opto")) != nullptr) {
            copyText(g_optOutCfgFile, rest);
        } else if (std::strcmp(arg, "-aa") == 0) {
            s.aa = 1;
        }
    }
}
