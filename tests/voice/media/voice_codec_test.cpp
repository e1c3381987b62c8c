#include <gtest/gtest.h>

#include "audio_test_support.h"
#include "voice/codec/voice_codec.h"

namespace voice::media {
namespace {

using testing::amplitudeAt;
using testing::tone;

// Encodes and decodes two seconds of a 1 kHz tone and returns the last second.
std::vector<int16_t> roundTrip(int format, const std::vector<int16_t>& input) {
    auto encoder = makeVoiceCodec(format);
    auto decoder = makeVoiceCodec(format);
    EXPECT_TRUE(encoder && decoder);
    std::vector<int16_t> output;
    for (size_t start = 0; start + kFrameSamples <= input.size(); start += kFrameSamples) {
        uint8_t payload[kMaxFrameBytes];
        const size_t length = encoder->encode(input.data() + start, payload);
        EXPECT_EQ(length, encodedFrameBytes(format));
        int16_t pcm[kFrameSamples];
        EXPECT_EQ(decoder->decode(payload, length, pcm, kFrameSamples), long(kFrameSamples));
        output.insert(output.end(), pcm, pcm + kFrameSamples);
    }
    return output;
}

TEST(VoiceCodec, EachCodecCarriesAToneAtItsFrequencyAndLevel) {
    const auto input = tone(1000, 8000, 16000);
    for (int format : {IAXC_FORMAT_GSM, IAXC_FORMAT_ULAW, IAXC_FORMAT_ALAW}) {
        SCOPED_TRACE(format);
        const auto output = roundTrip(format, input);
        ASSERT_EQ(output.size(), input.size());
        const int16_t* second = output.data() + 8000;
        const double at1k = amplitudeAt(second, 8000, 1000);
        EXPECT_NEAR(at1k, 8000, format == IAXC_FORMAT_GSM ? 2500 : 200);
        EXPECT_LT(amplitudeAt(second, 8000, 700), at1k / 20);
        EXPECT_LT(amplitudeAt(second, 8000, 1500), at1k / 20);
    }
}

TEST(VoiceCodec, FrameSizesAndUnsupportedFormats) {
    EXPECT_EQ(encodedFrameBytes(IAXC_FORMAT_GSM), 33u);
    EXPECT_EQ(encodedFrameBytes(IAXC_FORMAT_ULAW), 160u);
    EXPECT_EQ(encodedFrameBytes(IAXC_FORMAT_ALAW), 160u);
    EXPECT_EQ(encodedFrameBytes(IAXC_FORMAT_SPEEX), 0u);
    EXPECT_EQ(makeVoiceCodec(IAXC_FORMAT_SPEEX), nullptr);
    EXPECT_EQ(makeVoiceCodec(IAXC_FORMAT_GSM | IAXC_FORMAT_ULAW), nullptr);
    EXPECT_EQ(makeVoiceCodec(0), nullptr);
}

TEST(VoiceCodec, MalformedPayloadsAreRefused) {
    auto gsm = makeVoiceCodec(IAXC_FORMAT_GSM);
    int16_t pcm[kMaxDecodedSamples];
    uint8_t payload[100] = {};
    EXPECT_EQ(gsm->decode(payload, 0, pcm, kMaxDecodedSamples), -1);
    EXPECT_EQ(gsm->decode(payload, 32, pcm, kMaxDecodedSamples), -1) << "not a whole frame";
    EXPECT_EQ(gsm->decode(payload, 33, pcm, kMaxDecodedSamples), -1) << "GSM frames start with the 0xD nibble";
    payload[0] = 0xD0;
    payload[33] = 0xD0;
    EXPECT_EQ(gsm->decode(payload, 66, pcm, kMaxDecodedSamples), 320) << "two frames in one payload";
    EXPECT_EQ(gsm->decode(payload, 66, pcm, 200), -1) << "does not fit";

    auto ulaw = makeVoiceCodec(IAXC_FORMAT_ULAW);
    EXPECT_EQ(ulaw->decode(payload, 80, pcm, kMaxDecodedSamples), 80) << "10 ms frames are fine";
    EXPECT_EQ(ulaw->decode(payload, 100, pcm, 50), -1);
}

}  // namespace
}  // namespace voice::media
