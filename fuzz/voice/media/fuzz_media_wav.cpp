// Any bytes as a WAV file: parsed without reading outside them, and what
// is returned is bounded.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "voice/media/wav_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<int16_t> samples;
    const auto result = voice::media::parseWav(data, size, samples);
    if (result == voice::media::WavResult::Ok && (samples.empty() || samples.size() > size / 2)) std::abort();
    if (result != voice::media::WavResult::Ok && !samples.empty() && result != voice::media::WavResult::TooLong)
        std::abort();
    return 0;
}
