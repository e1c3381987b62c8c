// The upkeep of sessions: PING and LAGRQ during calls, POKE to registered
// phones, retransmission of unacknowledged full frames until they are
// acknowledged or given up, and the resend a VNAK asks for.
#include "labpbx/pbx/iax_endpoint.h"

namespace labpbx {

using namespace iax2;

namespace {
// Call numbers of given-up sessions remembered at most.
constexpr size_t kGivenUpRemembered = 1024;
}  // namespace

void IaxEndpoint::startKeepAlive(Session& s) {
    uint16_t n = s.callNo;
    // Each timer sends its request and arms itself again, for as long as
    // the session lives and has not sent its final frame.
    auto every = [this, n](int ms, EventLoop::TimerId Session::*timer, uint32_t command) {
        Session* s2 = find(n);
        if (!s2 || s2->*timer || ms <= 0) return;
        s2->*timer = loop_.addTimer(std::chrono::milliseconds(ms), [this, n, timer, command] {
            Session* s3 = find(n);
            if (!s3) return;
            s3->*timer = 0;
            if (s3->finalSent) return;
            IeWriter none(nullptr, 0);
            sendIax(*s3, command, none);
            startKeepAlive(*s3);
        });
    };
    every(timing_.pingIntervalMs, &Session::pingTimer, cmd::Ping);
    every(timing_.lagIntervalMs, &Session::lagTimer, cmd::LagRq);
}

void IaxEndpoint::poke(const sockaddr_in& addr) {
    Session* s = createSession(addr, SessionKind::Poke);
    if (!s) return;
    uint8_t buf[8];
    IeWriter w(buf, sizeof buf);
    w.addEmpty(ie::CallToken);
    sendIax(*s, cmd::Poke, w);
}

void IaxEndpoint::armRetry(Session& s) {
    loop_.cancelTimer(s.retryTimer);
    uint64_t due = s.dialog.nextDueMs();
    if (due == UINT64_MAX) return;
    uint64_t now = nowMs();
    uint64_t wait = due > now ? due - now : 0;
    uint16_t n = s.callNo;
    s.retryTimer = loop_.addTimer(std::chrono::milliseconds(wait), [this, n] { serviceRetries(n); });
}

void IaxEndpoint::serviceRetries(uint16_t callNo) {
    Session* s = find(callNo);
    if (!s) return;
    s->retryTimer = 0;
    bool lost = false;
    bool finalLost = false;
    s->dialog.service(
        nowMs(), [&](const uint8_t* d, size_t n) { sendRaw(d, n, s->addr); },
        [&](const RetransmitQueue::Entry& e) {
            lost = true;
            finalLost = isFinalFrame(e.type, e.subclass);
        });
    if (lost) {
        // A final frame given up ends the dialog quietly; anything else
        // means the peer is gone: its call ends without a HANGUP to it.
        if (!finalLost && !s->finalSent) dispatcher_.onSessionLost(*s);
        destroy(callNo);
        markGivenUp(callNo);
        return;
    }
    armRetry(*s);
}

void IaxEndpoint::markGivenUp(uint16_t callNo) {
    if (!givenUpSet_.insert(callNo).second) return;
    givenUpOrder_.push_back(callNo);
    if (givenUpOrder_.size() > kGivenUpRemembered) {
        givenUpSet_.erase(givenUpOrder_.front());
        givenUpOrder_.pop_front();
    }
}

void IaxEndpoint::resendForVnak(Session& s, uint8_t from) {
    for (const RetransmitQueue::Entry& e : s.dialog.queue().entries())
        if (static_cast<uint8_t>(e.oseq - from) < 128) sendRaw(e.bytes.data(), e.bytes.size(), s.addr);
}

}  // namespace labpbx
