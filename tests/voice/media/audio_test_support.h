// Helpers of the media tests: tone synthesis and analysis, and a sound
// driver that records what is played and captures what the test supplies.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include <iaxclient.h>
#include "voice/codec/audio_frame.h"
#include "voice/media/audio_driver.h"

namespace voice::media::testing {

inline std::vector<int16_t> tone(double hz, double amplitude, size_t samples, double hz2 = 0,
                                 double amplitude2 = 0) {
    std::vector<int16_t> out(samples);
    for (size_t i = 0; i < samples; ++i) {
        const double t = double(i) / kSampleRate;
        double v = amplitude * std::sin(2 * M_PI * hz * t);
        if (hz2 > 0) v += amplitude2 * std::sin(2 * M_PI * hz2 * t);
        out[i] = int16_t(std::lround(v));
    }
    return out;
}

// Amplitude of the component at hz (Goertzel), for a sine of amplitude A
// this gives about A.
inline double amplitudeAt(const int16_t* samples, size_t count, double hz) {
    const double w = 2 * M_PI * hz / kSampleRate;
    const double coeff = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (size_t i = 0; i < count; ++i) {
        const double s0 = samples[i] + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
    return 2 * std::sqrt(std::max(power, 0.0)) / double(count);
}

inline double rms(const int16_t* samples, size_t count) {
    double sum = 0;
    for (size_t i = 0; i < count; ++i) sum += double(samples[i]) * samples[i];
    return count ? std::sqrt(sum / double(count)) : 0;
}

// First and one-past-last sample whose magnitude exceeds threshold.
inline std::pair<size_t, size_t> loudSpan(const std::vector<int16_t>& samples, int threshold) {
    size_t first = samples.size(), last = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        if (std::abs(int(samples[i])) > threshold) {
            if (first == samples.size()) first = i;
            last = i + 1;
        }
    }
    return {first, last};
}

class RecordingDriver final : public AudioDriver {
public:
    RecordingDriver() {
        m_devices.push_back({"Test microphone", IAXC_AD_INPUT | IAXC_AD_INPUT_DEFAULT});
        m_devices.push_back(
            {"Test speaker", IAXC_AD_OUTPUT | IAXC_AD_RING | IAXC_AD_OUTPUT_DEFAULT | IAXC_AD_RING_DEFAULT});
        m_devices.push_back({"Test bell", IAXC_AD_OUTPUT | IAXC_AD_RING});
    }
    const std::vector<AudioDeviceInfo>& devices() const override { return m_devices; }
    void open(int input, int output, int ring) override {
        m_open = true;
        ++opens;
        openedInput = input;
        openedOutput = output;
        openedRing = ring;
    }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    void read(int16_t* frame) override {
        for (size_t i = 0; i < kFrameSamples; ++i) {
            frame[i] = capturePos < capture.size() ? capture[capturePos++] : 0;
        }
    }
    void write(const int16_t* frame, const int16_t* ringFrame) override {
        played.insert(played.end(), frame, frame + kFrameSamples);
        if (ringFrame) rung.insert(rung.end(), ringFrame, ringFrame + kFrameSamples);
    }
    bool separateRing() const override { return separate && openedRing != openedOutput; }

    std::vector<int16_t> capture;
    size_t capturePos = 0;
    std::vector<int16_t> played;
    std::vector<int16_t> rung;
    bool separate = false;
    int opens = 0;
    int openedInput = -1, openedOutput = -1, openedRing = -1;

private:
    std::vector<AudioDeviceInfo> m_devices;
    bool m_open = false;
};

}  // namespace voice::media::testing
