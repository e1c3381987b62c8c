#include "agent/queue_session.h"

#include <cstdio>

#include "agent/manager_messages.h"
#include "agent/manager_session.h"
#include "agent/socket_layer.h"
#include "app/debug_log.h"
#include "app/settings.h"

namespace {

MemberState l_readBack;
bool l_readBackValid = false;

// Sends one action and reads its whole reply (a list when list is true).
int exchange(int socket, const char* action, int length, const std::string& id, std::string& reply, int seconds,
             bool list = false) {
    ExchangeSteps steps;
    steps.seconds = seconds;
    steps.actionId = id.c_str();
    steps.list = list;
    return exchangeOnLink(socket, action, length, steps, reply).code;
}

int verifyByPeerList(char* inUseAddress) {
    const Settings& s = g_settings;
    char action[kActionBufferSize];
    const std::string id = nextActionId();
    const int length = formatPeerListAction(action, id.c_str());
    std::string list;
    const int rc = exchange(g_acmSocket, action, length, id, list, kExchangeReadSeconds, true);
    if (rc != SO_OK) {
        logDebugf("**ERR** init_iaxAgiSocket()->(verify-extDN)IAXpeerlist(%s) failed-> extdn=[%s]",
                  socket_getErrorMsg(rc), s.user);
        closeManagerLink();
        return rc;
    }
    if (linkDebugOn()) logDebugf("**DEB** init_iaxAgiSocket(verify-extDN)->reply=%s", list.c_str());
    if (!replySucceeded(list)) {
        logDebugf("**ERR** init_iaxAgiSocket()->(verify-extDN)->IAXpeerlist refused on extdn=[%s]", s.user);
        closeManagerLink();
        return MGR_REFUSED;
    }
    char scratch[kInUseAddressSize];
    char* address = inUseAddress ? inUseAddress : scratch;
    int port = 0;
    switch (findPeer(list, s.user, address, kInUseAddressSize, &port)) {
        case PeerState::NotDefined:
            return MGR_EXT_NOT_DEFINED;
        case PeerState::Unregistered:
            return MGR_EXT_UNUSED;
        case PeerState::Registered:
            break;
    }
    logDebugf("**DEB** init_iaxAgiSocket(verify-extDN)->extdn=[%s] registered from %s port %d", s.user, address,
              port);
    return MGR_EXT_IN_USE;
}

// Reads the member's state in the first queue back after a login that found
// the agent there already.
void readMemberBack(const char* queue) {
    const Settings& s = g_settings;
    char action[kActionBufferSize];
    const std::string id = nextActionId();
    const int length = formatQueueStatusAction(action, id.c_str(), queue, s.user);
    std::string list;
    const int rc = exchange(g_acmSocket, action, length, id, list, kExchangeReadSeconds, true);
    if (rc != SO_OK) {
        logDebugf("**ERR** init_iaxAgiSocket()->QueueStatus(%s) failed-> queue=[%s]", socket_getErrorMsg(rc),
                  queue);
        return;
    }
    if (linkDebugOn()) logDebugf("**DEB** init_iaxAgiSocket(QueueStatus)->response=%s", list.c_str());
    MemberState state;
    if (!findMemberState(list, s.user, &state)) {
        logDebugf("**ERR** init_iaxAgiSocket() QueueStatus(%s) has no member IAX2/%s", queue, s.user);
        return;
    }
    l_readBack = state;
    l_readBackValid = true;
    logDebugf("**DEB** init_iaxAgiSocket() member IAX2/%s read back: paused=%d reason=[%s]", s.user,
              state.paused ? 1 : 0, state.reason.c_str());
}

int joinQueues() {
    const Settings& s = g_settings;
    l_readBackValid = false;
    // Not Ready unless the login action asks for Ready.
    const bool paused = s.loginAction != 1;
    int result = SO_OK;
    std::string firstExisting;
    forEachQueue(s.acmQueues, [&](const char* queue) {
        char action[kActionBufferSize];
        const std::string id = nextActionId();
        const int length = formatQueueAddAction(action, id.c_str(), queue, s.user, s.agid, paused);
        std::string reply;
        const int rc = exchange(g_acmSocket, action, length, id, reply, kExchangeReadSeconds);
        if (rc != SO_OK) {
            logDebugf("**ERR** init_iaxAgiSocket()->(Login)QueueAdd(%s) failed-> agentid/extdn=[%s,%s]",
                      socket_getErrorMsg(rc), s.agid, s.user);
            result = rc;
            return false;
        }
        if (linkDebugOn()) logDebugf("**DEB** init_iaxAgiSocket(agent-login)->response=%s", reply.c_str());
        if (replySucceeded(reply)) return true;
        if (replyMessageEndsWith(reply, "Already there")) {
            if (firstExisting.empty()) firstExisting = queue;
            return true;
        }
        logDebugf("**ERR** init_iaxAgiSocket() QueueAdd(%s) failed on agentid/extdn=[%s,%s]", queue, s.agid,
                  s.user);
        result = MGR_REFUSED;
        return false;
    });
    if (result != SO_OK) {
        closeManagerLink();
        return result;
    }
    logDebugf("**DEB** init_iaxAgiSocket() QueueAdd() succeeded on agentid/extdn=[%s,%s]", s.agid, s.user);
    if (!firstExisting.empty()) readMemberBack(firstExisting.c_str());
    return SO_OK;
}

}  // namespace

