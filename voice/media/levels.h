// Audio levels: the meters reported to the program and the software gain
// that stands in for a device volume.
#pragma once

#include <cstddef>
#include <cstdint>

namespace voice::media {

// The level reported for silence or for no audio at all, in dB.
inline constexpr float kSilenceDb = -99.0f;

// Peak level of audio passing one way, smoothed over frames.
class LevelMeter {
public:
    // Takes one frame of audio that passed.
    void update(const int16_t* samples, size_t count);
    // No audio passed this frame; after a second of that the level reads -99.
    void idle();
    // Smoothed level in dB relative to full scale; kSilenceDb when silent.
    float db() const;
    void reset();

private:
    double m_level = 0.0;  // 0 .. 1 of full scale
    int m_idleFrames = 0;
};

// Multiplies samples by the gain that a level of 0 .. 1 stands for: 0
// mutes, 0.5 leaves the audio as it is, 1 doubles it (saturating).
void applyLevel(int16_t* samples, size_t count, float level);
// Level clamped to 0 .. 1; false when it is not a number.
bool normaliseLevel(float& level);

}  // namespace voice::media
