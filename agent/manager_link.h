// Pieces shared by the manager session's exchanges: the link lock, the drain,
// the delay before a read, closing the link, and the values a session opens
// with. Internal to the agent folder.
#pragma once

#include <mutex>

// Held by an exchange for as long as it uses the link.
std::unique_lock<std::mutex> lockManagerLink();

// Drains one stale chunk, waiting acmDelayB4Read microseconds for it.
void drainManagerLink(int socket);

// Waits acmDelayB4Read milliseconds.
void delayBeforeRead();

// Closes g_acmSocket (when there is one), sets it to 0 and shuts the socket
// library down.
void closeManagerLink();

// Read time-out of the greeting and login reads: acmReadTimer, or 5 when it
// is 0 or less or above 10. Port: acmPort, or 5038 outside 2000..65535.
int sessionReadTimer(int acmReadTimer);
int sessionPort(int acmPort);

// Fixed read time-outs of the exchanges, in seconds.
constexpr int kExchangeReadSeconds = 5;
constexpr int kLogoffReadSeconds = 1;
