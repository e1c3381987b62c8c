#include "app/line_scan.h"

#include <climits>
#include <cstring>
#include <strings.h>

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

const char* skipSpace(const char* p) {
    while (isLineSpace(*p)) ++p;
    return p;
}

bool allowed(char c, RunKind kind) {
    switch (kind) {
        case RunKind::Text:
            return c != '\0' && c != ';' && c != '\r' && c != '\n' && c != ' ';
        case RunKind::TextWithBlanks:
            return c != '\0' && c != ';' && c != '\r' && c != '\n';
        case RunKind::DialChars:
            return isDigit(c) || c == '*' || c == '#';
        case RunKind::Digits:
            return isDigit(c);
    }
    return false;
}

}  // namespace

bool isLineSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

void trimRight(char* text) {
    if (text == nullptr) return;
    size_t n = std::strlen(text);
    while (n > 0 && isLineSpace(text[n - 1])) text[--n] = '\0';
}

const char* scanKeyValue(const char* line, const char* key, KeyForm form) {
    if (line == nullptr || key == nullptr) return nullptr;
    const size_t keyLength = std::strlen(key);
    const bool keyMatches = form == KeyForm::ExactAnyCase ? strncasecmp(line, key, keyLength) == 0
                                                          : std::strncmp(line, key, keyLength) == 0;
    if (!keyMatches) return nullptr;
    const char* p = line + keyLength;
    if (form != KeyForm::Spaced) return *p == '=' ? p + 1 : nullptr;
    p = skipSpace(p);
    if (*p != '=') return nullptr;
    return skipSpace(p + 1);
}

bool scanNumber(const char* text, int32_t* value, OutOfRange outOfRange) {
    const char* p = skipSpace(text);
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    if (!isDigit(*p)) return false;
    // Accumulate with a ceiling just past the limit so that any number of
    // digits is safe and a number beyond the range is still seen as such.
    const long long limit = negative ? -static_cast<long long>(INT32_MIN) : INT32_MAX;
    long long magnitude = 0;
    for (; isDigit(*p); ++p) {
        if (magnitude <= limit) magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > limit) magnitude = limit + 1;
    }
    if (magnitude > limit) {
        if (outOfRange == OutOfRange::Refuse) return false;
        magnitude = limit;
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
