#include "labpbx/pbx/config.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace labpbx {

namespace {

constexpr size_t kMaxLineLength = 1024;
constexpr size_t kMaxNameLength = 63;  // extension, user, agent, service numbers
constexpr size_t kMaxSecretLength = 127;
constexpr size_t kMaxTextLength = 127;  // caller names, mailbox ids
constexpr int kMaxMailboxCount = 9999;

std::string trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

// Cuts a comment off: ';' or '#' outside double quotes.
std::string stripComment(const std::string& s) {
    bool quoted = false;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '"') quoted = !quoted;
        if (!quoted && (s[i] == ';' || s[i] == '#')) return s.substr(0, i);
    }
    return s;
}

bool parseInt(const std::string& text, long min, long max, long& out) {
    if (text.empty() || text.size() > 10) return false;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || v < min || v > max) return false;
    out = v;
    return true;
}

bool isToken(const std::string& s, size_t maxLength) {
    if (s.empty() || s.size() > maxLength) return false;
    for (unsigned char c : s)
        if (!std::isalnum(c) && c != '_' && c != '-' && c != '.' && c != '*' && c != '#' && c != '@' && c != '/')
            return false;
    return true;
}

struct CodecNameEntry {
    const char* name;
    uint32_t format;
};
constexpr CodecNameEntry kCodecNames[] = {{"gsm", kCodecGsm}, {"ulaw", kCodecUlaw}, {"alaw", kCodecAlaw}};

// "gsm, ulaw,alaw" -> the formats in order; false on an unknown name, a
// repeated one or an empty list.
bool parseCodecList(const std::string& text, std::vector<uint32_t>& out) {
    std::vector<uint32_t> list;
    std::istringstream in(text);
    std::string word;
    while (std::getline(in, word, ',')) {
        word = trim(word);
        uint32_t format = 0;
        for (const auto& entry : kCodecNames)
            if (word == entry.name) format = entry.format;
        for (uint32_t seen : list)
            if (seen == format) format = 0;
        if (!format) return false;
        list.push_back(format);
    }
    if (list.empty()) return false;
    out = list;
    return true;
}

bool isPrintable(const std::string& s) {
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7f) return false;
    return true;
}

struct Parser {
    LabConfig config;
    ConfigError& error;
    int line = 0;
    std::string section;

    explicit Parser(ConfigError& e) : error(e) {}

    bool fail(const std::string& message) {
        error.line = line;
        error.message = message;
        return false;
    }

    bool general(const std::string& key, const std::string& value) {
        long n = 0;
        auto port = [&](uint16_t& out) {
            if (!parseInt(value, 0, 65535, n)) return fail("port must be 0..65535");
            out = static_cast<uint16_t>(n);
            return true;
        };
        if (key == "bindaddr") {
            in_addr a{};
            if (inet_pton(AF_INET, value.c_str(), &a) != 1) return fail("bindaddr must be a dotted IPv4 address");
            config.bindAddress = value;
            return true;
        }
        if (key == "iaxport") return port(config.iaxPort);
        if (key == "managerport") return port(config.managerPort);
        if (key == "controlport") return port(config.controlPort);
        if (key == "minregexpire" || key == "maxregexpire") {
            if (!parseInt(value, 1, 65535, n)) return fail(key + " must be 1..65535 seconds");
            (key == "minregexpire" ? config.minRegExpire : config.maxRegExpire) = static_cast<int>(n);
            return true;
        }
        if (key == "ringtimeout") {
            if (!parseInt(value, 1, 3600, n)) return fail("ringtimeout must be 1..3600 seconds");
            config.ringTimeoutSeconds = static_cast<int>(n);
            return true;
        }
        if (key == "externalcalls") {
            if (value == "ring")
                config.externalCalls = true;
            else if (value == "reject")
                config.externalCalls = false;
            else
                return fail("externalcalls must be ring or reject");
            return true;
        }
        if (key == "allow") {
            if (!parseCodecList(value, config.codecs))
                return fail("allow must list gsm, ulaw and/or alaw, each once");
            return true;
        }
        if (key == "demointerval") {
            if (!parseInt(value, 0, 86400, n)) return fail("demointerval must be 0..86400 seconds");
            config.demo.intervalSeconds = static_cast<int>(n);
            return true;
        }
        if (key == "demoextension") {
            if (!isToken(value, kMaxNameLength)) return fail("bad demoextension");
            config.demo.extension = value;
            return true;
        }
        if (key == "democallerid") {
            if (!parseCallerId(value, config.demo.callerName, config.demo.callerNumber))
                return fail("democallerid must look like \"Name\" <number>");
            return true;
        }
        if (key == "managerdialect") {
            if (value != "classic" && value != "queues") return fail("managerdialect must be classic or queues");
            config.managerDialect = value;
            return true;
        }
        if (key == "queues") {
            config.queues.clear();
            size_t start = 0;
            while (start <= value.size()) {
                const size_t comma = std::min(value.find(',', start), value.size());
                const std::string queue = value.substr(start, comma - start);
                if (!isToken(queue, kMaxNameLength)) return fail("bad queue name in queues");
                config.queues.push_back(queue);
                start = comma + 1;
            }
            return true;
        }
        return fail("unknown key '" + key + "' in [general]");
    }

