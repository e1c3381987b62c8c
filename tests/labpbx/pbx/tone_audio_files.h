// A 1 kHz tone as the voice engine's microphone and a file as its speaker
// (QUENDRA_AUDIO_IN / QUENDRA_AUDIO_OUT), for calls to the echo service.
// Set before the engine starts; the files and variables go with the object.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/voice/media/audio_test_support.h"
#include "voice/media/wav_file.h"

namespace labpbx::test {

class ToneAudioFiles {
public:
    static constexpr double kToneHz = 1000;
    static constexpr double kToneAmplitude = 10000;

    explicit ToneAudioFiles(const std::string& name) {
        const std::string prefix = ::testing::TempDir() + name + "_" + std::to_string(::getpid());
        inPath = prefix + "_in.wav";
        outPath = prefix + "_out.wav";
        voice::media::WavWriter writer;
        const auto signal = voice::media::testing::tone(kToneHz, kToneAmplitude, 8000 * 10);
        ok = writer.open(inPath) && writer.write(signal.data(), signal.size());
        writer.close();
        ::setenv("QUENDRA_AUDIO_IN", inPath.c_str(), 1);
        ::setenv("QUENDRA_AUDIO_OUT", outPath.c_str(), 1);
    }
    ~ToneAudioFiles() {
        ::unsetenv("QUENDRA_AUDIO_IN");
        ::unsetenv("QUENDRA_AUDIO_OUT");
        std::remove(inPath.c_str());
        std::remove(outPath.c_str());
    }
    ToneAudioFiles(const ToneAudioFiles&) = delete;
    ToneAudioFiles& operator=(const ToneAudioFiles&) = delete;

    // The last 400 ms the engine has played so far (readable while the
    // call runs); false before a second has been played.
    bool lastPlayed(std::vector<int16_t>& window) const {
        std::vector<int16_t> out;
        if (voice::media::readWavFile(outPath, out) != voice::media::WavResult::Ok) return false;
        if (out.size() < 8000) return false;
        window.assign(out.end() - 3200, out.end());
        return true;
    }
    // Whether the last 400 ms played hold the tone at its level (within
    // tolerance) and nothing at 700 or 1400 Hz; the amplitudes found go to
    // at1k, at700 and at1400.
    bool tonePlayed(double tolerance, double& at1k, double& at700, double& at1400) const {
        std::vector<int16_t> w;
        if (!lastPlayed(w)) return false;
        using voice::media::testing::amplitudeAt;
        at1k = amplitudeAt(w.data(), w.size(), kToneHz);
        at700 = amplitudeAt(w.data(), w.size(), 700);
        at1400 = amplitudeAt(w.data(), w.size(), 1400);
        return std::fabs(at1k - kToneAmplitude) <= tolerance && at700 < at1k / 20 && at1400 < at1k / 20;
    }

    bool ok = false;
    std::string inPath, outPath;
};

}  // namespace labpbx::test
