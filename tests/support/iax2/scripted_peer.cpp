#include "tests/support/iax2/scripted_peer.h"

#include <arpa/inet.h>
#include <poll.h>

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#include "tests/support/iax2/udp_endpoint.h"
#include "voice/iax2/auth.h"
#include "voice/iax2/call_token.h"
#include "voice/iax2/dialog.h"
#include "voice/iax2/frame.h"
#include "voice/iax2/ie.h"
#include "voice/iax2/protocol.h"
#include "voice/iax2/values.h"

namespace iax2test {

using namespace iax2;

namespace {

enum class Kind { Registration, Release, Call };

struct PeerDialog {
    Dialog dialog;
    sockaddr_in addr{};
    Kind kind = Kind::Call;
    int callId = 0;
    std::string user;
    std::string challenge;
    bool closing = false;
};

std::string text(const IeList& ies, uint8_t id) {
    auto s = ies.string(id);
    return s ? std::string(*s) : std::string();
}

}  // namespace

struct ScriptedPeer::Impl {
    PeerOptions options;
    UdpEndpoint socket;
    mutable std::mutex mutex;
    std::map<std::string, std::string> users;
    std::map<uint16_t, PeerDialog> dialogs;
    std::map<int, PeerCall> calls;
    std::vector<Datagram> datagrams;
    PeerCounters counters;
    CallTokenIssuer tokens{"peer secret"};
    std::mt19937 random{12345};
    uint16_t nextCall = 100;
    int nextCallId = 1;
    bool silent = false;
    std::atomic<bool> stop{false};
    std::thread thread;

    explicit Impl(const PeerOptions& o) : options(o) {}

    uint16_t allocate() {
        while (dialogs.count(nextCall) || nextCall < 2) nextCall = (nextCall % 32000) + 2;
        return nextCall++;
    }

    void sendRaw(const sockaddr_in& to, const uint8_t* p, size_t n) {
        if (!silent) socket.sendTo(to, p, n);
    }

    void send(PeerDialog& d, uint8_t type, uint32_t subclass, const IeWriter* ies = nullptr,
              std::optional<uint32_t> ts = std::nullopt) {
        uint8_t buf[kMaxDatagram];
        OutFrame f = OutFrame::of(type, subclass, ies ? ies->data() : nullptr, ies ? ies->size() : 0);
        f.timestamp = ts;
        const size_t n = d.dialog.build(f, nowMs(), buf, sizeof buf);
        if (n) sendRaw(d.addr, buf, n);
    }

    void sendFinal(PeerDialog& d, uint8_t command, const std::string& cause, uint8_t code) {
        uint8_t buf[300];
        IeWriter w(buf, sizeof buf);
        if (!cause.empty()) w.addString(ie::Cause, cause);
        if (code) w.addU8(ie::CauseCode, code);
        send(d, frametype::Iax, command, &w);
        d.closing = true;
    }

    void apathetic(const FullHeader& h, const sockaddr_in& from, uint8_t command, const IeWriter* ies) {
        FullHeader r;
        r.sourceCall = kApatheticCallNumber;
        r.destinationCall = h.sourceCall;
        r.timestamp = h.timestamp;
        r.oseq = 0;
        r.iseq = static_cast<uint8_t>(h.oseq + 1);
        r.type = frametype::Iax;
        r.subclass = command;
        uint8_t buf[512];
        const size_t n = encodeFullFrame(r, ies ? ies->data() : nullptr, ies ? ies->size() : 0, buf, sizeof buf);
        if (n) sendRaw(from, buf, n);
    }

