// The program's picture of the one active call, shared by the event
// handler and the window operations.
#pragma once

#include "app/call_globals.h"

// Timers 46 (Answer face flashing) and 47 (ring-tone repetition).
void onRingingTimer(int timerId);
