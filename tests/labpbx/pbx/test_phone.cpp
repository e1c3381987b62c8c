#include "test_phone.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <stdexcept>

#include "voice/iax2/auth.h"

namespace labpbx::test {

using namespace iax2;

namespace {
constexpr size_t kHistoryLimit = 4096;
}

uint32_t Rx::num(uint8_t id) const {
    auto it = ies.find(id);
    if (it == ies.end()) return 0;
    uint32_t v = 0;
    for (unsigned char c : it->second) v = (v << 8) | c;
    return v;
}

TestPhone::TestPhone(uint16_t pbxPort) {
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0)
        throw std::runtime_error("test phone: cannot bind");
    socklen_t len = sizeof sa;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len);
    port_ = ntohs(sa.sin_port);
    pbx_.sin_family = AF_INET;
    pbx_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    pbx_.sin_port = htons(pbxPort);
    epoch_ = 0;
    epoch_ = nowMs();
}

TestPhone::~TestPhone() {
    if (fd_ >= 0) close(fd_);
}

uint64_t TestPhone::nowMs() const {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count()) -
           epoch_ + 1000;
}

uint16_t TestPhone::open() {
    uint16_t n = nextCall_++;
    dialogs_[n] = Dialog(n, nowMs(), RetryPolicy{});
    return n;
}

void TestPhone::sendRaw(const uint8_t* data, size_t length) {
    sendto(fd_, data, length, 0, reinterpret_cast<sockaddr*>(&pbx_), sizeof pbx_);
}

void TestPhone::sendHeader(const FullHeader& h) {
    uint8_t buf[kFullHeaderSize];
    size_t n = encodeFullFrame(h, nullptr, 0, buf, sizeof buf);
    if (n) sendRaw(buf, n);
}

void TestPhone::send(uint16_t call, uint8_t type, uint32_t subclass, const Ies* ies, std::optional<uint32_t> ts) {
    OutFrame f = OutFrame::of(type, subclass, ies ? ies->data() : nullptr, ies ? ies->size() : 0);
    f.timestamp = ts;
    uint8_t buf[kMaxDatagram];
    size_t n = dialogs_.at(call).build(f, nowMs(), buf, sizeof buf);
    if (n) sendRaw(buf, n);
}

void TestPhone::sendVoice(uint16_t call, uint32_t format, const std::vector<uint8_t>& payload, uint32_t ts) {
    OutFrame f = OutFrame::of(frametype::Voice, format, payload.data(), payload.size());
    f.timestamp = ts;
    uint8_t buf[kMaxDatagram];
    size_t n = dialogs_.at(call).build(f, nowMs(), buf, sizeof buf);
    if (n) sendRaw(buf, n);
}

void TestPhone::sendMini(uint16_t call, uint16_t ts, const std::vector<uint8_t>& payload) {
    MiniHeader m;
    m.sourceCall = call;
    m.timestamp = ts;
    uint8_t buf[kMaxDatagram];
    size_t n = encodeMiniFrame(m, payload.data(), payload.size(), buf, sizeof buf);
    if (n) sendRaw(buf, n);
}

