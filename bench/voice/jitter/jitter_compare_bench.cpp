// The engine's jitter buffer against speexdsp's, on the same arrival traces,
// side by side. Each trace is 60 s of 20 ms frames, made by code from a
// fixed seed so every run sees the same arrivals:
//   clean       - 30 ms transit, 0-1 ms jitter;
//   jitter40    - 30 ms transit plus 0-40 ms (uniform) per frame;
//   loss5+jit40 - as jitter40, 5% of the frames lost at random;
//   burst300    - clean, with 300 ms (15 frames) lost in one burst at 30 s;
//   fast0.5%    - clean, the sender's clock 0.5% fast (frames every 19.9 ms).
// Playout ticks every 20 ms at a phase of its own, moved earlier when a
// buffer says it could come earlier (as the engine's media clock does). Every frame carries its
// number in its samples, so the output tells which frame was played when;
// the figures come from that, the same way for both buffers:
//   delay      - play time minus arrival time of each frame played (ms);
//   late       - frames dropped because they arrived after their playout
//                time had passed (as each buffer reports it);
//   skipped    - frames that arrived in time but were never played (thrown
//                away to shorten the delay: what a fast sender clock needs);
//   concealed  - frames filled in while later audio had already arrived
//                (loss, lateness, or a frame inserted to grow the delay);
//   underruns  - frames filled in with no later audio arrived yet.
// Usage: bench_voice_jitter [--write-traces DIR]
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "voice/codec/audio_frame.h"
#include "voice/media/playout_buffer.h"

using namespace voice::media;

namespace {

constexpr int kFrames = 60 * 1000 / kFrameMs;  // 60 s
constexpr int64_t kStartMs = 100000;
constexpr int64_t kTransitMs = 30;
constexpr int64_t kTickPhaseMs = 7;

// splitmix64: a fixed, portable sequence of random numbers.
class Random {
public:
    explicit Random(uint64_t seed) : m_state(seed) {}
    uint64_t next() {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double unit() { return double(next() >> 11) / double(1ull << 53); }

private:
    uint64_t m_state;
};

struct Arrival {
    int frame;     // frame number; its timestamp is frame * 20 ms
    int64_t atMs;  // arrival time on the receiver's clock
};

struct Trace {
    std::string name;
    std::vector<Arrival> arrivals;  // in order of arrival
    int sent = 0;
};

Trace makeTrace(const std::string& name, double jitterMs, double lossRate, int burstFrom, int burstFrames,
                double senderSpeed, uint64_t seed) {
    Random random(seed);
    Trace trace{name, {}, kFrames};
    for (int k = 0; k < kFrames; ++k) {
        const double jitter = random.unit() * jitterMs;
        const bool lost = random.unit() < lossRate || (k >= burstFrom && k < burstFrom + burstFrames);
        if (lost) continue;
        const double sentAt = double(k) * kFrameMs / senderSpeed;
        trace.arrivals.push_back({k, kStartMs + kTransitMs + int64_t(sentAt + jitter)});
    }
    std::stable_sort(trace.arrivals.begin(), trace.arrivals.end(),
                     [](const Arrival& a, const Arrival& b) { return a.atMs < b.atMs; });
    return trace;
}

std::vector<Trace> traces() {
    return {
        makeTrace("clean", 1, 0, -1, 0, 1.0, 1),
        makeTrace("jitter40", 40, 0, -1, 0, 1.0, 2),
        makeTrace("loss5+jit40", 40, 0.05, -1, 0, 1.0, 3),
        makeTrace("burst300", 1, 0, kFrames / 2, 300 / kFrameMs, 1.0, 4),
        makeTrace("fast0.5%", 1, 0, -1, 0, 1.005, 5),
    };
}

bool writeTraces(const std::vector<Trace>& all, const std::string& dir) {
    for (const Trace& trace : all) {
        const std::string path = dir + "/" + trace.name + ".csv";
        FILE* file = std::fopen(path.c_str(), "w");
        if (!file) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return false;
        }
        std::fprintf(file, "frame,timestamp_ms,arrival_ms\n");
        for (const Arrival& a : trace.arrivals)
            std::fprintf(file, "%d,%d,%lld\n", a.frame, a.frame * kFrameMs, (long long)(a.atMs - kStartMs));
        std::fclose(file);
    }
    return true;
}

// A frame's samples all hold its number, offset so it never looks like
// silence or faded concealment.
int16_t frameValue(int frame) {
    return int16_t(1000 + frame);
}

// The frame an output frame is, or -1 when it was filled in. Concealment
// fades, and blending touches only the start, so the tail tells.
int frameOf(const int16_t* out) {
    const int16_t v = out[kFrameSamples - 1];
    if (v < 1000 || v >= 1000 + kFrames) return -1;
    for (size_t i = kFrameSamples / 2; i < kFrameSamples; ++i)
        if (out[i] != v) return -1;
    return v - 1000;
}

struct Figures {
    double delayMedian = 0, delayP99 = 0;
    int late = 0, skipped = 0, concealed = 0, underruns = 0, played = 0;
};

double percentile(std::vector<int64_t> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5));
    return double(values[index]);
}

