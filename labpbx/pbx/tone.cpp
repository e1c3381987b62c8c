#include "labpbx/pbx/tone.h"

#include <cmath>

namespace labpbx {

namespace {
constexpr double kTwoPi = 6.283185307179586;
constexpr double kSampleRate = 8000.0;
constexpr double kHoldNotesHz[] = {523.25, 659.25, 783.99};
constexpr int16_t kHoldAmplitude = 5000;
}  // namespace

ToneSource::ToneSource(double hz, int16_t amplitude) : step_(kTwoPi * hz / kSampleRate), amplitude_(amplitude) {}

void ToneSource::next(int16_t* out) {
    for (size_t i = 0; i < kFrameSamples; ++i) {
        out[i] = static_cast<int16_t>(std::lround(amplitude_ * std::sin(phase_)));
        phase_ += step_;
        if (phase_ >= kTwoPi) phase_ -= kTwoPi;
    }
}

HoldMusic::HoldMusic() = default;

void HoldMusic::next(int16_t* out) {
    size_t note = static_cast<size_t>(elapsedMs_ / kHoldNoteMs) % 3;
    double step = kTwoPi * kHoldNotesHz[note] / kSampleRate;
    for (size_t i = 0; i < kFrameSamples; ++i) {
        out[i] = static_cast<int16_t>(std::lround(kHoldAmplitude * std::sin(phase_)));
        phase_ += step;
        if (phase_ >= kTwoPi) phase_ -= kTwoPi;
    }
    elapsedMs_ = (elapsedMs_ + kFrameMs) % (3 * kHoldNoteMs);
}

}  // namespace labpbx
