// Temporary: lets the window link until the opt-out reader and the
// database layer arrive. Screening stays off.
#include "dnc_database.h"
#include "optout_file.h"
#include "dial_request.h"

int readOptOutParameters(const char*) { return 0; }
void optOutStartUp() {}
int dbInitialize() { return 0; }
int dbOpenConnection(const char*) { return 0; }
bool dbConnectionOpen() { return false; }
int dbSearchRecord(const char*) { return -1; }
void dbUnInitialize() {}
void OnBnClickedButDial() {}
