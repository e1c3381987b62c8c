#include "call_log.h"

#include "debug_log.h"
#include "message_box.h"

namespace call {

void logAndShow(const char* text) {
    logDebugf("%s", text);
    showMessage(text);
}

}  // namespace call
