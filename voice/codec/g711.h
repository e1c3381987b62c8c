// G.711 companding: u-law and A-law, one byte a sample.
#pragma once

#include <cstddef>
#include <cstdint>

namespace voice::media {

uint8_t linearToUlaw(int16_t sample);
int16_t ulawToLinear(uint8_t code);
uint8_t linearToAlaw(int16_t sample);
int16_t alawToLinear(uint8_t code);

}  // namespace voice::media
