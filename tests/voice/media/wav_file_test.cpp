#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "voice/media/wav_file.h"

namespace voice::media {
namespace {

std::vector<uint8_t> header(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, uint32_t dataBytes) {
    std::vector<uint8_t> h(44);
    auto le32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) h[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    auto le16 = [&](size_t at, uint16_t v) {
        h[at] = uint8_t(v);
        h[at + 1] = uint8_t(v >> 8);
    };
    std::memcpy(h.data(), "RIFF", 4);
    le32(4, 36 + dataBytes);
    std::memcpy(h.data() + 8, "WAVEfmt ", 8);
    le32(16, 16);
    le16(20, tag);
    le16(22, channels);
    le32(24, rate);
    le32(28, rate * channels * bits / 8);
    le16(32, uint16_t(channels * bits / 8));
    le16(34, bits);
    std::memcpy(h.data() + 36, "data", 4);
    le32(40, dataBytes);
    return h;
}

TEST(WavFile, WrittenFilesReadBackSampleForSample) {
    const std::string path = ::testing::TempDir() + "voice_media_wav_roundtrip.wav";
    std::vector<int16_t> samples;
    for (int i = 0; i < 1000; ++i) samples.push_back(int16_t(i * 37 - 16000));
    {
        WavWriter writer;
        ASSERT_TRUE(writer.open(path));
        ASSERT_TRUE(writer.write(samples.data(), 600));
        ASSERT_TRUE(writer.write(samples.data() + 600, 400));
        EXPECT_EQ(writer.samplesWritten(), 1000u);
        // The header is valid before the writer closes.
        std::vector<int16_t> early;
        ASSERT_EQ(readWavFile(path, early), WavResult::Ok);
        EXPECT_EQ(early.size(), 1000u);
    }
    std::vector<int16_t> back;
    ASSERT_EQ(readWavFile(path, back), WavResult::Ok);
    EXPECT_EQ(back, samples);
    std::remove(path.c_str());
}

TEST(WavFile, StereoIsMixedDownAndOtherChunksSkipped) {
    auto bytes = header(1, 2, 8000, 16, 8);
    // A LIST chunk of odd size (padded) before the data chunk.
    std::vector<uint8_t> list = {'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0};
    bytes.insert(bytes.begin() + 36, list.begin(), list.end());
    const int16_t frames[4] = {1000, 3000, -2000, -4000};
    const auto* raw = reinterpret_cast<const uint8_t*>(frames);
    bytes.insert(bytes.end(), raw, raw + 8);
    std::vector<int16_t> samples;
    ASSERT_EQ(parseWav(bytes.data(), bytes.size(), samples), WavResult::Ok);
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[0], 2000);
    EXPECT_EQ(samples[1], -3000);
}

TEST(WavFile, HostileOrUnsupportedFilesAreRefused) {
    std::vector<int16_t> samples;
    const uint8_t junk[] = "RIFX....WAVE";
    EXPECT_EQ(parseWav(junk, 12, samples), WavResult::NotRiffWave);
    EXPECT_EQ(parseWav(junk, 3, samples), WavResult::NotRiffWave);

    auto wrongRate = header(1, 1, 44100, 16, 0);
    EXPECT_EQ(parseWav(wrongRate.data(), wrongRate.size(), samples), WavResult::UnsupportedFormat);
    auto eightBit = header(1, 1, 8000, 8, 0);
    EXPECT_EQ(parseWav(eightBit.data(), eightBit.size(), samples), WavResult::UnsupportedFormat);
    auto floatFormat = header(3, 1, 8000, 16, 0);
    EXPECT_EQ(parseWav(floatFormat.data(), floatFormat.size(), samples), WavResult::UnsupportedFormat);
    auto sixChannels = header(1, 6, 8000, 16, 0);
    EXPECT_EQ(parseWav(sixChannels.data(), sixChannels.size(), samples), WavResult::UnsupportedFormat);

    auto noData = header(1, 1, 8000, 16, 0);
    EXPECT_EQ(parseWav(noData.data(), noData.size(), samples), WavResult::NoData);

    // A data size far beyond the file is read as far as the file goes.
    auto cutShort = header(1, 1, 8000, 16, 0xFFFFFFF0u);
    cutShort.push_back(0x10);
    cutShort.push_back(0x00);
    cutShort.push_back(0x20);  // half a sample: ignored
    ASSERT_EQ(parseWav(cutShort.data(), cutShort.size(), samples), WavResult::Ok);
    EXPECT_EQ(samples.size(), 1u);
    EXPECT_EQ(samples[0], 16);

    // A format chunk claiming more bytes than exist.
    auto bigFormat = header(1, 1, 8000, 16, 0);
    bigFormat[16] = 0xFF;
    bigFormat[17] = 0xFF;
    EXPECT_EQ(parseWav(bigFormat.data(), bigFormat.size(), samples), WavResult::UnsupportedFormat);

    // Data before any format.
    std::vector<uint8_t> dataFirst = {'R', 'I', 'F', 'F', 0,   0, 0, 0, 'W', 'A', 'V',
                                      'E', 'd', 'a', 't', 'a', 2, 0, 0, 0,   1,   2};
    EXPECT_EQ(parseWav(dataFirst.data(), dataFirst.size(), samples), WavResult::NoFormat);

    EXPECT_EQ(readWavFile("/nonexistent/quendra.wav", samples), WavResult::CannotOpen);
}

}  // namespace
}  // namespace voice::media
