#include "voice/media/wav_file.h"

#include <cstring>

#include "voice/codec/audio_frame.h"

namespace voice::media {
namespace {

constexpr uint16_t kPcmFormat = 1;
constexpr uint16_t kExtensibleFormat = 0xFFFE;
constexpr size_t kHeaderBytes = 44;
// WAV sizes are 32-bit; stop writing well before they overflow.
constexpr uint32_t kMaxWriteSamples = 0x7FFF0000u / 2;

uint16_t le16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}
uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

void putLe16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void putLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

}  // namespace

WavResult parseWav(const uint8_t* bytes, size_t length, std::vector<int16_t>& samples) {
    samples.clear();
    if (length < 12 || std::memcmp(bytes, "RIFF", 4) != 0 || std::memcmp(bytes + 8, "WAVE", 4) != 0)
        return WavResult::NotRiffWave;
    size_t pos = 12;
    bool haveFormat = false;
    uint16_t channels = 0;
    while (length - pos >= 8) {
        const uint8_t* chunk = bytes + pos;
        const uint32_t size = le32(chunk + 4);
        const size_t bodyStart = pos + 8;
        const size_t available = length - bodyStart;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16 || size > available) return WavResult::UnsupportedFormat;
            const uint8_t* fmt = bytes + bodyStart;
            const uint16_t tag = le16(fmt);
            channels = le16(fmt + 2);
            const uint32_t rate = le32(fmt + 4);
            const uint16_t bits = le16(fmt + 14);
            if ((tag != kPcmFormat && tag != kExtensibleFormat) || bits != 16 || rate != uint32_t(kSampleRate) ||
                (channels != 1 && channels != 2))
                return WavResult::UnsupportedFormat;
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat) return WavResult::NoFormat;
            // A data size beyond the file (a recording cut short) is read as far as it goes.
            const size_t dataBytes = size < available ? size : available;
            const size_t frameBytes = size_t(2) * channels;
            const size_t frames = dataBytes / frameBytes;
            if (frames == 0) return WavResult::NoData;
            if (frames > kMaxWavSamples) return WavResult::TooLong;
            samples.resize(frames);
            const uint8_t* data = bytes + bodyStart;
            for (size_t i = 0; i < frames; ++i) {
                if (channels == 1) {
                    samples[i] = int16_t(le16(data + 2 * i));
                } else {
                    const long left = int16_t(le16(data + 4 * i));
                    const long right = int16_t(le16(data + 4 * i + 2));
                    samples[i] = int16_t((left + right) / 2);
                }
            }
            return WavResult::Ok;
        }
        // Chunks are padded to an even size.
        const size_t skip = size_t(size) + (size & 1);
        if (skip > available) break;
        pos = bodyStart + skip;
    }
    return haveFormat ? WavResult::NoData : WavResult::NoFormat;
}

WavResult readWavFile(const std::string& path, std::vector<int16_t>& samples) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return WavResult::CannotOpen;
    std::vector<uint8_t> bytes;
    const size_t limit = kMaxWavSamples * 4 + 4096;
    uint8_t buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        if (bytes.size() + got > limit) {
            std::fclose(file);
            return WavResult::TooLong;
        }
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    std::fclose(file);
    return parseWav(bytes.data(), bytes.size(), samples);
}

WavWriter::~WavWriter() {
    close();
}

bool WavWriter::open(const std::string& path) {
    close();
    m_file = std::fopen(path.c_str(), "wb");
    if (!m_file) return false;
    m_samples = 0;
    if (!writeHeader()) {
        close();
        return false;
    }
    return true;
}

bool WavWriter::writeHeader() {
    uint8_t header[kHeaderBytes];
    const uint32_t dataBytes = m_samples * 2;
    std::memcpy(header, "RIFF", 4);  // NOLINT(bugprone-not-null-terminated-result): a tag, not a string
    putLe32(header + 4, 36 + dataBytes);
    std::memcpy(header + 8, "WAVEfmt ", 8);  // NOLINT(bugprone-not-null-terminated-result): a tag, not a string
    putLe32(header + 16, 16);
    putLe16(header + 20, kPcmFormat);
    putLe16(header + 22, 1);
    putLe32(header + 24, kSampleRate);
    putLe32(header + 28, kSampleRate * 2);
    putLe16(header + 32, 2);
    putLe16(header + 34, 16);
    std::memcpy(header + 36, "data", 4);  // NOLINT(bugprone-not-null-terminated-result): a tag, not a string
    putLe32(header + 40, dataBytes);
    if (std::fseek(m_file, 0, SEEK_SET) != 0) return false;
    if (std::fwrite(header, 1, sizeof header, m_file) != sizeof header) return false;
    return std::fseek(m_file, 0, SEEK_END) == 0;
}

bool WavWriter::write(const int16_t* samples, size_t count) {
    if (!m_file) return false;
    if (count > kMaxWriteSamples - m_samples) return false;
    uint8_t bytes[2 * kFrameSamples];
    size_t done = 0;
    while (done < count) {
        const size_t n = count - done < kFrameSamples ? count - done : kFrameSamples;
        for (size_t i = 0; i < n; ++i) putLe16(bytes + 2 * i, uint16_t(samples[done + i]));
        if (std::fwrite(bytes, 2, n, m_file) != n) return false;
        done += n;
    }
    m_samples += uint32_t(count);
    if (!writeHeader()) return false;
    return std::fflush(m_file) == 0;
}

void WavWriter::close() {
    if (!m_file) return;
    writeHeader();
    std::fclose(m_file);
    m_file = nullptr;
}

}  // namespace voice::media
