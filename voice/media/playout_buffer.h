// The receive path between the network and the speaker. Decoded audio goes
// in as it arrives; one 20 ms frame comes out at every tick of the media
// clock, with gaps concealed. Kinds:
//   - the jitter buffer orders audio by its call timestamp and plays it a
//     little later than it arrives, adapting that delay to the jitter seen;
//   - the arrival queue plays audio in the order it arrives, at once;
//   - speexdsp's jitter buffer, with the same concealment (kept to compare
//     against; bench/voice/jitter runs both on the same arrival traces).
// Times are milliseconds of one monotonic clock. Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "voice/media/concealment.h"

namespace voice::media {

struct PlayoutStats {
    uint64_t packets = 0;          // voice payloads received
    uint64_t framesPlayed = 0;     // frames handed out
    uint64_t concealedFrames = 0;  // frames partly or wholly concealed while later audio was there (loss)
    uint64_t underruns = 0;        // frames with nothing to play although the far end was talking
    uint64_t comfortFrames = 0;    // frames of comfort noise while the far end is silent
    uint64_t latePackets = 0;      // arrived after their playout time: dropped
    uint64_t droppedPackets = 0;   // dropped for lack of room
    uint64_t outOfOrder = 0;       // arrived before an older one
    uint64_t resyncs = 0;          // timestamp jumps that restarted the buffer
    int delayMs = 0;               // current playout delay (jitter buffer) or backlog
    int jitterMs = 0;              // spread of the transit times lately seen
};

class PlayoutBuffer {
public:
    virtual ~PlayoutBuffer() = default;
    // Decoded audio whose first sample has call timestamp tsMs, received at nowMs.
    virtual void put(uint32_t tsMs, const int16_t* pcm, size_t count, int64_t nowMs) = 0;
    // Writes the 20 ms frame due at nowMs into out (160 samples).
    virtual void get(int16_t* out, int64_t nowMs) = 0;
    // The far end stopped talking and asked for comfort noise at a level in
    // -dBov (0 loudest, 127 quietest) until its audio resumes.
    void farEndSilent(int levelDbov);
    const PlayoutStats& stats() const { return m_stats; }
    // Milliseconds by which the playout tick could come earlier and still
    // find every frame there, judged over the last half second; 0 while
    // that is not known yet, and for buffers that play as audio arrives.
    // Taking it starts the next judgement, so each slack is given once.
    virtual int64_t takeTickAdvanceMs() { return 0; }

protected:
    // Fills a gap: comfort noise while the far end is silent, concealment otherwise.
    void fillGap(int16_t* out, size_t count);
    void playReal(int16_t* samples, size_t count);
    // Voice arrived: the far end talks again.
    void voiceArrived() { m_comfortAmplitude = -1; }
    bool farEndIsSilent() const { return m_comfortAmplitude >= 0; }

    PlayoutStats m_stats;

private:
    Concealer m_concealer;
    int m_comfortAmplitude = -1;  // peak of the comfort noise, -1 when the far end talks
    uint32_t m_noiseSeed = 0x1234567u;
};

// Built-in extra delay of the jitter buffer when none is set.
inline constexpr long kDefaultJitterExtraMs = 10;

// extraMs: delay added on top of the worst transit time lately seen; < 0 = built-in.
std::unique_ptr<PlayoutBuffer> makeJitterBuffer(long extraMs);
std::unique_ptr<PlayoutBuffer> makeArrivalQueue();
// speexdsp's adaptive jitter buffer with the same concealment.
std::unique_ptr<PlayoutBuffer> makeSpeexJitterBuffer();

}  // namespace voice::media
