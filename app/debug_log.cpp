#include "app/debug_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include "app/settings.h"

namespace {

LogClock& logClock() {
    static LogClock clock = [] { return std::time(nullptr); };
    return clock;
}

std::tm localNow() {
    std::time_t now = logClock()();
    std::tm tm{};
    localtime_r(&now, &tm);
    return tm;
}

void formatTimeStamp(char* buffer, const std::tm& tm) {
    auto two = [](int v) { return static_cast<unsigned>(v) % 100u; };
    std::snprintf(buffer, 20, "%04u-%02u-%02u %02u:%02u:%02u", static_cast<unsigned>(tm.tm_year + 1900) % 10000u,
                  two(tm.tm_mon + 1), two(tm.tm_mday), two(tm.tm_hour), two(tm.tm_min), two(tm.tm_sec));
}

constexpr int kLineCapacity = 8192;

}  // namespace

void setDebugLogClock(LogClock clock) {
    logClock() = clock ? std::move(clock) : LogClock([] { return std::time(nullptr); });
}

void debugLogFileName(char* buffer, int capacity, const std::tm& tm) {
    char date[7];
    auto two = [](int v) { return static_cast<unsigned>(v) % 100u; };
    std::snprintf(date, sizeof date, "%02u%02u%02u", two(tm.tm_year), two(tm.tm_mon + 1), two(tm.tm_mday));
    std::snprintf(buffer, capacity, "%sQuendra%s-20%c%c%c%c%c%c.log", g_settings.debugLogDir, g_settings.user,
                  date[0], date[1], date[2], date[3], date[4], date[5]);
}

void getTimeStamp(char* buffer) {
    formatTimeStamp(buffer, localNow());
}

int writeDebugLog(const char* text) {
    // One clock reading serves both the file name and the stamp, so a line
    // never lands in a file whose date differs from its own stamp.
    const std::tm tm = localNow();
    char fileName[512];
    debugLogFileName(fileName, sizeof fileName, tm);

    // The log echoes passwords: a new file is for its owner alone. A file
    // that exists keeps the mode it has.
    int fd = ::open(fileName, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return 0;

    // Stamp, blank, text and line break go out in one append, so a line is
    // never split by a line another thread writes at the same moment, and a
    // long text is written whole.
    char stamp[21];
    formatTimeStamp(stamp, tm);
    stamp[19] = ' ';
    stamp[20] = '\0';
    const char* body = text ? text : "";
    char newline[] = "\n";
    struct iovec parts[3] = {{stamp, 20}, {const_cast<char*>(body), std::strlen(body)}, {newline, 1}};
    const ssize_t expected = static_cast<ssize_t>(20 + parts[1].iov_len + 1);
    const ssize_t written = ::writev(fd, parts, 3);
    ::close(fd);
    return written == expected ? 1 : 0;
}

int writeDebugLogf(const char* format, ...) {
    char text[kLineCapacity];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return writeDebugLog(text);
}

void logDebugf(const char* format, ...) {
    if (!g_settings.debug) return;
    char text[kLineCapacity];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    writeDebugLog(text);
}
