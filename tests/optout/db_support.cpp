#include "db_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "app/settings.h"

namespace optout_test {

namespace {

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
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
    return std::string("DRIVER={") + driverName + "};SERVER=" + host + ";PORT=" + port + ";DATABASE=" + database +
           ";USER=" + user + ";PASSWORD=" + password + ";OPTION=3" + extra;
}

SideConnection::SideConnection(const MysqlServer& server) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment_);
    SQLSetEnvAttr(environment_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, environment_, &connection_);
    const std::string s = server.connectionString("MySQL ODBC 3.51 Driver", ";CONN_TIMEOUT=10");
    SQLRETURN rc = SQLDriverConnect(connection_, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str())),
                                    SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
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

TcpRelay::TcpRelay(int targetPort) : targetPort_(targetPort) {
    if (pipe(wake_) != 0) return;
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener_, 8) != 0) {
        close(listener_);
        listener_ = -1;
        return;
    }
    socklen_t length = sizeof a;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length);
    port_ = ntohs(a.sin_port);
    threads_.emplace_back([this] { acceptLoop(); });
}

void TcpRelay::acceptLoop() {
    while (!stopping_) {
        pollfd fds[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 || fds[1].revents != 0) return;
        const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        const int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(targetPort_));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            close(client);
            close(server);
            continue;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        sockets_.push_back(client);
        sockets_.push_back(server);
        threads_.emplace_back([this, client, server] { relay(client, server); });
    }
}

void TcpRelay::relay(int client, int server) {
    char buffer[16384];
    while (!stopping_) {
        pollfd fds[3] = {{client, POLLIN, 0}, {server, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (poll(fds, 3, -1) < 0 || fds[2].revents != 0) return;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].revents == 0) continue;
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0) return;
            const int to = i == 0 ? server : client;
            for (ssize_t sent = 0; sent < n;) {
                const ssize_t w = send(to, buffer + sent, static_cast<size_t>(n - sent), MSG_NOSIGNAL);
                if (w <= 0) return;
                sent += w;
            }
        }
    }
}

void TcpRelay::stop() {
    if (stopping_.exchange(true)) return;
    if (wake_[1] >= 0 && write(wake_[1], "x", 1) != 1) std::fprintf(stderr, "relay wake failed\n");
    // The accept loop may add a relay until it has seen the stop.
    for (;;) {
        std::vector<std::thread> threads;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            threads.swap(threads_);
        }
        if (threads.empty()) break;
        for (auto& t : threads) t.join();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    for (int fd : sockets_) {
        shutdown(fd, SHUT_RDWR);
        close(fd);
    }
    sockets_.clear();
    if (listener_ >= 0) close(listener_);
    listener_ = -1;
}

TcpRelay::~TcpRelay() {
    stop();
    for (int fd : wake_)
        if (fd >= 0) close(fd);
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
