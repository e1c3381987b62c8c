// How long Do-Not-Call screening of one dial request takes: the search
// number, the statement, the connection check and the indexed lookup, on a
// table of 1,000,000 numbers in the loopback MariaDB. Also times the bare
// lookup and the whole Dial request with the call and agent mode faked.
// Goal: screening under 1 ms median.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "app/control_ids.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/settings.h"
#include "optout/dial_numbers.h"
#include "optout/dial_request.h"
#include "optout/dnc_database.h"

namespace {

constexpr long kRows = 1000000;
constexpr int kWarmUp = 500;
constexpr int kSamples = 20000;
const char* const kTable = "dnc_bench";

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

// A connection of the benchmark's own to fill the table.
class Filler {
public:
    explicit Filler(const std::string& connectionString) {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
        SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
        ok_ = SQL_SUCCEEDED(SQLDriverConnect(
            dbc_, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(connectionString.c_str())), SQL_NTS,
            nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT));
    }
    ~Filler() {
        if (ok_) SQLDisconnect(dbc_);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
        SQLFreeHandle(SQL_HANDLE_ENV, env_);
    }
    bool ok() const { return ok_; }
    bool exec(const std::string& sql) {
        SQLHSTMT st;
        SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &st);
        SQLRETURN rc = SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
        SQLFreeHandle(SQL_HANDLE_STMT, st);
        return SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA;
    }
    long long number(const std::string& sql) {
        SQLHSTMT st;
        SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &st);
        long long value = -1;
        if (SQL_SUCCEEDED(
                SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS)) &&
            SQL_SUCCEEDED(SQLFetch(st))) {
            SQLBIGINT v = 0;
            SQLLEN ind = 0;
            if (SQL_SUCCEEDED(SQLGetData(st, 1, SQL_C_SBIGINT, &v, sizeof v, &ind))) value = v;
        }
        SQLFreeHandle(SQL_HANDLE_STMT, st);
        return value;
    }

private:
    SQLHENV env_ = SQL_NULL_HENV;
    SQLHDBC dbc_ = SQL_NULL_HDBC;
    bool ok_ = false;
};

bool fillTable(Filler& db) {
    if (db.number(std::string("SELECT COUNT(*) FROM ") + kTable) == kRows) return true;
    std::printf("filling %s with %ld numbers...\n", kTable, kRows);
    std::fflush(stdout);
    const std::string create = std::string("CREATE TABLE ") + kTable +
                               " (id INT AUTO_INCREMENT PRIMARY KEY, dnc_phone VARCHAR(32) NOT NULL, "
                               "INDEX (dnc_phone))";
    // Numbers 5550000000 + n, every second one from 0 up: odd ones are free.
    const std::string insert = std::string("INSERT INTO ") + kTable +
                               " (dnc_phone) SELECT CONCAT('555', LPAD(seq * 2, 7, '0')) FROM seq_0_to_" +
                               std::to_string(kRows - 1);
    return db.exec(std::string("DROP TABLE IF EXISTS ") + kTable) && db.exec(create) && db.exec(insert) &&
           db.number(std::string("SELECT COUNT(*) FROM ") + kTable) == kRows;
}

struct Figures {
    double median, p90, p99, max;
};

template <typename F>
Figures measure(F&& once) {
    for (int i = 0; i < kWarmUp; ++i) once(i);
    std::vector<double> ms(kSamples);
    for (int i = 0; i < kSamples; ++i) {
        const auto start = std::chrono::steady_clock::now();
        once(i);
        ms[static_cast<size_t>(i)] =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    }
    std::sort(ms.begin(), ms.end());
    auto at = [&](double q) { return ms[static_cast<size_t>(q * (kSamples - 1))]; };
    return {at(0.5), at(0.9), at(0.99), ms.back()};
}

void report(const char* name, const Figures& f) {
    std::printf("%-40s median %.3f ms  p90 %.3f ms  p99 %.3f ms  max %.3f ms\n", name, f.median, f.p90, f.p99,
                f.max);
}

// Typed numbers with the screening prefix and a PSTN code in front; even
// ones are in the table, odd ones are not.
std::vector<std::string> typedNumbers(bool blocked) {
    std::mt19937 random(blocked ? 1 : 2);
    std::uniform_int_distribution<long> pick(0, kRows - 1);
    std::vector<std::string> numbers;
    for (int i = 0; i < 1024; ++i) {
        char text[32];
        std::snprintf(text, sizeof text, "91357555%07ld", pick(random) * 2 + (blocked ? 0 : 1));
        numbers.push_back(text);
    }
    return numbers;
}

// Search number, statement, connection check and lookup, as a dial does.
int screenOnce(const std::string& typed) {
    char search[kSearchNumberMax + 1];
    buildSearchNumber(typed.c_str(), search, sizeof search);
    char statement[kStatementMax + 1];
    buildDncStatement(g_settings.dbdnctable, search, statement, sizeof statement);
    char query[kStatementMax + 1];
    buildDncQuery(g_settings.dbdnctable, query, sizeof query);
    if (!dbConnectionOpen() && dbOpenConnection(g_optOutConnString) != DB_SUCCESS) return DB_LOOKUP_FAILED;
    return dbSearchRecord(query, search);
}

