// WAV files of 16-bit PCM: the engine's file input and output for tests and
// demonstrations. Reading accepts mono or stereo (mixed down) at 8000 Hz;
// every header field is checked before it is used.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace voice::media {

enum class WavResult {
    Ok,
    CannotOpen,
    NotRiffWave,
    NoFormat,
    UnsupportedFormat,  // not 16-bit PCM, mono or stereo, 8000 Hz
    NoData,
    TooLong,
};

// Longest input read: ten minutes at 8000 Hz.
inline constexpr size_t kMaxWavSamples = size_t{10} * 60 * 8000;

// Parses a whole WAV image into 8000 Hz mono samples.
WavResult parseWav(const uint8_t* bytes, size_t length, std::vector<int16_t>& samples);
WavResult readWavFile(const std::string& path, std::vector<int16_t>& samples);

// Writes 8000 Hz mono 16-bit PCM, keeping the header valid after every
// write so the file is readable even if the program stops unexpectedly.
class WavWriter {
public:
    WavWriter() = default;
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    bool open(const std::string& path);
    bool write(const int16_t* samples, size_t count);
    void close();
    bool isOpen() const { return m_file != nullptr; }
    uint32_t samplesWritten() const { return m_samples; }

private:
    bool writeHeader();

    std::FILE* m_file = nullptr;
    uint32_t m_samples = 0;
};

}  // namespace voice::media
