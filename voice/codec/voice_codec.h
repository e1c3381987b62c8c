// Voice codecs of the engine: GSM 06.10 (libgsm), G.711 u-law and A-law.
// One encoder or decoder per direction of a call; not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace voice::media {

// Largest payload accepted in one received voice frame (400 ms of G.711).
inline constexpr size_t kMaxPayloadBytes = 3200;
// Samples decoded from the largest payload.
inline constexpr size_t kMaxDecodedSamples = 3200;

class VoiceCodec {
public:
    virtual ~VoiceCodec() = default;
    // The IAXC_FORMAT_* bit this codec speaks.
    virtual int format() const = 0;
    // Encodes one 20 ms frame (160 samples) into out, which has room for
    // kMaxFrameBytes; returns the bytes written.
    virtual size_t encode(const int16_t* pcm, uint8_t* out) = 0;
    // Decodes a payload of whole frames into pcm (room for capacity
    // samples). Returns the samples written, or -1 when the payload is not
    // a whole number of valid frames or does not fit.
    virtual long decode(const uint8_t* payload, size_t length, int16_t* pcm, size_t capacity) = 0;
};

// A codec for the format bit, or nullptr when the engine has none for it.
std::unique_ptr<VoiceCodec> makeVoiceCodec(int format);
// Bytes of one encoded 20 ms frame in the format, 0 when unsupported.
size_t encodedFrameBytes(int format);

}  // namespace voice::media
