#include "voice/codec/voice_codec.h"

#include <gsm.h>

#include <iaxclient.h>
#include "voice/codec/audio_frame.h"
#include "voice/codec/g711.h"

namespace voice::media {
namespace {

constexpr size_t kGsmFrameBytes = 33;

class UlawCodec final : public VoiceCodec {
public:
    int format() const override { return IAXC_FORMAT_ULAW; }
    size_t encode(const int16_t* pcm, uint8_t* out) override {
        for (size_t i = 0; i < kFrameSamples; ++i) out[i] = linearToUlaw(pcm[i]);
        return kFrameSamples;
    }
    long decode(const uint8_t* payload, size_t length, int16_t* pcm, size_t capacity) override {
        if (length > capacity) return -1;
        for (size_t i = 0; i < length; ++i) pcm[i] = ulawToLinear(payload[i]);
        return long(length);
    }
};

class AlawCodec final : public VoiceCodec {
public:
    int format() const override { return IAXC_FORMAT_ALAW; }
    size_t encode(const int16_t* pcm, uint8_t* out) override {
        for (size_t i = 0; i < kFrameSamples; ++i) out[i] = linearToAlaw(pcm[i]);
        return kFrameSamples;
    }
    long decode(const uint8_t* payload, size_t length, int16_t* pcm, size_t capacity) override {
        if (length > capacity) return -1;
        for (size_t i = 0; i < length; ++i) pcm[i] = alawToLinear(payload[i]);
        return long(length);
    }
};

class GsmCodec final : public VoiceCodec {
public:
    GsmCodec() : m_state(gsm_create()) {}
    ~GsmCodec() override {
        if (m_state) gsm_destroy(m_state);
    }
    GsmCodec(const GsmCodec&) = delete;
    GsmCodec& operator=(const GsmCodec&) = delete;

    bool valid() const { return m_state != nullptr; }
    int format() const override { return IAXC_FORMAT_GSM; }

    size_t encode(const int16_t* pcm, uint8_t* out) override {
        // libgsm takes a non-const pointer but only reads the samples.
        gsm_signal samples[kFrameSamples];
        for (size_t i = 0; i < kFrameSamples; ++i) samples[i] = pcm[i];
        gsm_encode(m_state, samples, out);
        return kGsmFrameBytes;
    }

    long decode(const uint8_t* payload, size_t length, int16_t* pcm, size_t capacity) override {
        if (length == 0 || length % kGsmFrameBytes != 0) return -1;
        const size_t frames = length / kGsmFrameBytes;
        if (frames * kFrameSamples > capacity) return -1;
        for (size_t f = 0; f < frames; ++f) {
            gsm_byte frame[kGsmFrameBytes];
            for (size_t i = 0; i < kGsmFrameBytes; ++i) frame[i] = payload[f * kGsmFrameBytes + i];
            gsm_signal samples[kFrameSamples];
            if (gsm_decode(m_state, frame, samples) != 0) return -1;
            for (size_t i = 0; i < kFrameSamples; ++i) pcm[f * kFrameSamples + i] = samples[i];
        }
        return long(frames * kFrameSamples);
    }

private:
    gsm m_state;
};

}  // namespace

std::unique_ptr<VoiceCodec> makeVoiceCodec(int format) {
    switch (format) {
        case IAXC_FORMAT_ULAW:
            return std::make_unique<UlawCodec>();
        case IAXC_FORMAT_ALAW:
            return std::make_unique<AlawCodec>();
        case IAXC_FORMAT_GSM: {
            auto codec = std::make_unique<GsmCodec>();
            if (!codec->valid()) return nullptr;
            return codec;
        }
        default:
            return nullptr;
    }
}

size_t encodedFrameBytes(int format) {
    switch (format) {
        case IAXC_FORMAT_ULAW:
        case IAXC_FORMAT_ALAW:
            return kFrameSamples;
        case IAXC_FORMAT_GSM:
            return kGsmFrameBytes;
        default:
            return 0;
    }
}

}  // namespace voice::media