    // Call-token gate for a dialog-starting frame. Returns true to go on.
    bool tokenGate(const FullHeader& h, const IeList& ies, const sockaddr_in& from, uint8_t rejectCommand,
                   bool& tokenUsed) {
        tokenUsed = false;
        const Ie* tok = ies.find(ie::CallToken);
        if (!options.requireCallToken) return true;
        char addr[INET_ADDRSTRLEN];
        ::inet_ntop(AF_INET, &from.sin_addr, addr, sizeof addr);
        const uint16_t port = ntohs(from.sin_port);
        const int64_t now = static_cast<int64_t>(::time(nullptr));
        if (tok && tok->length == 0) {
            const std::string token = tokens.issue(addr, port, now);
            uint8_t buf[300];
            IeWriter w(buf, sizeof buf);
            w.addString(ie::CallToken, token);
            apathetic(h, from, cmd::CallToken, &w);
            ++counters.tokensIssued;
            return false;
        }
        if (tok && !options.refuseTokens &&
            tokens.verify(std::string_view(reinterpret_cast<const char*>(tok->data), tok->length), addr, port,
                          now) == CallTokenIssuer::Check::Valid) {
            tokenUsed = true;
            return true;
        }
        apathetic(h, from, rejectCommand, nullptr);
        ++counters.apatheticRejects;
        return false;
    }

    std::string newChallenge() {
        return std::to_string(std::uniform_int_distribution<uint32_t>(100000000, 999999999)(random));
    }

    void sendRegAuth(PeerDialog& d) {
        d.challenge = newChallenge();
        uint8_t buf[300];
        IeWriter w(buf, sizeof buf);
        addMd5Challenge(w, d.challenge, d.user);
        send(d, frametype::Iax, cmd::RegAuth, &w);
        ++counters.regauthsSent;
    }

    void handleStart(const FullHeader& h, const IeList& ies, const sockaddr_in& from) {
        const bool isNew = h.subclass == cmd::New;
        if (h.subclass == cmd::RegReq && !options.answerRegistrations) return;
        // A repeated opening frame of a dialog already under way.
        for (auto& [n, d] : dialogs)
            if (d.dialog.remoteCall() == h.sourceCall && d.addr.sin_port == from.sin_port &&
                d.addr.sin_addr.s_addr == from.sin_addr.s_addr) {
                process(d, h, nullptr, 0, ies);
                return;
            }
        bool tokenUsed = false;
        if (!tokenGate(h, ies, from, isNew ? cmd::Reject : cmd::RegRej, tokenUsed)) return;
        const uint16_t local = allocate();
        PeerDialog& d = dialogs[local];
        d.dialog = Dialog(local, nowMs(), options.retry);
        d.dialog.setRemoteCall(h.sourceCall);
        d.addr = from;
        d.dialog.receive(h);
        d.user = text(ies, ie::Username);
        if (!isNew) {
            d.kind = h.subclass == cmd::RegReq ? Kind::Registration : Kind::Release;
            if (!users.count(d.user)) {
                ++counters.registrationsRejected;
                sendFinal(d, cmd::RegRej, "Registration Refused", cause::FacilityRejected);
                return;
            }
            sendRegAuth(d);
            return;
        }
        d.kind = Kind::Call;
        PeerCall c;
        c.id = nextCallId++;
        c.fromEngine = true;
        c.username = d.user;
        c.calledNumber = text(ies, ie::CalledNumber);
        c.callingNumber = text(ies, ie::CallingNumber);
        c.callingName = text(ies, ie::CallingName);
        c.calledContext = text(ies, ie::CalledContext);
        c.format = ies.u32(ie::Format).value_or(0);
        c.capability = ies.u32(ie::Capability).value_or(0);
        c.tokenUsed = tokenUsed;
        d.callId = c.id;
        calls[c.id] = c;
        if (options.authenticateCalls && !d.user.empty()) {
            if (!users.count(d.user)) {
                endCall(d, cmd::Reject, "No authority found", 50);
                return;
            }
            d.challenge = newChallenge();
            uint8_t buf[300];
            IeWriter w(buf, sizeof buf);
            addMd5Challenge(w, d.challenge, d.user);
            send(d, frametype::Iax, cmd::AuthReq, &w);
            return;
        }
        acceptCall(d);
    }

    void acceptCall(PeerDialog& d) {
        PeerCall& c = calls[d.callId];
        const uint32_t format = options.acceptFormat ? options.acceptFormat : c.format;
        uint8_t buf[16];
        IeWriter w(buf, sizeof buf);
        w.addU32(ie::Format, format);
        send(d, frametype::Iax, cmd::Accept, &w);
        c.format = format;
        c.accepted = true;
    }

