// Calls: the frames of call dialogs, from the NEW that opens an incoming
// call to the HANGUP or REJECT that ends one.
#include <cstring>

#include "voice/engine/engine.h"
#include "voice/iax2/auth.h"
#include "voice/iax2/codec.h"
#include "voice/iax2/protocol.h"
#include "voice/media/media_port.h"

namespace voice::engine {
namespace {

constexpr const char* kUnknown = "unknown";

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

}  // namespace

void Engine::handleIncomingNew(const iax2::FullHeader& h, const iax2::IeList& ies, const sockaddr_in& from) {
    using namespace iax2;
    const uint32_t theirFormat = formatOf(ies, ie::Format, ie::Format2);
    uint32_t theirCapability = formatOf(ies, ie::Capability, ie::Capability2);
    if (theirCapability == 0) theirCapability = theirFormat;
    const uint32_t format = negotiateFormat(theirFormat, theirCapability, static_cast<uint32_t>(preferredFormat_),
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
        sendFinal(*s, cmd::Reject, "Could not negotiate common codec", cause::BearerCapabilityNotAvail);
        return;
    }
    uint8_t buf[32];
    IeWriter accept(buf, sizeof buf);
    accept.addU32(ie::Format, format);
    const int slot = calls_.firstFree();
    if (slot < 0) {
        // Accepted and answered busy, so the caller hears why.
        s->kind = SessionKind::BusyRefusal;
        postText(IAXC_TEXT_TYPE_STATUS, -1, "Incoming call, but no free call appearances");
        sendCommand(*s, cmd::Accept, &accept);
        sendControl(*s, ctl::Busy);
        return;
    }
    CallSlot& c = calls_.at(slot);
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

void Engine::handleCallFrame(Session& s, const iax2::FullHeader& h, const uint8_t* payload, size_t length,
                             const iax2::IeList& ies) {
    using namespace iax2;
    if (s.kind == SessionKind::BusyRefusal) {
        if (h.type == frametype::Iax && (h.subclass == cmd::Hangup || h.subclass == cmd::Reject))
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
        case frametype::Cng: {
            const uint8_t level = static_cast<uint8_t>(h.subclass & 0x7F);
            media_.receive(s.dialog.localCall(), media::kComfortNoiseFormat, &level, 1, h.timestamp);
            break;
        }
        case frametype::Dtmf:
            if (calls_.valid(slot) && h.subclass < 128) {
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
    uint8_t buf[300];
    IeWriter w(buf, sizeof buf);
    if (!addChallengeAnswer(w, ies, s.secret)) {
        const int slot = s.slot;
        sendFinal(s, cmd::Hangup, "No supported authentication method", cause::FacilityRejected);
        endCall(slot, "Call rejected by remote");
        return;
    }
    sendCommand(s, cmd::AuthRep, &w);
}

void Engine::handleAccept(Session& s, const iax2::IeList& ies) {
    using namespace iax2;
    const int slot = s.slot;
    if (!calls_.valid(slot)) return;
    uint32_t format = formatOf(ies, ie::Format, ie::Format2);
    if (format == 0) format = static_cast<uint32_t>(preferredFormat_);
    if (!isSingleCodec(format) || !(format & static_cast<uint32_t>(allowedFormats_))) {
        sendFinal(s, cmd::Reject, "Unable to negotiate codec", cause::BearerCapabilityNotAvail);
        endCall(slot, "Unable to negotiate codec");
        return;
    }
    calls_.at(slot).format = static_cast<int>(format);
    startPings(s);
    postText(IAXC_TEXT_TYPE_STATUS, slot, "Call %d accepted", slot);
    updateMedia();
}

void Engine::handleControl(Session& s, uint32_t control) {
    using namespace iax2;
    const int slot = s.slot;
    if (!calls_.valid(slot)) return;
    CallSlot& c = calls_.at(slot);
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

void Engine::endCall(int slot, const char* text) {
    if (!calls_.inUse(slot)) return;
    postText(IAXC_TEXT_TYPE_STATUS, slot, "%s", text);
    calls_.setFree(slot);
    postState(slot);
    updateMedia();
}

}  // namespace voice::engine
