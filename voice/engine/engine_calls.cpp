// Calls: the call operations of the API and the frames of call dialogs.
#include <algorithm>
#include <cstring>

#include "voice/engine/dial_string.h"
#include "voice/engine/engine.h"
#include "voice/iax2/auth.h"
#include "voice/iax2/codec.h"
#include "voice/iax2/protocol.h"
#include "voice/media/media_port.h"
#include "voice/engine/resolve.h"

namespace voice::engine {
namespace {

constexpr size_t kMaxText = IAXC_EVENT_BUFSIZ - 1;
constexpr const char* kUnknown = "unknown";

std::string bounded(const char* text) {
    if (text == nullptr) return {};
    return std::string(text, strnlen(text, kMaxText));
}

std::string ieText(const iax2::IeList& ies, uint8_t id, const char* fallback) {
    char buf[IAXC_EVENT_BUFSIZ];
    if (!iax2::copyIeString(ies, id, buf, sizeof buf) || buf[0] == '\0') return fallback;
    return buf;
}

uint32_t formatOf(const iax2::IeList& ies, uint8_t plain, uint8_t versioned) {
    if (auto v = ies.u32(plain)) return *v;
    if (auto v = ies.versionedU64(versioned)) return static_cast<uint32_t>(*v);
    return 0;
}

bool isDtmfDigit(char c) {
    return (c >= '0' && c <= '9') || c == '*' || c == '#' || (c >= 'A' && c <= 'D');
}

}  // namespace

// ---------------------------------------------------------------- API

void Engine::setCallerId(const char* name, const char* number) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (CallSlot& c : slots_) {
        c.callerName = bounded(name);
        c.callerNumber = bounded(number);
    }
}

void Engine::setFormats(int preferred, int allowed) {
    std::lock_guard<std::mutex> lock(mutex_);
    int usable = allowed & kSupportedFormats;
    if (usable == 0) usable = kSupportedFormats;
    if (!iax2::isSingleCodec(static_cast<uint32_t>(preferred)) || !(preferred & usable)) {
        for (int f : {IAXC_FORMAT_GSM, IAXC_FORMAT_ULAW, IAXC_FORMAT_ALAW})
            if (usable & f) {
                preferred = f;
                break;
            }
    }
    preferredFormat_ = preferred;
    allowedFormats_ = usable;
}

