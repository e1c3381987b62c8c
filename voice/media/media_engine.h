// The media side's state and its 20 ms step. The media clock calls tick()
// once per frame; the signalling side and the API call the rest from any
// thread. One lock guards the shared state; sound devices, the encoder and
// the input filters belong to the thread that ticks. Frames are handed to
// the send function outside the lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include <iaxclient.h>
#include "voice/codec/audio_frame.h"
#include "voice/codec/voice_codec.h"
#include "voice/media/audio_driver.h"
#include "voice/media/input_processor.h"
#include "voice/media/media_port.h"
#include "voice/media/playout_buffer.h"
#include "voice/media/sound_mixer.h"

namespace voice::media {

struct MediaSettings {
    int filters = IAXC_FILTER_DENOISE | IAXC_FILTER_AGC | IAXC_FILTER_AAGC | IAXC_FILTER_CN;
    float silenceThresholdDb = -99.0f;
    float inputLevel = 0.5f;
    float outputLevel = 0.5f;
    int audioOutputMode = 0;  // non-zero: remote audio is decoded but not played
    unsigned audioPrefs = 0;  // IAXC_AUDIO_PREF_* bits; SEND_DISABLE holds our audio back
    bool jitterBufferOn = true;
    long jitterExtraMs = -1;
};

class MediaEngine {
public:
    // Milliseconds of a monotonic clock; the same clock must drive tick().
    using Clock = std::function<int64_t()>;

    explicit MediaEngine(Clock clock);
    ~MediaEngine();
    MediaEngine(const MediaEngine&) = delete;
    MediaEngine& operator=(const MediaEngine&) = delete;

    // Devices come and go with the driver (engine start-up and shutdown).
    // Neither may run while tick() does.
    void attachDriver(std::unique_ptr<AudioDriver> driver);
    void detachDriver();

    void startCall(int format, SendVoiceFn send);
    void stopCall();
    void setSendMuted(bool muted);
    void receiveVoice(int format, const uint8_t* payload, size_t length, uint32_t timestampMs);

    MediaSettings settings() const;
    void setJitterBuffer(bool on);
    void setJitterExtra(long ms);
    void setFilters(int filters);
    void setSilenceThreshold(float db);
    void setAudioOutput(int mode);
    void setAudioPrefs(unsigned prefs);
    unsigned audioPrefs() const;
    // 0, or -1 when level is not a number; the level is clamped to 0 .. 1.
    int setInputLevel(float level);
    int setOutputLevel(float level);

    // The device list in API form (valid until detachDriver) and the
    // selected ids.
    void devices(iaxc_audio_device** list, int* count, int* input, int* output, int* ring);
    void selectDevices(int input, int output, int ring);

    int playSound(const int16_t* data, size_t count, int repeat, bool ring, SoundMixer::ReleaseFn release,
                  void* callerData);
    bool stopSound(int id);

    void levels(float& inputDb, float& outputDb) const;
    ReceiveStats receiveStats() const;

    // One 20 ms step at nowMs: playout, sounds, devices, capture and send.
    // With no call stream and no sound left it closes the devices instead
    // and returns false: nothing needs a tick until startCall or playSound.
    bool tick(int64_t nowMs);

    // Called after startCall and playSound (outside the lock), so that a
    // clock that stopped ticking ticks again.
    void setAudioWantedHandler(std::function<void()> handler);
    // Called from tick() with the milliseconds by which the next tick
    // should come earlier, when the call's playout says it could: the
    // clock moves its phase so received audio waits no longer than needed.
    void setTickAdvanceHandler(std::function<void(int64_t ms)> handler);

private:
    struct Call {
        bool active = false;
        int format = 0;
        std::shared_ptr<const SendVoiceFn> send;
        bool muted = false;
        uint64_t generation = 0;
        std::unique_ptr<VoiceCodec> decoder;
        std::unique_ptr<PlayoutBuffer> playout;
        uint64_t malformed = 0;
    };

    void sendPath(const Call& snapshot, const MediaSettings& settings, int16_t* mic, const int16_t* played);

    void audioWanted();

    Clock m_clock;
    mutable std::mutex m_lock;
    std::function<void()> m_audioWanted;         // guarded by m_lock
    std::function<void(int64_t)> m_tickAdvance;  // guarded by m_lock
    // Guarded by m_lock.
    MediaSettings m_settings;
    Call m_call;
    SoundMixer m_sounds;
    std::vector<AudioDeviceInfo> m_deviceInfo;
    std::vector<iaxc_audio_device> m_apiDevices;
    int m_input = 0, m_output = 0, m_ring = 0;
    uint64_t m_deviceGeneration = 0;
    int16_t m_decoded[kMaxDecodedSamples];

    // Meters, written by the ticking thread.
    std::atomic<float> m_inputDb{-99.0f};
    std::atomic<float> m_outputDb{-99.0f};

    // Owned by the ticking thread.
    std::unique_ptr<AudioDriver> m_driver;
    uint64_t m_openedGeneration = 0;
    uint64_t m_sendGeneration = 0;
    std::unique_ptr<VoiceCodec> m_encoder;
    uint32_t m_mediaTimeMs = 0;
    InputProcessor m_processor;
    int m_configuredFilters = -1;
    float m_configuredThreshold = 0.0f;
    LevelMeter m_outputMeter;
};

}  // namespace voice::media
