#include "fake_manager_link.h"

#include "agent_fixture.h"
#include "agent/manager_session.h"
#include "app/settings.h"
#include "agent/socket_layer.h"

FakeManagerLink g_fakeLink;
int g_acmSocket = 0;

namespace {

int next(std::deque<int>& queue, int fallback) {
    if (queue.empty()) return fallback;
    const int value = queue.front();
    queue.pop_front();
    return value;
}

}  // namespace

int FakeManagerLink::modeChangeCount() const {
    int n = 0;
    for (const std::string& exchange : exchanges) n += exchange.rfind("mode ", 0) == 0;
    return n;
}

void resetTestLink() {
    g_fakeLink.reset();
}

void closeTestLink() {}

const char* fakeSocketMessage(int code) {
    switch (code) {
        case SO_CONNECTION_CLOSED: return "connection closed";
        case SO_DISCONNECTED: return "peer closed";
        case SO_CONNECT_ERROR: return "connect error";
        case SO_READ_TIMEOUT: return "read timeout";
        default: return "other socket error";
    }
}

const char* socket_getErrorMsg(int code) {
    return fakeSocketMessage(code);
}

int init_iaxAgiSocket(int verify, char* inUseAddress) {
    if (inUseAddress) inUseAddress[0] = '\0';
    g_fakeLink.exchanges.push_back(verify ? "verify" : "init");
    const int result = next(g_fakeLink.initResults, 0);
    if (result == 0 || result <= MGR_EXT_UNUSED) g_acmSocket = g_fakeLink.openHandle;
    return result;
}

int changeAgentMode(const char* label, const char* pausedValue) {
    g_fakeLink.exchanges.push_back(std::string("mode ") + label + " " + pausedValue);
    const int result = next(g_fakeLink.modeResults, 1);
    if (result == 1) g_fakeLink.pausedValues.push_back(pausedValue);
    return result;
}

int agi_Logout(const char* agentId) {
    g_fakeLink.exchanges.push_back(std::string("logoff ") + (agentId ? agentId : ""));
    return next(g_fakeLink.logoutResults, 0);
}

int checkMWI(const char* context) {
    g_fakeLink.exchanges.push_back(std::string("mwi ") + g_settings.vmbxNumber + "@" +
                                   (context ? context : ""));
    return next(g_fakeLink.mailboxResults, 0);
}

bool takeMemberReadBack(int* paused, char* reason) {
    if (!g_fakeLink.readBack) return false;
    g_fakeLink.readBack = false;
    if (paused) *paused = g_fakeLink.readBackPaused;
    if (reason) copyText(reason, kReadBackReasonSize, g_fakeLink.readBackReason.c_str());
    return true;
}