int Engine::call(const char* dest, const char* callerName, const char* callerNumber) {
    if (dest == nullptr) return -1;
    const auto dial = parseDialString(bounded(dest), iax2::kDefaultPort);
    const auto address = dial ? resolveIpv4(dial->host, dial->port) : std::nullopt;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initialized_) return -1;
    if (!dial) {
        postText(IAXC_TEXT_TYPE_ERROR, -1, "Invalid dial string");
        return -1;
    }
    int slot = -1;
    if (validSlot(selected_) && !(slots_[selected_].state & IAXC_CALL_STATE_ACTIVE))
        slot = selected_;
    else
        for (int i = 0; i < static_cast<int>(slots_.size()) && slot < 0; ++i)
            if (slots_[i].state == IAXC_CALL_STATE_FREE) slot = i;
    if (slot < 0) {
        postText(IAXC_TEXT_TYPE_STATUS, -1, "No free call appearances");
        return -1;
    }
    if (!address) {
        postText(IAXC_TEXT_TYPE_ERROR, -1, "Unable to resolve host %s", dial->host.c_str());
        return -1;
    }
    Session* s = newSession(SessionKind::Call, *address);
    if (s == nullptr) return -1;
    CallSlot& c = slots_[slot];
    const std::string name = callerName ? bounded(callerName) : c.callerName;
    const std::string number = callerNumber ? bounded(callerNumber) : c.callerNumber;
    s->outgoing = true;
    s->slot = slot;
    s->username = dial->user;
    s->secret = dial->secret;
    c.state = IAXC_CALL_STATE_ACTIVE | IAXC_CALL_STATE_OUTGOING;
    c.format = 0;
    c.remote = dial->afterSlash.substr(0, kMaxText);
    c.remoteName = dial->withoutSecret.substr(0, kMaxText);
    c.local = name;
    c.localContext = "default";
    c.session = s->dialog.localCall();

    uint8_t buf[1400];
    iax2::IeWriter w(buf, sizeof buf);
    w.addU16(iax2::ie::Version, iax2::kProtocolVersion);
    w.addString(iax2::ie::CallingNumber, number);
    w.addString(iax2::ie::CallingName, name);
    w.addString(iax2::ie::CodecPrefs,
                iax2::codecPrefs(static_cast<uint32_t>(preferredFormat_),
                                 static_cast<uint32_t>(allowedFormats_)));
    w.addU32(iax2::ie::Format, static_cast<uint32_t>(preferredFormat_));
    w.addU32(iax2::ie::Capability, static_cast<uint32_t>(allowedFormats_));
    if (!dial->user.empty()) w.addString(iax2::ie::Username, dial->user.substr(0, 255));
    if (!dial->exten.empty()) {
        w.addString(iax2::ie::CalledNumber, dial->exten.substr(0, 255));
        w.addString(iax2::ie::Dnid, dial->exten.substr(0, 255));
    }
    if (!dial->context.empty()) w.addString(iax2::ie::CalledContext, dial->context.substr(0, 255));
    s->openingCommand = iax2::cmd::New;
    s->openingIes.assign(w.data(), w.data() + w.size());

    postText(IAXC_TEXT_TYPE_NOTICE, slot, "Originating an audio only call");
    selectLocked(slot);
    sendOpening(*s, "");
    postState(slot);
    updateMedia();
    return slot;
}

void Engine::answer(int slot) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initialized_ || !validSlot(slot)) return;
    const int state = slots_[slot].state;
    if (!(state & IAXC_CALL_STATE_ACTIVE) || (state & IAXC_CALL_STATE_OUTGOING)) return;
    answerLocked(slot);
    selectLocked(slot);
    postState(slot);
    updateMedia();
}

void Engine::answerLocked(int slot) {
    CallSlot& c = slots_[slot];
    if (!(c.state & IAXC_CALL_STATE_RINGING) || (c.state & IAXC_CALL_STATE_OUTGOING)) return;
    if (Session* s = slotSession(slot)) sendControl(*s, iax2::ctl::Answer);
    c.state = (c.state | IAXC_CALL_STATE_COMPLETE) & ~IAXC_CALL_STATE_RINGING;
}

void Engine::selectLocked(int slot) {
    const int previous = selected_;
    selected_ = slot;
    if (validSlot(slot)) slots_[slot].selected = true;
    if (previous == slot || !validSlot(previous)) return;
    slots_[previous].selected = false;
    if (slots_[previous].state != IAXC_CALL_STATE_FREE) postState(previous);
}

int Engine::select(int slot) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initialized_) return -1;
    if (slot >= static_cast<int>(slots_.size())) {
        postText(IAXC_TEXT_TYPE_ERROR, -1, "Error: tried to select out_of_range call %d", slot);
        return -1;
    }
    if (slot < 0) {
        if (validSlot(selected_)) slots_[selected_].selected = false;
        selected_ = -1;
        updateMedia();
        return 0;
    }
    selectLocked(slot);
    answerLocked(slot);
    if (slots_[slot].state != IAXC_CALL_STATE_FREE) postState(slot);
    updateMedia();
    return 0;
}

int Engine::firstFree() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (int i = 0; i < static_cast<int>(slots_.size()); ++i)
        if (slots_[i].state == IAXC_CALL_STATE_FREE) return i;
    return -1;
}

int Engine::selected() {
    std::lock_guard<std::mutex> lock(mutex_);
    return selected_;
}

void Engine::dumpSelected() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (initialized_) dumpLocked(selected_);
}

void Engine::dump(int slot) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (initialized_) dumpLocked(slot);
}

