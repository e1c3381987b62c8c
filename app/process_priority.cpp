#include "app/process_priority.h"

#include <cerrno>
#include <cstdio>
#include <sys/resource.h>

#include "app/debug_log.h"
#include "app/message_box.h"
#include "app/settings.h"

namespace {

class RealPriority final : public PrioritySystem {
public:
    bool currentNice(int* nice, int* error) override {
        errno = 0;
        const int value = ::getpriority(PRIO_PROCESS, 0);
        if (value == -1 && errno != 0) {
            *error = errno;
            return false;
        }
        *nice = value;
        return true;
    }
    bool setNice(int nice, int* error) override {
        if (::setpriority(PRIO_PROCESS, 0, nice) == 0) return true;
        *error = errno;
        return false;
    }
    bool niceLimit(unsigned long long* limit) override {
        struct rlimit rl {};
        if (::getrlimit(RLIMIT_NICE, &rl) != 0 || rl.rlim_cur == RLIM_INFINITY) return false;
        *limit = rl.rlim_cur;
        return true;
    }
};

// The lowest nice value an unprivileged process may set: 20 - RLIMIT_NICE.
int lowestPermittedNice(PrioritySystem& system) {
    unsigned long long limit = 0;
    if (!system.niceLimit(&limit)) return -20;
    if (limit > 40) limit = 40;
    return 20 - static_cast<int>(limit);
}

void logCompleted() {
    logDebugf("**DEB** SetPriorityClass(HIGH_PRIORITY_CLASS) completed");
}

void writeFailure(int error, bool showBox) {
    char text[128];
    std::snprintf(text, sizeof text, "**WRN** SetPriorityClass(HIGH_PRIORITY_CLASS) error = [%d, %X]\n", error,
                  static_cast<unsigned>(error));
    writeDebugLog(text);
    if (showBox) showMessage(text);
}

}  // namespace

namespace {
RealPriority g_realPriority;
PrioritySystem* g_prioritySystem = &g_realPriority;
}  // namespace

PrioritySystem& systemPriority() {
    return *g_prioritySystem;
}

void setPrioritySystem(PrioritySystem* system) {
    g_prioritySystem = system ? system : &g_realPriority;
}

PriorityResult raiseProcessPriority(PrioritySystem& system) {
    int nice = 0;
    int error = 0;
    if (!system.currentNice(&nice, &error)) {
        writeFailure(error, true);
        return PriorityResult::Failed;
    }
    if (nice <= kHighPriorityNice) {
        logCompleted();
        return PriorityResult::Raised;
    }
    if (system.setNice(kHighPriorityNice, &error)) {
        logCompleted();
        return PriorityResult::Raised;
    }
    if (error != EPERM && error != EACCES) {
        writeFailure(error, true);
        return PriorityResult::Failed;
    }
    // Not privileged: go as far as the user's limit allows.
    const int lowest = lowestPermittedNice(system);
    if (lowest >= nice) {
        writeFailure(error, false);
        return PriorityResult::NotPermitted;
    }
    const int target = lowest > kHighPriorityNice ? lowest : kHighPriorityNice;
    int partialError = 0;
    if (!system.setNice(target, &partialError)) {
        writeFailure(partialError, true);
        return PriorityResult::Failed;
    }
    logCompleted();
    return PriorityResult::RaisedPartly;
}
