#include "iax_endpoint.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>

#include "iax2/protocol.h"

namespace labpbx {

using namespace iax2;

namespace {

uint64_t peerKey(const sockaddr_in& a) {
    return (static_cast<uint64_t>(ntohl(a.sin_addr.s_addr)) << 16) | ntohs(a.sin_port);
}

bool sameAddress(const sockaddr_in& a, const sockaddr_in& b) {
    return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

std::string randomSecret() {
    std::random_device rd;
    std::string s;
    for (int i = 0; i < 32; ++i) s.push_back(static_cast<char>(rd() & 0xFF));
    return s;
}

bool startsDialog(uint32_t subclass) {
    return subclass == cmd::New || subclass == cmd::RegReq || subclass == cmd::RegRel;
}

}  // namespace

std::string ipText(const sockaddr_in& a) {
    char buf[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &a.sin_addr, buf, sizeof buf);
    return buf;
}

std::string addressText(const sockaddr_in& a) {
    return ipText(a) + ":" + std::to_string(ntohs(a.sin_port));
}

IaxEndpoint::IaxEndpoint(EventLoop& loop, Dispatcher& dispatcher, WireTiming timing)
    : loop_(loop),
      dispatcher_(dispatcher),
      timing_(timing),
      tokens_(randomSecret()),
      epoch_(Clock::now()),
      trace_(std::getenv("LABPBX_TRACE") != nullptr) {}

IaxEndpoint::~IaxEndpoint() { close(); }

bool IaxEndpoint::bind(const std::string& address, uint16_t port, std::string& error) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) {
        error = "bad IAX2 address " + address;
        return false;
    }
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("IAX2 socket: ") + std::strerror(errno);
        return false;
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        error = "IAX2 port " + std::to_string(port) + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    socklen_t len = sizeof sa;
    getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
    port_ = ntohs(sa.sin_port);
    fd_ = fd;
    loop_.watchFd(fd_, [this](short) { onReadable(); });
    return true;
}

void IaxEndpoint::close() {
    while (!sessions_.empty()) destroy(sessions_.begin()->first);
    if (fd_ >= 0) {
        loop_.unwatchFd(fd_);
        ::close(fd_);
        fd_ = -1;
    }
}

uint64_t IaxEndpoint::nowMs() const {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - epoch_).count());
}

void IaxEndpoint::onReadable() {
    uint8_t buf[kMaxDatagram + 1];
    // Bounded per wake-up so timers and other sockets get their turn.
    for (int i = 0; i < 64; ++i) {
        sockaddr_in from{};
        socklen_t len = sizeof from;
        ssize_t n = recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0) return;
        if (static_cast<size_t>(n) > kMaxDatagram) continue;  // oversized: not ours
        receive(buf, static_cast<size_t>(n), from);
    }
}