class BenchWindow : public MainWindow {
public:
    void enableControl(int, bool) override {}
    bool isControlEnabled(int id) const override { return id == IDC_BUT_LOGOUT; }
    void showControl(int, bool) override {}
    bool isControlVisible(int) const override { return true; }
    void setControlText(int, const char*) override {}
    int controlText(int, char* buffer, int maxChars) const override {
        return copyText(buffer, maxChars + 1, number.c_str());
    }
    void setButtonFace(int, int) override {}
    int buttonFace(int) const override { return 0; }
    void setSliderPosition(int, int) override {}
    int sliderPosition(int) const override { return 0; }
    void setReasonSelection(int) override {}
    int reasonSelection() const override { return 0; }
    void focusControl(int) override {}
    bool startTimer(int, int) override { return true; }
    void stopTimer(int) override {}
    int windowTitle(char* buffer, int capacity) const override { return copyText(buffer, capacity, "Quendra"); }
    void setWindowTitle(const char*) override {}
    void bringToFront() override {}
    void closeWindow() override {}
    std::string number;
};

class SilentBoxes : public MessageBoxes {
public:
    int show(const char*, BoxButtons, BoxIcon, int defaultAnswer) override { return defaultAnswer; }
};

}  // namespace

int main() {
    const std::string host = env("QUENDRA_TEST_MYSQL_HOST"), port = env("QUENDRA_TEST_MYSQL_PORT"),
                      user = env("QUENDRA_TEST_MYSQL_USER"), password = env("QUENDRA_TEST_MYSQL_PASSWORD"),
                      database = env("QUENDRA_TEST_MYSQL_DATABASE");
    if (host.empty() || port.empty() || user.empty() || database.empty()) {
        std::printf(
            "bench_optout_screening: skipped (QUENDRA_TEST_MYSQL_* not set; run "
            "scripts/test-services.sh start and source build-services.env)\n");
        return 0;
    }

    copyText(g_settings.dbtype, "mysql3.51");
    copyText(g_settings.dbhost, host.c_str());
    g_settings.dbmysqlPort = std::atoi(port.c_str());
    copyText(g_settings.dbserver, database.c_str());
    copyText(g_settings.dbusername, user.c_str());
    copyText(g_settings.dbpassword, password.c_str());
    copyText(g_settings.dbdnctable, kTable);
    copyText(g_settings.removeDNCprefix, "9");
    g_settings.maxlength = 10;

    char connectionString[512];
    buildOptOutConnString(connectionString, sizeof connectionString);
    {
        Filler filler(std::string(connectionString) + ";CONN_TIMEOUT=10");
        if (!filler.ok() || !fillTable(filler)) {
            std::fprintf(stderr, "bench_optout_screening: could not prepare %s\n", kTable);
            return 1;
        }
    }

    g_dncEnabled = 1;
    optOutStartUp();
    if (g_dncEnabled != 1) {
        std::fprintf(stderr, "bench_optout_screening: start-up did not connect\n");
        return 1;
    }

    const auto blocked = typedNumbers(true);
    const auto allowed = typedNumbers(false);
    for (const auto& n : blocked)
        if (screenOnce(n) != DB_FOUND) return std::fprintf(stderr, "%s not found\n", n.c_str()), 1;
    for (const auto& n : allowed)
        if (screenOnce(n) != DB_NOT_FOUND) return std::fprintf(stderr, "%s found\n", n.c_str()), 1;

    std::printf("table %s: %ld numbers, indexed; %d samples each\n", kTable, kRows, kSamples);
    const Figures found = measure([&](int i) { screenOnce(blocked[static_cast<size_t>(i) % blocked.size()]); });
    report("screening, number in the table", found);
    const Figures notFound = measure([&](int i) { screenOnce(allowed[static_cast<size_t>(i) % allowed.size()]); });
    report("screening, number not in the table", notFound);

    char query[kStatementMax + 1];
    buildDncQuery(kTable, query, sizeof query);
    report("bare lookup (dbSearchRecord)", measure([&](int i) {
               dbSearchRecord(query, allowed[static_cast<size_t>(i) % allowed.size()].c_str() + 5);
           }));

    BenchWindow window;
    SilentBoxes boxes;
    setMessageBoxes(&boxes);
    int activeCallNo = -1;
    const DialServices services{dbConnectionOpen,
                                dbOpenConnection,
                                [](const char* s, const char* p) { return dbSearchRecord(s, p); },
                                [](const char*, const char*) { return 1; },
                                [](const char*) { return 0; },
                                &activeCallNo};
    report("whole Dial request, not in the table", measure([&](int i) {
               window.number = allowed[static_cast<size_t>(i) % allowed.size()];
               runDialRequest(window, services);
           }));
    setMessageBoxes(nullptr);
    dbUnInitialize();

    const bool met = found.median < 1.0 && notFound.median < 1.0;
    std::printf("goal (screening under 1 ms median): %s\n", met ? "met" : "NOT met");
    return met ? 0 : 2;
}
