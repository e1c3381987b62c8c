// Do-Not-Call database access over ODBC. Runs on the window's thread.
#pragma once

// Builds the connection string, opens the database and decides whether
// screening is in force; on success the window title names the opt-out file.
void optOutStartUp();
int dbInitialize();
// 1 open, 0 failure.
int dbOpenConnection(const char* connectionString);
// Whether a connection exists and is open.
bool dbConnectionOpen();
// 1 a row found, 0 none, -1 the search failed.
int dbSearchRecord(const char* statement);
void dbUnInitialize();
