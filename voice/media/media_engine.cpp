#include "voice/media/media_engine.h"

#include <algorithm>
#include <cmath>

#include "voice/media/levels.h"

namespace voice::media {

MediaEngine::MediaEngine(Clock clock) : m_clock(std::move(clock)) {}

MediaEngine::~MediaEngine() {
    detachDriver();
}

void MediaEngine::attachDriver(std::unique_ptr<AudioDriver> driver) {
    detachDriver();
    std::lock_guard<std::mutex> guard(m_lock);
    m_driver = std::move(driver);
    m_deviceInfo = m_driver ? m_driver->devices() : std::vector<AudioDeviceInfo>{};
    m_apiDevices.clear();
    for (size_t i = 0; i < m_deviceInfo.size(); ++i) {
        m_apiDevices.push_back({m_deviceInfo[i].name.c_str(), m_deviceInfo[i].capabilities, int(i)});
    }
    defaultDevices(m_deviceInfo, m_input, m_output, m_ring);
    ++m_deviceGeneration;
    m_openedGeneration = 0;
}

void MediaEngine::detachDriver() {
    std::unique_ptr<AudioDriver> driver;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_sounds.clear();
        m_call.active = false;
        m_call.format = 0;
        m_call.send = nullptr;
        m_call.muted = false;
        ++m_call.generation;
        m_call.decoder.reset();
        m_call.playout.reset();
        driver = std::move(m_driver);
        m_apiDevices.clear();
        m_deviceInfo.clear();
    }
    if (driver) driver->close();
    m_encoder.reset();
    m_sendGeneration = 0;
    m_outputMeter.reset();
    m_inputDb = kSilenceDb;
    m_outputDb = kSilenceDb;
}

void MediaEngine::startCall(int format, SendVoiceFn send) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_call.active = true;
        m_call.format = format;
        m_call.send = send ? std::make_shared<const SendVoiceFn>(std::move(send)) : nullptr;
        ++m_call.generation;
        m_call.decoder = makeVoiceCodec(format);
        m_call.playout =
            m_settings.jitterBufferOn ? makeJitterBuffer(m_settings.jitterExtraMs) : makeArrivalQueue();
        m_call.malformed = 0;
    }
    audioWanted();
}

void MediaEngine::setAudioWantedHandler(std::function<void()> handler) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_audioWanted = std::move(handler);
}

void MediaEngine::setTickAdvanceHandler(std::function<void(int64_t)> handler) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_tickAdvance = std::move(handler);
}

void MediaEngine::audioWanted() {
    std::function<void()> handler;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        handler = m_audioWanted;
    }
    if (handler) handler();
}

void MediaEngine::stopCall() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_call.active = false;
    m_call.format = 0;
    m_call.send = nullptr;
    m_call.muted = false;
    ++m_call.generation;
    m_call.decoder.reset();
    m_call.playout.reset();
}

void MediaEngine::setSendMuted(bool muted) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_call.muted = muted;
}

void MediaEngine::receiveVoice(int format, const uint8_t* payload, size_t length, uint32_t timestampMs) {
    const int64_t now = m_clock();
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_call.active || !m_call.playout) return;
    if (format == kComfortNoiseFormat) {
        m_call.playout->farEndSilent(payload && length > 0 ? payload[0] : 127);
        return;
    }
    if (!payload || length == 0 || length > kMaxPayloadBytes) {
        ++m_call.malformed;
        return;
    }
    if (!m_call.decoder || m_call.decoder->format() != format) {
        // The far end may change codec within a call; each frame says which.
        auto decoder = makeVoiceCodec(format);
        if (!decoder) {
            ++m_call.malformed;
            return;
        }
        m_call.decoder = std::move(decoder);
    }
    const long samples = m_call.decoder->decode(payload, length, m_decoded, kMaxDecodedSamples);
    if (samples < 0) {
        ++m_call.malformed;
        return;
    }
    m_call.playout->put(timestampMs, m_decoded, size_t(samples), now);
}

