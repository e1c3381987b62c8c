#include "voice/media/concealment.h"

#include <algorithm>
#include <cstring>

#include "voice/codec/audio_frame.h"

namespace voice::media {
namespace {

// Pitch periods searched: 2.5 ms (400 Hz) to 15 ms (67 Hz).
constexpr size_t kMinPeriod = 20;
constexpr size_t kMaxPeriod = 120;
// Samples over which concealed audio hands over to real audio.
constexpr size_t kBlendSamples = 40;

}  // namespace

Concealer::Concealer() {
    reset();
}

void Concealer::reset() {
    std::memset(m_history, 0, sizeof m_history);
    m_period = 0;
    m_phase = 0;
    m_concealed = 0;
    m_haveHistory = false;
}

void Concealer::real(int16_t* samples, size_t count) {
    if (count == 0) return;
    if (m_concealed > 0) {
        // Fade from the continued waveform into the real one.
        int16_t tail[kBlendSamples];
        const size_t blend = std::min(count, kBlendSamples);
        conceal(tail, blend);
        for (size_t i = 0; i < blend; ++i) {
            const long w = long(i + 1);
            const long mixed = (long(samples[i]) * w + long(tail[i]) * long(blend + 1 - w)) / long(blend + 1);
            samples[i] = clampSample(mixed);
        }
        m_concealed = 0;
        m_period = 0;
    }
    if (count >= kHistorySamples) {
        std::memcpy(m_history, samples + count - kHistorySamples, sizeof m_history);
    } else {
        std::memmove(m_history, m_history + count, (kHistorySamples - count) * sizeof(int16_t));
        std::memcpy(m_history + kHistorySamples - count, samples, count * sizeof(int16_t));
    }
    m_haveHistory = true;
}

void Concealer::choosePeriod() {
    // Normalised autocorrelation of the newest samples against the history
    // one period earlier; the best lag is the period to repeat.
    const size_t window = kHistorySamples - kMaxPeriod;
    const int16_t* recent = m_history + kHistorySamples - window;
    double best = -1.0;
    size_t bestLag = kFrameSamples;
    for (size_t lag = kMinPeriod; lag <= kMaxPeriod; ++lag) {
        const int16_t* earlier = recent - lag;
        double cross = 0, energy = 0;
        for (size_t i = 0; i < window; ++i) {
            cross += double(recent[i]) * double(earlier[i]);
            energy += double(earlier[i]) * double(earlier[i]);
        }
        if (energy <= 0) continue;
        const double score = cross / energy;
        if (score > best) {
            best = score;
            bestLag = lag;
        }
    }
    m_period = bestLag;
    m_phase = 0;
}

void Concealer::conceal(int16_t* out, size_t count) {
    if (!m_haveHistory) {
        std::fill(out, out + count, int16_t(0));
        m_concealed += count;
        return;
    }
    if (m_period == 0) choosePeriod();
    const int16_t* period = m_history + kHistorySamples - m_period;
    for (size_t i = 0; i < count; ++i) {
        long value = 0;
        if (m_concealed < kFadeSamples) {
            value = long(period[m_phase]) * long(kFadeSamples - m_concealed) / long(kFadeSamples);
        }
        out[i] = clampSample(value);
        m_phase = (m_phase + 1) % m_period;
        ++m_concealed;
    }
}

}  // namespace voice::media
