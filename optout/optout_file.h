// Reader of the opt-out (Do-Not-Call) configuration file.
#pragma once

#include <cstddef>

// Reads the file into the opt-out settings and the PSTN code table. Returns
// 1 when screening is configured and may be switched on, else 0.
int readOptOutParameters(const char* fileName);

// The same reading over text held in memory (length bytes, NUL bytes
// allowed), for the fuzzer and tests.
int readOptOutText(const char* text, size_t length);

// Start-up: when an opt-out file was named, reads it and switches screening
// on (g_dncEnabled = 1) if it configures screening. The database is opened
// later by optOutStartUp.
void loadOptOutFile();
