#include <gtest/gtest.h>

#include <cstdlib>

#include "voice/codec/g711.h"

namespace voice::media {
namespace {

TEST(G711Ulaw, EveryCodeSurvivesDecodeAndEncode) {
    for (int code = 0; code < 256; ++code) {
        const uint8_t back = linearToUlaw(ulawToLinear(uint8_t(code)));
        if (code == 0x00) {
            EXPECT_EQ(back, 0x02) << "the all-zero code is never sent";
        } else if (code == 0x7F) {
            EXPECT_EQ(back, 0xFF) << "negative zero comes back as positive zero";
        } else {
            EXPECT_EQ(back, code) << "code " << code;
        }
    }
}

TEST(G711Ulaw, KnownValuesAndQuantisationError) {
    EXPECT_EQ(linearToUlaw(0), 0xFF);
    EXPECT_EQ(ulawToLinear(0xFF), 0);
    EXPECT_EQ(ulawToLinear(0x80), 32124);
    EXPECT_EQ(ulawToLinear(0x00), -32124);
    EXPECT_EQ(linearToUlaw(32767), 0x80);
    EXPECT_EQ(linearToUlaw(-32768), 0x02);  // clipped to the loudest code, which is trapped
    // Every input decodes to within the step of its segment, and decoding
    // grows with the input - except the loudest negative inputs, whose code
    // is the all-zero one and so is sent as the trap code instead.
    constexpr int kTrapped = -31611;
    int previous = -40000;
    for (int x = -32768; x <= 32767; ++x) {
        if (x < kTrapped) {
            EXPECT_EQ(linearToUlaw(int16_t(x)), 0x02) << "x=" << x;
            continue;
        }
        const int y = ulawToLinear(linearToUlaw(int16_t(x)));
        const int magnitude = std::abs(x) > 32635 ? 32635 : std::abs(x);
        const int step = 1 << (32 - __builtin_clz(unsigned(magnitude + 0x84)) - 5);
        EXPECT_LE(std::abs(y - (x < 0 ? -magnitude : magnitude)), step) << "x=" << x;
        EXPECT_GE(y, previous) << "decoding must be monotonic, x=" << x;
        previous = y;
    }
    EXPECT_NE(linearToUlaw(kTrapped), 0x02);
}

TEST(G711Alaw, EveryCodeSurvivesDecodeAndEncode) {
    for (int code = 0; code < 256; ++code) {
        EXPECT_EQ(linearToAlaw(alawToLinear(uint8_t(code))), code) << "code " << code;
    }
}

TEST(G711Alaw, KnownValuesAndQuantisationError) {
    EXPECT_EQ(linearToAlaw(0), 0xD5);
    EXPECT_EQ(alawToLinear(0xD5), 8);
    EXPECT_EQ(alawToLinear(0x55), -8);
    EXPECT_EQ(alawToLinear(0xAA), 32256);
    EXPECT_EQ(alawToLinear(0x2A), -32256);
    EXPECT_EQ(linearToAlaw(32767), 0xAA);
    EXPECT_EQ(linearToAlaw(-32768), 0x2A);
    int previous = -40000;
    for (int x = -32768; x <= 32767; ++x) {
        const int y = alawToLinear(linearToAlaw(int16_t(x)));
        const int magnitude = std::abs(x);
        const int step = magnitude < 512 ? 16 : 1 << (32 - __builtin_clz(unsigned(magnitude)) - 5);
        EXPECT_LE(std::abs(y - x), step) << "x=" << x;
        EXPECT_GE(y, previous) << "x=" << x;
        previous = y;
    }
}

}  // namespace
}  // namespace voice::media
