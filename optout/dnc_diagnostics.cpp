// ODBC diagnostics turned into the layer's errors, and their trace lines.
#include <cstdio>
#include <cstring>

#include "app/debug_log.h"
#include "app/settings.h"
#include "optout/dnc_connection.h"

namespace {

struct StateClass {
    const char* prefix;
    const char* text;
};

// SQLSTATEs of ISO SQL and ODBC: the common ones in full, then classes;
// longer prefixes first.
constexpr StateClass kStateClasses[] = {
    {"08001", "client unable to establish connection"},
    {"08S01", "communication link failure"},
    {"42S02", "base table or view not found"},
    {"42S22", "column not found"},
    {"IM002", "data source name not found and no default driver specified"},
    {"HYT", "timeout expired"},
    {"01", "warning"},
    {"07", "dynamic SQL error"},
    {"08", "connection exception"},
    {"21", "cardinality violation"},
    {"22", "data exception"},
    {"23", "integrity constraint violation"},
    {"24", "invalid cursor state"},
    {"25", "invalid transaction state"},
    {"28", "invalid authorization specification"},
    {"34", "invalid cursor name"},
    {"3C", "duplicate cursor name"},
    {"3D", "invalid catalog name"},
    {"3F", "invalid schema name"},
    {"40", "transaction rollback"},
    {"42", "syntax error or access rule violation"},
    {"44", "WITH CHECK OPTION violation"},
    {"HY", "general error"},
    {"IM", "driver manager error"},
};

const char* returnCodeText(SQLRETURN rc) {
    switch (rc) {
        case SQL_ERROR:
            return "SQL_ERROR";
        case SQL_INVALID_HANDLE:
            return "SQL_INVALID_HANDLE";
        case SQL_NO_DATA:
            return "SQL_NO_DATA";
        case SQL_NEED_DATA:
            return "SQL_NEED_DATA";
        case SQL_STILL_EXECUTING:
            return "SQL_STILL_EXECUTING";
        default:
            return "unexpected result";
    }
}

// Splits "[vendor][component]text" into its bracketed origin and its text.
void splitOrigin(const char* text, DbError* error) {
    const char* p = text;
    while (*p == '[') {
        const char* close = std::strchr(p, ']');
        if (close == nullptr) break;
        p = close + 1;
    }
    const int originLength = static_cast<int>(p - text);
    const int sourceCapacity = static_cast<int>(sizeof error->source);
    copyText(error->source, originLength + 1 < sourceCapacity ? originLength + 1 : sourceCapacity, text);
    copyText(error->description, p);
}

}  // namespace

const char* sqlStateClassText(const char* sqlState) {
    if (sqlState == nullptr) return "unclassified condition";
    for (const StateClass& c : kStateClasses) {
        if (std::strncmp(sqlState, c.prefix, std::strlen(c.prefix)) == 0) return c.text;
    }
    return "unclassified condition";
}

void dbMakeError(DbError* error, const char* source, const char* description) {
    error->code = 0;
    copyText(error->message, "HY010 function sequence error");
    copyText(error->source, source);
    copyText(error->description, description);
}

void dbCaptureError(SQLSMALLINT handleType, SQLHANDLE handle, SQLRETURN rc, DbError* error,
                    DbConnection* connection) {
    *error = DbError{};
    error->code = rc;
    std::snprintf(error->message, sizeof error->message, "%s", returnCodeText(rc));
    if (connection != nullptr) connection->errorCount = 0;
    if (handle == SQL_NULL_HANDLE) return;

    SQLINTEGER records = 0;
    if (!SQL_SUCCEEDED(SQLGetDiagField(handleType, handle, 0, SQL_DIAG_NUMBER, &records, 0, nullptr))) records = 0;

    for (SQLSMALLINT i = 1; i <= records && i <= kDbErrorListCapacity; ++i) {
        SQLCHAR state[6] = "";
        SQLINTEGER native = 0;
        SQLCHAR text[1024] = "";
        SQLSMALLINT textLength = 0;
        SQLRETURN got = SQLGetDiagRec(handleType, handle, i, state, &native, text,
                                      static_cast<SQLSMALLINT>(sizeof text), &textLength);
        if (!SQL_SUCCEEDED(got)) break;
        const char* stateText = reinterpret_cast<const char*>(state);
        if (i == 1) {
            error->code = native;
            std::snprintf(error->message, sizeof error->message, "%s %s", stateText, sqlStateClassText(stateText));
            splitOrigin(reinterpret_cast<const char*>(text), error);
        }
        if (connection != nullptr) connection->errorNumbers[connection->errorCount++] = native;
    }
}

void dbPrintErr(const DbConnection* connection, const DbError& error) {
    if (connection != nullptr) {
        for (int i = 0; i < connection->errorCount && i < kDbErrorListCapacity; ++i) {
            logDebugf("**ERR** dbPrintErr(): pConnection [error cnt, error number]=[%d, %ld]", i,
                      connection->errorNumbers[i]);
        }
    }
    logDebugf("**ERR** dbPrintErr(): COM error [Code, Message] = [%ld, %s]", error.code, error.message);
    logDebugf("**ERR** dbPrintErr(): COM error Description [Source, Descrip] = [%s, %s]", error.source,
              error.description);
}
