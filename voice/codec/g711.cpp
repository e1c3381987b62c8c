#include "voice/codec/g711.h"

namespace voice::media {
namespace {

constexpr int kUlawBias = 0x84;
constexpr int kUlawClip = 32635;
// An all-zero u-law byte is avoided on the wire (some equipment treats it as
// a line signal); the next code, a hair quieter, stands in for it.
constexpr uint8_t kUlawZeroTrap = 0x02;
constexpr uint8_t kAlawEvenBits = 0x55;

// Index of the highest set bit of value (value > 0).
int highestBit(int value) {
    int bit = 0;
    while (value >>= 1) ++bit;
    return bit;
}

}  // namespace

uint8_t linearToUlaw(int16_t sample) {
    int value = sample;
    uint8_t sign = 0;
    if (value < 0) {
        sign = 0x80;
        value = -value;
    }
    if (value > kUlawClip) value = kUlawClip;
    value += kUlawBias;
    // The biased magnitude lies in 0x84 .. 0x7FFF: its top bit is 7 .. 14.
    const int exponent = highestBit(value) - 7;
    const int mantissa = (value >> (exponent + 3)) & 0x0F;
    uint8_t code = uint8_t(~(sign | (exponent << 4) | mantissa));
    if (code == 0) code = kUlawZeroTrap;
    return code;
}

int16_t ulawToLinear(uint8_t code) {
    code = uint8_t(~code);
    const int exponent = (code >> 4) & 0x07;
    const int mantissa = code & 0x0F;
    const int magnitude = (((mantissa << 3) + kUlawBias) << exponent) - kUlawBias;
    return int16_t((code & 0x80) ? -magnitude : magnitude);
}

uint8_t linearToAlaw(int16_t sample) {
    // A-law codes 13-bit magnitudes; negative values are one's complemented
    // so that -1 .. -8 share the first step with 0 .. 7.
    int value = sample >> 3;
    uint8_t signBit = 0x80;
    if (value < 0) {
        signBit = 0;
        value = -value - 1;
    }
    uint8_t code;
    if (value >= 0x1000) {
        code = 0x7F;  // beyond the top segment: the largest code
    } else if (value < 0x20) {
        code = uint8_t(value >> 1);  // segments 0 and 1 share one step size
    } else {
        const int segment = highestBit(value) - 4;  // 1 .. 7
        code = uint8_t((segment << 4) | ((value >> segment) & 0x0F));
    }
    return uint8_t((code | signBit) ^ kAlawEvenBits);
}

int16_t alawToLinear(uint8_t code) {
    code ^= kAlawEvenBits;
    const int segment = (code >> 4) & 0x07;
    int magnitude = ((code & 0x0F) << 4) + 8;  // middle of the step
    if (segment >= 1) {
        magnitude += 0x100;
        magnitude <<= segment - 1;
    }
    return int16_t((code & 0x80) ? magnitude : -magnitude);
}

}  // namespace voice::media