int queueOpenSession(int verify, char* inUseAddress, int readTimer) {
    const Settings& s = g_settings;
    resetManagerMessages();
    std::string greeting;
    int rc = readGreeting(g_acmSocket, greeting, readTimer);
    if (rc != SO_OK) {
        logDebugf("**ERR: init_iaxAgiSocket/readGreeting(%s) failed", socket_getErrorMsg(rc));
        closeManagerLink();
        return rc;
    }
    if (linkDebugOn()) logDebugf("**DEB** init_iaxAgiSocket(connect)->response=%s", greeting.c_str());

    char action[kActionBufferSize];
    const std::string id = nextActionId();
    const int length = formatQueueLoginAction(action, id.c_str(), s.acmUser, s.acmPass);
    logDebugf("**DEB** init_iaxAgiSocket()->sendAGI() delay timer starts");
    std::string reply;
    rc = exchange(g_acmSocket, action, length, id, reply, readTimer);
    logDebugf("**DEB** init_iaxAgiSocket()->sendAGI() delay timer ends");
    if (rc != SO_OK) {
        logDebugf("**ERR** init_iaxAgiSocket/readReply(%s) failed-> login on [%s]", socket_getErrorMsg(rc),
                  s.acmUser);
        closeManagerLink();
        return rc;
    }
    if (linkDebugOn()) logDebugf("**DEB** init_iaxAgiSocket(ACM-login)->response=%s", reply.c_str());
    if (!replySucceeded(reply)) {
        logDebugf("**ERR** init_iaxAgiSocket()->login on [%s] failed", s.acmUser);
        closeManagerLink();
        return MGR_REFUSED;
    }
    logDebugf("**DEB** init_iaxAgiSocket(%s,%s) succeeded", s.host, s.acmUser);
    return verify ? verifyByPeerList(inUseAddress) : joinQueues();
}

int queueRemoveAgent(int socket) {
    const Settings& s = g_settings;
    int result = SO_OK;
    forEachQueue(s.acmQueues, [&](const char* queue) {
        char action[kActionBufferSize];
        const std::string id = nextActionId();
        const int length = formatQueueRemoveAction(action, id.c_str(), queue, s.user);
        std::string reply;
        const int rc = exchange(socket, action, length, id, reply, sessionReadTimer(s.acmReadTimer));
        if (rc != SO_OK) {
            logDebugf("**ERR** agi_Logout()->QueueRemove(%s) failed-> agentid=[%s]", socket_getErrorMsg(rc),
                      s.agid);
            result = rc;
            return false;
        }
        if (linkDebugOn()) logDebugf("**DEB** agi_Logout(agent)->response=%s", reply.c_str());
        if (replySucceeded(reply) || replyMessageEndsWith(reply, "Not there")) return true;
        logDebugf("**ERR** agi_Logout()->QueueRemove(%s) failed on agentid=[%s]", queue, s.agid);
        result = MGR_REFUSED;
        return false;
    });
    return result;
}

bool takeMemberReadBack(int* paused, char* reason) {
    if (!l_readBackValid) return false;
    l_readBackValid = false;
    if (paused) *paused = l_readBack.paused ? 1 : 0;
    if (reason) copyText(reason, kReadBackReasonSize, l_readBack.reason.c_str());
    return true;
}
