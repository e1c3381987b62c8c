// The loopback MariaDB the database tests run against: its address from the
// QUENDRA_TEST_MYSQL_* variables, a side connection to set up tables, and a
// private server that a test may stop.
#pragma once

#include <string>

#include <sql.h>
#include <sqlext.h>

namespace optout_test {

struct MysqlServer {
    std::string host, port, user, password, database;
    // From the environment; false when the variables are absent.
    bool loadFromEnvironment();
    // The connection string of the given dbtype form, as start-up builds it.
    std::string connectionString(const char* driverName, const char* extra = "") const;
};

// Its own ODBC connection, apart from the layer under test.
class SideConnection {
public:
    explicit SideConnection(const MysqlServer& server);
    ~SideConnection();
    bool ok() const { return connection_ != SQL_NULL_HDBC; }
    // Runs a statement; false on failure.
    bool exec(const std::string& sql);
    // First column of the first row as a number, -1 on failure.
    long long queryNumber(const std::string& sql);
    // A table with an indexed dnc_phone column and the given numbers.
    bool createDncTable(const std::string& table, std::initializer_list<const char*> numbers);

private:
    SQLHENV environment_ = SQL_NULL_HENV;
    SQLHDBC connection_ = SQL_NULL_HDBC;
};

// A second MariaDB of the test's own, started with the same service script.
class PrivateServer {
public:
    PrivateServer();
    ~PrivateServer();
    bool started() const { return started_; }
    const MysqlServer& server() const { return server_; }
    void stop();

private:
    std::string state_;
    std::string envFile_;
    MysqlServer server_;
    bool started_ = false;
};

// Sets the opt-out settings to reach server with the given dbtype.
void useServer(const MysqlServer& server, const char* dbtype, const char* table);

}  // namespace optout_test
