// A 1 kHz tone as the voice engine's microphone and a file as its speaker
// (QUENDRA_AUDIO_IN / QUENDRA_AUDIO_OUT), for calls to the echo service.
// Set before the engine starts; the files and variables go with the object.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "audio_test_support.h"
#include "media/wav_file.h"

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

    // What the engine played. The echo arrives after the round trip and the
    // jitter buffer, so the 400 ms judged end 200 ms before the hang-up.
    // False when the file cannot be read or holds less than a second.
    bool playedWindow(std::vector<int16_t>& out, const int16_t*& window, size_t& count) const {
        if (voice::media::readWavFile(outPath, out) != voice::media::WavResult::Ok) return false;
        if (out.size() <= 8000) return false;
        window = out.data() + out.size() - 4800;
        count = 3200;
        return true;
    }

    bool ok = false;
    std::string inPath, outPath;
};

}  // namespace labpbx::test
