#include "fake_manager_link.h"

#include "agent/manager_link.h"
#include "agent/manager_session.h"
#include "agent/socket_layer.h"
#include "agent_fixture.h"
#include "app/settings.h"

FakeManagerLink g_fakeLink;

namespace {

int next(std::deque<int>& queue, int fallback) {
    if (queue.empty()) return fallback;
    const int value = queue.front();
    queue.pop_front();
    return value;
}

int openSession(int verify, char* inUseAddress) {
    if (inUseAddress) inUseAddress[0] = '\0';
    g_fakeLink.exchanges.push_back(verify ? "verify" : "init");
    const int result = next(g_fakeLink.initResults, 0);
    if (result == 0 || result <= MGR_EXT_UNUSED) g_acmSocket = g_fakeLink.openHandle;
    return result;
}

int changeMode(const char* label, const char* pausedValue) {
    g_fakeLink.exchanges.push_back(std::string("mode ") + label + " " + pausedValue);
    const int result = next(g_fakeLink.modeResults, 1);
    if (result == 1) g_fakeLink.pausedValues.push_back(pausedValue);
    return result;
}

int logOut(const char* agentId) {
    g_fakeLink.exchanges.push_back(std::string("logoff ") + (agentId ? agentId : ""));
    return next(g_fakeLink.logoutResults, 0);
}

int countNewMessages(const char* context) {
    g_fakeLink.exchanges.push_back(std::string("mwi ") + g_settings.vmbxNumber + "@" + (context ? context : ""));
    return next(g_fakeLink.mailboxResults, 0);
}

bool takeReadBack(int* paused, char* reason) {
    if (!g_fakeLink.readBack) return false;
    g_fakeLink.readBack = false;
    if (paused) *paused = g_fakeLink.readBackPaused;
    if (reason) copyText(reason, kReadBackReasonSize, g_fakeLink.readBackReason.c_str());
    return true;
}

const ManagerLink kFakeLink = {openSession, changeMode, logOut, countNewMessages, takeReadBack};

}  // namespace

int FakeManagerLink::modeChangeCount() const {
    int n = 0;
    for (const std::string& exchange : exchanges) n += exchange.rfind("mode ", 0) == 0;
    return n;
}

void resetTestLink() {
    g_fakeLink.reset();
    useManagerLink(&kFakeLink);
}

void closeTestLink() {
    useManagerLink(nullptr);
}