void TestPhone::track(Rx& rx) {
    if (rx.mini) return;
    const FullHeader& h = rx.h;
    if (answerPokes && h.type == frametype::Iax && h.subclass == cmd::Poke && h.destinationCall == 0) {
        // Answered without any state, from call number 1, as a phone does.
        FullHeader pong;
        pong.sourceCall = kApatheticCallNumber;
        pong.destinationCall = h.sourceCall;
        pong.timestamp = h.timestamp;
        pong.iseq = static_cast<uint8_t>(h.oseq + 1);
        pong.type = frametype::Iax;
        pong.subclass = cmd::Pong;
        uint8_t out[kFullHeaderSize];
        size_t n = encodeFullFrame(pong, nullptr, 0, out, sizeof out);
        if (n) sendRaw(out, n);
        return;
    }
    // Apathetic server replies come from call number 1 and set nothing up.
    if (h.sourceCall == kApatheticCallNumber) return;
    auto it = dialogs_.find(h.destinationCall);
    if (it == dialogs_.end()) return;
    Dialog& d = it->second;
    if (d.remoteCall() == 0) d.setRemoteCall(h.sourceCall);
    Verdict v = d.receive(h);
    uint8_t buf[64];
    if (v == Verdict::Duplicate && autoAck) {
        size_t n = d.buildAck(h, buf, sizeof buf);
        if (n) sendRaw(buf, n);
        return;
    }
    if (v != Verdict::Accept) return;
    if (h.type == frametype::Iax && h.subclass == cmd::Ping) {
        send(h.destinationCall, frametype::Iax, cmd::Pong, nullptr, h.timestamp);
    } else if (h.type == frametype::Iax && h.subclass == cmd::LagRq) {
        send(h.destinationCall, frametype::Iax, cmd::LagRp, nullptr, h.timestamp);
    } else if (autoAck && d.ackOwed(h)) {
        size_t n = d.buildAck(h, buf, sizeof buf);
        if (n) sendRaw(buf, n);
    }
}

std::optional<Rx> TestPhone::next(int timeoutMs) {
    if (!pending_.empty()) {
        Rx rx = pending_.front();
        pending_.erase(pending_.begin());
        return rx;
    }
    return receiveOne(timeoutMs);
}

std::optional<Rx> TestPhone::receiveOne(int timeoutMs) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0) return std::nullopt;
    uint8_t buf[kMaxDatagram + 1];
    ssize_t n = recv(fd_, buf, sizeof buf, 0);
    if (n <= 0) return std::nullopt;
    DecodedFrame f;
    Rx rx;
    if (decodeFrame(buf, static_cast<size_t>(n), f) != DecodeStatus::Ok) return rx;
    rx.payload.assign(f.payload, f.payload + f.payloadLength);
    if (f.kind == FrameKind::Mini) {
        rx.mini = true;
        rx.miniCall = f.mini.sourceCall;
        rx.miniTs = f.mini.timestamp;
        return rx;
    }
    rx.h = f.full;
    if (f.full.type == frametype::Iax) {
        IeList list;
        if (list.parse(f.payload, f.payloadLength) == IeStatus::Ok)
            for (size_t i = 0; i < list.count(); ++i)
                rx.ies[list.at(i).id] =
                    std::string(reinterpret_cast<const char*>(list.at(i).data), list.at(i).length);
    }
    if (history.size() >= kHistoryLimit) history.erase(history.begin(), history.begin() + kHistoryLimit / 2);
    history.push_back(rx);
    track(rx);
    return rx;
}

std::vector<Rx> TestPhone::historyOf(uint16_t call, int type) const {
    std::vector<Rx> out;
    for (const Rx& rx : history)
        if (rx.h.destinationCall == call && (type < 0 || rx.h.type == type)) out.push_back(rx);
    return out;
}

std::optional<Rx> TestPhone::waitFor(uint16_t call, uint8_t type, uint32_t subclass, int timeoutMs) {
    auto match = [&](const Rx& rx) {
        return rx.is(type, subclass) && (call == 0 || rx.h.destinationCall == call);
    };
    for (size_t i = 0; i < pending_.size(); ++i)
        if (match(pending_[i])) {
            Rx rx = pending_[i];
            pending_.erase(pending_.begin() + static_cast<long>(i));
            return rx;
        }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                .count();
        if (left <= 0) return std::nullopt;
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) return std::nullopt;
        std::optional<Rx> rx = receiveOne(0);
        if (!rx) continue;
        if (match(*rx)) return rx;
        pending_.push_back(*rx);
    }
}

std::optional<Rx> TestPhone::waitIncoming(uint16_t& call, int timeoutMs) {
    std::optional<Rx> rx = waitFor(0, frametype::Iax, cmd::New, timeoutMs);
    if (!rx) return rx;
    call = open();
    Dialog& d = dialogs_.at(call);
    d.setRemoteCall(rx->h.sourceCall);
    d.receive(rx->h);
    return rx;
}

