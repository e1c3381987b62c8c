// Media benchmarks:
//   cpu    - CPU time per second of call, for each codec, with the filters
//            off and all on (target: under 2% of one core with all on);
//   pacing - the intervals between voice frames handed to signalling by the
//            media thread over a call of 60 s (target: standard deviation
//            under 1 ms, no interval over 25 ms);
//   delay  - the time the engine adds between a sound entering its input and
//            coming out of its output through a loopback echo (target:
//            under 80 ms with the jitter buffer off).
// Usage: bench_voice_media [cpu] [pacing] [delay] [--pacing-seconds N]
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <iaxclient.h>
#include "voice/media/media_clock.h"
#include "voice/media/media_engine.h"

using namespace voice::media;

namespace {

constexpr double kCpuTargetPercent = 2.0;
constexpr double kPacingStdDevTargetMs = 1.0;
constexpr double kPacingMaxTargetMs = 25.0;
constexpr double kDelayTargetMs = 80.0;
constexpr int kAllFilters =
    IAXC_FILTER_DENOISE | IAXC_FILTER_AGC | IAXC_FILTER_ECHO | IAXC_FILTER_AAGC | IAXC_FILTER_CN;

double threadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// Speech-like input: a voiced buzz with a moving pitch, bursts and hiss.
std::vector<int16_t> speechLike(size_t samples, uint32_t seed) {
    std::mt19937 random(seed);
    std::normal_distribution<double> hiss(0, 300);
    std::vector<int16_t> out(samples);
    double phase = 0;
    for (size_t i = 0; i < samples; ++i) {
        const double t = double(i) / kSampleRate;
        const double pitch = 120 + 40 * std::sin(2 * M_PI * 0.7 * t);
        phase += 2 * M_PI * pitch / kSampleRate;
        const double envelope = 0.5 + 0.5 * std::sin(2 * M_PI * 3 * t);
        double v = 0;
        for (int h = 1; h <= 8; ++h) v += std::sin(h * phase) / h;
        out[i] = int16_t(std::clamp(6000 * envelope * v + hiss(random), -32000.0, 32000.0));
    }
    return out;
}

// A sound device that captures from a buffer and writes nowhere, or into a
// buffer when asked; both sides keep one timeline of samples.
class BenchDriver final : public AudioDriver {
public:
    explicit BenchDriver(std::vector<int16_t> input, bool keepOutput = false)
        : m_input(std::move(input)), m_keep(keepOutput) {
        m_devices.push_back({"bench", IAXC_AD_INPUT | IAXC_AD_OUTPUT | IAXC_AD_RING | IAXC_AD_INPUT_DEFAULT |
                                          IAXC_AD_OUTPUT_DEFAULT | IAXC_AD_RING_DEFAULT});
    }
    const std::vector<AudioDeviceInfo>& devices() const override { return m_devices; }
    void open(int, int, int) override { m_open = true; }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    void read(int16_t* frame) override {
        for (size_t i = 0; i < kFrameSamples; ++i) frame[i] = m_pos < m_input.size() ? m_input[m_pos++] : 0;
    }
    void write(const int16_t* frame, const int16_t*) override {
        if (m_keep) m_output.insert(m_output.end(), frame, frame + kFrameSamples);
    }
    bool separateRing() const override { return false; }
    const std::vector<int16_t>& output() const { return m_output; }

private:
    std::vector<AudioDeviceInfo> m_devices;
    std::vector<int16_t> m_input;
    size_t m_pos = 0;
    bool m_keep;
    std::vector<int16_t> m_output;
    bool m_open = false;
};

const char* formatName(int format) {
    return format == IAXC_FORMAT_GSM ? "GSM" : format == IAXC_FORMAT_ULAW ? "u-law" : "A-law";
}

// A minute of call as fast as the machine goes: capture, filters, encode
// and send; the far end's audio received, decoded, buffered and played.
bool benchCpu() {
    std::printf("== CPU time per second of call (one core = 100%%) ==\n");
    constexpr int kSeconds = 60;
    constexpr int kTicks = kSeconds * 1000 / kFrameMs;
    const auto nearEnd = speechLike(size_t(kTicks) * kFrameSamples, 1);
    const auto farEnd = speechLike(size_t(kTicks) * kFrameSamples, 2);
    bool pass = true;
    for (int format : {IAXC_FORMAT_GSM, IAXC_FORMAT_ULAW, IAXC_FORMAT_ALAW}) {
        // The far end's frames, encoded beforehand (that is its CPU, not ours).
        auto encoder = makeVoiceCodec(format);
        std::vector<std::vector<uint8_t>> frames;
        for (int k = 0; k < kTicks; ++k) {
            uint8_t payload[kMaxFrameBytes];
            const size_t n = encoder->encode(farEnd.data() + size_t(k) * kFrameSamples, payload);
            frames.emplace_back(payload, payload + n);
        }
        for (int filters : {0, kAllFilters}) {
            int64_t now = 0;
            MediaEngine engine([&now] { return now; });
            engine.attachDriver(std::make_unique<BenchDriver>(nearEnd));
            engine.setFilters(filters);
            size_t sentBytes = 0;
            engine.startCall(format, [&](int, const uint8_t*, size_t length, uint32_t) { sentBytes += length; });
            const double start = threadCpuSeconds();
            for (int k = 0; k < kTicks; ++k) {
                now += kFrameMs;
                engine.receiveVoice(format, frames[size_t(k)].data(), frames[size_t(k)].size(),
                                    uint32_t(k * kFrameMs));
                engine.tick(now);
            }
            const double cpu = threadCpuSeconds() - start;
            const double percent = cpu / kSeconds * 100.0;
            const bool ok = filters == 0 || percent < kCpuTargetPercent;
            pass = pass && ok;
            std::printf(
                "%-6s filters %-4s: %.3f%% of one core (%.1f ms CPU per second of call, %zu bytes sent)%s\n",
                formatName(format), filters ? "all" : "off", percent, cpu * 1000.0 / kSeconds, sentBytes,
                filters && !ok ? "  ABOVE TARGET" : "");
        }
    }
    return pass;
}

// The real media thread, with a call whose send function notes the time
// of each frame.
bool benchPacing(int seconds) {
    std::printf("== Send pacing over %d s ==\n", seconds);
    MediaEngine engine(&monotonicMs);
    engine.attachDriver(std::make_unique<BenchDriver>(speechLike(8000, 3)));
    engine.setFilters(0);
    std::mutex lock;
    std::vector<int64_t> sentAtUs;
    sentAtUs.reserve(size_t(seconds) * 50 + 100);
    engine.startCall(IAXC_FORMAT_GSM, [&](int, const uint8_t*, size_t, uint32_t) {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        std::lock_guard<std::mutex> guard(lock);
        sentAtUs.push_back(std::chrono::duration_cast<std::chrono::microseconds>(now).count());
    });
    MediaClock clock;
    clock.start([&engine](int64_t nowMs) { return engine.tick(nowMs); });
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    clock.stop();
    engine.detachDriver();

    std::vector<double> intervals;
    int late = 0;
    for (size_t i = 1; i < sentAtUs.size(); ++i) {
        intervals.push_back(double(sentAtUs[i] - sentAtUs[i - 1]) / 1000.0);
        if (intervals.back() > kPacingMaxTargetMs && ++late <= 10)
            std::printf("interval of %.1f ms at %.2f s\n", intervals.back(),
                        double(sentAtUs[i] - sentAtUs[0]) / 1e6);
    }
    if (intervals.empty()) {
        std::printf("no frames sent\n");
        return false;
    }
    double sum = 0, maxInterval = 0, minInterval = 1e9;
    for (double v : intervals) {
        sum += v;
        maxInterval = std::max(maxInterval, v);
        minInterval = std::min(minInterval, v);
    }
    const double mean = sum / double(intervals.size());
    double variance = 0;
    for (double v : intervals) variance += (v - mean) * (v - mean);
    const double stddev = std::sqrt(variance / double(intervals.size()));
    const bool ok = stddev < kPacingStdDevTargetMs && maxInterval <= kPacingMaxTargetMs;
    std::printf("%zu frames: mean interval %.3f ms, std dev %.3f ms, min %.3f ms, max %.3f ms%s\n",
                sentAtUs.size(), mean, stddev, minInterval, maxInterval, ok ? "" : "  ABOVE TARGET");
    return ok;
}

// A click enters the input; the send function echoes every frame straight
// back into the receive path; the output shows when the click comes out.
bool benchDelay() {
    std::printf("== Input to output delay through a loopback echo ==\n");
    bool pass = true;
    for (bool jitterBuffer : {false, true}) {
        std::vector<int16_t> input(8000 * 3, 0);
        const size_t clickAt = 8000 + 37;  // 1 s in, not on a frame boundary
        for (size_t i = 0; i < 40; ++i) input[clickAt + i] = int16_t(i % 2 ? -20000 : 20000);
        auto driver = std::make_unique<BenchDriver>(input, true);
        BenchDriver* d = driver.get();
        MediaEngine engine(&monotonicMs);
        engine.attachDriver(std::move(driver));
        engine.setFilters(0);
        engine.setJitterBuffer(jitterBuffer);
        engine.startCall(IAXC_FORMAT_ULAW,
                         [&engine](int format, const uint8_t* payload, size_t length, uint32_t t) {
                             engine.receiveVoice(format, payload, length, t);
                         });
        MediaClock clock;
        clock.start([&engine](int64_t nowMs) { return engine.tick(nowMs); });
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        clock.stop();
        engine.detachDriver();
        // Input and output advance together, one frame a tick, from the same
        // first tick: the distance between the click in one and the other is
        // the delay.
        const auto& out = d->output();
        size_t heardAt = out.size();
        for (size_t i = 0; i < out.size(); ++i) {
            if (std::abs(int(out[i])) > 5000) {
                heardAt = i;
                break;
            }
        }
        if (heardAt == out.size()) {
            std::printf("jitter buffer %s: the click never came out\n", jitterBuffer ? "on " : "off");
            pass = false;
            continue;
        }
        const double delayMs = double(heardAt - clickAt) / kSamplesPerMs;
        const bool ok = jitterBuffer || delayMs < kDelayTargetMs;
        pass = pass && ok;
        std::printf("jitter buffer %s: %.1f ms%s\n", jitterBuffer ? "on " : "off", delayMs,
                    ok ? "" : "  ABOVE TARGET");
    }
    std::printf("(sound-card buffering comes on top: PortAudio streams keep about 40 ms of playback queued)\n");
    return pass;
}

}  // namespace

int main(int argc, char** argv) {
    bool cpu = false, pacing = false, delay = false;
    int pacingSeconds = 60;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "cpu")
            cpu = true;
        else if (arg == "pacing")
            pacing = true;
        else if (arg == "delay")
            delay = true;
        else if (arg == "--pacing-seconds" && i + 1 < argc)
            pacingSeconds = std::max(1, std::atoi(argv[++i]));
        else {
            std::fprintf(stderr, "usage: %s [cpu] [pacing] [delay] [--pacing-seconds N]\n", argv[0]);
            return 2;
        }
    }
    if (!cpu && !pacing && !delay) cpu = pacing = delay = true;
    bool pass = true;
    if (cpu) pass = benchCpu() && pass;
    if (delay) pass = benchDelay() && pass;
    if (pacing) pass = benchPacing(pacingSeconds) && pass;
    std::printf(pass ? "all targets met\n" : "some targets missed\n");
    return pass ? 0 : 1;
}
