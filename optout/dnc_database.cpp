// The Do-Not-Call database: environment, connection, lookup and shutdown.
#include "optout/dnc_database.h"

#include <cstring>

#include "app/debug_log.h"
#include "app/settings.h"
#include "optout/dnc_connection.h"

namespace {

SQLHENV l_environment = SQL_NULL_HENV;
DbConnection* l_pConnection = nullptr;
SQLHSTMT l_pRecordset = SQL_NULL_HSTMT;

constexpr int kDriverStringCapacity = 640;

void closeRecordset() {
    if (l_pRecordset == SQL_NULL_HSTMT) return;
    SQLFreeStmt(l_pRecordset, SQL_CLOSE);
    SQLFreeHandle(SQL_HANDLE_STMT, l_pRecordset);
    l_pRecordset = SQL_NULL_HSTMT;
}

void releaseConnection() {
    closeRecordset();
    if (l_pConnection == nullptr) return;
    if (l_pConnection->open) SQLDisconnect(l_pConnection->handle);
    if (l_pConnection->handle != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, l_pConnection->handle);
    delete l_pConnection;
    l_pConnection = nullptr;
}

// What the driver manager has registered for the driver that
// connectionString names; empty when the name is not registered.
DriverRegistration registrationOf(const char* connectionString) {
    DriverRegistration registration;
    char name[256];
    if (!connectionStringDriver(connectionString, name, sizeof name)) return registration;
    if (std::strchr(name, '/') != nullptr) {  // a library path given directly
        copyText(registration.library, name);
        return registration;
    }
    SQLCHAR description[256];
    SQLCHAR attributes[2048];
    SQLSMALLINT descriptionLength = 0;
    SQLSMALLINT attributesLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (SQL_SUCCEEDED(SQLDrivers(l_environment, direction, description, sizeof description, &descriptionLength,
                                    attributes, sizeof attributes - 1, &attributesLength))) {
        direction = SQL_FETCH_NEXT;
        if (std::strcmp(reinterpret_cast<char*>(description), name) != 0) continue;
        // Attributes come as "key=value" texts, each ended by a NUL, the list
        // by an empty one.
        attributes[sizeof attributes - 1] = '\0';
        const char* a = reinterpret_cast<const char*>(attributes);
        const char* end = a + sizeof attributes - 1;
        while (a < end && *a != '\0') {
            addDriverAttribute(&registration, a);
            a += strnlen(a, static_cast<size_t>(end - a)) + 1;
        }
        break;
    }
    return registration;
}

// An integer attribute value (a timeout) as SQLSetConnectAttr and
// SQLSetStmtAttr take it: in their pointer argument.
SQLPOINTER odbcInteger(SQLULEN v) {
    return reinterpret_cast<SQLPOINTER>(v);  // NOLINT(performance-no-int-to-ptr): the ODBC API requires it
}

}  // namespace

int dbInitialize() {
    if (l_environment != SQL_NULL_HENV) return DB_SUCCESS;
    SQLHENV environment = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment)) ||
        !SQL_SUCCEEDED(
            SQLSetEnvAttr(environment, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0))) {
        if (environment != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, environment);
        logDebugf("**ERR** dbInitialize()->CoInitialize(NULL) failed");
        return DB_FAILURE;
    }
    l_environment = environment;
    return DB_SUCCESS;
}

int dbOpenConnection(const char* connectionString) {
    if (connectionString == nullptr) connectionString = "";
    logDebugf("**DEB** dbOpenConnection()-> before creating connection instance using OLE DB syntax...");
    releaseConnection();

    DbError error;
    if (l_environment == SQL_NULL_HENV) {
        dbMakeError(&error, "dbOpenConnection", "the ODBC environment is not initialised");
        dbPrintErr(nullptr, error);
        return DB_FAILURE;
    }
    SQLHDBC handle = SQL_NULL_HDBC;
    SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_DBC, l_environment, &handle);
    if (!SQL_SUCCEEDED(rc)) {
        dbCaptureError(SQL_HANDLE_ENV, l_environment, rc, &error, nullptr);
        dbPrintErr(nullptr, error);
        return DB_FAILURE;
    }
    l_pConnection = new DbConnection;
    l_pConnection->handle = handle;
    logDebugf("**DEB** dbOpenConnection()-> l_pConnection.CreateInstance() succeeded");

    rc = SQLSetConnectAttr(handle, SQL_ATTR_LOGIN_TIMEOUT,
                           odbcInteger(static_cast<SQLULEN>(kDbLoginTimeoutSeconds)), 0);
    if (!SQL_SUCCEEDED(rc)) {
        dbCaptureError(SQL_HANDLE_DBC, handle, rc, &error, l_pConnection);
        dbPrintErr(l_pConnection, error);
        return DB_FAILURE;
    }
    SQLUINTEGER timeout = kDbLoginTimeoutSeconds;
    if (!SQL_SUCCEEDED(SQLGetConnectAttr(handle, SQL_ATTR_LOGIN_TIMEOUT, &timeout, 0, nullptr)))
        timeout = kDbLoginTimeoutSeconds;
    logDebugf("**DEB** dbOpenConnection()-> Open(connString,timeout)=[%s,%d]", connectionString,
              static_cast<int>(timeout));

    const DriverRegistration registration = registrationOf(connectionString);
    char driverString[kDriverStringCapacity];
    driverConnectionString(connectionString, registration, driverString, sizeof driverString);

    rc = SQLDriverConnect(handle, nullptr, reinterpret_cast<SQLCHAR*>(driverString), SQL_NTS, nullptr, 0, nullptr,
                          SQL_DRIVER_NOPROMPT);
    if (SQL_SUCCEEDED(rc)) {
        l_pConnection->open = true;
        logDebugf("**DEB** dbOpenConnection()-> Open()->State = adStateOpen");
        return DB_SUCCESS;
    }
    if (rc == SQL_NO_DATA) {
        logDebugf("**ERR** dbOpenConnection()-> Open()->State Not = adStateOpen");
        return DB_FAILURE;
    }
    dbCaptureError(SQL_HANDLE_DBC, handle, rc, &error, l_pConnection);
    dbPrintErr(l_pConnection, error);
    return DB_FAILURE;
}

