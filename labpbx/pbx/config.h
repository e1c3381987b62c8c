// The lab PBX's configuration: one small text file of sections and
// "key = value" lines (see lab.conf for a commented example).
//
//   [general]     addresses, ports, registration limits, demonstration mode,
//                 managerdialect = classic | queues, queues = sales,support
//   [extensions]  2001 = secret [requirecalltoken=no] [mailbox=2001@default]
//                 [callerid="Name" <2001>]
//   [managers]    user = secret
//   [agents]      1001 = Agent name (may be empty)
//   [mailboxes]   2001@default = new message count
//   [services]    600 = echo | tone | busy | ring
//
// ";" and "#" start comments. Parsing is strict: an unknown section or key,
// a bad number or an overlong value is an error naming its line, so a typo
// never leaves a PBX running on silently different settings.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace labpbx {

enum class ServiceKind { Echo, Tone, Busy, Ring };

const char* serviceKindName(ServiceKind kind);

struct ExtensionConfig {
    std::string name;  // the extension number, also the IAX2 user name
    std::string secret;
    bool requireCallToken = true;
    std::string mailbox;  // "number@context"; empty: no message count in REGACK
    std::string callerName;
    std::string callerNumber;
};

struct DemoConfig {
    int intervalSeconds = 0;  // 0: off
    std::string extension;    // empty: the first extension of the file
    std::string callerNumber = "5550100";
    std::string callerName = "Demo Caller";
};

struct LabConfig {
    std::string bindAddress = "127.0.0.1";
    uint16_t iaxPort = 4569;       // 0: ephemeral
    uint16_t managerPort = 5038;   // 0: ephemeral
    uint16_t controlPort = 5039;   // 0: ephemeral
    int minRegExpire = 60;
    int maxRegExpire = 3600;
    int ringTimeoutSeconds = 60;  // unanswered calls are given up after this
    // Numbers that are neither extensions nor services ring until answered
    // from the control interface (true) or are refused (false).
    bool externalCalls = true;
    DemoConfig demo;
    // The manager interface's dialect: "classic" or "queues", with the
    // queues that the latter offers.
    std::string managerDialect = "classic";
    std::vector<std::string> queues;
    std::vector<ExtensionConfig> extensions;
    std::map<std::string, std::string> managers;      // user -> secret
    std::map<std::string, std::string> agents;        // id -> name
    std::map<std::string, int> mailboxes;             // "number@context" -> new messages
    std::map<std::string, ServiceKind> services;      // number -> kind

    const ExtensionConfig* findExtension(const std::string& name) const;
};

struct ConfigError {
    int line = 0;  // 0: not tied to a line
    std::string message;
};

// Parses the text of a configuration file. On failure returns nothing and
// fills error.
std::optional<LabConfig> parseConfig(const std::string& text, ConfigError& error);

// Reads and parses a file; a file that cannot be read is an error too.
std::optional<LabConfig> loadConfigFile(const std::string& path, ConfigError& error);

// "Name" <number> as in the [extensions] callerid option.
bool parseCallerId(const std::string& text, std::string& name, std::string& number);

}  // namespace labpbx
