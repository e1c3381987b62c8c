// The phone's voice path through PortAudio on a real backend: a JACK server
// with its dummy driver (8000 Hz unless told otherwise; started here under a name of its own),
// the media engine ticking on its own thread as in a call, and two JACK
// clients of this program standing for the microphone and the loudspeaker.
//   receive - from a voice frame handed to the engine as the network thread
//             does on arrival, to its first sample reaching the loudspeaker
//             port (the period JACK hands over), plus the backend's own
//             playback latency as JACK reports it;
//   send    - from a sample written to the microphone port (minus nothing:
//             the backend's capture latency is reported apart), to the frame
//             holding it being handed to the network thread for the wire.
// Marks: a steady quiet square wave carries a loud frame every 500 ms each
// way, and every zero sample, in a run of a millisecond or more, where the
// quiet tone should be counts as a gap (a device-side underrun). One minute
// by default; median and 99th percentile.
// --period sets the JACK server's period in samples (the sound server's own
// buffer, 160 = 20 ms); --load starts N busy threads beside the phone, as a
// build or another program would be on an agent's machine.
// --realtime runs the JACK server at real-time priority, as a desktop's
// sound server runs (needs the privilege). The thread that stands for the
// network thread takes the voice threads' priority, as the engine's does.
// --rate runs the device at another rate than 8000 Hz (the phone converts).
// Usage: bench_voice_path [--seconds N] [--jitter-buffer on|off] [--period N] [--load N] [--realtime]
//                         [--rate HZ]
#include <fcntl.h>
#include <jack/jack.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include <string>
#include <thread>
#include <vector>
#include "tests/voice/media/jack_server.h"

#include <iaxclient.h>
#include "voice/codec/voice_codec.h"
#include "voice/media/audio_driver.h"
#include "voice/media/media_clock.h"
#include "voice/media/media_engine.h"

using namespace voice::media;

