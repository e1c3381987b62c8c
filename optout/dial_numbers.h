// The texts of one dial request: the number looked up in the Do-Not-Call
// table, the lookup statement, the number dialled and the engine's dial
// string. The typed number is never changed; the search number is a copy
// that the screening rules shorten.
#pragma once

constexpr int kDialedNumberMax = 30;
constexpr int kSearchNumberMax = 30;
constexpr int kStatementMax = 511;
constexpr int kOutgoingNumberMax = 61;
constexpr int kDialStringMax = 127;

// The search number for dialed: the screening prefix removed, then the
// first matching PSTN code, then cut to maxlength; writes the screening
// trace when dncdebug is on. target holds capacity bytes.
void buildSearchNumber(const char* dialed, char* target, int capacity);

// The lookup statement as written to the trace: the number between quotes.
void buildDncStatement(const char* table, const char* searchNumber, char* target, int capacity);

// The statement that runs: the same lookup with the number as a parameter.
void buildDncQuery(const char* table, char* target, int capacity);

// The number dialled: the PSTN access code before an external number, else
// the screening dial prefix while screening is on, else the number alone.
void buildOutgoingNumber(const char* dialed, char* target, int capacity);

// "user:password@host/number", cut at kDialStringMax characters.
void buildDialString(const char* user, const char* password, const char* host, const char* outgoing, char* target,
                     int capacity);
