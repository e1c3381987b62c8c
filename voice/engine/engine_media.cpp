// The media stream of the selected call: starting and stopping it on the
// media side, putting its encoded frames on the wire as full or mini voice
// frames (or comfort noise), and handing received voice to it.
#include <cstring>

#include "voice/engine/engine.h"
#include "voice/iax2/codec.h"
#include "voice/iax2/protocol.h"
#include "voice/media/media_port.h"

namespace voice::engine {

iaxc_netstat Engine::localStats(const Session& s) {
    iaxc_netstat n{};
    if (mediaSession_ == s.dialog.localCall()) {
        const media::ReceiveStats r = media::receiveStats();
        n.jitter = r.jitterMs;
        n.losspct = r.lossPercent;
        n.losscnt = r.lostFrames;
        n.packets = r.packets;
        n.delay = r.delayMs;
        n.dropped = r.dropped;
        n.ooo = r.outOfOrder;
    } else {
        n.packets = static_cast<int>(s.framesReceived);
        n.ooo = static_cast<int>(s.outOfOrder);
    }
    return n;
}

void Engine::handleVoice(Session& s, uint32_t format, uint32_t timestamp, const uint8_t* payload,
                         size_t length) {
    if (!iax2::isSingleCodec(format) || !(format & IAXC_AUDIO_FORMAT_MASK)) return;
    s.voiceFormatReceived = format;
    const int slot = s.slot;
    if (!validSlot(slot)) return;
    CallSlot& c = slots_[slot];
    // Early media while the far end rings: the call is in progress.
    if ((c.state & IAXC_CALL_STATE_OUTGOING) && (c.state & IAXC_CALL_STATE_RINGING)) {
        c.state &= ~IAXC_CALL_STATE_RINGING;
        postState(slot);
        postText(IAXC_TEXT_TYPE_STATUS, slot, "Call %d progress", slot);
    }
    if (mediaSession_ == s.dialog.localCall() && length > 0)
        media::receiveVoice(static_cast<int>(format), payload, length, timestamp);
}

void Engine::handleMini(const iax2::DecodedFrame& frame, const sockaddr_in& from) {
    for (auto& [n, sp] : sessions_) {
        Session& s = *sp;
        if (s.kind != SessionKind::Call || s.dialog.remoteCall() != frame.mini.sourceCall ||
            s.peer.sin_addr.s_addr != from.sin_addr.s_addr || s.peer.sin_port != from.sin_port)
            continue;
        // The format is the one the last full voice frame carried or, before
        // one has arrived (a server may send a single one per call, and it
        // can be lost or held up behind a sequence gap), the one the call
        // negotiated: audio never waits for one particular frame.
        uint32_t format = s.voiceFormatReceived;
        if (format == 0 && validSlot(s.slot)) format = static_cast<uint32_t>(slots_[s.slot].format);
        if (format == 0) return;
        // Mini frames carry 16 timestamp bits and no full frame need mark
        // the wrap: the full timestamp is the one nearest the latest seen.
        const uint32_t full = iax2::extendMiniTimestamp(s.lastVoiceTsReceived, frame.mini.timestamp);
        if (full > s.lastVoiceTsReceived) s.lastVoiceTsReceived = full;
        else ++s.outOfOrder;
        ++s.framesReceived;
        handleVoice(s, format, full, frame.payload, frame.payloadLength);
        return;
    }
}

void Engine::updateMedia() {
    int wantSlot = -1;
    uint16_t wantSession = 0;
    int wantFormat = 0;
    bool muted = false;
    if (validSlot(selected_) && slots_[selected_].selected) {
        const CallSlot& c = slots_[selected_];
        Session* s = slotSession(selected_);
        if (s && (c.state & IAXC_CALL_STATE_ACTIVE) &&
            (c.state & (IAXC_CALL_STATE_OUTGOING | IAXC_CALL_STATE_COMPLETE)) && c.format != 0 &&
            !s->closing) {
            wantSlot = selected_;
            wantSession = s->dialog.localCall();
            wantFormat = c.format;
            muted = s->peerHoldsUs || s->weHoldPeer;
        }
    }
    if (wantSlot != mediaSlot_ || wantSession != mediaSession_ || wantFormat != mediaFormat_) {
        if (mediaSession_ != 0) media::stopCall();
        const uint64_t generation = ++mediaGeneration_;
        mediaSlot_ = wantSlot;
        mediaSession_ = wantSession;
        mediaFormat_ = wantFormat;
        if (wantSession != 0) {
            Session* s = findSession(wantSession);
            const uint32_t nowTs = s->dialog.elapsed(now());
            s->voiceBaseTs = s->voiceSent && s->lastVoiceTsSent + 20 > nowTs
                                 ? s->lastVoiceTsSent + 20
                                 : nowTs;
            media::startCall(wantFormat, [this, generation](int format, const uint8_t* payload,
                                                            size_t length, uint32_t mediaTimeMs) {
                if (outbox_.push(generation, format, payload, length, mediaTimeMs))
                    UdpSocket::wake();
            });
            media::setSendMuted(muted);
            mediaMuted_ = muted;
        }
        return;
    }
    if (wantSession != 0 && muted != mediaMuted_) {
        media::setSendMuted(muted);
        mediaMuted_ = muted;
    }
}

void Engine::drainVoiceOutbox() {
    VoiceFrame f;
    while (outbox_.pop(f)) {
        if (f.generation != mediaGeneration_ || mediaSession_ == 0 || mediaMuted_) continue;
        if (Session* s = findSession(mediaSession_))
            sendVoice(*s, f.format, f.payload, f.length, f.mediaTimeMs);
    }
}

void Engine::sendVoice(Session& s, int format, const uint8_t* payload, size_t length,
                       uint32_t mediaTimeMs) {
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
        iax2::OutFrame f = iax2::OutFrame::of(iax2::frametype::Voice,
                                              static_cast<uint32_t>(format), payload, length);
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
