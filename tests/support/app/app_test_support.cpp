#include "tests/support/app/app_test_support.h"

#include "app/call_globals.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "app/debug_log.h"
#include "app/settings.h"

std::time_t utcTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    return timegm(&tm);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::vector<std::string> listFiles(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
                names.emplace_back(entry->d_name);
            }
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> logTexts(const std::string& path) {
    std::vector<std::string> texts;
    std::istringstream in(readFile(path));
    std::string line;
    while (std::getline(in, line)) {
        texts.push_back(line.size() >= 20 ? line.substr(20) : line);
    }
    return texts;
}

namespace {

void removeTree(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return;
    if (S_ISDIR(st.st_mode)) {
        ::chmod(path.c_str(), 0700);
        for (const std::string& name : listFiles(path)) removeTree(path + "/" + name);
        ::rmdir(path.c_str());
    } else {
        ::unlink(path.c_str());
    }
}

}  // namespace

void AppTest::SetUp() {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    m_previousFolder = cwd;
    char pattern[] = "/tmp/quendra-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    m_folder = pattern;
    ASSERT_EQ(::chdir(m_folder.c_str()), 0);

    g_settings = defaultSettings();
    resetStartupDefaults();
    initReasonNames();
    m_now = utcTime(2008, 12, 31, 10, 20, 30);
    setDebugLogClock([this] { return m_now; });
}

void AppTest::TearDown() {
    setDebugLogClock(nullptr);
    if (!m_previousFolder.empty()) {
        EXPECT_EQ(::chdir(m_previousFolder.c_str()), 0);
    }
    if (!m_folder.empty()) removeTree(m_folder);
}

std::string AppTest::logName() const {
    return std::string(g_settings.debugLogDir) + "Quendra" + g_settings.user + "-20081231.log";
}

void resetCallGlobals() {
    g_activeCallNo = -1;
    g_activeCallType = CALLTYPE_NONE;
    g_ringToneId = -1;
    g_registrationId = -1;
}