    void endCall(PeerDialog& d, uint8_t command, const std::string& cause, uint8_t code) {
        PeerCall& c = calls[d.callId];
        c.ended = true;
        c.endedByPeer = true;
        c.endCommand = command;
        c.endCause = cause;
        sendFinal(d, command, cause, code);
    }

    void ackAndClose(PeerDialog& d, const FullHeader& h) {
        uint8_t buf[kFullHeaderSize];
        if (d.dialog.buildAck(h, buf, sizeof buf)) sendRaw(d.addr, buf, sizeof buf);
        d.closing = true;
        d.dialog = Dialog(d.dialog.localCall(), 0, options.retry);  // nothing left to resend
    }

    void handleRegistration(PeerDialog& d, const FullHeader& h, const IeList& ies) {
        if (h.type != frametype::Iax) return;
        if (h.subclass != cmd::RegReq && h.subclass != cmd::RegRel) return;
        auto it = users.find(d.user);
        if (it == users.end() || !challengeAnswered(ies, d.challenge, it->second)) {
            ++counters.md5Failures;
            ++counters.registrationsRejected;
            sendFinal(d, cmd::RegRej, "Registration Refused", cause::FacilityRejected);
            return;
        }
        uint8_t buf[300];
        IeWriter w(buf, sizeof buf);
        w.addString(ie::Username, d.user);
        w.addU32(ie::DateTime, packDateTime(DateTime{2024, 1, 2, 3, 4, 6}));
        const uint16_t asked = ies.u16(ie::Refresh).value_or(60);
        w.addU16(ie::Refresh, options.grantedRefresh ? options.grantedRefresh : asked);
        uint8_t addr[kApparentAddrLength];
        packApparentAddress(ntohl(d.addr.sin_addr.s_addr), ntohs(d.addr.sin_port), addr);
        w.addRaw(ie::ApparentAddr, addr, sizeof addr);
        if (options.messagesOld >= 0 && options.messagesNew >= 0 && d.kind == Kind::Registration)
            w.addU16(ie::MsgCount, packMessageCount(options.messagesOld, options.messagesNew));
        if (d.kind == Kind::Registration)
            ++counters.registrationsAccepted;
        else
            ++counters.releases;
        send(d, frametype::Iax, cmd::RegAck, &w);
        d.closing = true;
    }

    void handleCall(PeerDialog& d, const FullHeader& h, const uint8_t* payload, size_t length, const IeList& ies) {
        PeerCall& c = calls[d.callId];
        switch (h.type) {
            case frametype::Iax:
                switch (h.subclass) {
                    case cmd::AuthRep: {
                        auto it = users.find(d.user);
                        if (it != users.end() && challengeAnswered(ies, d.challenge, it->second)) {
                            c.md5Verified = true;
                            acceptCall(d);
                        } else {
                            ++counters.md5Failures;
                            endCall(d, cmd::Reject, "No authority found", 50);
                        }
                        break;
                    }
                    case cmd::Accept:
                        c.acceptedByEngine = true;
                        c.format = ies.u32(ie::Format).value_or(0);
                        break;
                    case cmd::Hangup:
                    case cmd::Reject:
                        c.ended = true;
                        c.endCommand = static_cast<uint8_t>(h.subclass);
                        c.endCause = text(ies, ie::Cause);
                        ackAndClose(d, h);
                        break;
                    case cmd::Inval:
                        c.ended = true;
                        c.endCommand = cmd::Inval;
                        d.closing = true;
                        d.dialog = Dialog(d.dialog.localCall(), 0, options.retry);
                        break;
                    case cmd::Transfer:
                        c.transfers.push_back(text(ies, ie::CalledNumber));
                        if (options.hangUpAfterTransfer)
                            endCall(d, cmd::Hangup, "Normal Clearing", cause::NormalClearing);
                        break;
                    case cmd::Quelch:
                        c.quelched = true;
                        c.musicOnHold = ies.has(ie::MusicOnHold);
                        ++c.quelchCount;
                        break;
                    case cmd::Unquelch:
                        c.quelched = false;
                        ++c.unquelchCount;
                        break;
                    case cmd::Ping:
                        ++c.pings;
                        break;
                    default:
                        break;
                }
                break;
            case frametype::Control:
                if (h.subclass == ctl::Ringing) c.ringingFromEngine = true;
                if (h.subclass == ctl::Answer) c.answeredByEngine = true;
                if (h.subclass == ctl::Busy) c.busyFromEngine = true;
                break;
            case frametype::Dtmf:
                c.dtmf.push_back(static_cast<char>(h.subclass));
                break;
            case frametype::Text:
                c.texts.emplace_back(reinterpret_cast<const char*>(payload),
                                     strnlen(reinterpret_cast<const char*>(payload), length));
                break;
            case frametype::Voice:
                ++c.voiceFrames;
                break;
            case frametype::Cng:
                ++c.comfortNoise;
                c.lastComfortNoiseLevel = static_cast<int>(h.subclass);
                break;
            default:
                break;
        }
    }

