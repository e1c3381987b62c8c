// Opening the manager session (login, then the extension check or the agent
// login), the agent-mode exchange and the log-off.
#include "agent/manager_session.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <unistd.h>

#include "app/debug_log.h"
#include "agent/manager_actions.h"
#include "agent/manager_link.h"
#include "agent/manager_messages.h"
#include "app/message_box.h"
#include "agent/queue_session.h"
#include "app/settings.h"
#include "agent/socket_layer.h"

namespace {

std::mutex l_linkMutex;

constexpr int kDefaultReadTimer = 5;
constexpr int kMaxReadTimer = 10;
constexpr int kDefaultAcmPort = 5038;
constexpr int kMinAcmPort = 2000;
constexpr int kMaxAcmPort = 65535;

bool linkDebugOn() {
    return g_settings.linkDebug != 0;
}

// The steps of the extension check after the manager login.
int verifyExtension(char* inUseAddress) {
    char action[kActionBufferSize];
    char reply[kReplyBufferSize];
    const int length = formatExtStateAction(action, g_settings.user);
    sendAGI(g_acmSocket, action, length);
    delayBeforeRead();
    const int rc = utl_readMsg(g_acmSocket, reply, kExchangeReadSeconds);
    if (rc != SO_OK) {
        logDebugf("**ERR** init_iaxAgiSocket()->(verify-extDN)utl_readMsg(%s) failed-> extdn=[%s]",
                  socket_getErrorMsg(rc), g_settings.user);
        closeManagerLink();
        return rc;
    }
    if (linkDebugOn()) logDebugf("**DEB** init_iaxAgiSocket(verify-extDN)->reply=%s", reply);

    char scratch[kInUseAddressSize];
    char* address = inUseAddress ? inUseAddress : scratch;
    switch (classifyExtStateReply(reply, address, kInUseAddressSize)) {
    case ExtStateReply::NoExt:
        writeDebugLogf("**ERR** init_iaxAgiSocket()->(verify-extDN)->Programming error NOEXT on extDN=[%s]",
                       g_settings.user);
        closeManagerLink();
        return MGR_REFUSED;
    case ExtStateReply::NotExist:
        return MGR_EXT_NOT_DEFINED;
    case ExtStateReply::Unused:
        return MGR_EXT_UNUSED;
    case ExtStateReply::Address:
        return MGR_EXT_IN_USE;
    case ExtStateReply::Unexpected:
        break;
    }
    logDebugf("**ERR** init_iaxAgiSocket()->(verify-extDN)->unexpected received return on extdn=[%s], msg=[%s]",
              g_settings.user, reply);
    closeManagerLink();
    return MGR_REFUSED;
}

// The steps of the agent login after the manager login.
int logAgentIn() {
    char action[kActionBufferSize];
    char reply[kReplyBufferSize];
    drainManagerLink(g_acmSocket);
    const int length = formatAgentLoginAction(action, g_settings.agid, g_settings.user);
    sendAGI(g_acmSocket, action, length);
    delayBeforeRead();
    const int rc = utl_readMsg(g_acmSocket, reply, kExchangeReadSeconds);
    if (rc != SO_OK) {
        logDebugf("**ERR** init_iaxAgiSocket()->(Login)utl_readMsg(%s) failed-> agentid/extdn=[%s,%s]",
                  socket_getErrorMsg(rc), g_settings.agid, g_settings.user);
        closeManagerLink();
        return rc;
    }
    if (linkDebugOn()) logDebugf("**DEB** init_iaxAgiSocket(agent-login)->response=%s", reply);
    if (replyHas(reply, "Response: Success")) {
        logDebugf("**DEB** init_iaxAgiSocket() AgentCallbackLogin() succeeded on agentid/extdn=[%s,%s]",
                  g_settings.agid, g_settings.user);
        return SO_OK;
    }
    logDebugf("**ERR** init_iaxAgiSocket() AgentCallbackLogin() failed on agentid/extdn=[%s,%s]",
              g_settings.agid, g_settings.user);
    closeManagerLink();
    return MGR_REFUSED;
}

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

int sessionReadTimer(int acmReadTimer) {
    return (acmReadTimer <= 0 || acmReadTimer > kMaxReadTimer) ? kDefaultReadTimer : acmReadTimer;
}

int sessionPort(int acmPort) {
    return (acmPort < kMinAcmPort || acmPort > kMaxAcmPort) ? kDefaultAcmPort : acmPort;
}

ExchangeOutcome sendAndRead(int socket, const char* owner, const char* action, int length, char* reply,
                            char (&warning)[kExchangeWarningSize], const char* actionId) {
    const int sent = sendAGI(socket, action, length);
    if (sent != SO_OK) {
        std::snprintf(warning, sizeof warning, "**WRN** %s(%s) failed", owner, action);
        logDebugf("%s", warning);
        return {false, sent};
    }
    logDebugf("**DEB** %s()->sendAGI() delay timer starts", owner);
    delayBeforeRead();
    logDebugf("**DEB** %s()->sendAGI() delay timer ends", owner);
    if (!actionId) return {true, utl_readMsg(socket, reply, kExchangeReadSeconds)};
    std::string message;
    const int rc = readReply(socket, actionId, message, kExchangeReadSeconds);
    if (rc == SO_OK) copyText(reply, kReplyBufferSize, message.c_str());
    return {true, rc};
}

int sendAGI(int socket, const char* text, int length) {
    if (linkDebugOn()) logDebugf("**DEB** sendAGI()->command is sending...[%s]", text ? text : "");
    const int rc = utl_sentmsg(socket, text, length);
    if (rc != SO_OK) logDebugf("**ERR: utl_sentmsg() error [%s]\n", socket_getErrorMsg(rc));
    return rc;
}

int init_iaxAgiSocket(int verify, char* inUseAddress) {
    const Settings& s = g_settings;
    if (!s.host[0] || !s.acmUser[0] || !s.agid[0] || !s.user[0]) return MGR_REFUSED;

    auto lock = lockManagerLink();
    // A link that a lost session left open is ours and still open: close it
    // rather than leak it.
    if (g_acmSocket > 0) closeManagerLink();

    const int readTimer = sessionReadTimer(s.acmReadTimer);
    const int port = sessionPort(s.acmPort);
    logDebugf("**DEB** init_iaxAgiSocket()-> Connecting to %s:%d...\n", s.host, port);

    int rc = so_init();
    if (rc != SO_OK) {
        logDebugf("**ERR** init_iaxAgiSocket()/so_init() failed [%d]", rc);
        return rc;
    }
    uint32_t address = 0;
    rc = utl_getipaddress(s.host, &address);
    if (rc != SO_OK) {
        logDebugf("**ERR** init_iaxAgiSocket()/utl_getipaddress(%s) failed", socket_getErrorMsg(rc));
        return rc;
    }
    rc = utl_connect2server(address, port);
    if (rc != SO_OK) {
        logDebugf("**ERR** init_iaxAgiSocket()/utl_connect2server(%s) failed", socket_getErrorMsg(rc));
        return rc;
    }
    logDebugf("**DEB** init_iaxAgiSocket(): connected to (%s,%d)", s.host, port);
    if (queueDialect()) return queueOpenSession(verify, inUseAddress, readTimer);

    char reply[kReplyBufferSize];
    rc = utl_readMsg(g_acmSocket, reply, readTimer);
    if (rc != SO_OK) {
        logDebugf("**ERR: init_iaxAgiSocket/utl_readMsg(%s) failed", socket_getErrorMsg(rc));
        closeManagerLink();
        return rc;
    }
    if (linkDebugOn()) logDebugf("**DEB** init_iaxAgiSocket(connect/purge)->response=%s", reply);

    char action[kActionBufferSize];
    const int length = formatLoginAction(action, s.acmUser, s.acmPass);
    sendAGI(g_acmSocket, action, length);
    logDebugf("**DEB** init_iaxAgiSocket()->sendAGI() delay timer starts");
    delayBeforeRead();
    logDebugf("**DEB** init_iaxAgiSocket()->sendAGI() delay timer ends");

    rc = utl_readMsg(g_acmSocket, reply, readTimer);
    if (rc != SO_OK) {
        logDebugf("**ERR** init_iaxAgiSocket/utl_readMsg(%s) failed-> login on [%s]", socket_getErrorMsg(rc),
                  s.acmUser);
        closeManagerLink();
        return rc;
    }
    if (linkDebugOn()) logDebugf("**DEB** init_iaxAgiSocket(ACM-login)->response=%s", reply);
    if (!replyHas(reply, "Response: Success")) {
        logDebugf("**ERR** init_iaxAgiSocket()->login on [%s] failed", s.acmUser);
        closeManagerLink();
        return MGR_REFUSED;
    }
    logDebugf("**DEB** init_iaxAgiSocket(%s,%d,%s) succeeded", s.host, port, s.acmUser);
    drainManagerLink(g_acmSocket);

    return verify ? verifyExtension(inUseAddress) : logAgentIn();
}

int changeAgentMode(const char* label, const char* pausedValue) {
    if (!label) label = "";
    char warning[kExchangeWarningSize];
    ExchangeOutcome outcome;
    {
        auto lock = lockManagerLink();
        const int socket = g_acmSocket;
        drainManagerLink(socket);
        char action[kActionBufferSize];
        const std::string id = queueDialect() ? nextActionId() : std::string();
        const int length = queueDialect()
                               ? formatQueuePauseReasonAction(action, id.c_str(), g_settings.user, pausedValue)
                               : formatQueuePauseAction(action, g_settings.agid, pausedValue);
        logDebugf("**DEB** changeAgentMode(%s) command is sending...", label);
        char reply[kReplyBufferSize];
        outcome = sendAndRead(socket, "changeAgentMode", action, length, reply, warning,
                              queueDialect() ? id.c_str() : nullptr);
        if (outcome.sent) {
            if (outcome.code != SO_OK) {
                logDebugf("**ERR** changeAgentMode() [%s]->utl_readMsg(%s) failed-> agentid=[%s]", label,
                          socket_getErrorMsg(outcome.code), g_settings.agid);
                return outcome.code == SO_CONNECTION_CLOSED ? MODE_LINK_LOST : MODE_FAILED;
            }
            if (linkDebugOn()) logDebugf("**DEB** changeAgentMode()->response=%s", reply);
            if (replyHas(reply, "Response: Success")) return MODE_CHANGED;
            logDebugf("**ERR** changeAgentMode() [%s] failed on agentid=[%s]", label, g_settings.agid);
            return MODE_FAILED;
        }
    }
    showMessage(warning);
    return outcome.code == SO_CONNECTION_CLOSED ? MODE_LINK_LOST : MODE_FAILED;
}

int agi_Logout(const char* agentId) {
    auto lock = lockManagerLink();
    const int socket = g_acmSocket;
    drainManagerLink(socket);

    char action[kActionBufferSize];
    char reply[kReplyBufferSize] = "";
    if (agentId && agentId[0] && queueDialect()) {
        const int rc = queueRemoveAgent(socket);
        if (rc != SO_OK) return rc;
        logDebugf("**DEB** agi_Logout()->Agent Logout succeeded on agentid=[%s]", agentId);
    } else if (agentId && agentId[0]) {
        const int length = formatAgentLogoffAction(action, agentId);
        sendAGI(socket, action, length);
        const int rc = utl_readMsg(socket, reply, g_settings.acmReadTimer);
        if (rc != SO_OK) {
            logDebugf("**ERR** agi_Logout()->utl_readMsg(%s) failed-> agentid=[%s]", socket_getErrorMsg(rc), agentId);
            return rc;
        }
        if (linkDebugOn()) logDebugf("**DEB** agi_Logout(agent)->response=%s", reply);
        if (!replyHas(reply, "Response: Success")) {
            logDebugf("**ERR** agi_Logout()->agent Logout failed on agentid=[%s]", agentId);
            return MGR_REFUSED;
        }
        logDebugf("**DEB** agi_Logout()->Agent Logout succeeded on agentid=[%s]", agentId);
    }

    if (queueDialect()) {
        const std::string id = nextActionId();
        sendAGI(socket, action, formatQueueLogoffAction(action, id.c_str()));
        std::string goodbye;
        if (socket != kNoSocket && readReply(socket, id, goodbye, kLogoffReadSeconds) == SO_OK)
            copyText(reply, kReplyBufferSize, goodbye.c_str());
    } else {
        const int length = formatLogoffAction(action);
        sendAGI(socket, action, length);
        // The goodbye is read only to take it off the link; a failure changes
        // nothing and leaves the previous reply in the buffer.
        if (socket != kNoSocket) utl_readMsg(socket, reply, kLogoffReadSeconds);
    }
    if (linkDebugOn()) logDebugf("**DEB** agi_Logout(ACM)->response=%s", reply);

    closeManagerLink();
    return SO_OK;
}
