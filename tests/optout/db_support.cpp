#include "db_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "settings.h"

namespace optout_test {

namespace {

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::string shellQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace

bool MysqlServer::loadFromEnvironment() {
    host = env("QUENDRA_TEST_MYSQL_HOST");
    port = env("QUENDRA_TEST_MYSQL_PORT");
    user = env("QUENDRA_TEST_MYSQL_USER");
    password = env("QUENDRA_TEST_MYSQL_PASSWORD");
    database = env("QUENDRA_TEST_MYSQL_DATABASE");
    return !host.empty() && !port.empty() && !user.empty() && !database.empty();
}

std::string MysqlServer::connectionString(const char* driverName, const char* extra) const {
    return std::string("DRIVER={") + driverName + "};SERVER=" + host + ";PORT=" + port +
           ";DATABASE=" + database + ";USER=" + user + ";PASSWORD=" + password + ";OPTION=3" + extra;
}

SideConnection::SideConnection(const MysqlServer& server) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment_);
    SQLSetEnvAttr(environment_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, environment_, &connection_);
    const std::string s = server.connectionString("MySQL ODBC 3.51 Driver", ";CONN_TIMEOUT=10");
    SQLRETURN rc = SQLDriverConnect(connection_, nullptr,
                                    reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str())), SQL_NTS,
                                    nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
        SQLFreeHandle(SQL_HANDLE_DBC, connection_);
        connection_ = SQL_NULL_HDBC;
    }
}

SideConnection::~SideConnection() {
    if (connection_ != SQL_NULL_HDBC) {
        SQLDisconnect(connection_);
        SQLFreeHandle(SQL_HANDLE_DBC, connection_);
    }
    if (environment_ != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, environment_);
}

bool SideConnection::exec(const std::string& sql) {
    if (!ok()) return false;
    SQLHSTMT st = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, connection_, &st);
    SQLRETURN rc = SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    return SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA;
}

long long SideConnection::queryNumber(const std::string& sql) {
    if (!ok()) return -1;
    SQLHSTMT st = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, connection_, &st);
    long long value = -1;
    SQLRETURN rc = SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
    if (SQL_SUCCEEDED(rc) && SQL_SUCCEEDED(SQLFetch(st))) {
        SQLBIGINT v = 0;
        SQLLEN indicator = 0;
        if (SQL_SUCCEEDED(SQLGetData(st, 1, SQL_C_SBIGINT, &v, sizeof v, &indicator))) value = v;
    }
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    return value;
}

bool SideConnection::createDncTable(const std::string& table, std::initializer_list<const char*> numbers) {
    bool ok = exec("DROP TABLE IF EXISTS " + table) &&
              exec("CREATE TABLE " + table +
                   " (id INT AUTO_INCREMENT PRIMARY KEY, dnc_phone VARCHAR(32) NOT NULL, "
                   "INDEX (dnc_phone))");
    for (const char* n : numbers) ok = ok && exec("INSERT INTO " + table + " (dnc_phone) VALUES ('" + n + "')");
    return ok;
}

PrivateServer::PrivateServer() {
    char pattern[] = "/tmp/quendra-private-db-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made == nullptr) return;
    state_ = made;
    envFile_ = state_ + "/env";
    const std::string script = std::string(QUENDRA_SOURCE_DIR) + "/scripts/services.d/mariadb.sh";
    const std::string cmd = "bash " + shellQuote(script) + " start " + shellQuote(state_) + " " +
                            shellQuote(envFile_) + " > " + shellQuote(state_ + "/start.log") + " 2>&1";
    if (std::system(cmd.c_str()) != 0) return;
    std::ifstream in(envFile_);
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (line.rfind("export ", 0) != 0 || eq == std::string::npos) continue;
        const std::string key = line.substr(7, eq - 7), value = line.substr(eq + 1);
        if (key == "QUENDRA_TEST_MYSQL_HOST") server_.host = value;
        if (key == "QUENDRA_TEST_MYSQL_PORT") server_.port = value;
        if (key == "QUENDRA_TEST_MYSQL_USER") server_.user = value;
        if (key == "QUENDRA_TEST_MYSQL_PASSWORD") server_.password = value;
        if (key == "QUENDRA_TEST_MYSQL_DATABASE") server_.database = value;
    }
    started_ = !server_.port.empty();
}

void PrivateServer::stop() {
    if (state_.empty()) return;
    const std::string script = std::string(QUENDRA_SOURCE_DIR) + "/scripts/services.d/mariadb.sh";
    const std::string cmd = "bash " + shellQuote(script) + " stop " + shellQuote(state_) + " " +
                            shellQuote(envFile_) + " > /dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "private server did not stop cleanly\n");
    started_ = false;
}

PrivateServer::~PrivateServer() {
    stop();
    if (!state_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(state_, ignored);
    }
}

void useServer(const MysqlServer& server, const char* dbtype, const char* table) {
    copyText(g_settings.dbtype, dbtype);
    copyText(g_settings.dbhost, server.host.c_str());
    g_settings.dbmysqlPort = std::atoi(server.port.c_str());
    copyText(g_settings.dbserver, server.database.c_str());
    copyText(g_settings.dbusername, server.user.c_str());
    copyText(g_settings.dbpassword, server.password.c_str());
    copyText(g_settings.dbdnctable, table);
}

}  // namespace optout_test
