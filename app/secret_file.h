// Files that hold a password (the options file with pass or acmPass, the
// opt-out file with dbpassword) should be readable by their owner alone.
#pragma once

// When the open file fd (named fileName, described as kind) can be read by
// its group or by others, logs one warning line that says so (debug on).
void warnIfSecretFileIsShared(int fd, const char* kind, const char* fileName);
