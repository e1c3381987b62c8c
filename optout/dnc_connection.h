// Inside the Do-Not-Call database layer: the connection object and the
// helpers that turn ODBC diagnostics into errors and adapt the connection
// string to the driver that will receive it.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include "optout/dnc_database.h"

constexpr int kDbErrorListCapacity = 16;

struct DbConnection {
    SQLHDBC handle = SQL_NULL_HDBC;
    bool open = false;
    // Native error numbers of the diagnostic records of the last failure.
    int errorCount = 0;
    long errorNumbers[kDbErrorListCapacity] = {};
};

// Fills error from the diagnostic records of handle after a call that
// returned rc; when connection is given, its error list is replaced by the
// records' native error numbers.
void dbCaptureError(SQLSMALLINT handleType, SQLHANDLE handle, SQLRETURN rc, DbError* error,
                    DbConnection* connection);

// An error that no ODBC call reported (the layer's own precondition).
void dbMakeError(DbError* error, const char* source, const char* description);

// The meaning of an SQLSTATE's class ("42S02" gives "syntax error or access
// rule violation").
const char* sqlStateClassText(const char* sqlState);

// Copies the text of the DRIVER key of connectionString (without braces)
// into target; returns false when the string names no driver.
bool connectionStringDriver(const char* connectionString, char* target, int capacity);

// What the driver manager has registered under a driver name.
struct DriverRegistration {
    char library[512] = "";    // Driver=
    char port[16] = "";        // Port=
    char tdsVersion[16] = "";  // TDS_Version=
};

// Reads one "key=value" attribute of a driver registration into it; other
// keys are ignored.
void addDriverAttribute(DriverRegistration* registration, const char* attribute);

// The string handed to the driver: connectionString, plus what the driver
// needs to honour the login time-out and to reach its server. MariaDB
// Connector/ODBC gets CONN_TIMEOUT, READ_TIMEOUT and WRITE_TIMEOUT; FreeTDS, which reads its registration
// only for data sources, gets the registered Port and TDS_Version (1433 and
// 7.4 when none are registered) unless the string gives them. The string in
// force, and the one logged, stays connectionString.
void driverConnectionString(const char* connectionString, const DriverRegistration& registration, char* target,
                            int capacity);