    void process(PeerDialog& d, const FullHeader& h, const uint8_t* payload, size_t length, const IeList& ies) {
        uint8_t buf[kMaxDatagram];
        if (h.retransmitted) ++counters.retransmissionsReceived;
        const Verdict v = d.dialog.receive(h);
        if (v == Verdict::Duplicate) {
            if (d.dialog.buildAck(h, buf, sizeof buf)) sendRaw(d.addr, buf, kFullHeaderSize);
            return;
        }
        if (v == Verdict::Ahead) {
            if (d.dialog.vnakDue() && d.dialog.buildVnak(nowMs(), buf, sizeof buf))
                sendRaw(d.addr, buf, kFullHeaderSize);
            return;
        }
        if (d.closing && d.dialog.allAcknowledged()) return;
        if (h.type == frametype::Iax) {
            switch (h.subclass) {
                case cmd::Vnak:
                    ++counters.vnaksReceived;
                    d.dialog.resendFrom(h.iseq, [&](const uint8_t* p, size_t n) { sendRaw(d.addr, p, n); });
                    break;
                case cmd::Ping: {
                    uint8_t rr[16];
                    IeWriter w(rr, sizeof rr);
                    w.addU32(ie::RrPkts, options.reportedPackets);
                    send(d, frametype::Iax, cmd::Pong, &w, h.timestamp);
                    break;
                }
                case cmd::LagRq:
                    send(d, frametype::Iax, cmd::LagRp, nullptr, h.timestamp);
                    break;
                default:
                    break;
            }
        }
        if (d.kind == Kind::Call)
            handleCall(d, h, payload, length, ies);
        else
            handleRegistration(d, h, ies);
        if (v == Verdict::Accept && d.dialog.ackOwed(h) && d.dialog.buildAck(h, buf, sizeof buf))
            sendRaw(d.addr, buf, kFullHeaderSize);
    }

    void handleDatagram(const uint8_t* data, size_t n, const sockaddr_in& from) {
        datagrams.push_back(Datagram{std::vector<uint8_t>(data, data + n), from, nowMs()});
        if (silent) return;
        DecodedFrame f;
        if (decodeFrame(data, n, f) != DecodeStatus::Ok) return;
        if (f.kind == FrameKind::Mini) {
            for (auto& [num, d] : dialogs)
                if (d.dialog.remoteCall() == f.mini.sourceCall && d.kind == Kind::Call)
                    ++calls[d.callId].voiceFrames;
            return;
        }
        if (f.kind != FrameKind::Full) return;
        IeList ies;
        if (f.full.type == frametype::Iax && ies.parse(f.payload, f.payloadLength) != IeStatus::Ok) return;
        const FullHeader& h = f.full;
        if (h.destinationCall == 0) {
            if (h.type == frametype::Iax &&
                (h.subclass == cmd::New || h.subclass == cmd::RegReq || h.subclass == cmd::RegRel))
                handleStart(h, ies, from);
            return;
        }
        auto it = dialogs.find(h.destinationCall);
        if (it == dialogs.end()) return;
        PeerDialog& d = it->second;
        if (d.dialog.remoteCall() == 0) d.dialog.setRemoteCall(h.sourceCall);
        process(d, h, f.payload, f.payloadLength, ies);
    }