void IaxEndpoint::sendRaw(const uint8_t* data, size_t length, const sockaddr_in& to) {
    if (fd_ < 0) return;
    DecodedFrame f;
    if (trace_ && decodeFrame(data, length, f) == DecodeStatus::Ok && f.kind == FrameKind::Full)
        std::fprintf(stderr, "labpbx -> %s %s/%u src=%u dst=%u ts=%u o=%u i=%u\n",
                     addressText(to).c_str(), frameTypeName(f.full.type), f.full.subclass,
                     f.full.sourceCall, f.full.destinationCall, f.full.timestamp, f.full.oseq,
                     f.full.iseq);
    if (sendto(fd_, data, length, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0)
        ++sendFailures_;
}

uint16_t IaxEndpoint::allocateCallNo() {
    // 2..16383 as the reference server; 0 and 1 are reserved.
    for (int tries = 0; tries < 16382; ++tries) {
        uint16_t n = nextCallNo_;
        nextCallNo_ = nextCallNo_ >= 16383 ? 2 : static_cast<uint16_t>(nextCallNo_ + 1);
        if (!sessions_.count(n)) return n;
    }
    return 0;
}

Session* IaxEndpoint::createSession(const sockaddr_in& addr, SessionKind kind) {
    uint16_t n = allocateCallNo();
    if (n == 0) return nullptr;
    auto s = std::make_unique<Session>();
    s->callNo = n;
    s->addr = addr;
    s->kind = kind;
    s->dialog = Dialog(n, nowMs(), timing_.retry);
    Session* raw = s.get();
    sessions_[n] = std::move(s);
    return raw;
}

Session* IaxEndpoint::find(uint16_t callNo) {
    auto it = sessions_.find(callNo);
    return it == sessions_.end() ? nullptr : it->second.get();
}

std::vector<uint16_t> IaxEndpoint::sessionNumbers() const {
    std::vector<uint16_t> out;
    for (const auto& [n, s] : sessions_) out.push_back(n);
    return out;
}

void IaxEndpoint::destroy(uint16_t callNo) {
    auto it = sessions_.find(callNo);
    if (it == sessions_.end()) return;
    Session& s = *it->second;
    loop_.cancelTimer(s.retryTimer);
    loop_.cancelTimer(s.pingTimer);
    loop_.cancelTimer(s.lagTimer);
    if (s.peerCallNo()) {
        auto key = std::make_pair(peerKey(s.addr), s.peerCallNo());
        auto p = byPeer_.find(key);
        if (p != byPeer_.end() && p->second == callNo) byPeer_.erase(p);
    }
    sessions_.erase(it);
}

void IaxEndpoint::sendFrame(Session& s, uint8_t type, uint32_t subclass, const uint8_t* payload,
                            size_t length, std::optional<uint32_t> ts) {
    OutFrame f = OutFrame::of(type, subclass, payload, length);
    f.timestamp = ts;
    uint8_t buf[kMaxDatagram];
    size_t n = s.dialog.build(f, nowMs(), buf, sizeof buf);
    if (n == 0) {
        ++sendFailures_;
        return;
    }
    if (takesSequenceNumber(type, subclass)) {
        if (isFinalFrame(type, subclass)) s.finalSent = true;
        armRetry(s);
    }
    sendRaw(buf, n, s.addr);
}

void IaxEndpoint::sendAck(Session& s, const FullHeader& received) {
    uint8_t buf[kFullHeaderSize];
    size_t n = s.dialog.buildAck(received, buf, sizeof buf);
    if (n) sendRaw(buf, n, s.addr);
}

void IaxEndpoint::ackAndDestroy(Session& s, const FullHeader& received) {
    sendAck(s, received);
    destroy(s.callNo);
}

void IaxEndpoint::sendVoice(Session& s, uint32_t format, const uint8_t* payload, size_t length) {
    uint32_t elapsed = s.dialog.elapsed(nowMs());
    // Keep a steady 20 ms rhythm while audio flows; re-anchor to the clock
    // after a pause or a large drift.
    uint32_t ts = s.txVoiceStarted ? s.lastTxVoiceTs + 20 : elapsed;
    if (s.txVoiceStarted && (ts + 240 < elapsed || ts > elapsed + 240)) ts = elapsed;
    if (ts <= s.lastTxVoiceTs && s.txVoiceStarted) ts = s.lastTxVoiceTs + 20;
    if (ts == 0) ts = 20;
    bool full = !s.txVoiceStarted || format != s.txVoiceFormat ||
                (ts & 0xFFFF0000u) != (s.lastTxVoiceTs & 0xFFFF0000u);
    s.txVoiceStarted = true;
    s.txVoiceFormat = format;
    s.lastTxVoiceTs = ts;
    if (full) {
        sendFrame(s, frametype::Voice, format, payload, length, ts);
        return;
    }
    MiniHeader m;
    m.sourceCall = s.callNo;
    m.timestamp = static_cast<uint16_t>(ts & 0xFFFF);
    uint8_t buf[kMaxDatagram];
    size_t n = encodeMiniFrame(m, payload, length, buf, sizeof buf);
    if (n) sendRaw(buf, n, s.addr);
}

void IaxEndpoint::sendNew(Session& s, const IeWriter& ies) {
    s.newIes.assign(ies.data(), ies.data() + ies.size());
    uint8_t buf[kMaxDatagram];
    if (s.newIes.size() + 2 > sizeof buf) return;
    std::memcpy(buf, s.newIes.data(), s.newIes.size());
    IeWriter tail(buf + s.newIes.size(), sizeof buf - s.newIes.size());
    tail.addEmpty(ie::CallToken);
    sendFrame(s, frametype::Iax, cmd::New, buf, s.newIes.size() + tail.size());
}

void IaxEndpoint::sendHangup(Session& s, const std::string& cause, uint8_t causeCode) {
    uint8_t buf[300];
    IeWriter w(buf, sizeof buf);
    w.addString(ie::Cause, cause);
    w.addU8(ie::CauseCode, causeCode);
    sendIax(s, cmd::Hangup, w);
}

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

void IaxEndpoint::sendApathetic(const sockaddr_in& to, uint16_t destCall, uint32_t ts,
                                uint8_t iseq, uint32_t command, const IeWriter* ies) {
    FullHeader h;
    h.sourceCall = kApatheticCallNumber;
    h.destinationCall = destCall;
    h.timestamp = ts;
    h.oseq = 0;
    h.iseq = iseq;
    h.type = frametype::Iax;
    h.subclass = command;
    uint8_t buf[kMaxDatagram];
    size_t n = encodeFullFrame(h, ies ? ies->data() : nullptr, ies ? ies->size() : 0, buf,
                               sizeof buf);
    if (n) sendRaw(buf, n, to);
}

void IaxEndpoint::sendInval(const sockaddr_in& to, uint16_t destCall, uint16_t srcCall) {
    // As the reference server's raw hang-up: our side of the numbers is the
    // one the frame was addressed to, timestamp and sequence numbers 0.
    FullHeader h;
    h.sourceCall = srcCall ? srcCall : kApatheticCallNumber;
    h.destinationCall = destCall;
    h.type = frametype::Iax;
    h.subclass = cmd::Inval;
    uint8_t buf[kFullHeaderSize];
    size_t n = encodeFullFrame(h, nullptr, 0, buf, sizeof buf);
    if (n) sendRaw(buf, n, to);
}

void IaxEndpoint::receive(const uint8_t* data, size_t length, const sockaddr_in& from) {
    DecodedFrame f;
    if (decodeFrame(data, length, f) != DecodeStatus::Ok) return;
    if (trace_ && f.kind == FrameKind::Full)
        std::fprintf(stderr, "labpbx <- %s %s/%u src=%u dst=%u ts=%u o=%u i=%u\n",
                     addressText(from).c_str(), frameTypeName(f.full.type), f.full.subclass,
                     f.full.sourceCall, f.full.destinationCall, f.full.timestamp, f.full.oseq,
                     f.full.iseq);
    if (f.kind == FrameKind::Full) handleFull(f, from);
    else if (f.kind == FrameKind::Mini) handleMini(f, from);
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
    uint32_t ts = (s->lastRxTs & 0xFFFF0000u) | f.mini.timestamp;
    if (ts + 50000 < s->lastRxTs) ts += 0x10000;
    else if (ts > s->lastRxTs + 50000 && ts >= 0x10000) ts -= 0x10000;
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
        if (tokens_.verify(text, ipText(from), ntohs(from.sin_port), now) ==
            CallTokenIssuer::Check::Valid)
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
        sendApathetic(from, h.sourceCall, h.timestamp, static_cast<uint8_t>(h.iseq + 1),
                      cmd::Pong, nullptr);
        return;
    }
    if (isIax && h.subclass == cmd::Ack && h.destinationCall == kApatheticCallNumber) return;

    Session* s = nullptr;
    auto known = byPeer_.find(std::make_pair(peerKey(from), h.sourceCall));
    if (h.destinationCall == 0) {
        if (known != byPeer_.end()) s = find(known->second);  // a repeated first frame
    } else {
        s = find(h.destinationCall);
        if (s && (!sameAddress(s->addr, from) ||
                  (s->peerCallNo() && s->peerCallNo() != h.sourceCall)))
            s = nullptr;
    }

    if (!s) {
        if (h.destinationCall == 0 && isIax && startsDialog(h.subclass)) {
            IeList ies;
            if (ies.parse(f.payload, f.payloadLength) != IeStatus::Ok) return;
            if (!tokenCheck(h, ies, from)) return;
            s = createSession(from, h.subclass == cmd::New ? SessionKind::CallLeg
                                                           : SessionKind::Registration);
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
        if (!(isIax && (h.subclass == cmd::Inval || h.subclass == cmd::TxCnt ||
                        h.subclass == cmd::TxAcc || h.subclass == cmd::FwDownl)))
            sendInval(from, h.sourceCall, h.destinationCall);
        return;
    }
    handleSessionFrame(*s, h, f.payload, f.payloadLength);
}

void IaxEndpoint::handleSessionFrame(Session& s, const FullHeader& h, const uint8_t* payload,
                                     size_t length) {
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
                rr.addU32(ie::RrPkts, 0);
                rr.addU16(ie::RrDelay, 0);
                rr.addU32(ie::RrDropped, 0);
                rr.addU32(ie::RrOoo, 0);
                sendIax(s, cmd::Pong, rr, h.timestamp);
                break;
            }
            case cmd::Pong: {
                uint32_t elapsed = s.dialog.elapsed(nowMs());
                if (elapsed >= h.timestamp) s.dialog.noteRoundTrip(elapsed - h.timestamp);
                break;
            }
            case cmd::LagRq:
                sendIax(s, cmd::LagRp, none, h.timestamp);
                break;
            case cmd::LagRp:
                break;
            case cmd::Vnak:
                s.dialog.resendFrom(h.iseq,
                                    [&](const uint8_t* d, size_t len) { sendRaw(d, len, s.addr); });
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
