// The Asterisk installation the interop tests run against, as
// scripts/interop/ configures it, and the ways a test reaches it: its CLI
// (through scripts/interop/asterisk.sh), starting and stopping it, and its
// log of messages.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace interop {

struct AsteriskSite {
    std::string install;  // QUENDRA_ASTERISK
    int iaxPort = 4569;
    int managerPort = 5038;
    std::string managerUser = "quendra";
    std::string managerSecret = "lab";

    // "127.0.0.1:<IAX2 port>".
    std::string iaxHost() const;
    // Dial string of a call from extension ext (secret s<ext>) to number.
    std::string dial(const std::string& ext, const std::string& number) const;
    std::string logPath() const;
};

// The installation named by QUENDRA_ASTERISK, with the ports and manager
// account the configuration script was given; nothing when it is not set.
std::optional<AsteriskSite> asteriskSite();

// Runs a shell command line; its standard output and error, and its exit
// status in *status.
std::string runShell(const std::string& commandLine, int* status = nullptr);
std::string shellQuote(const std::string& text);

// "asterisk -rx <command>" through the scripts; the command's output.
std::string asteriskCli(const AsteriskSite& site, const std::string& command);
bool asteriskStart(const AsteriskSite& site);
bool asteriskStop(const AsteriskSite& site);

// Lines appended to Asterisk's messages log after this object was made.
class AsteriskLog {
public:
    explicit AsteriskLog(const AsteriskSite& site);
    // The first new line holding `text` (and `also`, when given), waiting up
    // to timeout for it.
    std::optional<std::string> waitFor(const std::string& text, std::chrono::milliseconds timeout,
                                       const std::string& also = {});
    // Everything appended so far.
    std::string appended() const;

private:
    std::string path_;
    uint64_t start_ = 0;
};

}  // namespace interop
