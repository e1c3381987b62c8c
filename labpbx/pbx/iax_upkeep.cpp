// The upkeep of sessions: PING and LAGRQ during calls, and retransmission
// of unacknowledged full frames until they are acknowledged or given up.
#include "iax_endpoint.h"

namespace labpbx {

using namespace iax2;

void IaxEndpoint::startKeepAlive(Session& s) {
    uint16_t n = s.callNo;
    std::function<void()> ping = [this, n] {
        Session* s2 = find(n);
        if (!s2) return;
        s2->pingTimer = 0;
        IeWriter none(nullptr, 0);
        sendIax(*s2, cmd::Ping, none);
        startKeepAlive(*s2);
    };
    if (!s.pingTimer)
        s.pingTimer = loop_.addTimer(std::chrono::milliseconds(timing_.pingIntervalMs), ping);
    if (!s.lagTimer)
        s.lagTimer = loop_.addTimer(std::chrono::milliseconds(timing_.lagIntervalMs), [this, n] {
            Session* s2 = find(n);
            if (!s2) return;
            s2->lagTimer = 0;
            IeWriter none(nullptr, 0);
            sendIax(*s2, cmd::LagRq, none);
            startKeepAlive(*s2);
        });
}

void IaxEndpoint::armRetry(Session& s) {
    loop_.cancelTimer(s.retryTimer);
    uint64_t due = s.dialog.nextDueMs();
    if (due == UINT64_MAX) return;
    uint64_t now = nowMs();
    uint64_t wait = due > now ? due - now : 0;
    uint16_t n = s.callNo;
    s.retryTimer =
        loop_.addTimer(std::chrono::milliseconds(wait), [this, n] { serviceRetries(n); });
}

void IaxEndpoint::serviceRetries(uint16_t callNo) {
    Session* s = find(callNo);
    if (!s) return;
    s->retryTimer = 0;
    bool lost = false;
    bool finalLost = false;
    s->dialog.service(
        nowMs(),
        [&](const uint8_t* d, size_t n) { sendRaw(d, n, s->addr); },
        [&](const RetransmitQueue::Entry& e) {
            lost = true;
            finalLost = isFinalFrame(e.type, e.subclass);
        });
    if (lost) {
        // A final frame given up ends the dialog quietly; anything else
        // means the peer is gone.
        if (!finalLost && !s->finalSent) dispatcher_.onSessionLost(*s);
        destroy(callNo);
        return;
    }
    armRetry(*s);
}
}  // namespace labpbx