    bool extension(const std::string& key, const std::string& value) {
        if (!isToken(key, kMaxNameLength)) return fail("bad extension number '" + key + "'");
        if (config.findExtension(key)) return fail("extension " + key + " defined twice");
        ExtensionConfig ext;
        ext.name = key;
        ext.callerNumber = key;
        ext.callerName = key;
        std::string rest = value;
        // The secret is the first word; options follow as key=value words,
        // except callerid, which takes the rest of the line.
        size_t sp = rest.find_first_of(" \t");
        ext.secret = rest.substr(0, sp);
        rest = sp == std::string::npos ? "" : trim(rest.substr(sp));
        if (ext.secret.empty() || ext.secret.size() > kMaxSecretLength || !isPrintable(ext.secret))
            return fail("extension " + key + " needs a secret of 1.." + std::to_string(kMaxSecretLength) +
                        " characters");
        while (!rest.empty()) {
            size_t eq = rest.find('=');
            if (eq == std::string::npos) return fail("option without '=': " + rest);
            std::string opt = trim(rest.substr(0, eq));
            std::string tail = trim(rest.substr(eq + 1));
            if (opt == "callerid") {
                if (!parseCallerId(tail, ext.callerName, ext.callerNumber))
                    return fail("callerid must look like \"Name\" <number>");
                break;
            }
            size_t end = tail.find_first_of(" \t");
            std::string val = tail.substr(0, end);
            rest = end == std::string::npos ? "" : trim(tail.substr(end));
            if (opt == "requirecalltoken") {
                if (val == "yes")
                    ext.requireCallToken = true;
                else if (val == "no")
                    ext.requireCallToken = false;
                else
                    return fail("requirecalltoken must be yes or no");
            } else if (opt == "mailbox") {
                if (!isToken(val, kMaxTextLength) || val.find('@') == std::string::npos)
                    return fail("mailbox must look like number@context");
                ext.mailbox = val;
            } else {
                return fail("unknown extension option '" + opt + "'");
            }
        }
        config.extensions.push_back(ext);
        return true;
    }

    bool entry(const std::string& key, const std::string& value) {
        if (section == "general") return general(key, value);
        if (section == "extensions") return extension(key, value);
        if (section == "managers") {
            if (!isToken(key, kMaxNameLength)) return fail("bad manager user '" + key + "'");
            if (value.empty() || value.size() > kMaxSecretLength || !isPrintable(value))
                return fail("manager " + key + " needs a secret");
            config.managers[key] = value;
            return true;
        }
        if (section == "agents") {
            if (!isToken(key, kMaxNameLength)) return fail("bad agent id '" + key + "'");
            if (value.size() > kMaxTextLength || !isPrintable(value)) return fail("bad agent name");
            config.agents[key] = value;
            return true;
        }
        if (section == "mailboxes") {
            long n = 0;
            if (!isToken(key, kMaxTextLength) || key.find('@') == std::string::npos)
                return fail("mailbox must look like number@context");
            if (!parseInt(value, 0, kMaxMailboxCount, n))
                return fail("mailbox count must be 0.." + std::to_string(kMaxMailboxCount));
            config.mailboxes[key] = static_cast<int>(n);
            return true;
        }
        if (section == "services") {
            if (!isToken(key, kMaxNameLength)) return fail("bad service number '" + key + "'");
            if (value == "echo")
                config.services[key] = ServiceKind::Echo;
            else if (value == "tone")
                config.services[key] = ServiceKind::Tone;
            else if (value == "busy")
                config.services[key] = ServiceKind::Busy;
            else if (value == "ring")
                config.services[key] = ServiceKind::Ring;
            else
                return fail("service must be echo, tone, busy or ring");
            return true;
        }
        return fail("entry outside a known section");
    }

