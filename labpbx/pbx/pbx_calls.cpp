// Calls: NEW with the MD5 challenge, routing to extensions and services,
// ringing, answer, busy, hang-up from either side, hold, blind transfer and
// DTMF, and the inbound calls the control interface places.
#include <arpa/inet.h>

#include <ctime>

#include "labpbx/pbx/pbx_core.h"
#include "voice/iax2/auth.h"
#include "voice/iax2/protocol.h"
#include "voice/iax2/values.h"

namespace labpbx {

using namespace iax2;

PbxCore::PbxCore(EventLoop& loop, const LabConfig& config, WireTiming timing)
    : loop_(loop), config_(config), endpoint_(loop, *this, timing), mailboxes_(config.mailboxes) {}

PbxCore::~PbxCore() {
    shutdown();
}

bool PbxCore::bind(std::string& error) {
    return endpoint_.bind(config_.bindAddress, config_.iaxPort, error);
}

void PbxCore::shutdown() {
    while (!calls_.empty()) {
        Call& c = *calls_.begin()->second;
        loop_.cancelTimer(c.ringTimer);
        loop_.cancelTimer(c.mediaTimer);
        calls_.erase(calls_.begin());
    }
    dropRegistrations("");
    endpoint_.close();
}

PbxCounts PbxCore::counts() const {
    PbxCounts c;
    c.sessions = endpoint_.sessionCount();
    c.timers = loop_.timerCount();
    c.unacked = endpoint_.unacknowledged();
    c.calls = calls_.size();
    c.registrations = regs_.size();
    return c;
}

void PbxCore::clearRecords(const std::string& which) {
    if (which == "dtmf")
        dtmf_.clear();
    else if (which == "transfers")
        transfers_.clear();
    else if (which == "regrels")
        regrels_.clear();
}

Call* PbxCore::callOf(Session& s) {
    if (!s.callId) return nullptr;
    auto it = calls_.find(s.callId);
    return it == calls_.end() ? nullptr : it->second.get();
}

CallEnd* PbxCore::endOf(Call& c, uint16_t callNo) {
    if (c.a.kind == EndKind::Leg && c.a.callNo == callNo) return &c.a;
    if (c.b.kind == EndKind::Leg && c.b.callNo == callNo) return &c.b;
    return nullptr;
}

std::string PbxCore::describe(const CallEnd& e) const {
    switch (e.kind) {
        case EndKind::None:
            return "-";
        case EndKind::Leg:
            return e.extension;
        case EndKind::Echo:
            return "echo:" + e.number;
        case EndKind::Tone:
            return "tone:" + e.number;
        case EndKind::Busy:
            return "busy:" + e.number;
        case EndKind::Ring:
            return "ring:" + e.number;
        case EndKind::Caller:
            return "caller:" + e.number;
    }
    return "?";
}

// ---- dispatch -------------------------------------------------------------

void PbxCore::onDialogStart(Session& s, const FullHeader& h, const IeList& ies) {
    if (h.subclass == cmd::New)
        callNew(s, h, ies);
    else
        regDialogStart(s, h, ies);
}

void PbxCore::onFrame(Session& s, const FullHeader& h, const uint8_t*, size_t, const IeList& ies) {
    const bool isIax = h.type == frametype::Iax;
    if (isIax && (h.subclass == cmd::Hangup || h.subclass == cmd::Reject)) {
        Call* c = callOf(s);
        uint8_t code = ies.u8(ie::CauseCode).value_or(cause::NormalClearing);
        uint16_t n = s.callNo;
        endpoint_.ackAndDestroy(s, h);
        if (c) endCall(c->id, code, n);
        return;
    }
    if (s.kind == SessionKind::Registration) {
        regFrame(s, h, ies);
        return;
    }
    Call* c = callOf(s);
    if (!c) return;
    callFrame(*c, s, h, ies);
}

void PbxCore::onSessionLost(Session& s) {
    Call* c = callOf(s);
    if (c) endCall(c->id, cause::DestinationOutOfOrder, s.callNo);
}

void PbxCore::onVoice(Session& s, uint32_t format, const uint8_t* payload, size_t length, uint32_t) {
    Call* c = callOf(s);
    if (!c) return;
    CallEnd* from = endOf(*c, s.callNo);
    if (from) relayVoice(*c, *from, format, payload, length);
}

// ---- a phone calls ----------------------------------------------------------

void PbxCore::rejectCall(Session& s, const FullHeader* ackFirst, const char* why, uint8_t code) {
    if (ackFirst) endpoint_.acknowledge(s, *ackFirst);
    uint8_t buf[128];
    IeWriter w(buf, sizeof buf);
    w.addString(ie::Cause, why);
    w.addU8(ie::CauseCode, code);
    endpoint_.sendIax(s, cmd::Reject, w);
}

void PbxCore::callNew(Session& s, const FullHeader& h, const IeList& ies) {
    auto user = ies.string(ie::Username);
    if (!user || user->empty() || !config_.findExtension(std::string(*user))) {
        rejectCall(s, &h, kNoAuthority, cause::FacilityNotSubscribed);
        return;
    }
    auto c = std::make_unique<Call>();
    c->id = nextCallId_++;
    c->state = CallState::Auth;
    c->a.kind = EndKind::Leg;
    c->a.callNo = s.callNo;
    c->a.extension = std::string(*user);
    const ExtensionConfig* ext = config_.findExtension(c->a.extension);
    auto num = ies.string(ie::CallingNumber);
    auto name = ies.string(ie::CallingName);
    c->a.number = num && !num->empty() ? std::string(*num) : ext->callerNumber;
    c->a.name = name && !name->empty() ? std::string(*name) : ext->callerName;
    auto called = ies.string(ie::CalledNumber);
    c->dialled = called && !called->empty() ? std::string(*called) : "s";
    c->offeredFormat = ies.u32(ie::Format).value_or(0);
    c->offeredCaps = ies.u32(ie::Capability).value_or(c->offeredFormat);
    s.callId = c->id;
    s.user = c->a.extension;
    s.challenge = randomChallenge();

    uint8_t buf[300];
    IeWriter w(buf, sizeof buf);
    addMd5Challenge(w, s.challenge, s.user);
    calls_[c->id] = std::move(c);
    endpoint_.sendIax(s, cmd::AuthReq, w);
}

void PbxCore::callAuthReply(Call& c, Session& s, const FullHeader& h, const IeList& ies) {
    auto reject = [&](const FullHeader* ackFirst, const char* why, uint8_t code) {
        const int id = c.id;
        s.callId = 0;
        calls_.erase(id);
        rejectCall(s, ackFirst, why, code);
    };
    const ExtensionConfig* ext = config_.findExtension(c.a.extension);
    if (!ext || !challengeAnswered(ies, s.challenge, ext->secret)) {
        reject(&h, kNoAuthority, cause::FacilityNotSubscribed);
        return;
    }
    const bool known =
        config_.findExtension(c.dialled) || config_.services.count(c.dialled) || config_.externalCalls;
    if (!known) {
        reject(nullptr, "No such context/extension", cause::NoRouteDestination);
        return;
    }
    // Our own order of codecs decides, not the phone's preference.
    uint32_t format = config_.chooseCodec(c.offeredFormat, c.offeredCaps);
    if (!format) {
        reject(nullptr, "Unable to negotiate codec", cause::BearerCapabilityNotAvail);
        return;
    }
    c.a.format = format;
    c.state = CallState::Setup;
    uint8_t buf[64];
    IeWriter w(buf, sizeof buf);
    w.addU32(ie::Format, format);
    uint8_t f2[9] = {0,
                     0,
                     0,
                     0,
                     0,
                     static_cast<uint8_t>(format >> 24),
                     static_cast<uint8_t>(format >> 16),
                     static_cast<uint8_t>(format >> 8),
                     static_cast<uint8_t>(format)};
    w.addRaw(ie::Format2, f2, sizeof f2);
    // The call goes on once the caller acknowledges ACCEPT.
    endpoint_.sendIax(s, cmd::Accept, w);
}

void PbxCore::callStart(Call& c) {
    routeTo(c, c.dialled, false);
}

bool PbxCore::placeLeg(Call& c, const std::string& ext, uint32_t format, uint32_t caps) {
    auto reg = regs_.find(ext);
    if (reg == regs_.end()) return false;
    Session* s = endpoint_.createSession(reg->second.addr, SessionKind::CallLeg);
    if (!s) return false;
    s->callId = c.id;
    s->user = ext;
    CallEnd& caller = c.a;
    c.b = CallEnd{};
    c.b.kind = EndKind::Leg;
    c.b.callNo = s->callNo;
    c.b.extension = ext;
    const ExtensionConfig* cfg = config_.findExtension(ext);
    c.b.number = cfg ? cfg->callerNumber : ext;
    c.b.name = cfg ? cfg->callerName : ext;

    uint8_t buf[1024];
    IeWriter w(buf, sizeof buf);
    w.addU16(ie::Version, kProtocolVersion);
    w.addString(ie::CalledNumber, ext);
    w.addString(ie::CallingNumber, caller.number);
    w.addString(ie::CallingName, caller.name);
    w.addU8(ie::CallingPres, 0);
    w.addU8(ie::CallingTon, 0);
    w.addU16(ie::CallingTns, 0);
    w.addString(ie::Dnid, ext);
    w.addString(ie::CalledContext, "default");
    w.addU32(ie::Format, format);
    w.addU32(ie::Capability, caps);
    w.addString(ie::CodecPrefs, config_.codecPrefs(format, caps));
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    w.addU32(ie::DateTime, packDateTime({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                                         local.tm_min, local.tm_sec}));
    endpoint_.sendNew(*s, w);
    c.state = CallState::Setup;
    armRingTimer(c);
    return true;
}

void PbxCore::routeTo(Call& c, const std::string& number, bool transfer) {
    CallEnd& a = c.a;
    auto service = config_.services.find(number);
    if (config_.findExtension(number)) {
        uint32_t format = a.kind == EndKind::Leg ? a.format : config_.codecs.front();
        uint32_t caps = a.kind == EndKind::Leg ? a.format : config_.codecMask();
        if (!placeLeg(c, number, format, caps)) {
            endCall(c.id, kCauseSubscriberAbsent);
            return;
        }
        if (transfer) sendControl(a, ctl::Ringing);
        return;
    }
    c.b = CallEnd{};
    c.b.number = number;
    c.b.name = number;
    if (service != config_.services.end()) {
        switch (service->second) {
            case ServiceKind::Echo:
                c.b.kind = EndKind::Echo;
                break;
            case ServiceKind::Tone:
                c.b.kind = EndKind::Tone;
                break;
            case ServiceKind::Busy:
                c.b.kind = EndKind::Busy;
                break;
            case ServiceKind::Ring:
                c.b.kind = EndKind::Ring;
                break;
        }
    } else if (config_.externalCalls) {
        c.b.kind = EndKind::Ring;
    } else {
        endCall(c.id, cause::NoRouteDestination);
        return;
    }
    switch (c.b.kind) {
        case EndKind::Echo:
        case EndKind::Tone:
            setUp(c);
            break;
        case EndKind::Busy:
            c.state = CallState::Busy;
            sendControl(a, ctl::Busy);
            armRingTimer(c);
            break;
        default:
            c.state = CallState::Ringing;
            sendControl(a, ctl::Ringing);
            armRingTimer(c);
            break;
    }
}

void PbxCore::setUp(Call& c) {
    loop_.cancelTimer(c.ringTimer);
    c.state = CallState::Up;
    // The caller is told the call is answered, then that any tones or
    // indications stop, as two reliable control frames in a row.
    if (c.a.kind == EndKind::Leg) {
        sendControl(c.a, ctl::Answer);
        sendControl(c.a, kStopIndications);
    }
    updateMediaTimer(c);
}

void PbxCore::armRingTimer(Call& c) {
    loop_.cancelTimer(c.ringTimer);
    int id = c.id;
    c.ringTimer = loop_.addTimer(std::chrono::seconds(config_.ringTimeoutSeconds), [this, id] {
        auto it = calls_.find(id);
        if (it == calls_.end()) return;
        it->second->ringTimer = 0;
        endCall(id, cause::NoAnswer);
    });
}

void PbxCore::sendControl(CallEnd& e, uint32_t subclass) {
    if (e.kind != EndKind::Leg) return;
    Session* s = endpoint_.find(e.callNo);
    if (s && !s->finalSent) endpoint_.sendFrame(*s, frametype::Control, subclass);
}

}  // namespace labpbx
