// Sound devices through PortAudio. Each used device gets a stream of its
// own whose callback only moves samples through a lock-free ring; the media
// thread converts between 8000 Hz and the device's rate (when the device
// does not take 8000 Hz itself) and keeps the rings as short as the
// machine allows (BacklogTrim), so the audio path's delay stays small
// whatever the phase of the media thread against the device and whatever
// the device's clock does.
#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <portaudio.h>
#include <speex/speex_resampler.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>

#include <iaxclient.h>
#include "voice/codec/audio_frame.h"
#include "voice/media/audio_driver.h"
#include "voice/media/backlog_trim.h"
#include "voice/media/sample_ring.h"

namespace voice::media {
namespace {

constexpr size_t kRingFrames = 16;        // ring room, in frames of the device rate
constexpr size_t kCaptureKeepFrames = 1;  // captured backlog kept when it grows too long
constexpr size_t kCaptureMaxFrames = 3;
// Playback starts with nothing queued: the device pulls each frame as soon
// as the media thread has handed it over. The margin kept queued against a
// late media thread starts at nothing; each underrun (the device pulling
// before the media thread, late, handed its frame over) adds a pull of
// silence to the queue and a pull to the margin, up to kMaxMarginFrames,
// so a machine that is slow to schedule the media thread gets the margin it
// needs and no more. Capture does the same with what the device pushes.
// A frame arriving while the queue is a whole frame beyond the device's
// largest pull plus the margin is dropped: a stall of the device.
constexpr size_t kMaxMarginFrames = 3;
constexpr size_t kMinSkipMs = 2;  // standing delay shorter than this is kept
constexpr int kResamplerQuality = 3;

// ALSA and JACK print their complaints about absent devices or servers on
// stderr while PortAudio probes them; a machine without sound is normal
// for this engine, so those messages are dropped.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}
void quietJack(const char*) {}

// One direction of audio on one device.
class Stream {
public:
    Stream() = default;
    ~Stream() { close(); }
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    bool open(int device, bool capture) {
        close();
        m_capture = capture;
        const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
        if (!info) return false;
        PaStreamParameters params{};
        params.device = device;
        params.channelCount = 1;
        params.sampleFormat = paInt16;
        params.suggestedLatency = capture ? info->defaultLowInputLatency : info->defaultLowOutputLatency;
        const PaStreamParameters* in = capture ? &params : nullptr;
        const PaStreamParameters* out = capture ? nullptr : &params;

        double rate = kSampleRate;
        if (Pa_IsFormatSupported(in, out, rate) != paFormatIsSupported) rate = info->defaultSampleRate;
        if (rate < 1000 || rate > 192000) return false;
        m_rate = unsigned(std::lround(rate));
        m_deviceFrame = size_t(m_rate) * kFrameMs / 1000;
        m_ring = std::make_unique<SampleRing>(m_deviceFrame * kRingFrames);
        // Capture judges its queue in 8000 Hz samples, playback in device samples.
        const size_t unitsPerMs = capture ? size_t(kSamplesPerMs) : m_deviceFrame / kFrameMs;
        m_trim = BacklogTrim(kMaxMarginFrames * kFrameMs * unitsPerMs, kMinSkipMs * unitsPerMs);
        if (m_rate != unsigned(kSampleRate)) {
            int err = 0;
            m_resampler = capture ? speex_resampler_init(1, m_rate, kSampleRate, kResamplerQuality, &err)
                                  : speex_resampler_init(1, kSampleRate, m_rate, kResamplerQuality, &err);
            if (!m_resampler) return false;
        }
        if (Pa_OpenStream(&m_stream, in, out, rate, paFramesPerBufferUnspecified, paClipOff, &Stream::callback,
                          this) != paNoError) {
            m_stream = nullptr;
            return false;
        }
        m_largestPull = 0;
        m_started = false;
        m_seenUnderruns = m_underruns.load();
        m_trim.reset();
        if (Pa_StartStream(m_stream) != paNoError) {
            close();
            return false;
        }
        return true;
    }

    void close() {
        if (m_stream) {
            Pa_StopStream(m_stream);
            Pa_CloseStream(m_stream);
            m_stream = nullptr;
        }
        if (m_resampler) speex_resampler_destroy(m_resampler);
        m_resampler = nullptr;
        m_pendingCount = 0;
    }

    bool isOpen() const { return m_stream != nullptr; }
    uint64_t underruns() const { return m_underruns.load(std::memory_order_relaxed); }

