// Do-Not-Call database access over ODBC: one long-lived connection opened at
// start-up, one read-only lookup per screened dial, the error trace and the
// shutdown at exit. Runs on the window's thread only; nothing here locks.
#pragma once

// Results of the operations below.
enum DbResult : int {
    DB_LOOKUP_FAILED = -1,
    DB_FAILURE = 0,
    DB_NOT_FOUND = 0,
    DB_SUCCESS = 1,
    DB_FOUND = 1,
};

// Seconds a connection attempt may take.
constexpr int kDbLoginTimeoutSeconds = 10;
// Seconds a lookup, or the connection check before it, may wait for the
// server, so that a server that stops answering cannot hold the window for
// good (the usual command time-out of database access layers).
constexpr int kDbCommandTimeoutSeconds = 30;

// Builds the connection string, opens the database and decides whether
// screening is in force; on success the window title names the opt-out file.
void optOutStartUp();

// Builds the connection string that dbtype selects from the opt-out settings
// into target (capacity bytes, cut at the capacity).
void buildOptOutConnString(char* target, int capacity);

// 1 when the ODBC environment is ready, else 0.
int dbInitialize();
// Replaces the connection with a new one opened from connectionString.
// 1 open, 0 failure.
int dbOpenConnection(const char* connectionString);
// Whether a connection exists and is open. A connection the driver reports
// dead (the server went away) is closed here and reported as not open.
bool dbConnectionOpen();
// Runs statement as text; parameter, when given, is bound to the statement's
// one "?" marker. 1 a row found, 0 none, -1 the search failed.
int dbSearchRecord(const char* statement, const char* parameter = nullptr);
// Closes the result set and the connection and releases the environment.
void dbUnInitialize();

// An error raised by an ODBC call, taken from its first diagnostic record.
struct DbError {
    long code = 0;                // the driver's native error number
    char message[160] = "";       // SQLSTATE and the meaning of its class
    char source[160] = "";        // the bracketed origin of the diagnostic text
    char description[1024] = "";  // the diagnostic text after its origin
};

// The connection object (opaque); it keeps the native error numbers of the
// diagnostic records of its last failed operation.
struct DbConnection;

// Writes the error lines: the connection's error list (when a connection is
// given), then the code and message, then the source and description.
void dbPrintErr(const DbConnection* connection, const DbError& error);

// The connection object now in use, nullptr when none.
const DbConnection* dbCurrentConnection();
