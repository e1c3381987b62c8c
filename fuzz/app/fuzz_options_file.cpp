// Feeds arbitrary bytes to the options-file reader as a file. The first byte
// chooses whether the debug switch is on, so the warning paths run too. The
// working folder is a removed temporary folder, so the log lines are
// formatted but cannot be written: nothing piles up on disk.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/options_file.h"
#include "app/settings.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/quendra-fuzz-XXXXXX";
    if (::mkdtemp(pattern) == nullptr || ::chdir(pattern) != 0 || ::rmdir(pattern) != 0) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    g_settings = defaultSettings();
    resetStartupDefaults();
    initReasonNames();
    g_settings.debug = size > 0 && (data[0] & 1);

    const int fd = ::memfd_create("options", MFD_CLOEXEC);
    if (fd < 0) return 0;
    size_t written = 0;
    while (written < size) {
        const ssize_t n = ::write(fd, data + written, size - written);
        if (n <= 0) break;
        written += static_cast<size_t>(n);
    }
    char name[64];
    std::snprintf(name, sizeof name, "/proc/self/fd/%d", fd);
    const int result = readIAX2Options(name);
    ::close(fd);
    if (result != 1) std::abort();

    // Every text must still end inside its buffer.
    const Settings& s = g_settings;
    if (::strnlen(s.host, sizeof s.host) == sizeof s.host || ::strnlen(s.user, sizeof s.user) == sizeof s.user ||
        ::strnlen(s.debugLogDir, sizeof s.debugLogDir) == sizeof s.debugLogDir ||
        ::strnlen(s.pstnAccessCode, sizeof s.pstnAccessCode) == sizeof s.pstnAccessCode ||
        ::strnlen(s.vmbxNumber, sizeof s.vmbxNumber) == sizeof s.vmbxNumber ||
        ::strnlen(s.audioCodecPreferred, sizeof s.audioCodecPreferred) == sizeof s.audioCodecPreferred) {
        std::abort();
    }
    for (const auto& reason : g_notReadyReasons) {
        if (::strnlen(reason, sizeof reason) == sizeof reason) std::abort();
    }
    return 0;
}
