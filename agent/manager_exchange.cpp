// The link lock, drain, delay and close of the manager session, and the
// steps of one request on the link.
#include "agent/manager_exchange.h"

#include <chrono>
#include <cstdio>
#include <thread>
#include <unistd.h>

#include "agent/manager_messages.h"
#include "agent/manager_session.h"
#include "app/debug_log.h"
#include "app/settings.h"

namespace {

std::mutex l_linkMutex;

constexpr int kDefaultReadTimer = 5;
constexpr int kMaxReadTimer = 10;
constexpr int kDefaultAcmPort = 5038;
constexpr int kMinAcmPort = 2000;
constexpr int kMaxAcmPort = 65535;

// Room for "**WRN** <owner>(<action>) failed".
constexpr int kExchangeWarningSize = kActionBufferSize + 64;

}  // namespace

std::unique_lock<std::mutex> lockManagerLink() {
    return std::unique_lock<std::mutex>(l_linkMutex);
}

void drainManagerLink(int socket) {
    if (queueDialect()) return;
    utl_purgeMsg(socket, g_settings.acmDelayB4Read);
}

void delayBeforeRead() {
    if (g_settings.acmDelayB4Read > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(g_settings.acmDelayB4Read));
}

void closeManagerLink() {
    if (g_acmSocket > 0) close(g_acmSocket);
    g_acmSocket = 0;
    so_cleanup();
}

bool linkDebugOn() {
    return g_settings.linkDebug != 0;
}

int sessionReadTimer(int acmReadTimer) {
    return (acmReadTimer <= 0 || acmReadTimer > kMaxReadTimer) ? kDefaultReadTimer : acmReadTimer;
}

int sessionPort(int acmPort) {
    return (acmPort < kMinAcmPort || acmPort > kMaxAcmPort) ? kDefaultAcmPort : acmPort;
}

ExchangeOutcome exchangeOnLink(int socket, const char* action, int length, const ExchangeSteps& steps,
                               std::string& reply) {
    const int sent = sendAGI(socket, action, length);
    if (sent != SO_OK && !steps.readAfterFailedSend) return {false, sent};
    if (steps.owner) logDebugf("**DEB** %s()->sendAGI() delay timer starts", steps.owner);
    delayBeforeRead();
    if (steps.owner) logDebugf("**DEB** %s()->sendAGI() delay timer ends", steps.owner);
    if (steps.actionId) {
        const int rc = steps.list ? readListReply(socket, steps.actionId, reply, steps.seconds)
                                  : readReply(socket, steps.actionId, reply, steps.seconds);
        return {sent == SO_OK, rc};
    }
    char chunk[kSocketBufferSize];
    const int rc = utl_readMsg(socket, chunk, steps.seconds);
    if (rc == SO_OK) reply = chunk;
    return {sent == SO_OK, rc};
}

int runSessionRequest(const SessionRequest& request) {
    char warning[kExchangeWarningSize];
    int failedSend;
    {
        auto lock = lockManagerLink();
        const int socket = g_acmSocket;
        drainManagerLink(socket);
        char action[kActionBufferSize];
        const std::string id = queueDialect() ? nextActionId() : std::string();
        ExchangeSteps steps;
        steps.owner = request.owner;
        steps.actionId = queueDialect() ? id.c_str() : nullptr;
        const int length = request.format(action, steps.actionId);
        request.logSending(action);
        std::string reply;
        const ExchangeOutcome outcome = exchangeOnLink(socket, action, length, steps, reply);
        if (outcome.sent) {
            if (reply.size() >= static_cast<size_t>(kReplyBufferSize)) reply.resize(kReplyBufferSize - 1);
            return request.judgeReply(outcome.code, reply.c_str());
        }
        std::snprintf(warning, sizeof warning, "**WRN** %s(%s) failed", request.owner, action);
        logDebugf("%s", warning);
        failedSend = outcome.code;
    }
    return request.sendFailed(failedSend, warning);
}
