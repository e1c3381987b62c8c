#include "optout/line_scan.h"

#include <climits>
#include <cstring>

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

const char* skipSpace(const char* p) {
    while (isSpace(*p)) ++p;
    return p;
}

bool allowed(char c, RunKind kind) {
    switch (kind) {
        case RunKind::Text: return c != '\0' && c != ';' && c != '\r' && c != '\n' && c != ' ';
        case RunKind::DialChars: return isDigit(c) || c == '*' || c == '#';
        case RunKind::Digits: return isDigit(c);
    }
    return false;
}

}  // namespace

const char* scanKeyValue(const char* line, const char* key) {
    if (line == nullptr || key == nullptr) return nullptr;
    const size_t keyLength = std::strlen(key);
    if (std::strncmp(line, key, keyLength) != 0) return nullptr;
    const char* p = skipSpace(line + keyLength);
    if (*p != '=') return nullptr;
    return skipSpace(p + 1);
}

bool scanNumber(const char* text, int32_t* value) {
    const char* p = skipSpace(text);
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    if (!isDigit(*p)) return false;
    // Accumulate with a ceiling so that any number of digits is safe.
    const long long limit = negative ? -static_cast<long long>(INT32_MIN) : INT32_MAX;
    long long magnitude = 0;
    for (; isDigit(*p); ++p) {
        if (magnitude < limit) magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > limit) magnitude = limit;
    }
    *value = static_cast<int32_t>(negative ? -magnitude : magnitude);
    return true;
}

int scanRun(const char* text, RunKind kind, char* target, int capacity) {
    int length = 0;
    while (allowed(text[length], kind)) ++length;
    if (target != nullptr && capacity > 0) {
        const int copied = length < capacity - 1 ? length : capacity - 1;
        std::memcpy(target, text, static_cast<size_t>(copied));
        target[copied] = '\0';
    }
    return length;
}
