// Steps that the agent-mode operations share: the busy rule, the mode
// operations with their outcome, and the button states. Internal to the
// agent folder.
#pragma once

#include "agent/manager_session.h"

namespace agentmode {

// What a mode operation came to: the result of its changeAgentMode
// exchange, or that the busy rule stopped it before any exchange.
enum ModeOperationResult : int {
    MODEOP_LINK_LOST = MODE_LINK_LOST,
    MODEOP_NOT_CHANGED = MODE_FAILED,
    MODEOP_CHANGED = MODE_CHANGED,
    MODEOP_REFUSED_WHEN_BUSY = 2,
};

// The four button modes, in the order of their buttons.
enum AgentMode : int { AGENTMODE_READY, AGENTMODE_AUX, AGENTMODE_ACWIB, AGENTMODE_ACWOB };

// True when a call is active and mode changes are not allowed while busy.
bool busyRuleApplies();

// The busy rule: when a call is active and mode changes are not allowed
// while busy, shows the refusal and returns true.
bool refuseWhenBusy();

// The operation behind a mode button, with its busy rule and warnings.
ModeOperationResult runModeOperation(AgentMode mode);

// Enables or disables Ready, AUX, ACWIB and ACWOB in one go.
void setModeButtons(bool ready, bool aux, bool acwib, bool acwob);

// An agent is logged in while the Logout button is enabled.
bool agentLoggedIn();

// Clears the reason list's selection and forgets the reason in force.
void clearReasonSelection();

// Shows a mode read back from the PBX: not paused is Ready; paused with
// the reason "acwib" or "acwob" is that ACW; with "aux<n>" the reason of
// that code is selected; paused with any other reason is Not Ready.
void showModeReadBack(bool paused, const char* reason);

}  // namespace agentmode
