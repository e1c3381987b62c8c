// Received datagrams: routing full and mini frames to their dialogs,
// sequencing and acknowledging them, and the commands every dialog answers
// alike (VNAK, PING, LAGRQ, PONG, transfer requests, call tokens).
#include <arpa/inet.h>

#include <chrono>
#include <cstring>

#include "voice/engine/engine.h"
#include "voice/iax2/protocol.h"

namespace voice::engine {
namespace {

bool sameAddress(const sockaddr_in& a, const sockaddr_in& b) {
    return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

// Datagrams handled per round before timers get their turn.
constexpr int kMaxDatagramsPerRound = 256;

}  // namespace

void Engine::drainSocket() {
    uint8_t buf[iax2::kMaxDatagram];
    const auto start = std::chrono::steady_clock::now();
    bool worked = false;
    for (int i = 0; i < kMaxDatagramsPerRound; ++i) {
        sockaddr_in from{};
        bool truncated = false;
        const long n = socket_.receive(buf, sizeof buf, from, truncated);
        if (n < 0) break;
        worked = true;
        if (truncated) continue;
        handleDatagram(buf, static_cast<size_t>(n), from);
    }
    if (worked)
        busyNanos_ += static_cast<uint64_t>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start)
                .count());
}

void Engine::handleDatagram(const uint8_t* data, size_t length, const sockaddr_in& from) {
    iax2::DecodedFrame frame;
    if (iax2::decodeFrame(data, length, frame) != iax2::DecodeStatus::Ok) return;
    if (frame.kind == iax2::FrameKind::Full)
        handleFull(frame, from);
    else if (frame.kind == iax2::FrameKind::Mini)
        handleMini(frame, from);
}

void Engine::handleFull(const iax2::DecodedFrame& frame, const sockaddr_in& from) {
    using namespace iax2;
    const FullHeader& h = frame.full;
    const bool iax = h.type == frametype::Iax;
    if (h.destinationCall == 0) {
        if (iax && h.subclass == cmd::New) {
            for (auto& [n, s] : sessions_) {
                if (!s->outgoing && s->dialog.remoteCall() == h.sourceCall && sameAddress(s->peer, from)) {
                    handleSessionFrame(*s, h, frame.payload, frame.payloadLength);
                    return;
                }
            }
            IeList ies;
            if (ies.parse(frame.payload, frame.payloadLength) != IeStatus::Ok) return;
            handleIncomingNew(h, ies, from);
        } else if (iax && h.subclass == cmd::Poke) {
            FullHeader r;
            r.sourceCall = kApatheticCallNumber;
            r.destinationCall = h.sourceCall;
            r.timestamp = h.timestamp;
            r.iseq = static_cast<uint8_t>(h.oseq + 1);
            r.type = frametype::Iax;
            r.subclass = cmd::Pong;
            uint8_t buf[kFullHeaderSize];
            if (encodeFullFrame(r, nullptr, 0, buf, sizeof buf)) sendRaw(from, buf, sizeof buf);
        }
        return;
    }
    Session* s = findSession(h.destinationCall);
    if (s == nullptr) {
        replyUnknownCall(h, from);
        return;
    }
    if (!sameAddress(s->peer, from)) return;
    if (iax && h.subclass == cmd::CallToken) {
        IeList ies;
        if (ies.parse(frame.payload, frame.payloadLength) == IeStatus::Ok) handleCallToken(*s, ies);
        return;
    }
    if (s->dialog.remoteCall() == 0) {
        if (h.sourceCall == kApatheticCallNumber && iax &&
            (h.subclass == cmd::Reject || h.subclass == cmd::RegRej)) {
            // A stateless refusal (missing or stale call token): no dialog to
            // acknowledge on the other side.
            IeList none;
            if (s->kind == SessionKind::Call) {
                endCall(s->slot, "Call rejected by remote");
                destroySession(h.destinationCall);
            } else {
                handleRegistrationFrame(*s, h, none);
            }
            return;
        }
        s->dialog.setRemoteCall(h.sourceCall);
    } else if (h.sourceCall != s->dialog.remoteCall()) {
        return;
    }
    handleSessionFrame(*s, h, frame.payload, frame.payloadLength);
}

void Engine::handleMini(const iax2::DecodedFrame& frame, const sockaddr_in& from) {
    for (auto& [n, sp] : sessions_) {
        Session& s = *sp;
        if (s.kind != SessionKind::Call || s.dialog.remoteCall() != frame.mini.sourceCall ||
            !sameAddress(s.peer, from))
            continue;
        // The format is the one the last full voice frame carried or, before
        // one has arrived (a server may send a single one per call, and it
        // can be lost or held up behind a sequence gap), the one the call
        // negotiated: audio never waits for one particular frame.
        uint32_t format = s.voiceFormatReceived;
        if (format == 0 && calls_.valid(s.slot)) format = static_cast<uint32_t>(calls_.at(s.slot).format);
        if (format == 0) return;
        // Mini frames carry 16 timestamp bits and no full frame need mark
        // the wrap: the full timestamp is the one nearest the latest seen.
        const uint32_t full = iax2::extendMiniTimestamp(s.lastVoiceTsReceived, frame.mini.timestamp);
        if (full > s.lastVoiceTsReceived)
            s.lastVoiceTsReceived = full;
        else
            ++s.outOfOrder;
        ++s.framesReceived;
        handleVoice(s, format, full, frame.payload, frame.payloadLength);
        return;
    }
}

