// The media stream of the selected call: choosing the call whose audio
// flows, putting its encoded frames on the wire as full or mini voice
// frames (or comfort noise), and handing received voice to it.

#include "voice/engine/engine.h"
#include "voice/iax2/codec.h"
#include "voice/iax2/protocol.h"
#include "voice/media/media_port.h"

namespace voice::engine {

void Engine::handleVoice(Session& s, uint32_t format, uint32_t timestamp, const uint8_t* payload, size_t length) {
    if (!iax2::isSingleCodec(format) || !(format & IAXC_AUDIO_FORMAT_MASK)) return;
    s.voiceFormatReceived = format;
    const int slot = s.slot;
    if (!calls_.valid(slot)) return;
    CallSlot& c = calls_.at(slot);
    // Early media while the far end rings: the call is in progress.
    if ((c.state & IAXC_CALL_STATE_OUTGOING) && (c.state & IAXC_CALL_STATE_RINGING)) {
        c.state &= ~IAXC_CALL_STATE_RINGING;
        postState(slot);
        postText(IAXC_TEXT_TYPE_STATUS, slot, "Call %d progress", slot);
    }
    if (length > 0) media_.receive(s.dialog.localCall(), static_cast<int>(format), payload, length, timestamp);
}

void Engine::updateMedia() {
    MediaStream::Choice want;
    const int slot = calls_.selectedCall();
    if (slot >= 0) {
        const CallSlot& c = calls_.at(slot);
        Session* s = slotSession(slot);
        if (s && (c.state & IAXC_CALL_STATE_ACTIVE) &&
            (c.state & (IAXC_CALL_STATE_OUTGOING | IAXC_CALL_STATE_COMPLETE)) && c.format != 0 && !s->closing) {
            want.slot = slot;
            want.session = s->dialog.localCall();
            want.format = c.format;
            want.muted = s->peerHoldsUs || s->weHoldPeer;
        }
    }
    if (!media_.follow(want)) return;
    // A new stream: its voice timestamps carry on after the last ones sent
    // on this call, and never run behind the call's clock.
    Session* s = findSession(want.session);
    const uint32_t nowTs = s->dialog.elapsed(now());
    s->voiceBaseTs = s->voiceSent && s->lastVoiceTsSent + 20 > nowTs ? s->lastVoiceTsSent + 20 : nowTs;
}

void Engine::drainVoiceOutbox() {
    VoiceFrame f;
    while (media_.nextFrame(f))
        if (Session* s = findSession(media_.session()))
            sendVoice(*s, f.format, f.payload, f.length, f.mediaTimeMs);
}

void Engine::sendVoice(Session& s, int format, const uint8_t* payload, size_t length, uint32_t mediaTimeMs) {
    if (s.dialog.remoteCall() == 0 || s.closing) return;
    const uint32_t ts = s.voiceBaseTs + mediaTimeMs;
    if (format == media::kComfortNoiseFormat) {
        // Silence begins: one comfort-noise frame carrying the noise level
        // (-dBov) as its subclass; nothing follows until sound resumes.
        const uint8_t level = length > 0 ? static_cast<uint8_t>(payload[0] & 0x7F) : 127;
        iax2::OutFrame f = iax2::OutFrame::of(iax2::frametype::Cng, level);
        f.timestamp = ts;
        if (sendFrame(s, f)) s.lastVoiceTsSent = ts;
        return;
    }
    const bool full = !s.voiceSent || static_cast<uint32_t>(format) != s.lastVoiceFormatSent ||
                      (ts & 0xFFFF0000u) != (s.lastVoiceTsSent & 0xFFFF0000u);
    if (full) {
        iax2::OutFrame f =
            iax2::OutFrame::of(iax2::frametype::Voice, static_cast<uint32_t>(format), payload, length);
        f.timestamp = ts;
        if (!sendFrame(s, f)) return;
    } else {
        uint8_t buf[iax2::kMaxDatagram];
        const iax2::MiniHeader h{s.dialog.localCall(), static_cast<uint16_t>(ts & 0xFFFF)};
        const size_t n = iax2::encodeMiniFrame(h, payload, length, buf, sizeof buf);
        if (n == 0) return;
        sendRaw(s.peer, buf, n);
    }
    s.voiceSent = true;
    s.lastVoiceFormatSent = static_cast<uint32_t>(format);
    s.lastVoiceTsSent = ts;
}

}  // namespace voice::engine