MediaSettings MediaEngine::settings() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_settings;
}

void MediaEngine::setJitterBuffer(bool on) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_settings.jitterBufferOn = on;
}

void MediaEngine::setJitterExtra(long ms) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_settings.jitterExtraMs = ms;
}

void MediaEngine::setFilters(int filters) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_settings.filters = filters;
}

void MediaEngine::setSilenceThreshold(float db) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (!std::isnan(db)) m_settings.silenceThresholdDb = db;
}

void MediaEngine::setAudioOutput(int mode) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_settings.audioOutputMode = mode;
}

void MediaEngine::setAudioPrefs(unsigned prefs) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_settings.audioPrefs = prefs;
}

unsigned MediaEngine::audioPrefs() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_settings.audioPrefs;
}

int MediaEngine::setInputLevel(float level) {
    if (!normaliseLevel(level)) return -1;
    std::lock_guard<std::mutex> guard(m_lock);
    m_settings.inputLevel = level;
    return 0;
}

int MediaEngine::setOutputLevel(float level) {
    if (!normaliseLevel(level)) return -1;
    std::lock_guard<std::mutex> guard(m_lock);
    m_settings.outputLevel = level;
    return 0;
}

void MediaEngine::devices(iaxc_audio_device** list, int* count, int* input, int* output, int* ring) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (list) *list = m_apiDevices.empty() ? nullptr : m_apiDevices.data();
    if (count) *count = int(m_apiDevices.size());
    if (input) *input = m_input;
    if (output) *output = m_output;
    if (ring) *ring = m_ring;
}

void MediaEngine::selectDevices(int input, int output, int ring) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_input = input;
    m_output = output;
    m_ring = ring;
    ++m_deviceGeneration;
}

int MediaEngine::playSound(const int16_t* data, size_t count, int repeat, bool ring, SoundMixer::ReleaseFn release,
                           void* callerData) {
    int id;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        id = m_sounds.add(data, count, repeat, ring, release, callerData);
    }
    if (id >= 0) audioWanted();
    return id;
}

bool MediaEngine::stopSound(int id) {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_sounds.stop(id);
}

void MediaEngine::levels(float& inputDb, float& outputDb) const {
    inputDb = m_inputDb.load();
    outputDb = m_outputDb.load();
}

ReceiveStats MediaEngine::receiveStats() const {
    std::lock_guard<std::mutex> guard(m_lock);
    ReceiveStats result;
    if (!m_call.playout) return result;
    const PlayoutStats& s = m_call.playout->stats();
    result.jitterMs = s.jitterMs;
    result.lostFrames = int(s.concealedFrames);
    result.lossPercent = s.framesPlayed ? int(s.concealedFrames * 100 / s.framesPlayed) : 0;
    result.packets = int(s.packets);
    result.delayMs = s.delayMs;
    result.dropped = int(s.latePackets + s.droppedPackets + m_call.malformed);
    result.outOfOrder = int(s.outOfOrder);
    return result;
}

