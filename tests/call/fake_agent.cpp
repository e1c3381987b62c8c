#include "fake_agent.h"

#include <cstdio>

#include "agent/manager_session.h"
#include "agent/socket_layer.h"
#include "app/call_globals.h"
#include "app/control_ids.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "journal.h"

FakeAgent g_agent;

namespace {

constexpr int kOpenLink = 17;

}  // namespace

void fillAgentServices(CallServices& services) {
    services.runReleaseAction = [](int callType) {
        g_journal.add("agent:release(" + std::to_string(callType) + ",callNo=" + std::to_string(g_activeCallNo) +
                      ")");
        if (!g_agent.releaseBox.empty()) showMessage(g_agent.releaseBox.c_str());
    };
    services.runInboundAnswerNotReady = [] {
        g_journal.add("agent:inboundAnswerNotReady(type=" + std::to_string(g_activeCallType) + ")");
    };
    services.killTimedAcwTimers = [] { g_journal.add("agent:killTimedAcwTimers"); };
    services.logoutAgent = [] {
        g_journal.add("agent:logout");
        if (g_agent.logoutDisablesButton && g_mainDlg) g_mainDlg->enableControl(IDC_BUT_LOGOUT, false);
    };
    services.openManagerSession = [](int verify, char* inUseAddress) {
        g_journal.add("manager:init_iaxAgiSocket(" + std::to_string(verify) + ")");
        std::snprintf(inUseAddress, kInUseAddressSize, "%s", g_agent.inUseAddress.c_str());
        g_acmSocket = g_agent.verifyLeavesLinkOpen ? kOpenLink : 0;
        return g_agent.verifyResult;
    };
    services.logoutManager = [](const char* agentId) {
        g_journal.add(std::string("manager:agi_Logout(") + (agentId ? agentId : "null") + ")");
        g_acmSocket = 0;
        return 0;
    };
    services.localAddresses = [](char* buffer, int capacity) {
        std::snprintf(buffer, static_cast<size_t>(capacity), "%s", g_agent.localAddresses.c_str());
        return 0;
    };
    services.closeDatabase = [] { g_journal.add("db:dbUnInitialize"); };
}