RegResult TestPhone::registerExt(const std::string& user, const std::string& secret, uint16_t refresh,
                                 bool useToken, bool release) {
    RegResult r;
    const uint32_t command = release ? cmd::RegRel : cmd::RegReq;
    uint16_t call = open();
    Ies first;
    first.str(ie::Username, user);
    if (!release) first.u16(ie::Refresh, refresh);
    if (useToken) first.empty(ie::CallToken);
    sendIax(call, command, first);
    if (useToken) {
        auto tok = waitIax(call, cmd::CallToken);
        if (!tok) return r;
        r.tokenRound = true;
        dialogs_.at(call).restartSequence();
        Ies again;
        again.str(ie::Username, user);
        if (!release) again.u16(ie::Refresh, refresh);
        again.str(ie::CallToken, tok->str(ie::CallToken));
        sendIax(call, command, again);
    }
    for (;;) {
        auto rx = receiveOne(2000);
        if (!rx) return r;
        if (rx->mini || rx->h.destinationCall != call) {
            pending_.push_back(*rx);
            continue;
        }
        if (rx->isIax(cmd::RegAuth)) {
            r.challenge = rx->str(ie::Challenge);
            Ies ans;
            ans.str(ie::Username, user);
            if (!release) ans.u16(ie::Refresh, refresh);
            ans.str(ie::Md5Result, md5ChallengeResponse(r.challenge, secret));
            sendIax(call, command, ans);
        } else if (rx->isIax(cmd::RegAck)) {
            r.outcome = RegOutcome::Ack;
            r.reply = *rx;
            return r;
        } else if (rx->isIax(cmd::RegRej)) {
            r.outcome = RegOutcome::Rej;
            r.reply = *rx;
            return r;
        }
    }
}

uint16_t TestPhone::dial(const std::string& user, const std::string& secret, const std::string& number,
                         uint32_t format, uint32_t caps) {
    uint16_t call = open();
    auto newIes = [&](const std::string* token) {
        Ies i;
        i.u16(ie::Version, kProtocolVersion)
            .str(ie::CallingNumber, user)
            .str(ie::CallingName, "Phone " + user)
            .u32(ie::Format, format)
            .u32(ie::Capability, caps ? caps : format)
            .str(ie::Username, user)
            .str(ie::CalledNumber, number);
        if (token)
            i.str(ie::CallToken, *token);
        else
            i.empty(ie::CallToken);
        return i;
    };
    Ies first = newIes(nullptr);
    sendIax(call, cmd::New, first);
    auto tok = waitIax(call, cmd::CallToken);
    if (!tok) return 0;
    dialogs_.at(call).restartSequence();
    std::string token = tok->str(ie::CallToken);
    Ies second = newIes(&token);
    sendIax(call, cmd::New, second);
    for (;;) {
        auto rx = receiveOne(2000);
        if (!rx) return 0;
        if (rx->mini || rx->h.destinationCall != call) {
            pending_.push_back(*rx);
            continue;
        }
        if (rx->isIax(cmd::AuthReq)) {
            Ies rep;
            rep.str(ie::Md5Result, md5ChallengeResponse(rx->str(ie::Challenge), secret));
            sendIax(call, cmd::AuthRep, rep);
        } else if (rx->isIax(cmd::Accept)) {
            lastAccept = *rx;
            return call;
        } else if (rx->isIax(cmd::Reject)) {
            lastReject = *rx;
            return 0;
        }
    }
}

void TestPhone::acceptIncoming(uint16_t call, uint32_t format) {
    Ies acc;
    acc.u32(ie::Format, format);
    sendIax(call, cmd::Accept, acc);
    send(call, frametype::Control, ctl::Ringing);
}

void TestPhone::hangup(uint16_t call) {
    Ies h;
    h.str(ie::Cause, "Normal Clearing").u8(ie::CauseCode, 16);
    sendIax(call, cmd::Hangup, h);
}

}  // namespace labpbx::test