void Engine::handleSessionFrame(Session& s, const iax2::FullHeader& h, const uint8_t* payload, size_t length) {
    using namespace iax2;
    uint8_t buf[kFullHeaderSize];
    const Verdict verdict = s.dialog.receive(h);
    if (verdict == Verdict::Duplicate) {
        if (s.dialog.buildAck(h, buf, sizeof buf)) sendRaw(s.peer, buf, sizeof buf);
        return;
    }
    if (verdict == Verdict::Ahead) {
        if (s.dialog.vnakDue() && s.dialog.buildVnak(now(), buf, sizeof buf)) sendRaw(s.peer, buf, sizeof buf);
        return;
    }
    if (verdict == Verdict::Accept) ++s.framesReceived;
    const uint16_t id = s.dialog.localCall();
    IeList ies;
    const bool iax = h.type == frametype::Iax;
    if (iax && ies.parse(payload, length) != IeStatus::Ok) {
        // Malformed: take it off the peer's hands, act on nothing in it.
        if (verdict == Verdict::Accept && s.dialog.buildAck(h, buf, sizeof buf)) sendRaw(s.peer, buf, sizeof buf);
        return;
    }
    if (iax && !cmd::isKnownCommand(h.subclass)) {
        // A command from a newer peer: say so once; the reply carries our
        // ISeqno and so acknowledges it too.
        if (verdict == Verdict::Accept) {
            uint8_t ieBuf[8];
            IeWriter w(ieBuf, sizeof ieBuf);
            w.addU8(ie::IaxUnknown, static_cast<uint8_t>(h.subclass));
            sendCommand(s, cmd::Unsupport, &w);
        }
        return;
    }
    if (iax) handleCommonCommand(s, h, ies);
    if (Session* still = findSession(id)) {
        if (still->kind == SessionKind::Registration || still->kind == SessionKind::Release) {
            if (iax) handleRegistrationFrame(*still, h, ies);
        } else {
            handleCallFrame(*still, h, payload, length, ies);
        }
    }
    Session* after = findSession(id);
    if (after == nullptr) return;
    if (verdict == Verdict::Accept && after->dialog.ackOwed(h) && after->dialog.buildAck(h, buf, sizeof buf))
        sendRaw(after->peer, buf, sizeof buf);
    if (after->closing && after->dialog.allAcknowledged()) destroySession(id);
}

void Engine::handlePong(Session& s, const iax2::FullHeader& h, const iax2::IeList& ies) {
    using namespace iax2;
    const uint32_t elapsed = s.dialog.elapsed(now());
    if (elapsed >= h.timestamp && elapsed - h.timestamp < 60000) {
        s.dialog.noteRoundTrip(elapsed - h.timestamp);
        s.rttMs = static_cast<int>(elapsed - h.timestamp);
    }
    iaxc_netstat& r = s.remoteStats;
    const auto get = [&](uint8_t id) { return static_cast<int>(ies.u32(id).value_or(0) & 0x7FFFFFFF); };
    r.jitter = get(ie::RrJitter);
    const uint32_t loss = ies.u32(ie::RrLoss).value_or(0);
    r.losspct = static_cast<int>(loss >> 24);
    r.losscnt = static_cast<int>(loss & 0xFFFFFF);
    r.packets = get(ie::RrPkts);
    r.delay = ies.u16(ie::RrDelay).value_or(0);
    r.dropped = get(ie::RrDropped);
    r.ooo = get(ie::RrOoo);
    if (s.kind != SessionKind::Call || !calls_.valid(s.slot)) return;
    iaxc_event e;
    std::memset(&e, 0, sizeof e);
    e.type = IAXC_EVENT_NETSTAT;
    e.ev.netstats.callNo = s.slot;
    e.ev.netstats.rtt = s.rttMs;
    e.ev.netstats.local = media_.localStats(s);
    e.ev.netstats.remote = r;
    post(e);
}

void Engine::handleCommonCommand(Session& s, const iax2::FullHeader& h, const iax2::IeList& ies) {
    using namespace iax2;
    switch (h.subclass) {
        case cmd::Vnak:
            s.dialog.resendFrom(h.iseq, [&](const uint8_t* p, size_t n) { sendRaw(s.peer, p, n); });
            break;
        case cmd::Ping:
        case cmd::Poke:
            sendPong(s, h);
            break;
        case cmd::LagRq: {
            OutFrame f = OutFrame::of(frametype::Iax, cmd::LagRp);
            f.timestamp = h.timestamp;
            sendFrame(s, f);
            break;
        }
        case cmd::Pong:
            handlePong(s, h, ies);
            break;
        case cmd::TxReq:
            // Native media-path transfer is not offered: the server keeps
            // bridging the call itself.
            sendCommand(s, cmd::TxRej);
            break;
        default:
            break;
    }
}

void Engine::handleCallToken(Session& s, const iax2::IeList& ies) {
    const auto token = ies.string(iax2::ie::CallToken);
    // Only a dialog still waiting for its first answer takes a token, and
    // only once: a second one answers a resend of the token-less request,
    // and the request carrying the first token is already on its way (and
    // retransmitted if lost).
    if (!token || token->empty() || s.dialog.remoteCall() != 0 || s.openingCommand == 0 || s.tokenRounds >= 1)
        return;
    ++s.tokenRounds;
    s.dialog.restartSequence();
    sendOpening(s, *token);
}

}  // namespace voice::engine