    // Capture: one 8000 Hz frame of what the device recorded.
    void read(int16_t* frame) {
        const size_t backlog = m_ring->size();
        if (backlog > m_deviceFrame * kCaptureMaxFrames)
            m_ring->pop(nullptr, backlog - m_deviceFrame * kCaptureKeepFrames);
        // What stays after this frame, less one push of the device: the
        // next frame is whole only if a push's worth is left over, as the
        // device's pushes need not line up with the media thread's ticks.
        const size_t queued = m_pendingCount + toFrameRate(m_ring->size());
        const size_t push = toFrameRate(m_largestPull.load(std::memory_order_relaxed));
        const bool started = m_started.load(std::memory_order_relaxed);
        if (started && queued < kFrameSamples) m_trim.underrun(push);
        const size_t keep = kFrameSamples + push;
        const size_t skip = started ? m_trim.look(queued > keep ? queued - keep : 0) : 0;
        fillPending(kFrameSamples + skip + kSpliceBlendSamples);
        if (skip > 0 && m_pendingCount >= kFrameSamples + skip + kSpliceBlendSamples)
            m_pendingCount = spliceOut(m_pending, m_pendingCount, skip, m_pending);
        const size_t take = std::min(m_pendingCount, kFrameSamples);
        std::copy(m_pending, m_pending + take, frame);
        std::fill(frame + take, frame + kFrameSamples, int16_t(0));
        std::copy(m_pending + take, m_pending + m_pendingCount, m_pending);
        m_pendingCount -= take;
    }

    // Playback: one 8000 Hz frame to play.
    void write(const int16_t* frame) {
        const size_t pull = std::max<size_t>(m_largestPull.load(std::memory_order_relaxed), 1);
        const uint64_t underruns = m_underruns.load(std::memory_order_relaxed);
        if (underruns != m_seenUnderruns) {
            m_seenUnderruns = underruns;
            const size_t grown = m_trim.underrun(pull);
            const int16_t silence[kFrameSamples] = {};
            if (grown > 0) push8k(silence, std::clamp<size_t>(toFrameRate(grown), 1, kFrameSamples));
        }
        const size_t queued = m_ring->size();
        if (queued > std::max(m_deviceFrame, pull) + m_trim.margin() + m_deviceFrame) return;
        const size_t skip = toFrameRate(m_trim.look(queued));
        int16_t spliced[kFrameSamples];
        push8k(spliced, spliceOut(frame, kFrameSamples, skip, spliced));
    }

private:
    static constexpr size_t kMaxDeviceFrame = 192000 * kFrameMs / 1000;
    static constexpr size_t kPendingCapacity = kFrameSamples * 4;

    // Device samples as a count at 8000 Hz (rounded down).
    size_t toFrameRate(size_t deviceSamples) const { return deviceSamples * kSampleRate / m_rate; }

    // Capture: moves recorded audio into the 8000 Hz pending samples until
    // wanted are there or the ring is empty.
    void fillPending(size_t wanted) {
        wanted = std::min(wanted, kPendingCapacity);
        while (m_pendingCount < wanted && m_ring->size() > 0) {
            if (!m_resampler) {
                m_pendingCount += m_ring->pop(m_pending + m_pendingCount, wanted - m_pendingCount);
                continue;
            }
            int16_t raw[kMaxDeviceFrame];
            const size_t rawWanted = (wanted - m_pendingCount) * m_rate / kSampleRate + 1;
            const size_t got = m_ring->pop(raw, std::min(rawWanted, sizeof raw / sizeof raw[0]));
            spx_uint32_t inLen = spx_uint32_t(got);
            spx_uint32_t outLen = spx_uint32_t(kPendingCapacity - m_pendingCount);
            speex_resampler_process_int(m_resampler, 0, raw, &inLen, m_pending + m_pendingCount, &outLen);
            m_pendingCount += outLen;
        }
    }

    void push8k(const int16_t* samples, size_t count) {
        if (!m_resampler) {
            m_ring->push(samples, count);
            return;
        }
        int16_t converted[kMaxDeviceFrame + 64];
        spx_uint32_t inLen = spx_uint32_t(count);
        spx_uint32_t outLen = spx_uint32_t(sizeof converted / sizeof converted[0]);
        speex_resampler_process_int(m_resampler, 0, samples, &inLen, converted, &outLen);
        m_ring->push(converted, outLen);
    }

    static int callback(const void* input, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
                        PaStreamCallbackFlags, void* userData) {
        auto* self = static_cast<Stream*>(userData);
        if (frames > self->m_largestPull.load(std::memory_order_relaxed))
            self->m_largestPull.store(frames, std::memory_order_relaxed);
        if (self->m_capture) {
            if (input) {
                self->m_ring->push(static_cast<const int16_t*>(input), frames);
                self->m_started.store(true, std::memory_order_relaxed);
            }
        } else {
            auto* out = static_cast<int16_t*>(output);
            const size_t got = self->m_ring->pop(out, frames);
            std::fill(out + got, out + frames, int16_t(0));
            if (got > 0) self->m_started.store(true, std::memory_order_relaxed);
            if (got < frames && self->m_started.load(std::memory_order_relaxed))
                self->m_underruns.fetch_add(1, std::memory_order_relaxed);
        }
        return paContinue;
    }

