// The mailbox-count exchange of the voicemail check.
#include "app/debug_log.h"
#include "agent/manager_actions.h"
#include "agent/manager_link.h"
#include "agent/manager_messages.h"
#include "agent/manager_session.h"
#include "app/message_box.h"
#include "agent/queue_actions.h"
#include "app/settings.h"
#include "agent/socket_layer.h"

namespace {

int failureResult(int code) {
    return code == SO_CONNECTION_CLOSED ? MWI_LINK_LOST : MWI_FAILED;
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
    char warning[kExchangeWarningSize];
    ExchangeOutcome outcome;
    {
        auto lock = lockManagerLink();
        const int socket = g_acmSocket;
        drainManagerLink(socket);
        char action[kActionBufferSize];
        const std::string id = queueDialect() ? nextActionId() : std::string();
        const int length = queueDialect() ? formatQueueMailboxCountAction(action, id.c_str(), mailbox, context)
                                          : formatMailboxCountAction(action, mailbox, context);
        logDebugf("**DEB** checkMWI(%s) command is sending...", action);
        char reply[kReplyBufferSize];
        outcome = sendAndRead(socket, "checkMWI", action, length, reply, warning,
                              queueDialect() ? id.c_str() : nullptr);
        if (outcome.sent) {
            l_sendFailureShown = false;
            if (outcome.code != SO_OK) {
                logDebugf("**ERR** checkMWI(%s@%s)->utl_readMsg(%s) failed", mailbox, context,
                          socket_getErrorMsg(outcome.code));
                return failureResult(outcome.code);
            }
            if (g_settings.linkDebug) logDebugf("**DEB** checkMWI()->response=%s", reply);

            int count = 0;
            switch (readNewMessages(reply, &count)) {
            case NewMessagesReply::KeywordMissing:
                logDebugf("**ERR** checkMWI(%s@%s) NewMessages keyword not found=[%s]", mailbox, context, reply);
                return MWI_FAILED;
            case NewMessagesReply::Count:
                // The line carries the error tag although it reports the count.
                logDebugf("**ERR** checkMWI(%s@%s) NewMessages=[%d]", mailbox, context, count);
                return count;
            case NewMessagesReply::NoCount:
                break;
            }
            logDebugf("**WRN** checkMWI(%s@%s) cannot read 'NewMessages: <count>'; zero assumed", mailbox, context);
            return 0;
        }
    }
    if (!l_sendFailureShown) {
        l_sendFailureShown = true;
        showMessage(warning);
    }
    return failureResult(outcome.code);
}
