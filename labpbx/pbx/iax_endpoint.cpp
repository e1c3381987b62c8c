#include "labpbx/pbx/iax_endpoint.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <system_error>

#include "voice/iax2/protocol.h"

namespace labpbx {

using namespace iax2;

namespace {

std::string randomSecret() {
    std::random_device rd;
    std::string s;
    for (int i = 0; i < 32; ++i) s.push_back(static_cast<char>(rd() & 0xFF));
    return s;
}
}  // namespace

bool fullVoiceFrameDue(bool started, uint32_t lastFormat, uint32_t lastTs, uint32_t format, uint32_t ts) {
    if (!started || format != lastFormat) return true;
    const uint32_t high = ts & 0xFFFF0000u;
    return high != (lastTs & 0xFFFF0000u) && high != ((lastTs + 0x10000u) & 0xFFFF0000u);
}

uint64_t peerKey(const sockaddr_in& a) {
    return (static_cast<uint64_t>(ntohl(a.sin_addr.s_addr)) << 16) | ntohs(a.sin_port);
}

bool sameAddress(const sockaddr_in& a, const sockaddr_in& b) {
    return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

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
      // A day back, so that a session clock may start ahead of the
      // endpoint's (WireTiming::clockStartMs).
      epoch_(Clock::now() - std::chrono::hours(24)),
      trace_(std::getenv("LABPBX_TRACE") != nullptr) {}

IaxEndpoint::~IaxEndpoint() {
    close();
}

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
        error = std::string("IAX2 socket: ") + std::system_category().message(errno);
        return false;
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        error = "IAX2 port " + std::to_string(port) + ": " + std::system_category().message(errno);
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
        std::fprintf(stderr, "labpbx -> %s %s/%u src=%u dst=%u ts=%u o=%u i=%u\n", addressText(to).c_str(),
                     frameTypeName(f.full.type), f.full.subclass, f.full.sourceCall, f.full.destinationCall,
                     f.full.timestamp, f.full.oseq, f.full.iseq);
    if (sendto(fd_, data, length, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0) ++sendFailures_;
}

uint16_t IaxEndpoint::allocateCallNo() {
    // 2..16383 as the reference server; 0 and 1 are reserved.
    for (int tries = 0; tries < 16382; ++tries) {
        uint16_t n = nextCallNo_;
        nextCallNo_ = nextCallNo_ >= 16383 ? 2 : static_cast<uint16_t>(nextCallNo_ + 1);
        if (!sessions_.count(n) && !givenUp(n)) return n;
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
    const uint64_t now = nowMs();
    s->dialog = Dialog(n, now > timing_.clockStartMs ? now - timing_.clockStartMs : 0, timing_.retry);
    Session* raw = s.get();
    sessions_[n] = std::move(s);
    // A call leg is kept alive with PING and LAGRQ from its start.
    if (kind == SessionKind::CallLeg) startKeepAlive(*raw);
    return raw;
}

Session* IaxEndpoint::find(uint16_t callNo) {
    auto it = sessions_.find(callNo);
    return it == sessions_.end() ? nullptr : it->second.get();
}

size_t IaxEndpoint::unacknowledged() const {
    size_t n = 0;
    for (const auto& [callNo, s] : sessions_) n += s->dialog.queue().size();
    return n;
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

void IaxEndpoint::sendFrame(Session& s, uint8_t type, uint32_t subclass, const uint8_t* payload, size_t length,
                            std::optional<uint32_t> ts) {
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
    bool full = fullVoiceFrameDue(s.txVoiceStarted, s.txVoiceFormat, s.lastTxVoiceTs, format, ts);
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

void IaxEndpoint::sendHangup(Session& s, uint8_t causeCode) {
    uint8_t buf[8];
    IeWriter w(buf, sizeof buf);
    w.addU8(ie::CauseCode, causeCode);
    sendIax(s, cmd::Hangup, w);
}

void IaxEndpoint::sendApathetic(const sockaddr_in& to, uint16_t destCall, uint32_t ts, uint8_t iseq,
                                uint32_t command, const IeWriter* ies) {
    FullHeader h;
    h.sourceCall = kApatheticCallNumber;
    h.destinationCall = destCall;
    h.timestamp = ts;
    h.oseq = 0;
    h.iseq = iseq;
    h.type = frametype::Iax;
    h.subclass = command;
    uint8_t buf[kMaxDatagram];
    size_t n = encodeFullFrame(h, ies ? ies->data() : nullptr, ies ? ies->size() : 0, buf, sizeof buf);
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

}  // namespace labpbx
