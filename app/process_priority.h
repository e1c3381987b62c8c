// Raising the program's scheduling priority at start-up, so that the sound
// path keeps up on a busy workstation: nice -10, or as far towards it as the
// user's RLIMIT_NICE allows.
#pragma once

// The operating-system calls used, replaceable by tests.
class PrioritySystem {
public:
    virtual ~PrioritySystem() = default;
    // The process's nice value; false with *error set when it cannot be read.
    virtual bool currentNice(int* nice, int* error) = 0;
    // Sets the process's nice value; false with *error set on failure.
    virtual bool setNice(int nice, int* error) = 0;
    // The soft RLIMIT_NICE; false when unlimited.
    virtual bool niceLimit(unsigned long long* limit) = 0;
};

// The calls in use: the real ones unless a test installed its own.
PrioritySystem& systemPriority();
// Installs the calls to use; nullptr restores the real ones.
void setPrioritySystem(PrioritySystem* system);

enum class PriorityResult {
    Raised,        // nice -10 (or lower) in force
    RaisedPartly,  // lowered as far as RLIMIT_NICE allows
    NotPermitted,  // the user may not lower it at all: warning logged, no box
    Failed,        // any other failure: warning logged and shown
};

constexpr int kHighPriorityNice = -10;

// Raises the priority; with the debug switch on a success is logged. A
// failure writes its warning line whatever the switch.
PriorityResult raiseProcessPriority(PrioritySystem& system = systemPriority());
