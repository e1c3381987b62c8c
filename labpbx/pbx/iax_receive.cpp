// The receive path: datagrams decoded, call tokens checked, frames
// matched to sessions, sequenced, acknowledged and handed to the dispatcher.
#include <cstdio>
#include <cstring>
#include <ctime>

#include "labpbx/pbx/iax_endpoint.h"

namespace labpbx {

using namespace iax2;

namespace {

bool startsDialog(uint32_t subclass) {
    return subclass == cmd::New || subclass == cmd::RegReq || subclass == cmd::RegRel;
}

// The receiver report of a PONG, as the reference server gives it with its
// jitter buffer off.
constexpr uint32_t kReportedPackets = 1;
constexpr uint16_t kReportedDelayMs = 40;

}  // namespace

void IaxEndpoint::receive(const uint8_t* data, size_t length, const sockaddr_in& from) {
    DecodedFrame f;
    if (decodeFrame(data, length, f) != DecodeStatus::Ok) return;
    if (trace_ && f.kind == FrameKind::Full)
        std::fprintf(stderr, "labpbx <- %s %s/%u src=%u dst=%u ts=%u o=%u i=%u\n", addressText(from).c_str(),
                     frameTypeName(f.full.type), f.full.subclass, f.full.sourceCall, f.full.destinationCall,
                     f.full.timestamp, f.full.oseq, f.full.iseq);
    if (f.kind == FrameKind::Full)
        handleFull(f, from);
    else if (f.kind == FrameKind::Mini)
        handleMini(f, from);
}

void IaxEndpoint::handleMini(const DecodedFrame& f, const sockaddr_in& from) {
    auto it = byPeer_.find(std::make_pair(peerKey(from), f.mini.sourceCall));
    if (it == byPeer_.end()) return;  // no call number to answer with
    Session* s = find(it->second);
    if (!s || s->finalSent) return;
    if (s->rxVoiceFormat == 0) {
        // Voice before any full voice frame set the format.
        uint8_t buf[kFullHeaderSize];
        size_t n = s->dialog.buildVnak(nowMs(), buf, sizeof buf);
        if (n) sendRaw(buf, n, s->addr);
        return;
    }
    uint32_t ts = extendMiniTimestamp(s->lastRxTs, f.mini.timestamp);
    if (ts > s->lastRxTs) s->lastRxTs = ts;
    dispatcher_.onVoice(*s, s->rxVoiceFormat, f.payload, f.payloadLength, ts);
}

bool IaxEndpoint::tokenCheck(const FullHeader& h, const IeList& ies, const sockaddr_in& from) {
    uint32_t rejectCmd = h.subclass == cmd::New ? cmd::Reject : cmd::RegRej;
    uint8_t iseqReply = static_cast<uint8_t>(h.iseq + 1);
    const Ie* token = ies.find(ie::CallToken);
    int64_t now = static_cast<int64_t>(std::time(nullptr));
    if (token && token->length == 0) {
        std::string t = tokens_.issue(ipText(from), ntohs(from.sin_port), now);
        uint8_t buf[300];
        IeWriter w(buf, sizeof buf);
        w.addString(ie::CallToken, t);
        sendApathetic(from, h.sourceCall, h.timestamp, iseqReply, cmd::CallToken, &w);
        return false;
    }
    if (token) {
        std::string_view text(reinterpret_cast<const char*>(token->data), token->length);
        if (tokens_.verify(text, ipText(from), ntohs(from.sin_port), now) == CallTokenIssuer::Check::Valid)
            return true;
        sendApathetic(from, h.sourceCall, h.timestamp, iseqReply, rejectCmd, nullptr);
        return false;
    }
    auto user = ies.string(ie::Username);
    if (user && dispatcher_.tokenWaived(std::string(*user))) return true;
    sendApathetic(from, h.sourceCall, h.timestamp, iseqReply, rejectCmd, nullptr);
    return false;
}

void IaxEndpoint::handleFull(const DecodedFrame& f, const sockaddr_in& from) {
    const FullHeader& h = f.full;
    const bool isIax = h.type == frametype::Iax;
    if (isIax && h.subclass == cmd::Poke) {
        // Answered without any call state.
        sendApathetic(from, h.sourceCall, h.timestamp, static_cast<uint8_t>(h.iseq + 1), cmd::Pong, nullptr);
        return;
    }
    if (isIax && h.subclass == cmd::Ack && h.destinationCall == kApatheticCallNumber) return;

    // The reference server stays silent about call numbers it gave up.
    if (h.destinationCall != 0 && givenUp(h.destinationCall)) return;

    Session* s = nullptr;
    auto known = byPeer_.find(std::make_pair(peerKey(from), h.sourceCall));
    if (h.destinationCall == 0) {
        if (known != byPeer_.end()) s = find(known->second);  // a repeated first frame
    } else {
        s = find(h.destinationCall);
        if (s && (!sameAddress(s->addr, from) || (s->peerCallNo() && s->peerCallNo() != h.sourceCall)))
            s = nullptr;
    }

    if (!s) {
        if (h.destinationCall == 0 && isIax && startsDialog(h.subclass)) {
            IeList ies;
            if (ies.parse(f.payload, f.payloadLength) != IeStatus::Ok) return;
            if (!tokenCheck(h, ies, from)) return;
            s = createSession(from, h.subclass == cmd::New ? SessionKind::CallLeg : SessionKind::Registration);
            if (!s) return;
            s->dialog.setRemoteCall(h.sourceCall);
            byPeer_[std::make_pair(peerKey(from), h.sourceCall)] = s->callNo;
            s->dialog.receive(h);
            s->lastRxTs = h.timestamp;
            uint16_t n = s->callNo;
            dispatcher_.onDialogStart(*s, h, ies);
            s = find(n);
            if (s && s->dialog.ackOwed(h)) sendAck(*s, h);
            return;
        }
        // A frame for a dialog we do not know: tell the sender, unless it
        // is itself one of the frames that must never be answered.
        if (!(isIax && (h.subclass == cmd::Inval || h.subclass == cmd::TxCnt || h.subclass == cmd::TxAcc ||
                        h.subclass == cmd::FwDownl)))
            sendInval(from, h.sourceCall, h.destinationCall);
        return;
    }
    handleSessionFrame(*s, h, f.payload, f.payloadLength);
}

void IaxEndpoint::handleSessionFrame(Session& s, const FullHeader& h, const uint8_t* payload, size_t length) {
    const bool isIax = h.type == frametype::Iax;
    const uint16_t n = s.callNo;
    if (!s.peerCallNo()) {
        s.dialog.setRemoteCall(h.sourceCall);
        byPeer_[std::make_pair(peerKey(s.addr), h.sourceCall)] = n;
    }
    switch (s.dialog.receive(h)) {
        case Verdict::Accept:
        case Verdict::Unsequenced:
            break;
        case Verdict::Duplicate:
            // Seen before: acknowledge again, as the sender missed our ACK.
            sendAck(s, h);
            return;
        case Verdict::Ahead:
            if (s.dialog.vnakDue()) {
                uint8_t buf[kFullHeaderSize];
                size_t len = s.dialog.buildVnak(nowMs(), buf, sizeof buf);
                if (len) sendRaw(buf, len, s.addr);
            }
            return;
    }
    // Our final frame acknowledged: the dialog is over.
    if (s.finalSent && s.dialog.allAcknowledged()) {
        destroy(n);
        return;
    }
    armRetry(s);

    IeList ies;
    if (isIax && ies.parse(payload, length) != IeStatus::Ok) return;

    if (h.type == frametype::Voice) {
        s.rxVoiceFormat = h.subclass;
        if (h.timestamp > s.lastRxTs) s.lastRxTs = h.timestamp;
        if (!s.finalSent) dispatcher_.onVoice(s, h.subclass, payload, length, h.timestamp);
    } else if (isIax) {
        if (h.subclass != cmd::Ack && h.subclass != cmd::Pong && h.subclass != cmd::LagRp &&
            h.timestamp > s.lastRxTs)
            s.lastRxTs = h.timestamp;
        IeWriter none(nullptr, 0);
        switch (h.subclass) {
            case cmd::Ack:
                // The caller's acknowledgement of ACCEPT completes the
                // three-way handshake a call waits for.
                dispatcher_.onFrame(s, h, payload, length, ies);
                if (!find(n)) return;
                break;
            case cmd::Ping: {
                uint8_t buf[64];
                IeWriter rr(buf, sizeof buf);
                rr.addU32(ie::RrJitter, 0);
                rr.addU32(ie::RrLoss, 0);
                rr.addU32(ie::RrPkts, kReportedPackets);
                rr.addU16(ie::RrDelay, kReportedDelayMs);
                rr.addU32(ie::RrDropped, 0);
                rr.addU32(ie::RrOoo, 0);
                sendIax(s, cmd::Pong, rr, h.timestamp);
                break;
            }
            case cmd::Pong: {
                uint32_t elapsed = s.dialog.elapsed(nowMs());
                if (elapsed >= h.timestamp) s.dialog.noteRoundTrip(elapsed - h.timestamp);
                if (s.kind == SessionKind::Poke) {
                    // The phone answered: acknowledged, and the POKE is over.
                    sendAck(s, h);
                    destroy(n);
                    return;
                }
                break;
            }
            case cmd::LagRq:
                sendIax(s, cmd::LagRp, none, h.timestamp);
                break;
            case cmd::LagRp:
                break;
            case cmd::Vnak:
                resendForVnak(s, h.iseq);
                break;
            case cmd::Inval:
                dispatcher_.onSessionLost(s);
                destroy(n);
                return;
            case cmd::CallToken: {
                // Our NEW needs a token: send it again, as the first frame of
                // a fresh dialog with the same call number.
                auto token = ies.string(ie::CallToken);
                if (!token || s.tokenRoundDone || s.newIes.empty()) break;
                s.tokenRoundDone = true;
                loop_.cancelTimer(s.retryTimer);
                auto key = std::make_pair(peerKey(s.addr), s.peerCallNo());
                auto p = byPeer_.find(key);
                if (p != byPeer_.end() && p->second == n) byPeer_.erase(p);
                s.dialog.restartSequence();
                uint8_t buf[kMaxDatagram];
                std::memcpy(buf, s.newIes.data(), s.newIes.size());
                IeWriter tail(buf + s.newIes.size(), sizeof buf - s.newIes.size());
                tail.addString(ie::CallToken, *token);
                sendFrame(s, frametype::Iax, cmd::New, buf, s.newIes.size() + tail.size());
                return;  // the token frame itself is never acknowledged
            }
            default:
                dispatcher_.onFrame(s, h, payload, length, ies);
                break;
        }
    } else {
        dispatcher_.onFrame(s, h, payload, length, ies);
    }

    Session* still = find(n);
    if (still && still->dialog.ackOwed(h)) sendAck(*still, h);
}

}  // namespace labpbx
