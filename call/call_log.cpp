#include "call_log.h"

#include "debug_log.h"
#include "message_box.h"
#include "settings.h"

void logDebugText(const char* text) {
    if (g_settings.debug) writeDebugLog(text);
}

void logAndShow(const char* text) {
    logDebugText(text);
    showMessage(text);
}
