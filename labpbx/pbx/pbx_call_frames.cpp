// Frames of a call leg once set up: progress of a called phone, hold,
// blind transfer and DTMF, and the ending of calls.
#include "labpbx/pbx/pbx_core.h"
#include "voice/iax2/protocol.h"

namespace labpbx {

using namespace iax2;

// ---- frames of a call leg ---------------------------------------------------

void PbxCore::callFrame(Call& c, Session& s, const FullHeader& h, const IeList& ies) {
    CallEnd* from = endOf(c, s.callNo);
    if (!from) return;
    CallEnd& other = otherEnd(c, *from);
    if (h.type == frametype::Iax) {
        switch (h.subclass) {
            case cmd::AuthRep:
                if (c.state == CallState::Auth && from == &c.a) callAuthReply(c, s, h, ies);
                return;
            case cmd::Ack:
                if (c.state == CallState::Setup && from == &c.a && c.b.kind == EndKind::None && c.a.format != 0)
                    callStart(c);
                return;
            case cmd::Accept: {
                if (from != &c.b || from->accepted) return;
                uint32_t format = ies.u32(ie::Format).value_or(0);
                uint32_t wanted = c.a.kind == EndKind::Leg ? c.a.format : 0;
                if (!(format & config_.codecMask()) || (wanted && format != wanted)) {
                    endCall(c.id, cause::BearerCapabilityNotAvail);
                    return;
                }
                from->accepted = true;
                from->format = format;
                return;
            }
            case cmd::AuthReq:
                // We hold no secret to answer a phone's challenge with.
                endCall(c.id, cause::FacilityNotSubscribed);
                return;
            case cmd::Quelch:
                from->quelched = true;
                if (ies.has(ie::MusicOnHold)) other.hearsMusic = true;
                updateMediaTimer(c);
                return;
            case cmd::Unquelch:
                from->quelched = false;
                other.hearsMusic = false;
                updateMediaTimer(c);
                return;
            case cmd::Transfer: {
                auto target = ies.string(ie::CalledNumber);
                if (!target || target->empty() || c.state != CallState::Up) return;
                // Acknowledged before the transferring phone is hung up.
                endpoint_.acknowledge(s, h);
                transfer(c, *from, std::string(*target));
                return;
            }
            case cmd::New:
                return;
            default: {
                uint8_t buf[8];
                IeWriter w(buf, sizeof buf);
                w.addU8(ie::IaxUnknown, static_cast<uint8_t>(h.subclass));
                endpoint_.sendIax(s, cmd::Unsupport, w);
                return;
            }
        }
    }
    if (h.type == frametype::Control) {
        controlFrame(c, *from, other, h.subclass);
        return;
    }
    if (h.type == frametype::Dtmf) {
        char digit = static_cast<char>(h.subclass);
        dtmf_.push_back({c.id, from->kind == EndKind::Leg ? from->extension : describe(*from), digit});
        if (other.kind == EndKind::Leg && c.state == CallState::Up) {
            Session* o = endpoint_.find(other.callNo);
            if (o && !o->finalSent) endpoint_.sendFrame(*o, frametype::Dtmf, h.subclass);
        }
        return;
    }
    if (h.type == frametype::DtmfBegin && other.kind == EndKind::Leg && c.state == CallState::Up) {
        Session* o = endpoint_.find(other.callNo);
        if (o && !o->finalSent) endpoint_.sendFrame(*o, frametype::DtmfBegin, h.subclass);
    }
}

void PbxCore::controlFrame(Call& c, CallEnd& from, CallEnd& other, uint32_t subclass) {
    if (&from != &c.b) return;  // only the called phone's progress matters
    switch (subclass) {
        case ctl::Ringing:
            if (c.state == CallState::Setup) {
                c.state = CallState::Ringing;
                sendControl(other, ctl::Ringing);
            }
            break;
        case ctl::Answer:
            if (c.state == CallState::Setup || c.state == CallState::Ringing) setUp(c);
            break;
        case ctl::Busy:
        case ctl::Congestion:
            if (c.state == CallState::Up) break;
            // The called phone is busy: release it, and let the caller hear
            // busy until it hangs up (or the ring timer gives up).
            releaseEnd(c.b, cause::UserBusy, 0);
            c.b = CallEnd{};
            c.b.kind = EndKind::Busy;
            c.b.number = c.dialled;
            c.state = CallState::Busy;
            if (other.kind == EndKind::Leg)
                sendControl(other, ctl::Busy);
            else
                endCall(c.id, cause::UserBusy);
            break;
        default:
            break;
    }
}

void PbxCore::transfer(Call& c, CallEnd& by, const std::string& target) {
    CallEnd& moved = otherEnd(c, by);
    transfers_.push_back({c.id, describe(by), describe(moved), target});
    // The transferring phone leaves the call; the other party stays and is
    // connected to the target as the calling side.
    uint16_t byCallNo = by.kind == EndKind::Leg ? by.callNo : 0;
    CallEnd keep = std::move(moved);
    c.a = std::move(keep);
    if (byCallNo) {
        if (Session* s = endpoint_.find(byCallNo)) {
            s->callId = 0;
            endpoint_.sendHangup(*s, cause::NormalClearing);
        }
    }
    c.b = CallEnd{};
    c.a.quelched = false;
    c.a.hearsMusic = false;
    c.state = CallState::Setup;
    c.dialled = target;
    loop_.cancelTimer(c.mediaTimer);
    routeTo(c, target, true);
}

// ---- ending -----------------------------------------------------------------

void PbxCore::releaseEnd(CallEnd& e, uint8_t code, uint16_t except) {
    if (e.kind != EndKind::Leg || e.callNo == except) return;
    Session* s = endpoint_.find(e.callNo);
    if (!s) return;
    s->callId = 0;
    if (s->finalSent) return;
    // A leg we called that has not accepted yet is cancelled the same way.
    endpoint_.sendHangup(*s, code);
}

void PbxCore::endCall(int callId, uint8_t code, uint16_t except) {
    auto it = calls_.find(callId);
    if (it == calls_.end()) return;
    Call& c = *it->second;
    loop_.cancelTimer(c.ringTimer);
    loop_.cancelTimer(c.mediaTimer);
    releaseEnd(c.a, code, except);
    releaseEnd(c.b, code, except);
    calls_.erase(it);
}

}  // namespace labpbx
