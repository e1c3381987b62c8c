// The media stream: which call's audio the media side codes, whether its
// sending is muted, the encoded frames it hands over (through the voice
// outbox, from its own thread) and the voice received for it. Each switch
// to another call starts a new generation, so that frames of the previous
// stream still in the outbox are dropped. Guarded by the engine lock, but
// for the outbox, which has its own.
#pragma once

#include <cstddef>
#include <cstdint>

#include <iaxclient.h>
#include "voice/engine/session.h"
#include "voice/engine/voice_outbox.h"

namespace voice::engine {

class MediaStream {
public:
    // The call whose audio should flow; session 0 for none.
    struct Choice {
        int slot = -1;
        uint16_t session = 0;
        int format = 0;
        bool muted = false;
    };

    // No stream, and nothing waiting in the outbox.
    void reset();
    // Starts, stops, switches or (un)mutes the media side to carry `want`.
    // True when a stream for a new call started: the caller then sets where
    // that call's voice timestamps begin.
    bool follow(const Choice& want);
    // Stops the stream for good (shutdown).
    void stop();
    void clearOutbox() { outbox_.clear(); }

    // The dialog whose audio flows, 0 when none.
    uint16_t session() const { return session_; }
    bool carries(uint16_t localCall) const { return session_ != 0 && session_ == localCall; }

    // The next frame to send for the current stream, skipping those of an
    // earlier stream or coded while muted.
    bool nextFrame(VoiceFrame& out);
    // Hands received voice (or a comfort-noise level) of `localCall` to the
    // media side when its stream is the current one.
    void receive(uint16_t localCall, int format, const uint8_t* payload, size_t length, uint32_t timestamp);
    // Receive figures of a call: the media side's for the call with audio,
    // the dialog's own counts for any other.
    iaxc_netstat localStats(const Session& s) const;

    // LEVELS reports, while a stream flows: the time of the next one
    // (UINT64_MAX when no stream), and whether it is due at `nowMs` (the
    // following one is then scheduled).
    uint64_t nextLevelsMs() const { return session_ != 0 ? nextLevelsMs_ : UINT64_MAX; }
    bool levelsDue(uint64_t nowMs);

private:
    int slot_ = -1;
    uint16_t session_ = 0;
    int format_ = 0;
    bool muted_ = false;
    uint64_t generation_ = 0;
    VoiceOutbox outbox_;
    uint64_t nextLevelsMs_ = 0;
};

}  // namespace voice::engine