    void timers() {
        if (silent) return;
        const uint64_t t = nowMs();
        std::vector<uint16_t> gone;
        for (auto& [num, d] : dialogs) {
            bool lost = false;
            d.dialog.service(
                t, [&](const uint8_t* p, size_t n) { sendRaw(d.addr, p, n); },
                [&](const RetransmitQueue::Entry&) { lost = true; });
            if (lost) {
                if (d.kind == Kind::Call && !calls[d.callId].ended) {
                    calls[d.callId].ended = true;
                    calls[d.callId].endCause = "timeout";
                }
                gone.push_back(num);
            } else if (d.closing && d.dialog.allAcknowledged()) {
                gone.push_back(num);
            }
        }
        for (uint16_t n : gone) dialogs.erase(n);
    }

    void run() {
        uint8_t buf[kMaxDatagram];
        while (!stop) {
            pollfd p{socket.fd(), POLLIN, 0};
            ::poll(&p, 1, 2);
            std::lock_guard<std::mutex> lock(mutex);
            sockaddr_in from{};
            long n;
            while ((n = socket.receive(buf, sizeof buf, from)) >= 0)
                handleDatagram(buf, static_cast<size_t>(n), from);
            timers();
        }
    }

    PeerDialog* dialogOf(int id) {
        for (auto& [num, d] : dialogs)
            if (d.kind == Kind::Call && d.callId == id && !d.closing) return &d;
        return nullptr;
    }

    // Runs fn on the call's dialog once the other end's call number is
    // known (a frame sent before that could not reach its dialog), waiting
    // up to a second for it.
    void withDialog(int id, const std::function<void(PeerDialog&)>& fn) {
        const uint64_t deadline = nowMs() + 1000;
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                PeerDialog* d = dialogOf(id);
                if (d == nullptr) return;
                if (d->dialog.remoteCall() != 0 || nowMs() >= deadline) {
                    fn(*d);
                    return;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
};

ScriptedPeer::ScriptedPeer(const PeerOptions& options) : impl_(std::make_unique<Impl>(options)) {
    impl_->thread = std::thread([this] { impl_->run(); });
}

ScriptedPeer::~ScriptedPeer() {
    impl_->stop = true;
    impl_->thread.join();
}

uint16_t ScriptedPeer::port() const {
    return impl_->socket.port();
}

void ScriptedPeer::addUser(const std::string& user, const std::string& secret) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->users[user] = secret;
}

void ScriptedPeer::setAnswerRegistrations(bool on) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->options.answerRegistrations = on;
}

void ScriptedPeer::setSilent(bool on) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->silent = on;
}

std::vector<int> ScriptedPeer::callIds() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    std::vector<int> ids;
    for (auto& [id, c] : impl_->calls) ids.push_back(id);
    return ids;
}

PeerCall ScriptedPeer::call(int id) const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    auto it = impl_->calls.find(id);
    return it == impl_->calls.end() ? PeerCall{} : it->second;
}

void ScriptedPeer::ring(int id) {
    impl_->withDialog(id, [&](PeerDialog& dd) { impl_->send(dd, frametype::Control, ctl::Ringing); });
}

void ScriptedPeer::answer(int id) {
    impl_->withDialog(id, [&](PeerDialog& dd) { impl_->send(dd, frametype::Control, ctl::Answer); });
}

void ScriptedPeer::busy(int id) {
    impl_->withDialog(id, [&](PeerDialog& dd) { impl_->send(dd, frametype::Control, ctl::Busy); });
}

void ScriptedPeer::hangup(int id, const std::string& cause) {
    impl_->withDialog(
        id, [&](PeerDialog& dd) { impl_->endCall(dd, cmd::Hangup, cause, iax2::cause::NormalClearing); });
}

