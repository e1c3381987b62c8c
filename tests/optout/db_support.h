// The loopback MariaDB the database tests run against: its address from the
// QUENDRA_TEST_MYSQL_* variables, a side connection to set up tables, and a
// private server that a test may stop.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

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

// A TCP relay on 127.0.0.1 in front of the server: the database seen
// through it goes away, connections and listening port alike, when the
// relay is stopped, as when the server itself is shut down.
class TcpRelay {
public:
    explicit TcpRelay(int targetPort);
    ~TcpRelay();
    bool ok() const { return listener_ >= 0; }
    int port() const { return port_; }
    void stop();

private:
    void acceptLoop();
    void relay(int client, int server);

    int targetPort_;
    int listener_ = -1;
    int port_ = 0;
    int wake_[2] = {-1, -1};  // written to end every loop
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::vector<std::thread> threads_;
    std::vector<int> sockets_;
};

// Sets the opt-out settings to reach server with the given dbtype.
void useServer(const MysqlServer& server, const char* dbtype, const char* table);

}  // namespace optout_test
