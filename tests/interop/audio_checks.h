// Tone files for the probe phones' microphones and the analysis of what
// their speakers heard: level and frequency of a tone, where it starts, and
// silent stretches.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace interop {

inline constexpr int kRate = 8000;
inline constexpr size_t kWindow = 160;  // 20 ms

// Writes a steady sine of hz at amplitude, seconds long, as an 8 kHz WAV.
bool writeToneFile(const std::string& path, double hz, double amplitude, double seconds);
// The samples of a speaker file (empty when it cannot be read).
std::vector<int16_t> readHeard(const std::string& path);

// Amplitude of the component at hz over samples [from, to) (Goertzel): a
// sine of amplitude A gives about A.
double toneAmplitude(const std::vector<int16_t>& samples, size_t from, size_t to, double hz);
double rmsOf(const std::vector<int16_t>& samples, size_t from, size_t to);
// The frequency of the strongest component within hz ± span over
// [from, to), to a tenth of a hertz.
double peakFrequency(const std::vector<int16_t>& samples, size_t from, size_t to, double hz, double span);
double decibels(double ratio);

// The first sample of the first 20 ms window at or after `from` in which
// the tone at hz reaches minAmplitude; samples.size() when none does.
size_t firstToneWindow(const std::vector<int16_t>& samples, size_t from, double hz, double minAmplitude);

// 20 ms windows of [from, to) whose RMS is below threshold.
struct SilenceRuns {
    size_t windows = 0;
    size_t silent = 0;
    size_t longestRun = 0;       // in windows
    size_t longestRunStart = 0;  // sample where the longest run starts
};
SilenceRuns silentWindows(const std::vector<int16_t>& samples, size_t from, size_t to, double threshold);

// Milliseconds of a sample count at 8 kHz.
inline double samplesToMs(double samples) {
    return samples / (kRate / 1000.0);
}
inline size_t msToSamples(double ms) {
    return static_cast<size_t>(ms * (kRate / 1000.0));
}

}  // namespace interop