    bool parseLine(const std::string& raw) {
        if (raw.size() > kMaxLineLength) return fail("line too long");
        std::string text = trim(stripComment(raw));
        if (text.empty()) return true;
        if (text.front() == '[') {
            if (text.back() != ']') return fail("unterminated section header");
            section = trim(text.substr(1, text.size() - 2));
            if (section != "general" && section != "extensions" && section != "managers" && section != "agents" &&
                section != "mailboxes" && section != "services")
                return fail("unknown section [" + section + "]");
            return true;
        }
        size_t eq = text.find('=');
        if (eq == std::string::npos) return fail("expected key = value");
        return entry(trim(text.substr(0, eq)), trim(text.substr(eq + 1)));
    }

    bool finish() {
        line = 0;
        if (config.minRegExpire > config.maxRegExpire) return fail("minregexpire is above maxregexpire");
        for (const auto& ext : config.extensions)
            if (config.services.count(ext.name))
                return fail("number " + ext.name + " is both an extension and a service");
        if (config.demo.intervalSeconds > 0) {
            if (config.demo.extension.empty() && !config.extensions.empty())
                config.demo.extension = config.extensions.front().name;
            if (!config.findExtension(config.demo.extension))
                return fail("demonstration mode needs a defined demoextension");
        }
        return true;
    }
};

}  // namespace

const char* serviceKindName(ServiceKind kind) {
    switch (kind) {
        case ServiceKind::Echo:
            return "echo";
        case ServiceKind::Tone:
            return "tone";
        case ServiceKind::Busy:
            return "busy";
        case ServiceKind::Ring:
            return "ring";
    }
    return "?";
}

std::string codecName(uint32_t format) {
    if (format == 0) return "-";
    for (const auto& entry : kCodecNames)
        if (entry.format == format) return entry.name;
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%x", format);
    return hex;
}

uint32_t LabConfig::codecMask() const {
    uint32_t mask = 0;
    for (uint32_t f : codecs) mask |= f;
    return mask;
}

uint32_t LabConfig::chooseCodec(uint32_t theirFormat, uint32_t theirCapability) const {
    const uint32_t theirs = theirCapability ? theirCapability : theirFormat;
    for (uint32_t f : codecs)
        if (theirs & f) return f;
    return 0;
}

std::string LabConfig::codecPrefs(uint32_t first, uint32_t within) const {
    auto letter = [](uint32_t format) {
        int bit = 0;
        while (bit < 31 && !(format & (1u << bit))) ++bit;
        return static_cast<char>('A' + bit + 1);
    };
    std::string prefs(1, letter(first));
    for (uint32_t f : codecs)
        if (f != first && (within & f)) prefs.push_back(letter(f));
    return prefs;
}

const ExtensionConfig* LabConfig::findExtension(const std::string& name) const {
    for (const auto& ext : extensions)
        if (ext.name == name) return &ext;
    return nullptr;
}

bool parseCallerId(const std::string& text, std::string& name, std::string& number) {
    std::string t = trim(text);
    size_t lt = t.rfind('<');
    if (lt == std::string::npos || t.back() != '>') return false;
    std::string num = t.substr(lt + 1, t.size() - lt - 2);
    std::string nm = trim(t.substr(0, lt));
    if (nm.size() >= 2 && nm.front() == '"' && nm.back() == '"') nm = nm.substr(1, nm.size() - 2);
    if (!isToken(num, kMaxNameLength) || nm.size() > kMaxTextLength || !isPrintable(nm)) return false;
    name = nm;
    number = num;
    return true;
}

std::optional<LabConfig> parseConfig(const std::string& text, ConfigError& error) {
    Parser p(error);
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        ++p.line;
        if (!p.parseLine(line)) return std::nullopt;
    }
    if (!p.finish()) return std::nullopt;
    return p.config;
}

std::optional<LabConfig> loadConfigFile(const std::string& path, ConfigError& error) {
    std::ifstream in(path);
    if (!in) {
        error.line = 0;
        error.message = "cannot read " + path;
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return parseConfig(text.str(), error);
}

}  // namespace labpbx