void Engine::dumpLocked(int slot) {
    if (!validSlot(slot) || slots_[slot].state == IAXC_CALL_STATE_FREE) return;
    if (Session* s = slotSession(slot)) {
        // Before the far end has answered at all there is no dialog on its
        // side to close.
        if (s->dialog.remoteCall() == 0)
            destroySession(s->dialog.localCall());
        else
            sendFinal(*s, iax2::cmd::Hangup, "Dumped Call", iax2::cause::NormalClearing);
    }
    postText(IAXC_TEXT_TYPE_STATUS, slot, "Hanging up call %d", slot);
    clearSlot(slot);
    postState(slot);
    updateMedia();
}

void Engine::reject(int slot) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initialized_ || !validSlot(slot) || slots_[slot].state == IAXC_CALL_STATE_FREE) return;
    if (Session* s = slotSession(slot))
        sendFinal(*s, iax2::cmd::Reject, "Call rejected manually.", iax2::cause::CallRejected);
    clearSlot(slot);
    postState(slot);
    updateMedia();
}

void Engine::sendBusy(int slot) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initialized_) return;
    if (Session* s = slotSession(slot)) sendControl(*s, iax2::ctl::Busy);
}

int Engine::quelch(int slot, int musicOnHold) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initialized_) return -1;
    Session* s = slotSession(slot);
    if (s == nullptr || s->peerHoldsUs || s->dialog.remoteCall() == 0) return -1;
    uint8_t buf[8];
    iax2::IeWriter w(buf, sizeof buf);
    if (musicOnHold) w.addEmpty(iax2::ie::MusicOnHold);
    if (!sendCommand(*s, iax2::cmd::Quelch, &w)) return -1;
    s->weHoldPeer = true;
    updateMedia();
    return 0;
}

int Engine::unquelch(int slot) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initialized_) return -1;
    Session* s = slotSession(slot);
    if (s == nullptr || s->dialog.remoteCall() == 0) return -1;
    if (!sendCommand(*s, iax2::cmd::Unquelch)) return -1;
    s->weHoldPeer = false;
    updateMedia();
    return 0;
}

void Engine::blindTransfer(int slot, const char* number) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initialized_ || number == nullptr || !validSlot(slot) ||
        !(slots_[slot].state & IAXC_CALL_STATE_ACTIVE))
        return;
    Session* s = slotSession(slot);
    if (s == nullptr || s->dialog.remoteCall() == 0) return;
    uint8_t buf[300];
    iax2::IeWriter w(buf, sizeof buf);
    w.addString(iax2::ie::CalledNumber, std::string(number, strnlen(number, 255)));
    sendCommand(*s, iax2::cmd::Transfer, &w);
}

void Engine::sendDtmf(char digit) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initialized_ || !isDtmfDigit(digit) || !validSlot(selected_) ||
        !(slots_[selected_].state & IAXC_CALL_STATE_ACTIVE))
        return;
    Session* s = slotSession(selected_);
    if (s == nullptr || s->dialog.remoteCall() == 0) return;
    sendFrame(*s, iax2::OutFrame::of(iax2::frametype::Dtmf, static_cast<uint8_t>(digit)));
}

void Engine::sendText(const char* text) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initialized_ || text == nullptr || !validSlot(selected_)) return;
    Session* s = slotSession(selected_);
    if (s == nullptr || s->dialog.remoteCall() == 0) return;
    // Sent with its terminating NUL, as the peers expect.
    const size_t n = strnlen(text, kMaxText);
    std::string payload(text, n);
    payload.push_back('\0');
    sendFrame(*s, iax2::OutFrame::of(iax2::frametype::Text, 0,
                                     reinterpret_cast<const uint8_t*>(payload.data()),
                                     payload.size()));
}

