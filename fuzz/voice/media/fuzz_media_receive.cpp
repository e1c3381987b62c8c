// Any sequence of voice payloads as the network may bring them: each record
// is a format selector, a timestamp step and a payload, fed to the engine's
// receive path (decoders, jitter buffer or arrival queue, comfort noise)
// while the media clock ticks.
#include <cstddef>
#include <cstdint>
#include <vector>

#include <iaxclient.h>
#include "voice/media/media_engine.h"

using namespace voice::media;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static const int kFormats[] = {IAXC_FORMAT_GSM, IAXC_FORMAT_ULAW, IAXC_FORMAT_ALAW, kComfortNoiseFormat,
                                   IAXC_FORMAT_SPEEX};
    int64_t now = 0;
    MediaEngine engine([&now] { return now; });
    engine.setFilters(0);  // the send path is not under test here
    engine.setJitterBuffer(data[0] & 1);
    engine.setJitterExtra((data[0] >> 1) & 1 ? -1 : long(data[0]) * 4);
    engine.startCall(IAXC_FORMAT_GSM, [](int, const uint8_t*, size_t, uint32_t) {});
    size_t pos = 1;
    uint32_t ts = 0;
    while (pos + 4 <= size) {
        const int format = kFormats[data[pos] % 5];
        ts += uint32_t(int16_t(data[pos + 1] | (data[pos + 2] << 8)));
        size_t length = data[pos + 3];
        if (format == IAXC_FORMAT_GSM) length = (length % 4) * 33;
        pos += 4;
        if (length > size - pos) length = size - pos;
        std::vector<uint8_t> payload(data + pos, data + pos + length);
        if (format == IAXC_FORMAT_GSM) {
            for (size_t i = 0; i < payload.size(); i += 33) payload[i] = uint8_t(0xD0 | (payload[i] & 0x0F));
        }
        engine.receiveVoice(format, payload.data(), payload.size(), ts);
        pos += length;
        now += 20;
        engine.tick(now);
    }
    return 0;
}
