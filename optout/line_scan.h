// Small scanners for "key = value" lines: the key at the very start of the
// line, any white space (none included) around the "=", then a value that is
// a number or the longest run of allowed characters. Every scanner reads
// only up to the line's terminating NUL and writes only within its target.
#pragma once

#include <cstdint>

// When line begins with key, then optional white space, "=" and optional
// white space, returns the position of the value; otherwise nullptr.
const char* scanKeyValue(const char* line, const char* key);

// Optional white space, an optional sign and at least one decimal digit;
// whatever follows the digits is ignored. A number beyond the 32-bit range
// is held at the nearest bound. Returns false when there is no digit.
bool scanNumber(const char* text, int32_t* value);

// Which characters a run value may hold.
enum class RunKind {
    Text,          // anything but ";", CR, LF and blank (a tab is allowed)
    DialChars,     // digits, "*" and "#"
    Digits,        // digits only
};

// Copies the longest run of allowed characters at the start of text into
// target (capacity bytes, always NUL-terminated; a longer run is cut there).
// Returns the length of the whole run, 0 when text starts with no allowed
// character.
int scanRun(const char* text, RunKind kind, char* target, int capacity);
