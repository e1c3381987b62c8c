// Pieces shared by the manager session's exchanges: the link lock, the drain,
// the delay before a read, closing the link, and the values a session opens
// with. Internal to the agent folder.
#pragma once

#include <mutex>

#include "agent/manager_actions.h"

// Held by an exchange for as long as it uses the link.
std::unique_lock<std::mutex> lockManagerLink();

// Drains one stale chunk, waiting acmDelayB4Read microseconds for it. In
// the queue dialect nothing is drained: a chunk may hold part of a reply,
// and stale messages are skipped by their ActionID instead.
void drainManagerLink(int socket);

// Waits acmDelayB4Read milliseconds.
void delayBeforeRead();

// Closes g_acmSocket (when there is one), sets it to 0 and shuts the socket
// library down.
void closeManagerLink();

// The middle of a mode change or a mailbox count, for a caller that holds
// the link lock, has drained the link and has logged the action: sends the
// action (through sendAGI). A failed send leaves "**WRN** <owner>(<action>)
// failed" in warning (logged when debug logging is on; the caller shows it
// once the lock is free). Otherwise waits acmDelayB4Read milliseconds
// between the "**DEB** <owner>()->sendAGI() delay timer starts/ends" lines
// and reads one chunk into reply with the 5-second wait.
struct ExchangeOutcome {
    bool sent;  // false: the send failed with code
    int code;   // the failed send's or read's code; 0 when the read worked
};
constexpr int kExchangeWarningSize = kActionBufferSize + 64;
// With an actionId (the queue dialect) the read is of the whole message that
// carries it, cut to fit reply; other messages are skipped.
ExchangeOutcome sendAndRead(int socket, const char* owner, const char* action, int length, char* reply,
                            char (&warning)[kExchangeWarningSize], const char* actionId = nullptr);

// Read time-out of the greeting and login reads: acmReadTimer, or 5 when it
// is 0 or less or above 10. Port: acmPort, or 5038 outside 2000..65535.
int sessionReadTimer(int acmReadTimer);
int sessionPort(int acmPort);

// Fixed read time-outs of the exchanges, in seconds.
constexpr int kExchangeReadSeconds = 5;
constexpr int kLogoffReadSeconds = 1;
