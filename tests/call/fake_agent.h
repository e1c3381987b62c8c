// Stand-ins for what call control's services reach in the agent-mode,
// manager-session and database modules: each call is journaled, the
// manager's answers to the extension check are scripted.
#pragma once

#include <string>

#include "call/call_services.h"

struct FakeAgent {
    // init_iaxAgiSocket in verification mode: its result, the in-use address
    // it reports, and whether it leaves the link open.
    int verifyResult = -10;
    std::string inUseAddress;
    bool verifyLeavesLinkOpen = true;
    std::string localAddresses = "192.168.7.20, 127.0.0.1";
    // What [Logout] does to the Logout button.
    bool logoutDisablesButton = true;
    // A box the release action shows (as a refused mode change does); none
    // when empty.
    std::string releaseBox;

    void reset() { *this = FakeAgent(); }
};

extern FakeAgent g_agent;

// Points the agent, manager and database services at g_agent.
void fillAgentServices(CallServices& services);
