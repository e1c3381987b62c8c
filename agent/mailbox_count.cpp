// The mailbox-count exchange of the voicemail check.
#include "agent/manager_actions.h"
#include "agent/manager_exchange.h"
#include "agent/manager_messages.h"
#include "agent/manager_session.h"
#include "agent/queue_actions.h"
#include "agent/socket_layer.h"
#include "app/debug_log.h"
#include "app/message_box.h"
#include "app/settings.h"

namespace {

int failureResult(int code) {
    return linkLost(code) ? MWI_LINK_LOST : MWI_FAILED;
}

// A failed send has been shown and no exchange has got through since. The
// check keeps failing once per period while the link is down; the agent is
// told once, not by a box each period (they would pile up while the agent is
// away), and the later failures are only logged.
bool l_sendFailureShown = false;

}  // namespace

int checkMWI(const char* context) {
    if (!context) context = "";
    const char* mailbox = g_settings.vmbxNumber;
    SessionRequest request;
    request.owner = "checkMWI";
    request.format = [&](char* action, const char* actionId) {
        return actionId ? formatQueueMailboxCountAction(action, actionId, mailbox, context)
                        : formatMailboxCountAction(action, mailbox, context);
    };
    request.logSending = [](const char* action) {
        logDebugf("**DEB** checkMWI(%s) command is sending...", action);
    };
    request.judgeReply = [&](int code, const char* reply) {
        l_sendFailureShown = false;
        if (code != SO_OK) {
            logDebugf("**ERR** checkMWI(%s@%s)->utl_readMsg(%s) failed", mailbox, context,
                      socket_getErrorMsg(code));
            return failureResult(code);
        }
        if (linkDebugOn()) logDebugf("**DEB** checkMWI()->response=%s", reply);

        int count = 0;
        switch (readNewMessages(reply, &count)) {
            case NewMessagesReply::KeywordMissing:
                logDebugf("**ERR** checkMWI(%s@%s) NewMessages keyword not found=[%s]", mailbox, context, reply);
                return static_cast<int>(MWI_FAILED);
            case NewMessagesReply::Count:
                // The line carries the error tag although it reports the count.
                logDebugf("**ERR** checkMWI(%s@%s) NewMessages=[%d]", mailbox, context, count);
                return count;
            case NewMessagesReply::NoCount:
                break;
        }
        logDebugf("**WRN** checkMWI(%s@%s) cannot read 'NewMessages: <count>'; zero assumed", mailbox, context);
        return 0;
    };
    request.sendFailed = [](int code, const char* warning) {
        if (!l_sendFailureShown) {
            l_sendFailureShown = true;
            showMessage(warning);
        }
        return failureResult(code);
    };
    return runSessionRequest(request);
}
