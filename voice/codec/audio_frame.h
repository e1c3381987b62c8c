// Shared figures of the media side: 8000 Hz mono signed 16-bit audio moved
// in 20 ms frames.
#pragma once

#include <cstddef>
#include <cstdint>

namespace voice::media {

inline constexpr int kSampleRate = 8000;
inline constexpr int kFrameMs = 20;
inline constexpr size_t kFrameSamples = 160;
inline constexpr int kSamplesPerMs = kSampleRate / 1000;
// The largest encoded 20 ms frame (G.711: one byte a sample).
inline constexpr size_t kMaxFrameBytes = 160;

// Adds b to a with saturation at the 16-bit limits.
inline int16_t addSaturated(int16_t a, int16_t b) {
    int sum = int(a) + int(b);
    if (sum > INT16_MAX) return INT16_MAX;
    if (sum < INT16_MIN) return INT16_MIN;
    return int16_t(sum);
}

inline int16_t clampSample(long value) {
    if (value > INT16_MAX) return INT16_MAX;
    if (value < INT16_MIN) return INT16_MIN;
    return int16_t(value);
}

}  // namespace voice::media
