#include "optout/dial_numbers.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "app/debug_log.h"
#include "app/settings.h"

namespace {

// The screening trace is written whenever dncdebug is on, whatever debug.
void dncTracef(const char* format, ...) __attribute__((format(printf, 1, 2)));
void dncTracef(const char* format, ...) {
    if (!g_settings.dncdebug) return;
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    writeDebugLog(text);
}

void removeScreeningPrefix(const char* dialed, char* search, int capacity) {
    const char* prefix = g_settings.removeDNCprefix;
    if (prefix[0] == '\0') return;
    const size_t prefixLength = std::strlen(prefix);
    if (prefixLength >= std::strlen(dialed)) {
        dncTracef("**WRN** [Dial]->removeDNCprefix: prefix[%s] => dialedNum[%s]; ignored", prefix, dialed);
    } else if (std::strncmp(dialed, prefix, prefixLength) == 0) {
        copyText(search, capacity, dialed + prefixLength);
        dncTracef("**DEB** [Dial]->removeDNCprefix: dialedNum[%s], prefix[%s], searchNum[%s]", dialed, prefix,
                  search);
    } else {
        dncTracef("**DEB** [Dial]->removeDNCprefix: prefix[%s] not found in dialedNum[%s]", prefix, dialed);
    }
}

void removePstnCode(char* search) {
    const int count = g_pstnCodeCount < kPstnCodeSlots ? g_pstnCodeCount : kPstnCodeSlots;
    for (int i = 0; i < count; ++i) {
        const char* code = g_pstnCodes[i];
        const size_t codeLength = strnlen(code, kPstnCodeCapacity);
        // An empty code would match every number and remove nothing.
        if (codeLength == 0 || std::strncmp(search, code, codeLength) != 0) continue;
        std::memmove(search, search + codeLength, std::strlen(search + codeLength) + 1);
        dncTracef("**DEB** [Dial]->PSTN code prefix [%.*s] removed->[%s]", static_cast<int>(codeLength), code,
                  search);
        return;
    }
}

void applyMaxLength(char* search) {
    const int maxLength = g_settings.maxlength;
    if (maxLength < 4) return;
    dncTracef("**DEB** [Dial]->dncmaxlength: search number [%s], maxlength [%d]", search, maxLength);
    if (std::strlen(search) > static_cast<size_t>(maxLength)) {
        search[maxLength] = '\0';
        dncTracef("**DEB** [Dial]->dncmaxlength: search number is truncated to maxlength [%d] ad [%s]", maxLength,
                  search);
    }
}

}  // namespace

void buildSearchNumber(const char* dialed, char* target, int capacity) {
    if (capacity <= 0) return;
    copyText(target, capacity, dialed);
    removeScreeningPrefix(dialed, target, capacity);
    removePstnCode(target);
    if (g_settings.maxlength < capacity) applyMaxLength(target);
}

void buildDncStatement(const char* table, const char* searchNumber, char* target, int capacity) {
    std::snprintf(target, static_cast<size_t>(capacity), "SELECT dnc_phone FROM %s WHERE dnc_phone = '%s'", table,
                  searchNumber);
}

void buildDncQuery(const char* table, char* target, int capacity) {
    std::snprintf(target, static_cast<size_t>(capacity), "SELECT dnc_phone FROM %s WHERE dnc_phone = ?", table);
}

void buildOutgoingNumber(const char* dialed, char* target, int capacity) {
    const Settings& s = g_settings;
    const size_t size = static_cast<size_t>(capacity);
    if (s.maxInternalExtSz > 0 && std::strlen(dialed) > static_cast<size_t>(s.maxInternalExtSz) &&
        s.pstnAccessCode[0] != '\0') {
        std::snprintf(target, size, "%s%s", s.pstnAccessCode, dialed);
        logDebugf("**DEB** [Dial]->Outgoing number with pstnAccessCode[%s]=[%s]", s.pstnAccessCode, target);
    } else if (g_dncEnabled == 1 && s.dialprefix[0] != '\0') {
        std::snprintf(target, size, "%s%s", s.dialprefix, dialed);
        dncTracef("**DEB** [Dial]->Outgoing number with dncDialprefix[%s]=[%s]", s.dialprefix, target);
    } else {
        copyText(target, capacity, dialed);
    }
}

void buildDialString(const char* user, const char* password, const char* host, const char* outgoing, char* target,
                     int capacity) {
    const int size = capacity < kDialStringMax + 1 ? capacity : kDialStringMax + 1;
    std::snprintf(target, static_cast<size_t>(size), "%s:%s@%s/%s", user, password, host, outgoing);
}
