// The lab PBX's configuration: one small text file of sections and
// "key = value" lines (see lab.conf for a commented example).
//
//   [general]     addresses, ports, registration limits, codecs, demonstration mode,
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

// The codecs the PBX speaks, by their IAX2 format bits.
inline constexpr uint32_t kCodecGsm = 1u << 1;
inline constexpr uint32_t kCodecUlaw = 1u << 2;
inline constexpr uint32_t kCodecAlaw = 1u << 3;

// "gsm", "ulaw", "alaw", "-" for none, else the bits in hex.
std::string codecName(uint32_t format);

struct LabConfig {
    std::string bindAddress = "127.0.0.1";
    uint16_t iaxPort = 4569;      // 0: ephemeral
    uint16_t managerPort = 5038;  // 0: ephemeral
    uint16_t controlPort = 5039;  // 0: ephemeral
    int minRegExpire = 60;
    int maxRegExpire = 3600;
    int ringTimeoutSeconds = 60;  // unanswered calls are given up after this
    // Numbers that are neither extensions nor services ring until answered
    // from the control interface (true) or are refused (false).
    bool externalCalls = true;
    // The codecs calls may use, in the PBX's order of preference: a call
    // gets the first of them that the phone can do, whatever it prefers.
    std::vector<uint32_t> codecs{kCodecGsm, kCodecUlaw, kCodecAlaw};
    DemoConfig demo;
    // The manager interface's dialect: "classic" or "queues", with the
    // queues that the latter offers.
    std::string managerDialect = "classic";
    std::vector<std::string> queues;
    std::vector<ExtensionConfig> extensions;
    std::map<std::string, std::string> managers;  // user -> secret
    std::map<std::string, std::string> agents;    // id -> name
    std::map<std::string, int> mailboxes;         // "number@context" -> new messages
    std::map<std::string, ServiceKind> services;  // number -> kind

    const ExtensionConfig* findExtension(const std::string& name) const;
    uint32_t codecMask() const;
    // The first of our codecs within the phone's capability (its FORMAT when
    // it sent no capability); 0 when there is none.
    uint32_t chooseCodec(uint32_t theirFormat, uint32_t theirCapability) const;
    // CODEC_PREFS text ('A' + bit number + 1 per codec): first, then the
    // rest of our list that lies within 'within', in our order.
    std::string codecPrefs(uint32_t first, uint32_t within) const;
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
