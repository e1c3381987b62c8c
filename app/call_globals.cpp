#include "app/call_globals.h"

int g_activeCallNo = -1;
int g_activeCallType = CALLTYPE_NONE;
int g_ringToneId = -1;
int g_registrationId = -1;
