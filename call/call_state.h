// The program's picture of the one active call, shared by the event
// handler and the window operations.
#pragma once

enum CallType : int { CALLTYPE_NONE = 0, CALLTYPE_INBOUND = 1, CALLTYPE_OUTBOUND = 2 };

// Engine call number of the active call, -1 when there is none.
extern int g_activeCallNo;
extern int g_activeCallType;
// Engine sound id of the ring tone last started, -1 when none.
extern int g_ringToneId;

// Timers 46 (Answer face flashing) and 47 (ring-tone repetition).
void onRingingTimer(int timerId);
