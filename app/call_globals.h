// Process-wide values of the call that both the call and the agent-mode
// operations read: the active call, its direction, the ring tone in play and
// the registration id. Written on the window's thread.
#pragma once

enum CallType : int { CALLTYPE_NONE = 0, CALLTYPE_INBOUND = 1, CALLTYPE_OUTBOUND = 2 };

// Engine call number of the active call, -1 when there is none.
extern int g_activeCallNo;
extern int g_activeCallType;
// Engine sound id of the ring tone last started, -1 when none.
extern int g_ringToneId;
// The registration id returned by the engine; -1 until [Start] registered.
extern int g_registrationId;

inline bool callIsActive() {
    return g_activeCallNo != -1;
}
