// Pieces shared by the manager session's exchanges: the link lock, the drain,
// the delay before a read, closing the link, the values a session opens
// with, and the send-wait-read steps of one request. Internal to the agent
// folder.
#pragma once

#include <functional>
#include <mutex>
#include <string>

#include "agent/manager_actions.h"
#include "agent/socket_layer.h"

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

// True when the replies are logged (linkDebug).
bool linkDebugOn();

// True for the failed-exchange code that means the link is gone.
inline bool linkLost(int socketCode) {
    return socketCode == SO_CONNECTION_CLOSED;
}

// Read time-out of the greeting and login reads: acmReadTimer, or 5 when it
// is 0 or less or above 10. Port: acmPort, or 5038 outside 2000..65535.
int sessionReadTimer(int acmReadTimer);
int sessionPort(int acmPort);

// Fixed read time-outs of the exchanges, in seconds.
constexpr int kExchangeReadSeconds = 5;
constexpr int kLogoffReadSeconds = 1;

// How one request goes: what is logged around the wait, and how its reply
// is read.
struct ExchangeSteps {
    // Names the request in "**DEB** <owner>()->sendAGI() delay timer
    // starts/ends" around the wait; null: no such lines.
    const char* owner = nullptr;
    // The classic handshakes read whatever became of their send.
    bool readAfterFailedSend = false;
    int seconds = kExchangeReadSeconds;
    // Null: one chunk is read (classic dialect). Otherwise the whole message
    // that carries this ActionID, other messages skipped (queue dialect);
    // with list, every message of the list reply.
    const char* actionId = nullptr;
    bool list = false;
};

struct ExchangeOutcome {
    bool sent;  // false: the send failed (code is then the send's, unless read anyway)
    int code;   // the failed send's or read's code; 0 when the read worked
};

// Sends the action (through sendAGI), waits acmDelayB4Read milliseconds and
// reads the reply into reply, as steps say. A failed send reads nothing
// unless steps ask for the read anyway. For a caller that holds the link
// lock.
ExchangeOutcome exchangeOnLink(int socket, const char* action, int length, const ExchangeSteps& steps,
                               std::string& reply);

// A mode change or a mailbox count from start to end: takes the link lock,
// drains the link, formats the action of the dialect in force, logs it and
// exchanges it with the 5-second read.
struct SessionRequest {
    const char* owner;  // "changeAgentMode", "checkMWI"
    // Formats the action into buffer (kActionBufferSize bytes); actionId is
    // the new ActionID in the queue dialect, null in the classic one.
    std::function<int(char* buffer, const char* actionId)> format;
    // Logs the "command is sending" line of the formatted action.
    std::function<void(const char* action)> logSending;
    // What a sent action comes to, from the read's code and the reply (cut
    // to kReplyBufferSize - 1 characters). Runs under the link lock.
    std::function<int(int code, const char* reply)> judgeReply;
    // What a failed send comes to. "**WRN** <owner>(<action>) failed" is
    // already logged (debug on); this runs once the lock is free, so it may
    // show the warning.
    std::function<int(int code, const char* warning)> sendFailed;
};
int runSessionRequest(const SessionRequest& request);
