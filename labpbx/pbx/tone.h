// Tone sources for the services and music on hold: 20 ms frames of 8 kHz
// linear audio with the phase carried from frame to frame, so the tone is
// continuous however the frames are spaced.
#pragma once

#include <cstddef>
#include <cstdint>

namespace labpbx {

inline constexpr size_t kFrameSamples = 160;  // 20 ms at 8000 Hz
inline constexpr int kFrameMs = 20;

// The steady tone service's frequency and level.
inline constexpr double kServiceToneHz = 1000.0;
inline constexpr int16_t kServiceToneAmplitude = 8000;
// Music on hold: a slow three-note figure, each note this long.
inline constexpr int kHoldNoteMs = 400;

class ToneSource {
public:
    // A steady sine (the tone service's by default).
    ToneSource() : ToneSource(kServiceToneHz, kServiceToneAmplitude) {}
    ToneSource(double hz, int16_t amplitude);
    void next(int16_t* out);  // writes kFrameSamples samples
private:
    double step_;
    double phase_ = 0.0;
    int16_t amplitude_;
};

// Music on hold: three notes in turn, kHoldNoteMs each.
class HoldMusic {
public:
    HoldMusic();
    void next(int16_t* out);

private:
    double phase_ = 0.0;
    int elapsedMs_ = 0;
};

}  // namespace labpbx