int Engine::netstats(int slot, int* rtt, iaxc_netstat* local, iaxc_netstat* remote) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initialized_) return -1;
    Session* s = slotSession(slot);
    if (s == nullptr) return -1;
    if (rtt) *rtt = s->rttMs;
    if (local) *local = localStats(*s);
    if (remote) *remote = s->remoteStats;
    return 0;
}

// ---------------------------------------------------------------- helpers

Session* Engine::slotSession(int slot) {
    if (!validSlot(slot) || slots_[slot].session == 0) return nullptr;
    return findSession(slots_[slot].session);
}

void Engine::clearSlot(int slot) {
    if (!validSlot(slot)) return;
    CallSlot& c = slots_[slot];
    c.state = IAXC_CALL_STATE_FREE;
    c.format = 0;
    c.session = 0;
    c.selected = false;
}

void Engine::endCall(int slot, const char* text) {
    if (!validSlot(slot) || slots_[slot].state == IAXC_CALL_STATE_FREE) return;
    postText(IAXC_TEXT_TYPE_STATUS, slot, "%s", text);
    clearSlot(slot);
    postState(slot);
    updateMedia();
}

void Engine::acknowledgeAndClose(Session& s, const iax2::FullHeader& h) {
    uint8_t buf[iax2::kFullHeaderSize];
    if (s.dialog.buildAck(h, buf, sizeof buf)) sendRaw(s.peer, buf, sizeof buf);
    destroySession(s.dialog.localCall());
}

void Engine::startPings(Session& s) {
    s.established = true;
    s.nextPingMs = now() + activeTuning_.firstPingMs;
}

void Engine::sendPing(Session& s) { sendCommand(s, iax2::cmd::Ping); }


void Engine::sendPong(Session& s, const iax2::FullHeader& ping) {
    const iaxc_netstat n = localStats(s);
    const auto u32 = [](int v) { return static_cast<uint32_t>(v < 0 ? 0 : v); };
    uint8_t buf[64];
    iax2::IeWriter w(buf, sizeof buf);
    w.addU32(iax2::ie::RrJitter, u32(n.jitter));
    // Loss: percentage in the high byte, count in the low 24 bits.
    w.addU32(iax2::ie::RrLoss, (std::min(u32(n.losspct), 255u) << 24) |
                                   std::min(u32(n.losscnt), 0xFFFFFFu));
    w.addU32(iax2::ie::RrPkts, u32(n.packets));
    w.addU16(iax2::ie::RrDelay, static_cast<uint16_t>(std::min(u32(n.delay), 0xFFFFu)));
    w.addU32(iax2::ie::RrDropped, u32(n.dropped));
    w.addU32(iax2::ie::RrOoo, u32(n.ooo));
    iax2::OutFrame f = iax2::OutFrame::of(iax2::frametype::Iax, iax2::cmd::Pong, w.data(), w.size());
    f.timestamp = ping.timestamp;
    sendFrame(s, f);
}

// ---------------------------------------------------------------- frames

