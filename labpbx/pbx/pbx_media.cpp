// Media of calls: voice relayed between phones, returned by the echo
// service, and the audio the PBX makes itself (the tone service and music
// on hold), paced at one 20 ms frame per tick.
#include "labpbx/pbx/pbx_core.h"
#include "voice/codec/audio_frame.h"

namespace labpbx {

void PbxCore::relayVoice(Call& c, CallEnd& from, uint32_t format, const uint8_t* payload, size_t length) {
    // A holding phone (QUELCH) neither hears nor is heard: the far party gets
    // music on hold or nothing at all.
    if (c.state != CallState::Up || from.quelched) return;
    CallEnd& other = otherEnd(c, from);
    CallEnd* to = nullptr;
    if (other.kind == EndKind::Leg)
        to = &other;
    else if (other.kind == EndKind::Echo)
        to = &from;
    if (!to || to->quelched || to->hearsMusic) return;
    Session* s = endpoint_.find(to->callNo);
    if (s && !s->finalSent) endpoint_.sendVoice(*s, format, payload, length);
}

void PbxCore::updateMediaTimer(Call& c) {
    bool needed = false;
    if (c.state == CallState::Up) {
        for (CallEnd* e : {&c.a, &c.b}) {
            if (e->kind != EndKind::Leg || e->quelched) continue;
            if (e->hearsMusic || otherEnd(c, *e).kind == EndKind::Tone) needed = true;
        }
    }
    if (!needed) {
        loop_.cancelTimer(c.mediaTimer);
        return;
    }
    if (c.mediaTimer) return;
    int id = c.id;
    c.mediaTimer = loop_.addTimer(std::chrono::milliseconds(kFrameMs), [this, id] { mediaTick(id); });
}

void PbxCore::mediaTick(int callId) {
    auto it = calls_.find(callId);
    if (it == calls_.end()) return;
    Call& c = *it->second;
    c.mediaTimer = 0;
    int16_t pcm[kFrameSamples];
    for (CallEnd* e : {&c.a, &c.b}) {
        if (e->kind != EndKind::Leg || e->quelched) continue;
        if (e->hearsMusic) {
            e->music.next(pcm);
            sendGenerated(*e, pcm);
        } else if (otherEnd(c, *e).kind == EndKind::Tone) {
            e->tone.next(pcm);
            sendGenerated(*e, pcm);
        }
    }
    updateMediaTimer(c);
}

void PbxCore::sendGenerated(CallEnd& e, const int16_t* pcm) {
    Session* s = endpoint_.find(e.callNo);
    if (!s || s->finalSent || !e.format) return;
    if (!e.encoder || e.encoder->format() != static_cast<int>(e.format))
        e.encoder = voice::media::makeVoiceCodec(static_cast<int>(e.format));
    if (!e.encoder) return;
    uint8_t out[voice::media::kMaxFrameBytes];
    size_t n = e.encoder->encode(pcm, out);
    if (n) endpoint_.sendVoice(*s, e.format, out, n);
}

}  // namespace labpbx