namespace {

constexpr int16_t kQuiet = 600;   // the steady tone between marks
constexpr int16_t kMark = 16000;  // one loud frame
constexpr int16_t kMarkThreshold = 6000;
constexpr int kMarkEveryFrames = 25;  // 500 ms
constexpr double kTargetMs = 40.0;

// A 250 Hz square wave at the given rate (the input filters take out a
// constant level).
int16_t wave(uint64_t pos, int16_t amplitude, unsigned rate = 8000) {
    return (pos * 8000 / rate / 16) % 2 ? amplitude : int16_t(-amplitude);
}

double nowUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

std::string loadAverage() {
    char text[128] = {};
    if (FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (!std::fgets(text, sizeof text, f)) text[0] = 0;
        std::fclose(f);
    }
    std::string s(text);
    while (!s.empty() && (s.back() == '\n')) s.pop_back();
    return s;
}

// Samples in runs of zeros at least a millisecond long: gaps. Shorter runs
// are a waveform passing through zero after a rate conversion.
class GapCounter {
public:
    explicit GapCounter(size_t minRun) : m_minRun(minRun) {}
    void add(bool zero) {
        if (zero) {
            if (++m_run == m_minRun) m_gaps += long(m_minRun);
            if (m_run > m_minRun) ++m_gaps;
        } else {
            m_run = 0;
        }
    }
    long gaps() const { return m_gaps; }

private:
    size_t m_minRun;
    size_t m_run = 0;
    long m_gaps = 0;
};

// A mark begins where the sound turns loud after at least 100 ms of quiet
// (a loud frame's waveform dips below the threshold as it changes sign).
class OnsetDetector {
public:
    explicit OnsetDetector(size_t quietSamples) : m_quietNeeded(quietSamples), m_quiet(quietSamples) {}
    bool onset(bool loud) {
        const bool begins = loud && m_quiet >= m_quietNeeded;
        m_quiet = loud ? 0 : m_quiet + 1;
        return begins;
    }

private:
    size_t m_quietNeeded;
    size_t m_quiet;
};

// Times of marks in one direction, matched in order.
struct Marks {
    std::mutex lock;
    std::vector<double> startedUs;  // mark entered the path
    std::vector<double> endedUs;    // mark left it
};

std::vector<double> delaysMs(Marks& marks) {
    std::lock_guard<std::mutex> guard(marks.lock);
    std::vector<double> out;
    // Each end is matched with the latest start before it.
    size_t s = 0;
    for (double end : marks.endedUs) {
        while (s + 1 < marks.startedUs.size() && marks.startedUs[s + 1] <= end) ++s;
        if (s < marks.startedUs.size() && marks.startedUs[s] <= end)
            out.push_back((end - marks.startedUs[s]) / 1000.0);
    }
    return out;
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

// When the current JACK cycle's audio starts on the device: the cycle's
// nominal start, not when this client's thread happened to be woken for it.
// JACK keeps time on a clock of its own; the start is carried over to the
// monotonic clock (nowUs) through both clocks read here together.
double cycleStartUs(jack_client_t* client) {
    jack_nframes_t frames = 0;
    jack_time_t start = 0, next = 0;
    float periodUs = 0;
    const double now = nowUs();
    if (jack_get_cycle_times(client, &frames, &start, &next, &periodUs) != 0) return now;
    // Never later than now: around a stall JACK's estimate of the cycle
    // may run ahead.
    return std::min(now, double(start) - (double(jack_get_time()) - now));
}

// The microphone and the loudspeaker: two JACK clients of this program (one
// client for both would close a loop through the phone in JACK's graph).
class Ends {
public:
    bool open() {
        m_micClient = jack_client_open("quendra_path_mic", JackNoStartServer, nullptr);
        m_speakerClient = jack_client_open("quendra_path_speaker", JackNoStartServer, nullptr);
        if (!m_micClient || !m_speakerClient) return false;
        m_mic = jack_port_register(m_micClient, "mic", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        m_speaker = jack_port_register(m_speakerClient, "speaker", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        if (!m_mic || !m_speaker) return false;
        m_rate = jack_get_sample_rate(m_micClient);
        m_speakerGaps = GapCounter(m_rate / 1000);
        m_speakerOnsets = OnsetDetector(m_rate / 10);
        jack_set_process_callback(m_micClient, &Ends::micProcess, this);
        jack_set_process_callback(m_speakerClient, &Ends::speakerProcess, this);
        return jack_activate(m_micClient) == 0 && jack_activate(m_speakerClient) == 0;
    }
    ~Ends() {
        for (jack_client_t* client : {m_micClient, m_speakerClient}) {
            if (!client) continue;
            jack_deactivate(client);
            jack_client_close(client);
        }
    }

    // Connects to the ports PortAudio opened; false until they exist.
    bool connectToPhone() {
        const char** outs = jack_get_ports(m_micClient, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
        const char** ins = jack_get_ports(m_micClient, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput);
        bool speaker = false, mic = false;
        auto ours = [](const std::string& name) {
            return name.rfind("system:", 0) == 0 || name.rfind("quendra_path_", 0) == 0;
        };
        for (size_t i = 0; outs && outs[i]; ++i) {
            if (ours(outs[i])) continue;
            speaker = jack_connect(m_speakerClient, outs[i], jack_port_name(m_speaker)) == 0 || speaker;
        }
        for (size_t i = 0; ins && ins[i]; ++i) {
            if (ours(ins[i])) continue;
            mic = jack_connect(m_micClient, jack_port_name(m_mic), ins[i]) == 0 || mic;
        }
        if (outs) jack_free(outs);
        if (ins) jack_free(ins);
        return speaker && mic;
    }

    // The backend's latency in ms for playback or capture, as JACK reports.
    double backendLatencyMs(bool playback) {
        const char** ports = jack_get_ports(m_micClient, playback ? "system:playback" : "system:capture",
                                            JACK_DEFAULT_AUDIO_TYPE, 0);
        double ms = 0;
        if (ports && ports[0]) {
            jack_latency_range_t range{};
            jack_port_get_latency_range(jack_port_by_name(m_micClient, ports[0]),
                                        playback ? JackPlaybackLatency : JackCaptureLatency, &range);
            ms = double(range.max) * 1000.0 / double(jack_get_sample_rate(m_micClient));
        }
        if (ports) jack_free(ports);
        return ms;
    }

    // The period the JACK server really runs at, in samples.
    unsigned period() const { return jack_get_buffer_size(m_micClient); }

    void measure(bool on) { m_measuring = on; }
    Marks sent;      // marks written to the microphone
    Marks received;  // marks heard on the loudspeaker (started by the feeder)
    std::atomic<long> speakerGaps{0};
    std::atomic<long> speakerSamples{0};
    unsigned rate() const { return m_rate; }

private:
    static int micProcess(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<Ends*>(arg);
        const double startUs = cycleStartUs(self->m_micClient);
        const double sampleUs = 1e6 / double(self->m_rate);
        auto* mic = static_cast<float*>(jack_port_get_buffer(self->m_mic, frames));
        const uint64_t frame = self->m_rate * kFrameMs / 1000;
        const uint64_t period = frame * kMarkEveryFrames;
        for (jack_nframes_t i = 0; i < frames; ++i) {
            const bool marking = self->m_micPos % period < frame;
            if (self->m_micPos % period == 0 && self->m_measuring) {
                std::lock_guard<std::mutex> guard(self->sent.lock);
                self->sent.startedUs.push_back(startUs + double(i) * sampleUs);
            }
            mic[i] = float(wave(self->m_micPos, marking ? kMark : kQuiet, self->m_rate)) / 32768.0f;
            ++self->m_micPos;
        }
        return 0;
    }

    static int speakerProcess(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<Ends*>(arg);
        const double startUs = cycleStartUs(self->m_speakerClient);
        const double sampleUs = 1e6 / double(self->m_rate);
        const auto* speaker = static_cast<const float*>(jack_port_get_buffer(self->m_speaker, frames));
        for (jack_nframes_t i = 0; i < frames; ++i) {
            const float level = speaker[i] < 0 ? -speaker[i] : speaker[i];
            const bool loud = level * 32768.0f >= float(kMarkThreshold);
            if (self->m_speakerOnsets.onset(loud) && self->m_measuring) {
                std::lock_guard<std::mutex> guard(self->received.lock);
                self->received.endedUs.push_back(startUs + double(i) * sampleUs);
            }
            if (self->m_measuring) {
                ++self->speakerSamples;
                self->m_speakerGaps.add(speaker[i] == 0.0f);
                self->speakerGaps = self->m_speakerGaps.gaps();
            }
        }
        return 0;
    }

    jack_client_t* m_micClient = nullptr;
    jack_client_t* m_speakerClient = nullptr;
    jack_port_t* m_mic = nullptr;
    jack_port_t* m_speaker = nullptr;
    uint64_t m_micPos = 0;
    unsigned m_rate = 8000;
    GapCounter m_speakerGaps{8};
    OnsetDetector m_speakerOnsets{800};
    std::atomic<bool> m_measuring{false};
};

// Busy work beside the phone: arithmetic over a buffer larger than the
// caches, so that the phone's threads compete for cores and memory.
class Load {
public:
    explicit Load(int threads) {
        for (int i = 0; i < threads; ++i) m_threads.emplace_back([this] { spin(); });
    }
    ~Load() {
        m_stop = true;
        for (auto& t : m_threads) t.join();
    }

private:
    void spin() {
        std::vector<uint32_t> buffer(4 << 20);
        uint32_t x = 1;
        while (!m_stop) {
            for (size_t i = 0; i < buffer.size(); i += 16) {
                x = x * 1664525u + 1013904223u;
                buffer[(x >> 8) % buffer.size()] += x;
            }
        }
        m_sink += buffer[x % buffer.size()];
    }
    std::atomic<bool> m_stop{false};
    std::atomic<uint32_t> m_sink{0};
    std::vector<std::thread> m_threads;
};

void report(const char* name, std::vector<double> delays, double backendMs) {
    const double median = percentile(delays, 0.5), p99 = percentile(delays, 0.99);
    std::printf(
        "%-8s marks %3zu | median %6.1f ms  p99 %6.1f ms | + backend %4.1f ms = median %6.1f  p99 %6.1f ms %s\n",
        name, delays.size(), median, p99, backendMs, median + backendMs, p99 + backendMs,
        p99 + backendMs <= kTargetMs ? "(within 40 ms)" : "(over 40 ms)");
    std::sort(delays.begin(), delays.end());
    std::printf("%-8s slowest marks:", name);
    for (size_t i = delays.size() > 5 ? delays.size() - 5 : 0; i < delays.size(); ++i)
        std::printf(" %.1f", delays[i]);
    std::printf(" ms\n");
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 60;
    bool jitterBuffer = true;
    int period = 160;
    int loadThreads = 0;
    bool realtime = false;
    int rate = 8000;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--jitter-buffer") == 0 && i + 1 < argc) {
            jitterBuffer = std::strcmp(argv[++i], "off") != 0;
        } else if (std::strcmp(argv[i], "--period") == 0 && i + 1 < argc) {
            period = std::clamp(std::atoi(argv[++i]), 16, 1024);
        } else if (std::strcmp(argv[i], "--rate") == 0 && i + 1 < argc) {
            rate = std::clamp(std::atoi(argv[++i]), 8000, 96000);
        } else if (std::strcmp(argv[i], "--realtime") == 0) {
            realtime = true;
        } else if (std::strcmp(argv[i], "--load") == 0 && i + 1 < argc) {
            loadThreads = std::clamp(std::atoi(argv[++i]), 0, 64);
        } else {
            std::fprintf(stderr,
                         "usage: %s [--seconds N] [--jitter-buffer on|off] [--period N] [--load N] "
                         "[--realtime] [--rate HZ]\n",
                         argv[0]);
            return 2;
        }
    }
    std::printf("== Voice path through PortAudio on the JACK dummy driver (%d Hz, %d-sample periods) ==\n", rate,
                period);
    std::printf("load before: %s; %u cpus; %d busy threads beside; JACK %s; jitter buffer %s; %d s\n",
                loadAverage().c_str(), std::thread::hardware_concurrency(), loadThreads,
                realtime ? "real-time" : "not real-time", jitterBuffer ? "on" : "off", seconds);
    Load load(loadThreads);
    voice::media::testing::JackServer jack("quendra_path_", period, realtime, rate);
    if (!jack.start()) {
        std::printf("jackd is not available\n");
        return 1;
    }
    int device = -1;
    auto driver = voice::media::testing::driverWithJack(device);
    Ends ends;
    if (!driver || !ends.open()) {
        std::printf("the JACK server did not come up\n");
        return 1;
    }
    AudioDriver* raw = driver.get();
    MediaEngine engine(&monotonicMs);
    engine.attachDriver(std::move(driver));
    engine.setFilters(0);
    engine.setJitterBuffer(jitterBuffer);
    engine.selectDevices(device, device, device);

    auto decoder = makeVoiceCodec(IAXC_FORMAT_ULAW);
    std::atomic<bool> measuring{false};
    std::atomic<long> wireGaps{0}, wireSamples{0};
    GapCounter wireGapCounter(kSamplesPerMs);
    bool wireLoud = false;
    engine.startCall(IAXC_FORMAT_ULAW, [&](int format, const uint8_t* payload, size_t length, uint32_t) {
        if (format != IAXC_FORMAT_ULAW) return;
        const double at = nowUs();
        int16_t pcm[kFrameSamples];
        const long n = decoder->decode(payload, length, pcm, kFrameSamples);
        bool loud = false;
        for (long i = 0; i < n; ++i) {
            if (std::abs(int(pcm[i])) >= kMarkThreshold) loud = true;
            if (measuring) wireGapCounter.add(pcm[i] == 0);
        }
        if (measuring) {
            wireSamples += n;
            wireGaps = wireGapCounter.gaps();
        }
        if (loud && !wireLoud && measuring) {
            std::lock_guard<std::mutex> guard(ends.sent.lock);
            ends.sent.endedUs.push_back(at);
        }
        wireLoud = loud;
    });
    std::atomic<int> streams{0};
    std::atomic<long> lateTicks{0};
    std::atomic<double> worstTickUs{0};
    MediaClock clock;
    engine.setTickAdvanceHandler([&clock](int64_t ms) { clock.advance(ms); });
    if (!clock.start([&](int64_t now) {
            if (measuring) {
                const double late = nowUs() - double(now) * 1000.0;
                if (late > 2000) ++lateTicks;
                if (late > worstTickUs) worstTickUs = late;
            }
            const bool more = engine.tick(now);
            streams = raw->deviceStreams();
            return more;
        })) {
        std::printf("the media thread did not start\n");
        return 1;
    }

    // The far end: a voice frame every 20 ms at absolute deadlines, as the
    // network thread would hand them over on arrival.
    std::atomic<bool> feeding{true};
    std::atomic<long> lateWakeups{0};
    std::atomic<double> worstWakeupUs{0};
    std::thread feeder([&] {
        raiseToVoicePriority();
        auto encoder = makeVoiceCodec(IAXC_FORMAT_ULAW);
        int16_t quiet[kFrameSamples], mark[kFrameSamples];
        for (size_t i = 0; i < kFrameSamples; ++i) {
            quiet[i] = wave(i, kQuiet);
            mark[i] = wave(i, kMark);
        }
        uint8_t quietPayload[kMaxFrameBytes], markPayload[kMaxFrameBytes];
        const size_t quietLength = encoder->encode(quiet, quietPayload);
        const size_t markLength = encoder->encode(mark, markPayload);
        timespec next{};
        clock_gettime(CLOCK_MONOTONIC, &next);
        for (uint32_t k = 0; feeding; ++k) {
            const bool isMark = k % kMarkEveryFrames == 0;
            if (isMark && measuring) {
                std::lock_guard<std::mutex> guard(ends.received.lock);
                ends.received.startedUs.push_back(nowUs());
            }
            engine.receiveVoice(IAXC_FORMAT_ULAW, isMark ? markPayload : quietPayload,
                                isMark ? markLength : quietLength, k * uint32_t(kFrameMs));
            next.tv_nsec += kFrameMs * 1000000L;
            if (next.tv_nsec >= 1000000000L) {
                next.tv_nsec -= 1000000000L;
                ++next.tv_sec;
            }
            clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
            if (measuring) {
                // How late the stand-in for the network thread woke: what
                // the jitter buffer sees as network jitter.
                const double late = nowUs() - (double(next.tv_sec) * 1e6 + double(next.tv_nsec) / 1e3);
                if (late > 2000) ++lateWakeups;
                if (late > worstWakeupUs) worstWakeupUs = late;
            }
        }
    });

    bool connected = false;
    double playoutDelayMs = 0;  // summed once a second
    uint64_t underrunsBefore = 0, deviceUnderruns = 0;
    for (int i = 0; i < 500 && !connected; ++i) {
        if (streams.load() == 2) connected = ends.connectToPhone();
        if (!connected) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (connected) {
        // Settle: the device's opening stalls the media thread, and the
        // jitter buffer takes some seconds to shed the delay that built up.
        std::this_thread::sleep_for(std::chrono::seconds(8));
        measuring = true;
        ends.measure(true);
        underrunsBefore = raw->playbackUnderruns();
        for (int s = 0; s < seconds; ++s) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            playoutDelayMs += engine.receiveStats().delayMs;
        }
        ends.measure(false);
        measuring = false;
        deviceUnderruns = raw->playbackUnderruns() - underrunsBefore;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    feeding = false;
    feeder.join();
    clock.stop();
    const double playbackMs = ends.backendLatencyMs(true), captureMs = ends.backendLatencyMs(false);
    const unsigned serverPeriod = ends.period();
    engine.stopCall();
    engine.detachDriver();
    if (!connected) {
        std::printf("could not connect to PortAudio's JACK ports\n");
        return 1;
    }
    std::printf("JACK server: %u-sample periods; its own latency %.1f ms playback, %.1f ms capture\n",
                serverPeriod, playbackMs, captureMs);
    report("receive", delaysMs(ends.received), playbackMs);
    report("send", delaysMs(ends.sent), captureMs);
    std::printf("of which the playout buffer (mean of its own delay figure): %.1f ms\n", playoutDelayMs / seconds);
    std::printf("device underruns (PortAudio pulls short of audio): %llu\n", (unsigned long long)deviceUnderruns);
    std::printf(
        "gaps (zero samples where sound was due, device or playout buffer): loudspeaker %ld of %ld, wire %ld of "
        "%ld\n",
        ends.speakerGaps.load(), ends.speakerSamples.load(), wireGaps.load(), wireSamples.load());
    std::printf("arrivals (the network thread's stand-in waking): %ld more than 2 ms late, the latest %.1f ms\n",
                lateWakeups.load(), worstWakeupUs.load() / 1000.0);
    std::printf("media ticks more than 2 ms late: %ld, the latest %.1f ms\n", lateTicks.load(),
                worstTickUs.load() / 1000.0);
    std::printf("load after: %s\n", loadAverage().c_str());
    return 0;
}