void Engine::handleIncomingNew(const iax2::FullHeader& h, const iax2::IeList& ies,
                               const sockaddr_in& from) {
    using namespace iax2;
    const uint32_t theirFormat = formatOf(ies, ie::Format, ie::Format2);
    uint32_t theirCapability = formatOf(ies, ie::Capability, ie::Capability2);
    if (theirCapability == 0) theirCapability = theirFormat;
    const uint32_t format =
        negotiateFormat(theirFormat, theirCapability, static_cast<uint32_t>(preferredFormat_),
                        static_cast<uint32_t>(allowedFormats_));
    Session* s = newSession(SessionKind::Call, from);
    if (s == nullptr) return;
    s->dialog.setRemoteCall(h.sourceCall);
    if (s->dialog.receive(h) != Verdict::Accept) {
        destroySession(s->dialog.localCall());
        return;
    }
    ++s->framesReceived;
    if (format == 0) {
        s->kind = SessionKind::BusyRefusal;
        postText(IAXC_TEXT_TYPE_STATUS, -1, "Could not negotiate common codec");
        sendFinal(*s, cmd::Reject, "Could not negotiate common codec",
                  cause::BearerCapabilityNotAvail);
        return;
    }
    uint8_t buf[32];
    IeWriter accept(buf, sizeof buf);
    accept.addU32(ie::Format, format);
    int slot = -1;
    for (int i = 0; i < static_cast<int>(slots_.size()) && slot < 0; ++i)
        if (slots_[i].state == IAXC_CALL_STATE_FREE) slot = i;
    if (slot < 0) {
        // Accepted and answered busy, so the caller hears why.
        s->kind = SessionKind::BusyRefusal;
        postText(IAXC_TEXT_TYPE_STATUS, -1, "Incoming call, but no free call appearances");
        sendCommand(*s, cmd::Accept, &accept);
        sendControl(*s, ctl::Busy);
        return;
    }
    CallSlot& c = slots_[slot];
    c.state = IAXC_CALL_STATE_ACTIVE | IAXC_CALL_STATE_RINGING;
    c.format = static_cast<int>(format);
    c.remote = ieText(ies, ie::CallingNumber, kUnknown);
    c.remoteName = ieText(ies, ie::CallingName, kUnknown);
    c.local = ieText(ies, ie::CalledNumber, kUnknown);
    c.localContext = ieText(ies, ie::CalledContext, "");
    c.session = s->dialog.localCall();
    s->slot = slot;
    sendCommand(*s, cmd::Accept, &accept);
    sendControl(*s, ctl::Ringing);
    startPings(*s);
    postText(IAXC_TEXT_TYPE_STATUS, slot, "Call from (%s)", c.remote.c_str());
    postState(slot);
    postText(IAXC_TEXT_TYPE_STATUS, slot, "Incoming call on line %d", slot);
}

void Engine::handleCallFrame(Session& s, const iax2::FullHeader& h, const uint8_t* payload,
                             size_t length, const iax2::IeList& ies) {
    using namespace iax2;
    if (s.kind == SessionKind::BusyRefusal) {
        if (h.type == frametype::Iax &&
            (h.subclass == cmd::Hangup || h.subclass == cmd::Reject))
            acknowledgeAndClose(s, h);
        else if (h.type == frametype::Iax && h.subclass == cmd::Inval)
            destroySession(s.dialog.localCall());
        return;
    }
    const int slot = s.slot;
    switch (h.type) {
        case frametype::Iax:
            handleCallCommand(s, h, ies);
            break;
        case frametype::Control:
            handleControl(s, h.subclass);
            break;
        case frametype::Voice:
            if (h.timestamp > s.lastVoiceTsReceived) s.lastVoiceTsReceived = h.timestamp;
            handleVoice(s, h.subclass, h.timestamp, payload, length);
            break;
        case frametype::Cng:
            if (mediaSession_ == s.dialog.localCall()) {
                const uint8_t level = static_cast<uint8_t>(h.subclass & 0x7F);
                media::receiveVoice(media::kComfortNoiseFormat, &level, 1, h.timestamp);
            }
            break;
        case frametype::Dtmf:
            if (validSlot(slot) && h.subclass < 128) {
                iaxc_event e;
                std::memset(&e, 0, sizeof e);
                e.type = IAXC_EVENT_DTMF;
                e.ev.dtmf.callNo = slot;
                e.ev.dtmf.digit = static_cast<char>(h.subclass);
                post(e);
            }
            break;
        case frametype::Text: {
            char text[IAXC_EVENT_BUFSIZ];
            size_t n = length < sizeof text - 1 ? length : sizeof text - 1;
            if (n) std::memcpy(text, payload, n);
            text[n] = '\0';
            postText(IAXC_TEXT_TYPE_IAX, slot, "%s", text);
            break;
        }
        default:
            break;  // images, HTML, video: acknowledged, not used
    }
}

