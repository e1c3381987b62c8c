// Scanners for "key=value" lines, shared by the options file, the opt-out
// file and the driver attributes: the key at the very start of the line, its
// "=" as the key's form allows, then a value that is a number or the longest
// run of allowed characters. Every scanner reads only up to the line's
// terminating NUL and writes only within its target.
#pragma once

#include <cstdint>

// Blank, tab, CR, LF, VT and FF.
bool isLineSpace(char c);

// Removes trailing white space (blank, tab, CR, LF, VT, FF) in place.
void trimRight(char* text);

// How a key and its "=" are written.
enum class KeyForm {
    Spaced,        // any white space (none included) around the "="; skipped
    Exact,         // "key=" exactly; the value starts right after the "="
    ExactAnyCase,  // as Exact, the key in any case
};

// When line begins with key in the given form, returns the position of the
// value; otherwise nullptr.
const char* scanKeyValue(const char* line, const char* key, KeyForm form = KeyForm::Spaced);

// What a number beyond the 32-bit range comes to.
enum class OutOfRange {
    Clamp,   // held at the nearest bound
    Refuse,  // no number
};

// Optional white space, an optional sign and at least one decimal digit;
// whatever follows the digits is ignored. Returns false when there is no
// digit (or the number is refused); value is then left alone.
bool scanNumber(const char* text, int32_t* value, OutOfRange outOfRange = OutOfRange::Clamp);

// Which characters a run value may hold.
enum class RunKind {
    Text,            // anything but ";", CR, LF and blank (a tab is allowed)
    TextWithBlanks,  // anything but ";", CR and LF
    DialChars,       // digits, "*" and "#"
    Digits,          // digits only
};

// Copies the longest run of allowed characters at the start of text into
// target (capacity bytes, always NUL-terminated; a longer run is cut there).
// Returns the length of the whole run, 0 when text starts with no allowed
// character.
int scanRun(const char* text, RunKind kind, char* target, int capacity);
