#include "asterisk_site.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace interop {

namespace {

std::string environment(const char* name, const std::string& fallback = {}) {
    const char* value = std::getenv(name);
    return value && *value ? std::string(value) : fallback;
}

int environmentPort(const char* name, int fallback) {
    const std::string value = environment(name);
    if (value.empty()) return fallback;
    const int port = std::atoi(value.c_str());
    return port > 0 && port < 65536 ? port : fallback;
}

uint64_t fileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

std::string scriptsDir() {
    return std::string(QUENDRA_SOURCE_DIR) + "/scripts/interop";
}

}  // namespace

std::string AsteriskSite::iaxHost() const {
    return "127.0.0.1:" + std::to_string(iaxPort);
}

std::string AsteriskSite::dial(const std::string& ext, const std::string& number) const {
    return ext + ":s" + ext + "@" + iaxHost() + "/" + number;
}

std::string AsteriskSite::logPath() const {
    return install + "/var/log/asterisk/messages";
}

std::optional<AsteriskSite> asteriskSite() {
    AsteriskSite site;
    site.install = environment("QUENDRA_ASTERISK");
    if (site.install.empty()) return std::nullopt;
    // The same variables the configuration script takes.
    site.iaxPort = environmentPort("QUENDRA_ASTERISK_IAX_PORT", site.iaxPort);
    site.managerPort = environmentPort("QUENDRA_ASTERISK_MANAGER_PORT", site.managerPort);
    site.managerUser = environment("QUENDRA_ASTERISK_MANAGER_USER", site.managerUser);
    site.managerSecret = environment("QUENDRA_ASTERISK_MANAGER_SECRET", site.managerSecret);
    return site;
}

std::string shellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

std::string runShell(const std::string& commandLine, int* status) {
    std::string output;
    FILE* pipe = ::popen((commandLine + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        if (status) *status = -1;
        return output;
    }
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) output.append(buf, n);
    const int rc = ::pclose(pipe);
    if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return output;
}

std::string asteriskCli(const AsteriskSite& site, const std::string& command) {
    return runShell(shellQuote(scriptsDir() + "/asterisk.sh") + " cli " + shellQuote(command) + " " +
                    shellQuote(site.install));
}

namespace {

// asterisk.sh start|stop: true when it succeeded; its words otherwise go to
// stderr.
bool control(const AsteriskSite& site, const char* action) {
    int status = 0;
    const std::string out = runShell(
        shellQuote(scriptsDir() + "/asterisk.sh") + " " + action + " " + shellQuote(site.install), &status);
    if (status != 0) std::fprintf(stderr, "asterisk.sh %s: %s\n", action, out.c_str());
    return status == 0;
}

}  // namespace

bool asteriskStart(const AsteriskSite& site) {
    return control(site, "start");
}

bool asteriskStop(const AsteriskSite& site) {
    return control(site, "stop");
}

AsteriskLog::AsteriskLog(const AsteriskSite& site) : path_(site.logPath()), start_(fileSize(path_)) {}

std::string AsteriskLog::appended() const {
    std::ifstream in(path_, std::ios::binary);
    if (!in) return {};
    // A log that shrank was started anew (Asterisk restarted with a fresh
    // file): all of it is new.
    const uint64_t size = fileSize(path_);
    in.seekg(static_cast<std::streamoff>(size >= start_ ? start_ : 0));
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::optional<std::string> AsteriskLog::waitFor(const std::string& text, std::chrono::milliseconds timeout,
                                                const std::string& also) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        std::istringstream lines(appended());
        std::string line;
        while (std::getline(lines, line)) {
            if (line.find(text) != std::string::npos && (also.empty() || line.find(also) != std::string::npos))
                return line;
        }
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

}  // namespace interop