void Engine::handleCallCommand(Session& s, const iax2::FullHeader& h, const iax2::IeList& ies) {
    using namespace iax2;
    const int slot = s.slot;
    switch (h.subclass) {
        case cmd::AuthReq:
            if (s.outgoing) answerAuthRequest(s, ies);
            break;
        case cmd::Accept:
            if (s.outgoing) handleAccept(s, ies);
            break;
        case cmd::Hangup:
            acknowledgeAndClose(s, h);
            endCall(slot, "Call disconnected by remote");
            break;
        case cmd::Reject:
            acknowledgeAndClose(s, h);
            endCall(slot, "Call rejected by remote");
            break;
        case cmd::Inval:
            destroySession(s.dialog.localCall());
            endCall(slot, "Call disconnected by remote");
            break;
        case cmd::Quelch:
            s.peerHoldsUs = true;
            updateMedia();
            break;
        case cmd::Unquelch:
            s.peerHoldsUs = false;
            updateMedia();
            break;
        default:
            break;
    }
}

void Engine::answerAuthRequest(Session& s, const iax2::IeList& ies) {
    using namespace iax2;
    if (++s.authRounds > 2) return;
    const uint16_t methods = ies.u16(ie::AuthMethods).value_or(0);
    const auto challenge = ies.string(ie::Challenge);
    uint8_t buf[300];
    IeWriter w(buf, sizeof buf);
    if ((methods & auth::Md5) && challenge) {
        w.addString(ie::Md5Result, md5ChallengeResponse(*challenge, s.secret));
    } else if (methods & auth::Plaintext) {
        w.addString(ie::Password, s.secret.substr(0, 255));
    } else {
        const int slot = s.slot;
        sendFinal(s, cmd::Hangup, "No supported authentication method",
                  cause::FacilityRejected);
        endCall(slot, "Call rejected by remote");
        return;
    }
    sendCommand(s, cmd::AuthRep, &w);
}

void Engine::handleAccept(Session& s, const iax2::IeList& ies) {
    using namespace iax2;
    const int slot = s.slot;
    if (!validSlot(slot)) return;
    uint32_t format = formatOf(ies, ie::Format, ie::Format2);
    if (format == 0) format = static_cast<uint32_t>(preferredFormat_);
    if (!isSingleCodec(format) || !(format & static_cast<uint32_t>(allowedFormats_))) {
        sendFinal(s, cmd::Reject, "Unable to negotiate codec", cause::BearerCapabilityNotAvail);
        endCall(slot, "Unable to negotiate codec");
        return;
    }
    slots_[slot].format = static_cast<int>(format);
    startPings(s);
    postText(IAXC_TEXT_TYPE_STATUS, slot, "Call %d accepted", slot);
    updateMedia();
}

void Engine::handleControl(Session& s, uint32_t control) {
    using namespace iax2;
    const int slot = s.slot;
    if (!validSlot(slot)) return;
    CallSlot& c = slots_[slot];
    const bool outgoing = (c.state & IAXC_CALL_STATE_OUTGOING) != 0;
    switch (control) {
        case ctl::Ringing:
            if (!outgoing) return;
            c.state |= IAXC_CALL_STATE_RINGING;
            postState(slot);
            postText(IAXC_TEXT_TYPE_STATUS, slot, "Call %d ringing", slot);
            break;
        case ctl::Answer:
            if (!outgoing) return;
            c.state = (c.state | IAXC_CALL_STATE_COMPLETE) & ~IAXC_CALL_STATE_RINGING;
            postState(slot);
            postText(IAXC_TEXT_TYPE_STATUS, slot, "Call %d answered", slot);
            updateMedia();
            break;
        case ctl::Busy:
        case ctl::Congestion:
            c.state = (c.state | IAXC_CALL_STATE_BUSY) & ~IAXC_CALL_STATE_RINGING;
            postState(slot);
            postText(IAXC_TEXT_TYPE_STATUS, slot, "Call %d busy", slot);
            break;
        default:
            break;  // progress, hold, source updates: nothing to show
    }
}



}  // namespace voice::engine
