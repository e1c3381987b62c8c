// The options file: key=value lines that set g_settings and the AUX reason
// names, read once at start-up after the command line, so a key in the file
// replaces the same switch.
#pragma once

#include <cstdint>

// Longest line read at once; the rest of a longer line is read as a line of
// its own.
constexpr int kOptionsLineLimit = 509;
// Room filtersToText needs for all five names.
constexpr int kFiltersTextCapacity = 32;

// Reads the whole file and applies every valid line. Returns 1 when the file
// was opened and read to its end, 0 when it could not be opened (missing,
// unreadable, not a regular file) or reading failed.
int readIAX2Options(const char* fileName);

// Stores value into field if min <= value <= max and returns 1; otherwise
// the field keeps its value, the refusal is logged (debug on) and 0 returned.
int setIntInRange(int min, const char* label, int32_t* field, int max, int value);

// Copies value into field (maxLength + 1 bytes) if it has 1..maxLength
// characters and returns 1; otherwise the field keeps its value, the refusal
// is logged (debug on) and 0 returned.
int setTextIfFits(const char* value, char* field, int maxLength, const char* label);

// Writes the names of the audio filters that are on, joined by "|", in the
// order DeNOISE, AGC, ECHO, AAGC, CN; empty when none is on.
void filtersToText(char* buffer, int capacity = kFiltersTextCapacity);
