// The adaptive jitter buffer. Audio is stored on a timeline indexed by its
// call timestamp (in samples). The playout delay A - the time between a
// frame's timestamp and the moment it is played - moves in whole frames:
// it aims at the worst transit time of the last two seconds plus the extra
// margin, grows by holding playout for a frame when it is shorter than that
// worst transit plus half the margin, and shrinks by
// skipping a frame when it has been a frame or more too long for half a second.
// Less than a frame too long is left to the playout tick: the buffer says by
// how much the tick could come earlier (takeTickAdvanceMs), so on a network
// with little jitter the delay does not keep up to a frame too much for the
// tick's phase against the arrivals.
#include <algorithm>
#include <cstring>
#include <deque>

#include "voice/codec/audio_frame.h"
#include "voice/media/playout_buffer.h"

namespace voice::media {
namespace {

constexpr int64_t kTimelineSamples = 16384;  // 2.048 s of audio ahead of playout
constexpr int64_t kFrame = int64_t(kFrameSamples);
constexpr int64_t kResyncMs = 1000;     // timestamp jumps beyond this restart the buffer
constexpr int64_t kMaxDelayMs = 500;    // playout delay never exceeds the fastest transit by more
constexpr int64_t kWindowMs = 2000;     // transit times considered
constexpr int64_t kShrinkHoldMs = 500;  // delay a frame too long this long before one is skipped
constexpr int kUnderrunRunFrames = 5;   // after this many empty frames the far end is taken as paused
constexpr int kSlackFrames = 25;        // frames over which the tick's slack is judged
constexpr int64_t kMinAdvanceMs = 2;    // slack smaller than this is kept

static_assert((kTimelineSamples & (kTimelineSamples - 1)) == 0, "the timeline wraps by masking");

// Slot of a timeline position; positions may be negative (timestamps just
// below the first one seen).
size_t slotOf(int64_t pos) {
    return size_t(uint64_t(pos) & uint64_t(kTimelineSamples - 1));
}

int64_t floorDiv(int64_t a, int64_t b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

class JitterBuffer final : public PlayoutBuffer {
public:
    explicit JitterBuffer(long extraMs) : m_extraMs(extraMs < 0 ? kDefaultJitterExtraMs : extraMs) {
        if (m_extraMs > kMaxDelayMs) m_extraMs = kMaxDelayMs;
        clearTimeline();
    }

    void put(uint32_t tsMs, const int16_t* pcm, size_t count, int64_t nowMs) override {
        ++m_stats.packets;
        voiceArrived();
        if (count == 0) return;
        int64_t ts = int64_t(tsMs);
        if (m_started) {
            ts = unwrap(tsMs);
            const int64_t playMs = floorDiv(m_playPos, kSamplesPerMs);
            if (ts > playMs + kResyncMs + kMaxDelayMs || ts < playMs - kResyncMs) {
                ++m_stats.resyncs;
                m_started = false;
                ts = int64_t(tsMs);
            }
        }
        m_lastTs = ts;
        if (!m_started) {
            m_started = true;
            m_transits.clear();
            m_minTransits.clear();
            m_highestTs = ts;
            noteTransit(nowMs, nowMs - ts);
            anchor(ts, nowMs, m_extraMs);
        } else {
            noteTransit(nowMs, nowMs - ts);
            if (m_paused) anchor(ts, nowMs, target() - (nowMs - ts));
        }
        if (ts < m_highestTs) {
            ++m_stats.outOfOrder;
        } else {
            m_highestTs = ts;
        }
        store(ts * kSamplesPerMs, pcm, count);
    }

    void get(int16_t* out, int64_t nowMs) override {
        if (!m_started) {
            std::fill(out, out + kFrame, int16_t(0));
            return;
        }
        ++m_stats.framesPlayed;
        if (nowMs < m_holdUntilMs) {
            fillGap(out, kFrameSamples);
            return;
        }
        const int64_t delayMs = nowMs - floorDiv(m_playPos, kSamplesPerMs);
        const int64_t wanted = target();
        m_stats.delayMs = int(delayMs - minTransit());
        m_stats.jitterMs = int(maxTransit() - minTransit());

        if (!m_paused && delayMs < growBelow() && canGrow(delayMs)) {
            // Hold playout for one frame: the continued waveform stands in.
            fillGap(out, kFrameSamples);
            m_shrinkSinceMs = -1;
            return;
        }
        if (delayMs >= wanted + kFrameMs) {
            if (m_shrinkSinceMs < 0) m_shrinkSinceMs = nowMs;
            if (nowMs - m_shrinkSinceMs >= kShrinkHoldMs) {
                discard(m_playPos, kFrame);
                m_playPos += kFrame;
                m_shrinkSinceMs = nowMs;
            }
        } else {
            m_shrinkSinceMs = -1;
        }
        m_slackMs = std::min(m_slackMs, delayMs - wanted);
        ++m_slackFrames;
        playSlot(out, delayMs, wanted);
    }

    int64_t takeTickAdvanceMs() override {
        if (m_slackFrames < kSlackFrames) return 0;
        const int64_t slack = m_slackMs;
        m_slackMs = kFrameMs;
        m_slackFrames = 0;
        // On a network with more jitter than the extra margin, the tick's
        // slack is left as it is: there it still saves frames from being
        // filled in, for a delay that is small beside the jitter's.
        if (maxTransit() - minTransit() > m_extraMs) return 0;
        return slack >= kMinAdvanceMs ? std::min<int64_t>(slack, kFrameMs - 1) : 0;
    }

private:
    void clearTimeline() {
        std::memset(m_present, 0, sizeof m_present);
        m_newestEnd = 0;
    }

    int64_t unwrap(uint32_t tsMs) const { return m_lastTs + int64_t(int32_t(tsMs - uint32_t(m_lastTs))); }

    // Starts playout at ts, waitMs after now (the first frame of a stream,
    // or of the far end's audio after a pause).
    void anchor(int64_t ts, int64_t nowMs, int64_t waitMs) {
        clearTimeline();
        m_playPos = ts * kSamplesPerMs;
        m_newestEnd = m_playPos;
        m_holdUntilMs = nowMs + std::max<int64_t>(waitMs, 0);
        m_paused = false;
        m_slackMs = kFrameMs;
        m_slackFrames = 0;
        m_emptyRun = 0;
        m_shrinkSinceMs = -1;
    }

    void noteTransit(int64_t nowMs, int64_t transit) {
        while (!m_transits.empty() && m_transits.back().second <= transit) m_transits.pop_back();
        m_transits.emplace_back(nowMs, transit);
        while (!m_minTransits.empty() && m_minTransits.back().second >= transit) m_minTransits.pop_back();
        m_minTransits.emplace_back(nowMs, transit);
        while (m_transits.front().first < nowMs - kWindowMs) m_transits.pop_front();
        while (m_minTransits.front().first < nowMs - kWindowMs) m_minTransits.pop_front();
    }

    int64_t maxTransit() const { return m_transits.empty() ? 0 : m_transits.front().second; }
    int64_t minTransit() const { return m_minTransits.empty() ? 0 : m_minTransits.front().second; }
    int64_t target() const { return std::min(maxTransit() + m_extraMs, minTransit() + kMaxDelayMs); }
    // The delay grows only once the worst transit comes within half the
    // extra margin of it: a single late arrival that the margin covered
    // does not insert a frame, though it keeps the delay from shrinking.
    int64_t growBelow() const { return std::min(target(), maxTransit() + m_extraMs / 2); }
    bool canGrow(int64_t delayMs) const { return delayMs + kFrameMs <= minTransit() + kMaxDelayMs; }

    void store(int64_t start, const int16_t* pcm, size_t count) {
        const int64_t end = start + int64_t(count);
        if (end <= m_playPos) {
            ++m_stats.latePackets;
            return;
        }
        if (end > m_playPos + kTimelineSamples) {
            ++m_stats.droppedPackets;
            return;
        }
        for (int64_t pos = std::max(start, m_playPos); pos < end; ++pos) {
            const size_t slot = slotOf(pos);
            m_samples[slot] = pcm[pos - start];
            m_present[slot] = 1;
        }
        m_newestEnd = std::max(m_newestEnd, end);
    }

    void discard(int64_t start, int64_t count) {
        for (int64_t pos = start; pos < start + count; ++pos) m_present[slotOf(pos)] = 0;
    }

    void playSlot(int16_t* out, int64_t delayMs, int64_t wanted) {
        size_t missing = 0;
        for (int64_t i = 0; i < kFrame; ++i) {
            if (!m_present[slotOf(m_playPos + i)]) ++missing;
        }
        const bool laterAudio = m_newestEnd > m_playPos + kFrame;
        if (missing == kFrameSamples && !laterAudio) {
            if (farEndIsSilent()) {
                ++m_stats.comfortFrames;
            } else if (!m_paused && ++m_emptyRun <= kUnderrunRunFrames) {
                ++m_stats.underruns;
                m_slackMs = std::min<int64_t>(m_slackMs, 0);  // the tick was not early
                fillGap(out, kFrameSamples);
                // Hold while the delay is below target: the late frame may still come.
                if (delayMs < wanted && canGrow(delayMs)) return;
                m_playPos += kFrame;
                return;
            } else {
                m_paused = true;
            }
            fillGap(out, kFrameSamples);
            m_playPos += kFrame;
            return;
        }
        m_emptyRun = 0;
        m_paused = false;
        if (missing > 0) {
            if (laterAudio) {
                ++m_stats.concealedFrames;
            } else {
                ++m_stats.underruns;
            }
        }
        // Real runs are played, missing runs filled, in order.
        int64_t i = 0;
        while (i < kFrame) {
            const bool present = m_present[slotOf(m_playPos + i)];
            int64_t j = i;
            while (j < kFrame && bool(m_present[slotOf(m_playPos + j)]) == present) {
                if (present) out[j] = m_samples[slotOf(m_playPos + j)];
                ++j;
            }
            if (present) {
                playReal(out + i, size_t(j - i));
            } else {
                fillGap(out + i, size_t(j - i));
            }
            i = j;
        }
        discard(m_playPos, kFrame);
        m_playPos += kFrame;
    }

    long m_extraMs;
    bool m_started = false;
    bool m_paused = false;    // the far end stopped sending; re-anchor on its next audio
    int m_emptyRun = 0;       // consecutive frames with nothing to play
    int64_t m_playPos = 0;    // timestamp (samples) of the next sample to play
    int64_t m_newestEnd = 0;  // timestamp (samples) just past the newest audio stored
    int64_t m_lastTs = 0;     // newest unwrapped timestamp seen (ms)
    int64_t m_highestTs = 0;
    int64_t m_shrinkSinceMs = -1;
    int64_t m_holdUntilMs = 0;                              // playout of a new stream waits until then
    int64_t m_slackMs = kFrameMs;                           // least delay beyond target lately played at
    int m_slackFrames = 0;                                  // frames played since the slack was taken
    std::deque<std::pair<int64_t, int64_t>> m_transits;     // (arrival, transit), transit decreasing
    std::deque<std::pair<int64_t, int64_t>> m_minTransits;  // (arrival, transit), transit increasing
    int16_t m_samples[kTimelineSamples];
    uint8_t m_present[kTimelineSamples];
};

}  // namespace

std::unique_ptr<PlayoutBuffer> makeJitterBuffer(long extraMs) {
    return std::make_unique<JitterBuffer>(extraMs);
}

}  // namespace voice::media
