// The program's one trace: a text file per extension and day, appended one
// time-stamped line at a time. The writer keeps no state between calls and
// takes no lock; each line is written with a single append so that lines from
// the window thread and the engine's event thread never interleave.
#pragma once

#include <ctime>
#include <functional>

// Appends "<time stamp> <text>\n" to the current log file. Returns 1 when the
// line was written, 0 when the file did not open. Callers test the debug
// switch themselves.
int writeDebugLog(const char* text);

// Writes the local time as "YYYY-MM-DD hh:mm:ss" into buffer (>= 20 bytes).
void getTimeStamp(char* buffer);

// Builds the file name for the given local time into buffer (capacity bytes):
// debugLogDir, "Quendra", user, "-20", yymmdd, ".log".
void debugLogFileName(char* buffer, int capacity, const std::tm& localTime);

// printf-style convenience: formats into a bounded buffer and writes it.
int writeDebugLogf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes the line only when the debug switch is on.
void logDebugf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The clock the log reads; tests replace it to cross midnight.
using LogClock = std::function<std::time_t()>;
void setDebugLogClock(LogClock clock);