void ScriptedPeer::quelch(int id) {
    impl_->withDialog(id, [&](PeerDialog& dd) { impl_->send(dd, frametype::Iax, cmd::Quelch); });
}

void ScriptedPeer::unquelch(int id) {
    impl_->withDialog(id, [&](PeerDialog& dd) { impl_->send(dd, frametype::Iax, cmd::Unquelch); });
}

void ScriptedPeer::sendIax(int id, uint8_t command) {
    sendFull(id, frametype::Iax, command);
}

void ScriptedPeer::sendFull(int id, uint8_t type, uint32_t subclass) {
    impl_->withDialog(id, [&](PeerDialog& dd) { impl_->send(dd, type, subclass); });
}

void ScriptedPeer::sendVoice(int id, uint32_t format, const std::vector<uint8_t>& payload, uint32_t timestamp) {
    impl_->withDialog(id, [&](PeerDialog& d) {
        uint8_t buf[kMaxDatagram];
        OutFrame f = OutFrame::of(frametype::Voice, format, payload.data(), payload.size());
        f.timestamp = timestamp;
        const size_t n = d.dialog.build(f, nowMs(), buf, sizeof buf);
        if (n) impl_->sendRaw(d.addr, buf, n);
    });
}

void ScriptedPeer::sendMini(int id, const std::vector<uint8_t>& payload, uint16_t timestamp) {
    impl_->withDialog(id, [&](PeerDialog& d) {
        uint8_t buf[kMaxDatagram];
        const MiniHeader h{d.dialog.localCall(), timestamp};
        const size_t n = encodeMiniFrame(h, payload.data(), payload.size(), buf, sizeof buf);
        if (n) impl_->sendRaw(d.addr, buf, n);
    });
}

int ScriptedPeer::placeCall(uint16_t enginePort, const PlaceCallParams& p) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    const uint16_t local = impl_->allocate();
    PeerDialog& d = impl_->dialogs[local];
    d.dialog = Dialog(local, nowMs(), impl_->options.retry);
    d.addr = loopback(enginePort);
    d.kind = Kind::Call;
    PeerCall c;
    c.id = impl_->nextCallId++;
    c.callingNumber = p.callingNumber;
    c.callingName = p.callingName;
    c.calledNumber = p.calledNumber;
    c.calledContext = p.calledContext;
    c.format = p.format;
    c.capability = p.capability;
    d.callId = c.id;
    impl_->calls[c.id] = c;
    uint8_t buf[600];
    IeWriter w(buf, sizeof buf);
    w.addU16(ie::Version, kProtocolVersion);
    if (!p.calledNumber.empty()) w.addString(ie::CalledNumber, p.calledNumber);
    if (!p.callingNumber.empty()) w.addString(ie::CallingNumber, p.callingNumber);
    if (!p.callingName.empty()) w.addString(ie::CallingName, p.callingName);
    if (!p.calledContext.empty()) w.addString(ie::CalledContext, p.calledContext);
    w.addU32(ie::Format, p.format);
    w.addU32(ie::Capability, p.capability);
    w.addEmpty(ie::CallToken);
    impl_->send(d, frametype::Iax, cmd::New, &w);
    return c.id;
}

PeerCounters ScriptedPeer::counters() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->counters;
}

std::vector<Datagram> ScriptedPeer::received() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->datagrams;
}

size_t ScriptedPeer::openDialogs() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->dialogs.size();
}

bool ScriptedPeer::waitFor(const std::function<bool()>& pred, int timeoutMs) const {
    // The time-out only bounds a failing test; a busy machine may take far
    // longer than a quiet one.
    constexpr int kPatienceMs = 10000;
    if (timeoutMs < kPatienceMs) timeoutMs = kPatienceMs;
    const uint64_t deadline = nowMs() + static_cast<uint64_t>(timeoutMs);
    while (nowMs() < deadline) {
        if (pred()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return pred();
}

}  // namespace iax2test
