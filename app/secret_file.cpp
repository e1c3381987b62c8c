#include "app/secret_file.h"

#include <sys/stat.h>

#include "app/debug_log.h"

void warnIfSecretFileIsShared(int fd, const char* kind, const char* fileName) {
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) return;
    const unsigned mode = static_cast<unsigned>(st.st_mode) & 07777u;
    if ((mode & (S_IRGRP | S_IROTH)) == 0) return;
    logDebugf(
        "**WRN** %s [%s] holds a password and can be read by other users (mode %04o); "
        "make it readable by its owner only",
        kind ? kind : "file", fileName ? fileName : "", mode);
}
