#include "call/call_log.h"

#include "app/debug_log.h"
#include "app/message_box.h"

namespace call {

void logAndShow(const char* text) {
    logDebugf("%s", text);
    showMessage(text);
}

}  // namespace call
