// Playout through speexdsp's adaptive jitter buffer, behind the same
// interface as the engine's own. Decoded audio is stored in speexdsp's
// buffer as packets stamped in samples; every tick asks it for one 20 ms
// frame. What it cannot deliver - lost or late audio, or a frame it inserts
// to grow its delay - is filled by the shared concealment (or comfort noise
// while the far end is silent).
#include <speex/speex_jitter.h>

#include <algorithm>

#include "voice/codec/audio_frame.h"
#include "voice/media/playout_buffer.h"

namespace voice::media {
namespace {

constexpr int kUnderrunRunFrames = 5;  // after this many empty frames the far end is taken as paused
constexpr size_t kMaxPacketSamples = 4096;

class SpeexJitterBuffer final : public PlayoutBuffer {
public:
    SpeexJitterBuffer() : m_jitter(jitter_buffer_init(int(kFrameSamples))) {
        spx_int32_t step = spx_int32_t(kFrameSamples);
        jitter_buffer_ctl(m_jitter, JITTER_BUFFER_SET_DELAY_STEP, &step);
        jitter_buffer_ctl(m_jitter, JITTER_BUFFER_SET_CONCEALMENT_SIZE, &step);
    }
    ~SpeexJitterBuffer() override { jitter_buffer_destroy(m_jitter); }
    SpeexJitterBuffer(const SpeexJitterBuffer&) = delete;
    SpeexJitterBuffer& operator=(const SpeexJitterBuffer&) = delete;

    void put(uint32_t tsMs, const int16_t* pcm, size_t count, int64_t) override {
        ++m_stats.packets;
        voiceArrived();
        if (count == 0) return;
        if (count > kMaxPacketSamples) {
            ++m_stats.droppedPackets;
            return;
        }
        // Timestamps in samples wrap at 2^32 like the call's own; speexdsp
        // compares them modulo 2^32.
        const uint32_t ts = tsMs * uint32_t(kSamplesPerMs);
        if (m_started && int32_t(ts - m_highestTs) < 0) {
            ++m_stats.outOfOrder;
        } else {
            m_highestTs = ts;
        }
        if (m_started && m_gotFirst && int32_t(ts + uint32_t(count) - pointer()) <= 0) ++m_stats.latePackets;
        m_started = true;
        JitterBufferPacket packet{};
        packet.data = const_cast<char*>(reinterpret_cast<const char*>(pcm));
        packet.len = spx_uint32_t(count * sizeof(int16_t));
        packet.timestamp = ts;
        packet.span = spx_uint32_t(count);
        jitter_buffer_put(m_jitter, &packet);
    }

    void get(int16_t* out, int64_t) override {
        if (!m_started) {
            std::fill(out, out + kFrameSamples, int16_t(0));
            return;
        }
        ++m_stats.framesPlayed;
        int16_t samples[kMaxPacketSamples];
        JitterBufferPacket packet{};
        packet.data = reinterpret_cast<char*>(samples);
        packet.len = spx_uint32_t(sizeof samples);
        spx_int32_t offset = 0;
        const int result = jitter_buffer_get(m_jitter, &packet, spx_int32_t(kFrameSamples), &offset);
        if (result == JITTER_BUFFER_OK) {
            m_gotFirst = true;
            m_emptyRun = 0;
            const size_t got = std::min<size_t>(packet.len / sizeof(int16_t), kFrameSamples);
            std::copy(samples, samples + got, out);
            if (got > 0) playReal(out, got);
            if (got < kFrameSamples) fillGap(out + got, kFrameSamples - got);
        } else {
            noteGap(result == JITTER_BUFFER_INSERTION);
            fillGap(out, kFrameSamples);
        }
        jitter_buffer_tick(m_jitter);
        spx_int32_t available = 0;
        jitter_buffer_ctl(m_jitter, JITTER_BUFFER_GET_AVAILABLE_COUNT, &available);
        m_stats.delayMs = int(available) * kFrameMs;
    }

private:
    uint32_t pointer() const { return uint32_t(jitter_buffer_get_pointer_timestamp(m_jitter)); }

    // A frame with nothing to play: lost or late audio while later audio
    // waits (concealed), the buffer growing its delay, or the buffer run dry.
    void noteGap(bool insertion) {
        if (farEndIsSilent()) {
            ++m_stats.comfortFrames;
            return;
        }
        if (insertion) return;
        spx_int32_t available = 0;
        jitter_buffer_ctl(m_jitter, JITTER_BUFFER_GET_AVAILABLE_COUNT, &available);
        if (available > 0) {
            ++m_stats.concealedFrames;
            m_emptyRun = 0;
        } else if (++m_emptyRun <= kUnderrunRunFrames) {
            ++m_stats.underruns;
        }
    }

    JitterBuffer* m_jitter;
    bool m_started = false;
    bool m_gotFirst = false;
    uint32_t m_highestTs = 0;
    int m_emptyRun = 0;
};

}  // namespace

std::unique_ptr<PlayoutBuffer> makeSpeexJitterBuffer() {
    return std::make_unique<SpeexJitterBuffer>();
}

}  // namespace voice::media