bool MediaEngine::tick(int64_t nowMs) {
    int16_t played[kFrameSamples] = {};
    int16_t ring[kFrameSamples] = {};
    int16_t mic[kFrameSamples] = {};
    MediaSettings settings;
    Call snapshot;
    int input, output, ringDevice;
    uint64_t deviceGeneration;
    bool wantAudio;
    int64_t advanceMs = 0;
    std::function<void(int64_t)> advance;
    const bool separateRing = m_driver && m_driver->isOpen() && m_driver->separateRing();
    {
        std::lock_guard<std::mutex> guard(m_lock);
        settings = m_settings;
        snapshot.active = m_call.active;
        snapshot.format = m_call.format;
        snapshot.send = m_call.send;
        snapshot.muted = m_call.muted;
        snapshot.generation = m_call.generation;
        input = m_input;
        output = m_output;
        ringDevice = m_ring;
        deviceGeneration = m_deviceGeneration;
        wantAudio = m_call.active || !m_sounds.empty();

        if (m_call.active && m_call.playout) {
            int16_t remote[kFrameSamples];
            m_call.playout->get(remote, nowMs);
            if (settings.audioOutputMode == 0) std::copy(remote, remote + kFrameSamples, played);
            advanceMs = m_call.playout->takeTickAdvanceMs();
            if (advanceMs > 0) advance = m_tickAdvance;
        }
        m_sounds.mix(played, kFrameSamples, true, !separateRing);
        if (separateRing) m_sounds.mix(ring, kFrameSamples, false, true);
    }

    if (advance) advance(advanceMs);
    if (!wantAudio) {
        // The last sound or call stream ended a frame ago (its last frame
        // was written then): the devices close and the clock may rest.
        if (m_driver && m_driver->isOpen()) m_driver->close();
        m_outputMeter.reset();
        m_outputDb = kSilenceDb;
        m_inputDb = kSilenceDb;
        return false;
    }
    if (m_driver && (!m_driver->isOpen() || deviceGeneration != m_openedGeneration)) {
        m_driver->open(input, output, ringDevice);
        m_openedGeneration = deviceGeneration;
    }
    const bool open = m_driver && m_driver->isOpen();
    if (open) {
        applyLevel(played, kFrameSamples, settings.outputLevel);
        applyLevel(ring, kFrameSamples, settings.outputLevel);
        m_driver->write(played, separateRing ? ring : nullptr);
        m_driver->read(mic);
        m_outputMeter.update(played, kFrameSamples);
    } else {
        m_outputMeter.idle();
    }
    m_outputDb = m_outputMeter.db();

    if (!snapshot.active) {
        m_inputDb = kSilenceDb;
        return true;
    }
    sendPath(snapshot, settings, mic, played);
    return true;
}

void MediaEngine::sendPath(const Call& snapshot, const MediaSettings& settings, int16_t* mic,
                           const int16_t* played) {
    if (snapshot.generation != m_sendGeneration) {
        // A new call stream: fresh encoder, media time and filter state.
        m_sendGeneration = snapshot.generation;
        m_encoder = makeVoiceCodec(snapshot.format);
        m_mediaTimeMs = 0;
        m_processor.reset();
    }
    if (settings.filters != m_configuredFilters || settings.silenceThresholdDb != m_configuredThreshold) {
        m_processor.configure(settings.filters, settings.silenceThresholdDb);
        m_configuredFilters = settings.filters;
        m_configuredThreshold = settings.silenceThresholdDb;
    }
    float level = settings.inputLevel;
    applyLevel(mic, kFrameSamples, level);
    const InputResult result = m_processor.process(mic, played, level);
    if (result.levelChanged) {
        std::lock_guard<std::mutex> guard(m_lock);
        // The analog AGC yields to a level the program set meanwhile.
        if (m_settings.inputLevel == settings.inputLevel) m_settings.inputLevel = level;
    }
    m_inputDb = m_processor.meter().db();

    const uint32_t mediaTime = m_mediaTimeMs;
    m_mediaTimeMs += kFrameMs;
    if (snapshot.muted || (settings.audioPrefs & IAXC_AUDIO_PREF_SEND_DISABLE) || !m_encoder || !snapshot.send)
        return;
    if (result.silent) {
        if (result.silenceStarts && (settings.filters & IAXC_FILTER_CN)) {
            const uint8_t noise = uint8_t(result.noiseLevelDbov);
            (*snapshot.send)(kComfortNoiseFormat, &noise, 1, mediaTime);
        }
        return;
    }
    uint8_t payload[kMaxFrameBytes];
    const size_t length = m_encoder->encode(mic, payload);
    (*snapshot.send)(snapshot.format, payload, length, mediaTime);
}

}  // namespace voice::media
