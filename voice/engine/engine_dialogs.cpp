// Dialogs: opening, sending on and ending them, and their timers
// (retransmission, keep-alive pings, LEVELS reports).
#include <algorithm>

#include "voice/engine/engine.h"
#include "voice/iax2/protocol.h"

namespace voice::engine {

Session* Engine::newSession(SessionKind kind, const sockaddr_in& peer) {
    return sessions_.open(kind, peer, now(), activeTuning_.retry);
}

void Engine::destroySession(uint16_t localCall) {
    Session* s = findSession(localCall);
    if (s == nullptr) return;
    if (s->kind == SessionKind::Call) calls_.detachSession(s->slot, localCall);
    registrations_.forgetSession(localCall);
    sessions_.erase(localCall);
}

void Engine::sendRaw(const sockaddr_in& to, const uint8_t* data, size_t length) {
    socket_.sendTo(to, data, length);
}

bool Engine::sendFrame(Session& s, const iax2::OutFrame& frame) {
    uint8_t buf[iax2::kMaxDatagram];
    const size_t n = s.dialog.build(frame, now(), buf, sizeof buf);
    if (n == 0) return false;
    sendRaw(s.peer, buf, n);
    return true;
}

bool Engine::sendCommand(Session& s, uint8_t command, const iax2::IeWriter* ies) {
    return sendFrame(
        s, iax2::OutFrame::of(iax2::frametype::Iax, command, ies ? ies->data() : nullptr, ies ? ies->size() : 0));
}

bool Engine::sendControl(Session& s, uint8_t control) {
    return sendFrame(s, iax2::OutFrame::of(iax2::frametype::Control, control));
}

bool Engine::sendOpening(Session& s, std::string_view token) {
    uint8_t buf[iax2::kMaxDatagram - iax2::kFullHeaderSize];
    // The stored elements verbatim, then the token element last.
    iax2::IeWriter out(buf, sizeof buf);
    size_t pos = 0;
    while (pos + 2 <= s.openingIes.size()) {
        const uint8_t id = s.openingIes[pos];
        const uint8_t len = s.openingIes[pos + 1];
        out.addRaw(id, s.openingIes.data() + pos + 2, len);
        pos += 2 + static_cast<size_t>(len);
    }
    if (token.empty())
        out.addEmpty(iax2::ie::CallToken);
    else
        out.addString(iax2::ie::CallToken, token);
    if (!out.ok()) return false;
    return sendCommand(s, s.openingCommand, &out);
}

void Engine::sendFinal(Session& s, uint8_t command, const char* cause, uint8_t causeCode) {
    uint8_t buf[300];
    iax2::IeWriter w(buf, sizeof buf);
    if (cause) w.addString(iax2::ie::Cause, cause);
    if (causeCode) w.addU8(iax2::ie::CauseCode, causeCode);
    sendCommand(s, command, &w);
    s.closing = true;
    if (s.kind == SessionKind::Call) calls_.detachSession(s.slot, s.dialog.localCall());
    s.slot = -1;
}

void Engine::replyUnknownCall(const iax2::FullHeader& h, const sockaddr_in& from) {
    using namespace iax2;
    if (h.type == frametype::Iax && (h.subclass == cmd::Ack || h.subclass == cmd::Inval ||
                                     h.subclass == cmd::Vnak || h.subclass == cmd::CallToken))
        return;
    if (h.sourceCall == kApatheticCallNumber) return;
    // A final frame repeated after we acknowledged it and let the dialog go:
    // acknowledge again. Anything else: tell the peer the call is unknown.
    FullHeader r;
    r.sourceCall = h.destinationCall;
    r.destinationCall = h.sourceCall;
    r.timestamp = h.timestamp;
    r.oseq = h.iseq;
    r.iseq = static_cast<uint8_t>(h.oseq + 1);
    r.type = frametype::Iax;
    r.subclass = isFinalFrame(h.type, h.subclass) ? cmd::Ack : cmd::Inval;
    uint8_t buf[kFullHeaderSize];
    if (encodeFullFrame(r, nullptr, 0, buf, sizeof buf)) sendRaw(from, buf, sizeof buf);
}

void Engine::acknowledgeAndClose(Session& s, const iax2::FullHeader& h) {
    uint8_t buf[iax2::kFullHeaderSize];
    if (s.dialog.buildAck(h, buf, sizeof buf)) sendRaw(s.peer, buf, sizeof buf);
    destroySession(s.dialog.localCall());
}

// ---------------------------------------------------------------- timers

void Engine::runTimers() {
    const uint64_t t = now();
    serviceRetransmissions(t);
    std::vector<uint16_t> finished;
    for (auto& [n, s] : sessions_) {
        if (s->closing && s->dialog.allAcknowledged()) {
            finished.push_back(n);
            continue;
        }
        if (s->established && !s->closing && t >= s->nextPingMs) {
            sendCommand(*s, iax2::cmd::Ping);
            s->nextPingMs = t + activeTuning_.pingIntervalMs;
        }
    }
    for (uint16_t n : finished) destroySession(n);
    if (media_.levelsDue(t)) postLevels();
}

void Engine::serviceRetransmissions(uint64_t t) {
    struct Lost {
        uint16_t call;
        uint8_t type;
        uint32_t subclass;
    };
    std::vector<Lost> lost;
    for (auto& [n, s] : sessions_) {
        Session& ref = *s;
        const uint16_t call = n;
        ref.dialog.service(
            t, [&](const uint8_t* p, size_t len) { sendRaw(ref.peer, p, len); },
            [&](const iax2::RetransmitQueue::Entry& e) {
                lost.push_back({call, e.type, e.subclass});
            });
    }
    for (const Lost& l : lost) gaveUp(l.call, l.type, l.subclass);
}

void Engine::gaveUp(uint16_t localCall, uint8_t, uint32_t) {
    Session* s = findSession(localCall);
    if (s == nullptr) return;
    if (s->closing) {
        destroySession(localCall);
        return;
    }
    switch (s->kind) {
        case SessionKind::Call: {
            const int slot = s->slot;
            postText(IAXC_TEXT_TYPE_STATUS, slot, "Call %d timed out.", slot);
            // One last word to the peer, not repeated: it has stopped answering.
            uint8_t buf[64];
            iax2::IeWriter w(buf, sizeof buf);
            w.addString(iax2::ie::Cause, "Call timed out");
            sendCommand(*s, iax2::cmd::Hangup, &w);
            destroySession(localCall);
            if (calls_.valid(slot)) {
                calls_.setFree(slot);
                postState(slot);
            }
            updateMedia();
            break;
        }
        case SessionKind::Registration: {
            const int id = s->registrationId;
            destroySession(localCall);
            registrationTimedOut(id);
            break;
        }
        case SessionKind::BusyRefusal:
        case SessionKind::Release:
            destroySession(localCall);
            break;
    }
}

void Engine::startPings(Session& s) {
    s.established = true;
    s.nextPingMs = now() + activeTuning_.firstPingMs;
}

void Engine::sendPong(Session& s, const iax2::FullHeader& ping) {
    const iaxc_netstat n = media_.localStats(s);
    const auto u32 = [](int v) { return static_cast<uint32_t>(v < 0 ? 0 : v); };
    uint8_t buf[64];
    iax2::IeWriter w(buf, sizeof buf);
    w.addU32(iax2::ie::RrJitter, u32(n.jitter));
    // Loss: percentage in the high byte, count in the low 24 bits.
    w.addU32(iax2::ie::RrLoss, (std::min(u32(n.losspct), 255u) << 24) | std::min(u32(n.losscnt), 0xFFFFFFu));
    w.addU32(iax2::ie::RrPkts, u32(n.packets));
    w.addU16(iax2::ie::RrDelay, static_cast<uint16_t>(std::min(u32(n.delay), 0xFFFFu)));
    w.addU32(iax2::ie::RrDropped, u32(n.dropped));
    w.addU32(iax2::ie::RrOoo, u32(n.ooo));
    iax2::OutFrame f = iax2::OutFrame::of(iax2::frametype::Iax, iax2::cmd::Pong, w.data(), w.size());
    f.timestamp = ping.timestamp;
    sendFrame(s, f);
}

}  // namespace voice::engine
