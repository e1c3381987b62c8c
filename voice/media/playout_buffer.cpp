#include "voice/media/playout_buffer.h"

#include <cmath>

namespace voice::media {

void PlayoutBuffer::farEndSilent(int levelDbov) {
    if (levelDbov < 0) levelDbov = 0;
    if (levelDbov > 127) levelDbov = 127;
    m_comfortAmplitude = int(32767.0 * std::pow(10.0, -levelDbov / 20.0));
}

void PlayoutBuffer::fillGap(int16_t* out, size_t count) {
    if (!farEndIsSilent()) {
        m_concealer.conceal(out, count);
        return;
    }
    for (size_t i = 0; i < count; ++i) {
        // A small linear congruential generator is enough for noise.
        m_noiseSeed = m_noiseSeed * 1664525u + 1013904223u;
        const int spread = 2 * m_comfortAmplitude + 1;
        out[i] = int16_t(int((m_noiseSeed >> 8) % unsigned(spread)) - m_comfortAmplitude);
    }
}

void PlayoutBuffer::playReal(int16_t* samples, size_t count) {
    m_concealer.real(samples, count);
}

}  // namespace voice::media
