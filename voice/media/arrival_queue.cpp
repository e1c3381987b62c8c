// Playout without a jitter buffer: audio is played in the order it arrives,
// as soon as the next frame is due. A backlog beyond 80 ms (the far end's
// clock running fast, or a burst) makes newly arriving audio be dropped, and
// a backlog of a frame or more that has not gone away for two seconds (left
// by a burst or a stall of the media thread) loses its oldest frame, so the
// delay it adds comes back down to less than a frame.
#include <algorithm>

#include "voice/codec/audio_frame.h"
#include "voice/media/playout_buffer.h"

namespace voice::media {
namespace {

constexpr size_t kBacklogLimit = size_t{80} * kSamplesPerMs;
constexpr size_t kCapacity = 4096;  // above the limit plus the largest payload decoded
constexpr int kUnderrunRunFrames = 5;
constexpr int64_t kShrinkHoldMs = 2000;

class ArrivalQueue final : public PlayoutBuffer {
public:
    void put(uint32_t tsMs, const int16_t* pcm, size_t count, int64_t) override {
        ++m_stats.packets;
        voiceArrived();
        if (m_seenAny && int32_t(tsMs - m_highestTs) < 0) {
            ++m_stats.outOfOrder;
        } else {
            m_highestTs = tsMs;
        }
        m_seenAny = true;
        if (m_count > kBacklogLimit || count > kCapacity - m_count) {
            ++m_stats.droppedPackets;
            return;
        }
        for (size_t i = 0; i < count; ++i) m_ring[(m_head + m_count + i) % kCapacity] = pcm[i];
        m_count += count;
        m_stats.delayMs = int(m_count / kSamplesPerMs);
    }

    void get(int16_t* out, int64_t nowMs) override {
        if (!m_seenAny) {
            std::fill(out, out + kFrameSamples, int16_t(0));
            return;
        }
        ++m_stats.framesPlayed;
        const size_t take = std::min(m_count, kFrameSamples);
        for (size_t i = 0; i < take; ++i) out[i] = m_ring[(m_head + i) % kCapacity];
        m_head = (m_head + take) % kCapacity;
        m_count -= take;
        shrink(nowMs);
        m_stats.delayMs = int(m_count / kSamplesPerMs);
        if (take > 0) playReal(out, take);
        if (take == kFrameSamples) {
            m_emptyRun = 0;
            return;
        }
        if (farEndIsSilent()) {
            ++m_stats.comfortFrames;
        } else if (take > 0) {
            ++m_stats.underruns;
            m_emptyRun = 0;
        } else if (++m_emptyRun <= kUnderrunRunFrames) {
            ++m_stats.underruns;
        }
        fillGap(out + take, kFrameSamples - take);
    }

private:
    // Drops the oldest frame of a backlog that has stayed a frame or more
    // long for kShrinkHoldMs.
    void shrink(int64_t nowMs) {
        if (m_count < kFrameSamples) {
            m_backlogSinceMs = -1;
            return;
        }
        if (m_backlogSinceMs < 0) m_backlogSinceMs = nowMs;
        if (nowMs - m_backlogSinceMs < kShrinkHoldMs) return;
        m_head = (m_head + kFrameSamples) % kCapacity;
        m_count -= kFrameSamples;
        m_backlogSinceMs = nowMs;
    }

    int16_t m_ring[kCapacity];
    size_t m_head = 0;
    size_t m_count = 0;
    uint32_t m_highestTs = 0;
    bool m_seenAny = false;
    int m_emptyRun = 0;
    int64_t m_backlogSinceMs = -1;  // since when a frame or more has stayed queued, -1 = it has not
};

}  // namespace

std::unique_ptr<PlayoutBuffer> makeArrivalQueue() {
    return std::make_unique<ArrivalQueue>();
}

}  // namespace voice::media
