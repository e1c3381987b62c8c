// labpbx: the lab PBX program.
//   labpbx [-c <config file>] [--demo <seconds>] [--iax-port N] [--manager-port N]
//          [--control-port N]
// Runs until SIGINT or SIGTERM. Prints the ports it listens on.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include "labpbx/pbx/lab_pbx.h"
#include "labpbx/pbx/leading_number.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;
void onSignal(int) {
    g_stop = 1;
}

// Names the program as it was started, since the package installs it under
// another name than the build gives it.
void usage(const char* argv0) {
    const char* slash = std::strrchr(argv0, '/');
    std::fprintf(stderr,
                 "usage: %s [-c config] [--demo seconds] [--iax-port N] [--manager-port N]"
                 " [--control-port N]\n",
                 slash ? slash + 1 : argv0);
}

bool portArg(const char* text, uint16_t& out) {
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || v < 0 || v > 65535) return false;
    out = static_cast<uint16_t>(v);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string configPath = "labpbx/lab.conf";
    int demo = -1;
    uint16_t iax = 0, mgr = 0, ctl = 0;
    bool setIax = false, setMgr = false, setCtl = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool hasValue = i + 1 < argc;
        if (a == "-c" && hasValue) {
            configPath = argv[++i];
        } else if (a == "--demo" && hasValue) {
            demo = labpbx::leadingNumber(argv[++i]);
            if (demo < 0) demo = 0;
        } else if (a == "--iax-port" && hasValue && portArg(argv[i + 1], iax)) {
            setIax = true;
            ++i;
        } else if (a == "--manager-port" && hasValue && portArg(argv[i + 1], mgr)) {
            setMgr = true;
            ++i;
        } else if (a == "--control-port" && hasValue && portArg(argv[i + 1], ctl)) {
            setCtl = true;
            ++i;
        } else {
            usage(argv[0]);
            return 2;
        }
    }
    labpbx::ConfigError error;
    auto config = labpbx::loadConfigFile(configPath, error);
    if (!config) {
        if (error.line)
            std::fprintf(stderr, "labpbx: %s line %d: %s\n", configPath.c_str(), error.line,
                         error.message.c_str());
        else
            std::fprintf(stderr, "labpbx: %s\n", error.message.c_str());
        return 1;
    }
    if (setIax) config->iaxPort = iax;
    if (setMgr) config->managerPort = mgr;
    if (setCtl) config->controlPort = ctl;
    if (demo >= 0) {
        config->demo.intervalSeconds = demo;
        if (demo > 0 && config->demo.extension.empty() && !config->extensions.empty())
            config->demo.extension = config->extensions.front().name;
    }

    labpbx::LabPbx pbx(*config);
    std::string startError;
    if (!pbx.start(startError)) {
        std::fprintf(stderr, "labpbx: %s\n", startError.c_str());
        return 1;
    }
    std::printf("labpbx: IAX2 %s:%u/udp, manager %s:%u/tcp, control %s:%u/tcp\n", config->bindAddress.c_str(),
                pbx.iaxPort(), config->bindAddress.c_str(), pbx.managerPort(), config->bindAddress.c_str(),
                pbx.controlPort());
    if (config->demo.intervalSeconds > 0)
        std::printf("labpbx: demonstration call to %s every %d s\n", config->demo.extension.c_str(),
                    config->demo.intervalSeconds);
    std::fflush(stdout);

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    while (!g_stop) pause();
    pbx.stop();
    return 0;
}