bool dbConnectionOpen() {
    if (l_pConnection == nullptr || !l_pConnection->open) return false;
    SQLUINTEGER dead = SQL_CD_FALSE;
    SQLRETURN rc = SQLGetConnectAttr(l_pConnection->handle, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr);
    if (SQL_SUCCEEDED(rc) && dead == SQL_CD_TRUE) {
        SQLDisconnect(l_pConnection->handle);
        l_pConnection->open = false;
        return false;
    }
    return true;
}

int dbSearchRecord(const char* statement, const char* parameter) {
    if (statement == nullptr || statement[0] == '\0') {
        logDebugf("**WRN** dbSearchRecord()-> empty inputted comand string");
        return DB_LOOKUP_FAILED;
    }
    if (l_pConnection == nullptr || !l_pConnection->open) {
        logDebugf("**WRN** dbSearchRecord()-> pConnection not = adStateOpen");
        return DB_LOOKUP_FAILED;
    }
    closeRecordset();

    DbError error;
    SQLHSTMT statementHandle = SQL_NULL_HSTMT;
    SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, l_pConnection->handle, &statementHandle);
    if (!SQL_SUCCEEDED(rc)) {
        dbCaptureError(SQL_HANDLE_DBC, l_pConnection->handle, rc, &error, l_pConnection);
        dbPrintErr(l_pConnection, error);
        return DB_LOOKUP_FAILED;
    }
    l_pRecordset = statementHandle;

    // Drivers that bound the wait for a statement themselves take it here.
    SQLSetStmtAttr(statementHandle, SQL_ATTR_QUERY_TIMEOUT,
                   odbcInteger(static_cast<SQLULEN>(kDbCommandTimeoutSeconds)), 0);

    int result = DB_LOOKUP_FAILED;
    SQLLEN parameterLength = parameter ? static_cast<SQLLEN>(std::strlen(parameter)) : 0;
    if (parameter != nullptr) {
        // The number travels as data, never as part of the statement text.
        rc = SQLBindParameter(statementHandle, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR,
                              static_cast<SQLULEN>(parameterLength > 0 ? parameterLength : 1), 0,
                              const_cast<char*>(parameter), parameterLength, &parameterLength);
    }
    if (SQL_SUCCEEDED(rc) || parameter == nullptr) {
        rc = SQLExecDirect(statementHandle, reinterpret_cast<SQLCHAR*>(const_cast<char*>(statement)), SQL_NTS);
    }
    if (SQL_SUCCEEDED(rc)) {
        rc = SQLFetch(statementHandle);
        if (SQL_SUCCEEDED(rc))
            result = DB_FOUND;
        else if (rc == SQL_NO_DATA)
            result = DB_NOT_FOUND;
    }
    if (result == DB_LOOKUP_FAILED) {
        dbCaptureError(SQL_HANDLE_STMT, statementHandle, rc, &error, l_pConnection);
        dbPrintErr(l_pConnection, error);
    }
    closeRecordset();
    return result;
}

void dbUnInitialize() {
    closeRecordset();
    if (l_pConnection != nullptr) {
        logDebugf("**DEB** dbUnInitialize()->l_pConnection is not NULL");
        if (l_pConnection->open)
            logDebugf("**DEB** dbUnInitialize()->l_pConnection=adStateOpen; ->Close will be called");
        // Errors while closing are of no use at exit and are ignored.
        releaseConnection();
    }
    if (l_environment != SQL_NULL_HENV) {
        SQLFreeHandle(SQL_HANDLE_ENV, l_environment);
        l_environment = SQL_NULL_HENV;
    }
}

const DbConnection* dbCurrentConnection() {
    return l_pConnection;
}
