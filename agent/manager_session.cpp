// Opening the manager session (login, then the extension check or the agent
// login), the agent-mode exchange and the log-off.
#include "agent/manager_session.h"

#include <cstdio>
#include <cstring>

#include "agent/manager_actions.h"
#include "agent/manager_exchange.h"
#include "agent/manager_messages.h"
#include "agent/queue_session.h"
#include "agent/socket_layer.h"
#include "app/debug_log.h"
#include "app/message_box.h"
#include "app/settings.h"

namespace {

// The classic handshakes read the reply whatever became of the send.
ExchangeSteps handshakeSteps(int seconds, const char* owner = nullptr) {
    ExchangeSteps steps;
    steps.owner = owner;
    steps.readAfterFailedSend = true;
    steps.seconds = seconds;
    return steps;
}

int modeChangeFailure(int code) {
    return linkLost(code) ? MODE_LINK_LOST : MODE_FAILED;
}

// The steps of the extension check after the manager login.
int verifyExtension(char* inUseAddress) {
    char action[kActionBufferSize];
    const int length = formatExtStateAction(action, g_settings.user);
    std::string reply;
    const int rc = exchangeOnLink(g_acmSocket, action, length, handshakeSteps(kExchangeReadSeconds), reply).code;
    if (rc != SO_OK) {
        logDebugf("**ERR** init_iaxAgiSocket()->(verify-extDN)utl_readMsg(%s) failed-> extdn=[%s]",
                  socket_getErrorMsg(rc), g_settings.user);
        closeManagerLink();
        return rc;
    }
    if (linkDebugOn()) logDebugf("**DEB** init_iaxAgiSocket(verify-extDN)->reply=%s", reply.c_str());

    char scratch[kInUseAddressSize];
    char* address = inUseAddress ? inUseAddress : scratch;
    switch (classifyExtStateReply(reply.c_str(), address, kInUseAddressSize)) {
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
              g_settings.user, reply.c_str());
    closeManagerLink();
    return MGR_REFUSED;
}

// The steps of the agent login after the manager login.
int logAgentIn() {
    char action[kActionBufferSize];
    drainManagerLink(g_acmSocket);
    const int length = formatAgentLoginAction(action, g_settings.agid, g_settings.user);
    std::string reply;
    const int rc = exchangeOnLink(g_acmSocket, action, length, handshakeSteps(kExchangeReadSeconds), reply).code;
    if (rc != SO_OK) {
        logDebugf("**ERR** init_iaxAgiSocket()->(Login)utl_readMsg(%s) failed-> agentid/extdn=[%s,%s]",
                  socket_getErrorMsg(rc), g_settings.agid, g_settings.user);
        closeManagerLink();
        return rc;
    }
    if (linkDebugOn()) logDebugf("**DEB** init_iaxAgiSocket(agent-login)->response=%s", reply.c_str());
    if (replyHas(reply.c_str(), "Response: Success")) {
        logDebugf("**DEB** init_iaxAgiSocket() AgentCallbackLogin() succeeded on agentid/extdn=[%s,%s]",
                  g_settings.agid, g_settings.user);
        return SO_OK;
    }
    logDebugf("**ERR** init_iaxAgiSocket() AgentCallbackLogin() failed on agentid/extdn=[%s,%s]", g_settings.agid,
              g_settings.user);
    closeManagerLink();
    return MGR_REFUSED;
}

}  // namespace

void formatSessionError(char* text, int capacity, const char* operation, int code, const char* advice) {
    if (code > 0) {
        std::snprintf(text, capacity, "%s socket error [%s]", operation, socket_getErrorMsg(code));
    } else {
        std::snprintf(text, capacity, "%s non-socket error; %s", operation, advice);
    }
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
    std::string login;
    rc = exchangeOnLink(g_acmSocket, action, length, handshakeSteps(readTimer, "init_iaxAgiSocket"), login).code;
    if (rc != SO_OK) {
        logDebugf("**ERR** init_iaxAgiSocket/utl_readMsg(%s) failed-> login on [%s]", socket_getErrorMsg(rc),
                  s.acmUser);
        closeManagerLink();
        return rc;
    }
    if (linkDebugOn()) logDebugf("**DEB** init_iaxAgiSocket(ACM-login)->response=%s", login.c_str());
    if (!replyHas(login.c_str(), "Response: Success")) {
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
    SessionRequest request;
    request.owner = "changeAgentMode";
    request.format = [&](char* action, const char* actionId) {
        return actionId ? formatQueuePauseReasonAction(action, actionId, g_settings.user, pausedValue)
                        : formatQueuePauseAction(action, g_settings.agid, pausedValue);
    };
    request.logSending = [&](const char*) {
        logDebugf("**DEB** changeAgentMode(%s) command is sending...", label);
    };
    request.judgeReply = [&](int code, const char* reply) {
        if (code != SO_OK) {
            logDebugf("**ERR** changeAgentMode() [%s]->utl_readMsg(%s) failed-> agentid=[%s]", label,
                      socket_getErrorMsg(code), g_settings.agid);
            return modeChangeFailure(code);
        }
        if (linkDebugOn()) logDebugf("**DEB** changeAgentMode()->response=%s", reply);
        if (replyHas(reply, "Response: Success")) return static_cast<int>(MODE_CHANGED);
        logDebugf("**ERR** changeAgentMode() [%s] failed on agentid=[%s]", label, g_settings.agid);
        return static_cast<int>(MODE_FAILED);
    };
    request.sendFailed = [](int code, const char* warning) {
        showMessage(warning);
        return modeChangeFailure(code);
    };
    return runSessionRequest(request);
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
            logDebugf("**ERR** agi_Logout()->utl_readMsg(%s) failed-> agentid=[%s]", socket_getErrorMsg(rc),
                      agentId);
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