Figures run(PlayoutBuffer& buffer, const Trace& trace) {
    std::vector<int64_t> arrivedAt(size_t(kFrames), -1);
    std::vector<bool> played(size_t(kFrames), false);
    std::vector<int64_t> delays;
    Figures figures;
    int16_t pcm[kFrameSamples];
    int16_t out[kFrameSamples];
    size_t next = 0;
    int newestArrived = -1;
    int lastPlayed = -1;
    const int64_t end = trace.arrivals.back().atMs + 1000;
    // A buffer that says its tick could come earlier has it moved, as the
    // engine's media clock does.
    for (int64_t tick = kStartMs + kTickPhaseMs; tick < end; tick += kFrameMs - buffer.takeTickAdvanceMs()) {
        for (; next < trace.arrivals.size() && trace.arrivals[next].atMs <= tick; ++next) {
            const Arrival& a = trace.arrivals[next];
            std::fill(pcm, pcm + kFrameSamples, frameValue(a.frame));
            buffer.put(uint32_t(a.frame * kFrameMs), pcm, kFrameSamples, a.atMs);
            arrivedAt[size_t(a.frame)] = a.atMs;
            newestArrived = std::max(newestArrived, a.frame);
        }
        buffer.get(out, tick);
        const int frame = frameOf(out);
        if (frame >= 0 && !played[size_t(frame)]) {
            played[size_t(frame)] = true;
            delays.push_back(tick - arrivedAt[size_t(frame)]);
            lastPlayed = std::max(lastPlayed, frame);
            ++figures.played;
        } else if (lastPlayed >= 0 && lastPlayed < trace.sent - 1) {
            // Talk is under way: a frame filled in.
            if (newestArrived > lastPlayed) {
                ++figures.concealed;
            } else {
                ++figures.underruns;
            }
        }
    }
    int neverPlayed = 0;
    for (int k = 0; k < kFrames; ++k)
        if (arrivedAt[size_t(k)] >= 0 && !played[size_t(k)]) ++neverPlayed;
    figures.late = int(std::min<uint64_t>(buffer.stats().latePackets, uint64_t(neverPlayed)));
    figures.skipped = neverPlayed - figures.late;
    figures.delayMedian = percentile(delays, 0.5);
    figures.delayP99 = percentile(delays, 0.99);
    return figures;
}

// Lower is better in every column; ours is at least as good where no
// figure of it is higher: delay, late frames, concealed frames and
// underruns, and with withSkipped also the frames skipped.
bool atLeastAsGood(const Figures& ours, const Figures& theirs, bool withSkipped) {
    return ours.delayMedian <= theirs.delayMedian && ours.delayP99 <= theirs.delayP99 &&
           ours.late <= theirs.late && ours.concealed <= theirs.concealed && ours.underruns <= theirs.underruns &&
           (!withSkipped || ours.skipped <= theirs.skipped);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<Trace> all = traces();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--write-traces") == 0 && i + 1 < argc) {
            if (!writeTraces(all, argv[++i])) return 1;
        } else {
            std::fprintf(stderr, "usage: %s [--write-traces DIR]\n", argv[0]);
            return 2;
        }
    }
    std::printf("== Jitter buffers on 60 s arrival traces: ours | speexdsp's ==\n");
    std::printf("delay = play time - arrival time of each frame played (ms); counts are frames of 20 ms\n\n");
    std::printf("%-12s %6s | %17s | %17s | %13s | %13s | %13s | %13s | %s\n", "trace", "lost", "delay median",
                "delay p99", "late dropped", "skipped", "concealed", "underruns", "ours >= speex");
    std::printf("%-12s %6s | %8s %8s | %8s %8s | %6s %6s | %6s %6s | %6s %6s | %6s %6s |\n", "", "(net)", "ours",
                "speex", "ours", "speex", "ours", "speex", "ours", "speex", "ours", "speex", "ours", "speex");
    bool oursEverywhere = true;
    bool oursWithSkipped = true;
    for (const Trace& trace : all) {
        auto ours = makeJitterBuffer(-1);
        auto speex = makeSpeexJitterBuffer();
        const Figures a = run(*ours, trace);
        const Figures b = run(*speex, trace);
        const bool good = atLeastAsGood(a, b, false);
        oursEverywhere = oursEverywhere && good;
        oursWithSkipped = oursWithSkipped && atLeastAsGood(a, b, true);
        std::printf("%-12s %6d | %8.0f %8.0f | %8.0f %8.0f | %6d %6d | %6d %6d | %6d %6d | %6d %6d | %s\n",
                    trace.name.c_str(), trace.sent - int(trace.arrivals.size()), a.delayMedian, b.delayMedian,
                    a.delayP99, b.delayP99, a.late, b.late, a.skipped, b.skipped, a.concealed, b.concealed,
                    a.underruns, b.underruns, good ? "yes" : "no");
    }
    std::printf("\nours at least as good on every trace (delay, late dropped, concealed, underruns): %s\n",
                oursEverywhere ? "yes" : "no");
    std::printf("the same, counting skipped frames too: %s\n", oursWithSkipped ? "yes" : "no");
    return 0;
}
