// What the connection string says about its driver, and what a driver needs
// added to honour the login time-out.
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "app/line_scan.h"
#include "app/settings.h"
#include "optout/dnc_connection.h"

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t';
}

// Finds the value of key (case-insensitive) among the "key=value;" pairs.
// Returns its start and sets *length, or nullptr when the key is absent.
// A value in braces may hold ";"; the braces are left out.
const char* findKey(const char* text, const char* key, int* length) {
    const size_t keyLength = std::strlen(key);
    const char* p = text;
    while (*p != '\0') {
        while (isSpace(*p) || *p == ';') ++p;
        const char* name = p;
        while (*p != '\0' && *p != '=' && *p != ';') ++p;
        const char* nameEnd = p;
        while (nameEnd > name && isSpace(nameEnd[-1])) --nameEnd;
        if (*p != '=') continue;
        ++p;
        while (isSpace(*p)) ++p;
        const char* value = p;
        const char* valueEnd;
        if (*p == '{') {
            value = p + 1;
            const char* close = std::strchr(value, '}');
            valueEnd = close ? close : value + std::strlen(value);
            p = close ? close + 1 : valueEnd;
        } else {
            while (*p != '\0' && *p != ';') ++p;
            valueEnd = p;
        }
        while (*p != '\0' && *p != ';') ++p;
        if (static_cast<size_t>(nameEnd - name) == keyLength && strncasecmp(name, key, keyLength) == 0) {
            *length = static_cast<int>(valueEnd - value);
            return value;
        }
    }
    return nullptr;
}

bool libraryNamed(const char* library, const char* name) {
    const char* base = std::strrchr(library, '/');
    base = base ? base + 1 : library;
    return std::strstr(base, name) != nullptr;
}

// Appends ";key=value" (no separator after a ";") when key is absent.
void appendKeyIfAbsent(char* target, int capacity, const char* key, const char* value) {
    int length = 0;
    if (findKey(target, key, &length) != nullptr) return;
    const size_t used = std::strlen(target);
    if (used + 1 >= static_cast<size_t>(capacity)) return;
    const bool needsSeparator = used > 0 && target[used - 1] != ';';
    std::snprintf(target + used, static_cast<size_t>(capacity) - used, "%s%s=%s", needsSeparator ? ";" : "", key,
                  value);
}

constexpr const char* kDefaultTdsPort = "1433";
constexpr const char* kDefaultTdsVersion = "7.4";

}  // namespace

bool connectionStringDriver(const char* connectionString, char* target, int capacity) {
    int length = 0;
    const char* value = connectionString ? findKey(connectionString, "DRIVER", &length) : nullptr;
    if (value == nullptr || length == 0) {
        if (capacity > 0) target[0] = '\0';
        return false;
    }
    copyText(target, length + 1 < capacity ? length + 1 : capacity, value);
    return true;
}

void addDriverAttribute(DriverRegistration* registration, const char* attribute) {
    struct {
        const char* key;
        char* field;
        int capacity;
    } const keys[] = {
        {"Driver", registration->library, sizeof registration->library},
        {"Port", registration->port, sizeof registration->port},
        {"TDS_Version", registration->tdsVersion, sizeof registration->tdsVersion},
    };
    for (const auto& k : keys) {
        const char* value = scanKeyValue(attribute, k.key, KeyForm::ExactAnyCase);
        if (value != nullptr) {
            copyText(k.field, k.capacity, value);
            return;
        }
    }
}

void driverConnectionString(const char* connectionString, const DriverRegistration& registration, char* target,
                            int capacity) {
    copyText(target, capacity, connectionString);
    char timeout[16];
    std::snprintf(timeout, sizeof timeout, "%d", kDbLoginTimeoutSeconds);
    char commandTimeout[16];
    std::snprintf(commandTimeout, sizeof commandTimeout, "%d", kDbCommandTimeoutSeconds);
    if (libraryNamed(registration.library, "maodbc")) {
        // MariaDB Connector/ODBC ignores the ODBC login time-out attribute
        // and waits for ever on a server that does not answer; its own keys
        // bound the connection and every later exchange.
        appendKeyIfAbsent(target, capacity, "CONN_TIMEOUT", timeout);
        appendKeyIfAbsent(target, capacity, "READ_TIMEOUT", commandTimeout);
        appendKeyIfAbsent(target, capacity, "WRITE_TIMEOUT", commandTimeout);
    } else if (libraryNamed(registration.library, "tdsodbc")) {
        // Without a port FreeTDS fails without trying; without a protocol
        // version it probes and may hang far beyond the time-out.
        appendKeyIfAbsent(target, capacity, "Port", registration.port[0] ? registration.port : kDefaultTdsPort);
        appendKeyIfAbsent(target, capacity, "TDS_Version",
                          registration.tdsVersion[0] ? registration.tdsVersion : kDefaultTdsVersion);
    }
}