    PaStream* m_stream = nullptr;
    bool m_capture = false;
    unsigned m_rate = kSampleRate;
    size_t m_deviceFrame = kFrameSamples;
    std::unique_ptr<SampleRing> m_ring;
    std::atomic<size_t> m_largestPull{0};  // most samples the device moved at once
    std::atomic<bool> m_started{false};    // audio has moved since the stream opened
    std::atomic<uint64_t> m_underruns{0};  // playback pulls short of audio since then, over the driver's life
    uint64_t m_seenUnderruns = 0;          // media thread: underruns already answered with margin
    BacklogTrim m_trim{0, 0};              // media thread: the ring's margin and standing delay
    SpeexResamplerState* m_resampler = nullptr;
    int16_t m_pending[kPendingCapacity] = {};
    size_t m_pendingCount = 0;
};

class PortAudioDriver final : public AudioDriver {
public:
    bool start() {
        static std::once_flag quiet;
        std::call_once(quiet, [] {
            snd_lib_error_set_handler(&quietAlsa);
            jack_set_error_function(&quietJack);
            jack_set_info_function(&quietJack);
        });
        if (Pa_Initialize() != paNoError) return false;
        m_initialized = true;
        const int count = Pa_GetDeviceCount();
        const int defaultIn = Pa_GetDefaultInputDevice();
        const int defaultOut = Pa_GetDefaultOutputDevice();
        bool haveDefaultIn = false, haveDefaultOut = false;
        for (int i = 0; i < count; ++i) {
            const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
            AudioDeviceInfo device;
            device.name = info && info->name ? info->name : "unnamed device";
            if (info && info->maxInputChannels > 0) device.capabilities |= IAXC_AD_INPUT;
            if (info && info->maxOutputChannels > 0) device.capabilities |= IAXC_AD_OUTPUT | IAXC_AD_RING;
            if (i == defaultIn && (device.capabilities & IAXC_AD_INPUT)) {
                device.capabilities |= IAXC_AD_INPUT_DEFAULT;
                haveDefaultIn = true;
            }
            if (i == defaultOut && (device.capabilities & IAXC_AD_OUTPUT)) {
                device.capabilities |= IAXC_AD_OUTPUT_DEFAULT | IAXC_AD_RING_DEFAULT;
                haveDefaultOut = true;
            }
            m_devices.push_back(device);
        }
        // The silent device is always offered, and is the default where the
        // machine has no device of that kind.
        AudioDeviceInfo silent{kSilentDeviceName, IAXC_AD_INPUT | IAXC_AD_OUTPUT | IAXC_AD_RING};
        if (!haveDefaultIn) silent.capabilities |= IAXC_AD_INPUT_DEFAULT;
        if (!haveDefaultOut) silent.capabilities |= IAXC_AD_OUTPUT_DEFAULT | IAXC_AD_RING_DEFAULT;
        m_devices.push_back(silent);
        return true;
    }

    ~PortAudioDriver() override {
        close();
        if (m_initialized) Pa_Terminate();
    }

    const std::vector<AudioDeviceInfo>& devices() const override { return m_devices; }

    void open(int input, int output, int ring) override {
        close();
        m_open = true;
        int defIn, defOut, defRing;
        defaultDevices(m_devices, defIn, defOut, defRing);
        input = usable(input, IAXC_AD_INPUT) ? input : defIn;
        output = usable(output, IAXC_AD_OUTPUT) ? output : defOut;
        ring = usable(ring, IAXC_AD_RING) ? ring : defRing;
        if (isHardware(input)) m_input.open(input, true);
        if (isHardware(output)) m_output.open(output, false);
        m_separateRing = ring != output && isHardware(ring) && m_ring.open(ring, false);
    }

    void close() override {
        m_input.close();
        m_output.close();
        m_ring.close();
        m_separateRing = false;
        m_open = false;
    }

    bool isOpen() const override { return m_open; }

    void read(int16_t* frame) override {
        if (m_input.isOpen()) {
            m_input.read(frame);
        } else {
            std::fill(frame, frame + kFrameSamples, int16_t(0));
        }
    }

    void write(const int16_t* frame, const int16_t* ringFrame) override {
        if (m_output.isOpen()) m_output.write(frame);
        if (m_separateRing && ringFrame) m_ring.write(ringFrame);
    }

    bool separateRing() const override { return m_separateRing; }

    uint64_t playbackUnderruns() const override { return m_output.underruns() + m_ring.underruns(); }

    int deviceStreams() const override {
        return int(m_input.isOpen()) + int(m_output.isOpen()) + int(m_ring.isOpen());
    }

private:
    bool usable(int id, long capability) const {
        return id >= 0 && size_t(id) < m_devices.size() && (m_devices[size_t(id)].capabilities & capability);
    }
    // The last device is the silent one; the others are PortAudio's.
    bool isHardware(int id) const { return id >= 0 && size_t(id) + 1 < m_devices.size(); }

    std::vector<AudioDeviceInfo> m_devices;
    bool m_initialized = false;
    bool m_open = false;
    bool m_separateRing = false;
    Stream m_input, m_output, m_ring;
};

}  // namespace

std::unique_ptr<AudioDriver> makePortAudioDriver() {
    auto driver = std::make_unique<PortAudioDriver>();
    if (!driver->start()) return nullptr;
    return driver;
}

}  // namespace voice::media
