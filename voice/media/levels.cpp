#include "voice/media/levels.h"

#include <cmath>
#include <cstdlib>

#include "voice/codec/audio_frame.h"

namespace voice::media {
namespace {

constexpr int kIdleFramesToSilence = 50;  // one second of 20 ms frames
constexpr double kSmoothing = 5.0;        // level moves a fifth of the way each frame

}  // namespace

void LevelMeter::update(const int16_t* samples, size_t count) {
    int peak = 0;
    for (size_t i = 0; i < count; ++i) {
        const int magnitude = std::abs(int(samples[i]));
        if (magnitude > peak) peak = magnitude;
    }
    const double value = peak > 32767 ? 1.0 : peak / 32767.0;
    m_level += (value - m_level) / kSmoothing;
    m_idleFrames = 0;
}

void LevelMeter::idle() {
    if (m_idleFrames < kIdleFramesToSilence) ++m_idleFrames;
    if (m_idleFrames >= kIdleFramesToSilence) m_level = 0.0;
}

float LevelMeter::db() const {
    if (m_level <= 0.0) return kSilenceDb;
    const double db = 20.0 * std::log10(m_level);
    return db < kSilenceDb ? kSilenceDb : float(db);
}

void LevelMeter::reset() {
    m_level = 0.0;
    m_idleFrames = 0;
}

void applyLevel(int16_t* samples, size_t count, float level) {
    if (level == 0.5f) return;
    // Fixed point, 1/4096 steps.
    const long gain = std::lround(double(level) * 2.0 * 4096.0);
    for (size_t i = 0; i < count; ++i) samples[i] = clampSample((long(samples[i]) * gain) / 4096);
}

bool normaliseLevel(float& level) {
    if (std::isnan(level)) return false;
    if (level < 0.0f) level = 0.0f;
    if (level > 1.0f) level = 1.0f;
    return true;
}

}  // namespace voice::media
