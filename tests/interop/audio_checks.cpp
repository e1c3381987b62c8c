#include "audio_checks.h"

#include <algorithm>
#include <cmath>

#include "tests/voice/media/audio_test_support.h"
#include "voice/media/wav_file.h"

namespace interop {

bool writeToneFile(const std::string& path, double hz, double amplitude, double seconds) {
    const auto samples = voice::media::testing::tone(hz, amplitude, static_cast<size_t>(seconds * kRate));
    voice::media::WavWriter writer;
    if (!writer.open(path)) return false;
    const bool written = writer.write(samples.data(), samples.size());
    writer.close();
    return written;
}

std::vector<int16_t> readHeard(const std::string& path) {
    std::vector<int16_t> samples;
    if (voice::media::readWavFile(path, samples) != voice::media::WavResult::Ok) samples.clear();
    return samples;
}

double toneAmplitude(const std::vector<int16_t>& samples, size_t from, size_t to, double hz) {
    to = std::min(to, samples.size());
    if (from >= to) return 0;
    return voice::media::testing::amplitudeAt(samples.data() + from, to - from, hz);
}

double rmsOf(const std::vector<int16_t>& samples, size_t from, size_t to) {
    to = std::min(to, samples.size());
    if (from >= to) return 0;
    return voice::media::testing::rms(samples.data() + from, to - from);
}

double peakFrequency(const std::vector<int16_t>& samples, size_t from, size_t to, double hz, double span) {
    double best = hz, bestAmplitude = -1;
    auto scan = [&](double low, double high, double step) {
        for (double f = low; f <= high + step / 2; f += step) {
            const double a = toneAmplitude(samples, from, to, f);
            if (a > bestAmplitude) {
                bestAmplitude = a;
                best = f;
            }
        }
    };
    scan(hz - span, hz + span, 1.0);
    const double coarse = best;
    scan(coarse - 1.0, coarse + 1.0, 0.1);
    return best;
}

double decibels(double ratio) {
    return ratio > 0 ? 20 * std::log10(ratio) : -99.0;
}

size_t firstToneWindow(const std::vector<int16_t>& samples, size_t from, double hz, double minAmplitude) {
    for (size_t at = from; at + kWindow <= samples.size(); at += kWindow / 2) {
        if (toneAmplitude(samples, at, at + kWindow, hz) >= minAmplitude) return at;
    }
    return samples.size();
}

SilenceRuns silentWindows(const std::vector<int16_t>& samples, size_t from, size_t to, double threshold) {
    SilenceRuns r;
    to = std::min(to, samples.size());
    size_t run = 0, runStart = 0;
    for (size_t at = from; at + kWindow <= to; at += kWindow) {
        ++r.windows;
        if (rmsOf(samples, at, at + kWindow) < threshold) {
            ++r.silent;
            if (run++ == 0) runStart = at;
            if (run > r.longestRun) {
                r.longestRun = run;
                r.longestRunStart = runStart;
            }
        } else {
            run = 0;
        }
    }
    return r;
}

}  // namespace interop
