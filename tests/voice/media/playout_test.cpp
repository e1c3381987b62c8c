#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "audio_test_support.h"
#include "voice/media/playout_buffer.h"

namespace voice::media {
namespace {

using testing::amplitudeAt;

// Each sent frame is a constant whose value names the frame, so the
// output shows which frames were played and in what order.
int16_t frameValue(int k) {
    return int16_t(1000 + k % 20000);
}

// The frame an output frame plays, or -1 when it was filled in.
// Concealment blends into the first samples of a real frame: look at the end.
int frameNamed(const int16_t* out) {
    const int16_t last = out[kFrameSamples - 1];
    const bool constant = std::all_of(out + 60, out + kFrameSamples, [&](int16_t s) { return s == last; });
    return constant && last >= 1000 ? last - 1000 : -1;
}

struct Arrival {
    int64_t atMs;
    int frame;
};

struct Network {
    double lossRate = 0;
    int jitterMs = 0;  // extra delay, uniform 0 .. jitterMs
    int baseDelayMs = 30;
    uint32_t seed = 12345;
};

struct Outcome {
    std::vector<int> playedFrames;  // frame named by each output frame, -1 when filled in
    PlayoutStats stats;
    int sent = 0;
    int lost = 0;
};

// Sends `frames` 20 ms frames through the network into the buffer and plays
// it out every 20 ms, with the playout clock at a phase of its own.
Outcome simulate(PlayoutBuffer& buffer, int frames, const Network& net, uint32_t tsOffset = 5000) {
    std::mt19937 random(net.seed);
    std::uniform_real_distribution<double> unit(0, 1);
    std::vector<Arrival> arrivals;
    Outcome outcome;
    for (int k = 0; k < frames; ++k) {
        ++outcome.sent;
        if (unit(random) < net.lossRate) {
            ++outcome.lost;
            continue;
        }
        const int64_t sentAt = 100000 + int64_t(k) * kFrameMs;
        arrivals.push_back({sentAt + net.baseDelayMs + int64_t(unit(random) * net.jitterMs), k});
    }
    std::stable_sort(arrivals.begin(), arrivals.end(),
                     [](const Arrival& a, const Arrival& b) { return a.atMs < b.atMs; });
    size_t next = 0;
    // Figures are taken as the last frame is sent; playout goes on until
    // everything sent could have been played.
    const int64_t lastSent = 100000 + int64_t(frames - 1) * kFrameMs;
    const int64_t end = lastSent + net.baseDelayMs + net.jitterMs + 200;
    for (int64_t tick = 100007; tick < end; tick += kFrameMs) {
        if (tick - kFrameMs < lastSent && tick >= lastSent) outcome.stats = buffer.stats();
        while (next < arrivals.size() && arrivals[next].atMs <= tick) {
            const int k = arrivals[next].frame;
            std::vector<int16_t> pcm(kFrameSamples, frameValue(k));
            buffer.put(tsOffset + uint32_t(k * kFrameMs), pcm.data(), pcm.size(), arrivals[next].atMs);
            ++next;
        }
        int16_t out[kFrameSamples];
        buffer.get(out, tick);
        outcome.playedFrames.push_back(frameNamed(out));
    }
    return outcome;
}

std::vector<int> realFrames(const Outcome& o) {
    std::vector<int> real;
    for (int k : o.playedFrames) {
        if (k >= 0) real.push_back(k);
    }
    return real;
}

TEST(JitterBuffer, PerfectNetworkPlaysEveryFrameInOrderWithoutFillingIn) {
    auto buffer = makeJitterBuffer(-1);
    const Outcome o = simulate(*buffer, 500, Network{});
    const auto real = realFrames(o);
    ASSERT_EQ(real.size(), 500u);
    for (int k = 0; k < 500; ++k) EXPECT_EQ(real[size_t(k)], k);
    EXPECT_EQ(o.stats.concealedFrames, 0u);
    EXPECT_EQ(o.stats.underruns, 0u);
    EXPECT_EQ(o.stats.latePackets, 0u);
    EXPECT_LE(o.stats.delayMs, 80);
}

// With 5% loss and 40 ms of jitter the playout stays continuous: lost
// frames are concealed one by one, the buffer almost never runs dry, and
// what arrives is played in order.
TEST(JitterBuffer, FivePercentLossAndFortyMsJitterStayContinuous) {
    for (uint32_t seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        auto buffer = makeJitterBuffer(-1);
        Network net;
        net.lossRate = 0.05;
        net.jitterMs = 40;
        net.seed = seed;
        const int frames = 1500;  // 30 s
        const Outcome o = simulate(*buffer, frames, net);
        const auto real = realFrames(o);
        EXPECT_TRUE(std::is_sorted(real.begin(), real.end()));
        EXPECT_EQ(std::adjacent_find(real.begin(), real.end()), real.end()) << "no frame twice";
        // Bounds: at most 1% of the frames are underruns, late arrivals stay
        // under 1%, and concealment covers the losses with at most 1% more.
        EXPECT_LE(o.stats.underruns, uint64_t(frames / 100));
        EXPECT_LE(o.stats.latePackets, uint64_t(frames / 100));
        EXPECT_LE(o.stats.concealedFrames, uint64_t(o.lost + frames / 100));
        EXPECT_GE(real.size(), size_t(o.sent - o.lost - frames / 100));
        EXPECT_GE(o.stats.jitterMs, 30);
        EXPECT_LE(o.stats.delayMs, 40 + 20 + 2 * kFrameMs);
        std::printf("seed %u: sent %d lost %d played %zu concealed %llu underruns %llu late %llu delay %d ms\n",
                    seed, o.sent, o.lost, real.size(), (unsigned long long)o.stats.concealedFrames,
                    (unsigned long long)o.stats.underruns, (unsigned long long)o.stats.latePackets,
                    o.stats.delayMs);
    }
}

TEST(JitterBuffer, WithoutItTheSameNetworkRunsDryFarMoreOften) {
    Network net;
    net.lossRate = 0.05;
    net.jitterMs = 40;
    auto queue = makeArrivalQueue();
    const Outcome without = simulate(*queue, 1500, net);
    auto buffer = makeJitterBuffer(-1);
    const Outcome with = simulate(*buffer, 1500, net);
    EXPECT_GT(without.stats.underruns, 5 * with.stats.underruns + 20);
    EXPECT_EQ(without.stats.latePackets, 0u) << "the arrival queue plays whatever comes";
}

TEST(JitterBuffer, TimestampsWrappingAt32BitsAreFollowed) {
    auto buffer = makeJitterBuffer(-1);
    const Outcome o = simulate(*buffer, 300, Network{}, 0xFFFFFFFFu - 3000);
    EXPECT_EQ(realFrames(o).size(), 300u);
    EXPECT_EQ(o.stats.resyncs, 0u);
}

// Timestamps just below the first one seen (wrapped to the top of 32
// bits): late ones are dropped, and a stream that resumes there after a
// pause is played from there.
TEST(JitterBuffer, TimestampsBelowTheFirstAreHandled) {
    auto buffer = makeJitterBuffer(-1);
    std::vector<int16_t> pcm(kFrameSamples, 77);
    int16_t out[kFrameSamples];
    buffer->put(100, pcm.data(), pcm.size(), 0);
    buffer->put(80, pcm.data(), pcm.size(), 1);
    EXPECT_EQ(buffer->stats().latePackets, 1u) << "older than the playout point";
    int64_t now = 5;
    for (int k = 0; k < 12; ++k, now += 20) buffer->get(out, now);  // the far end pauses
    // It resumes 300 ms before its first timestamp: playout moves there.
    for (int k = 0; k < 20; ++k, now += 20) {
        buffer->put(uint32_t(-300 + k * 20), pcm.data(), pcm.size(), now - 3);
        buffer->get(out, now);
    }
    EXPECT_EQ(out[100], 77);
    EXPECT_EQ(buffer->stats().resyncs, 0u);
    EXPECT_EQ(buffer->stats().latePackets, 1u);
}

TEST(JitterBuffer, ATimestampJumpRestartsPlayout) {
    auto buffer = makeJitterBuffer(-1);
    std::vector<int16_t> pcm(kFrameSamples, 1234);
    int64_t now = 0;
    int16_t out[kFrameSamples];
    for (int k = 0; k < 50; ++k, now += 20) {
        buffer->put(uint32_t(k * 20), pcm.data(), pcm.size(), now);
        buffer->get(out, now + 1);
    }
    for (int k = 0; k < 50; ++k, now += 20) {
        buffer->put(uint32_t(200000 + k * 20), pcm.data(), pcm.size(), now);
        buffer->get(out, now + 1);
    }
    EXPECT_EQ(buffer->stats().resyncs, 1u);
    EXPECT_EQ(out[100], 1234) << "playing the new stream";
    EXPECT_EQ(buffer->stats().latePackets, 0u);
}

TEST(JitterBuffer, AFarEndPauseCountsFewUnderrunsAndDoesNotBuildDelay) {
    auto buffer = makeJitterBuffer(-1);
    std::vector<int16_t> pcm(kFrameSamples, 999);
    int16_t out[kFrameSamples];
    int64_t now = 0;
    for (int k = 0; k < 400; ++k, now += 20) {
        const bool paused = k >= 100 && k < 250;  // 3 s without audio (no CNG)
        if (!paused) buffer->put(uint32_t(k * 20), pcm.data(), pcm.size(), now + 30);
        buffer->get(out, now + 45);
    }
    EXPECT_LE(buffer->stats().underruns, 5u);
    EXPECT_LE(buffer->stats().delayMs, 80);
    EXPECT_EQ(out[100], 999);
}

TEST(JitterBuffer, LostFramesDoNotBuildDelay) {
    // A lost frame whose successor is not there yet must be concealed in
    // place once the delay is at its target, not waited for: each wait
    // would add a frame of delay that only slowly goes away.
    for (uint32_t seed : {1u, 2u, 3u, 4u}) {
        SCOPED_TRACE(seed);
        auto buffer = makeJitterBuffer(-1);
        Network net;
        net.lossRate = 0.05;
        net.jitterMs = 40;
        net.seed = seed;
        const Outcome o = simulate(*buffer, 3000, net);
        EXPECT_LE(o.stats.delayMs, 40 + int(kDefaultJitterExtraMs) + kFrameMs);
    }
}

// A clean stream, 30 ms in transit, played by a tick that moves as early as
// the buffer says it can; one frame may arrive late.
struct AdvancingRun {
    int64_t advancedMs = 0;
    std::vector<int> heard;  // frames heard, in order
    int filledIn = 0;        // output frames filled in once playout had begun
    PlayoutStats stats;
};

AdvancingRun playWithAdvancingTick(int lateFrame, int lateByMs, int jitterMs = 0) {
    auto buffer = makeJitterBuffer(-1);
    AdvancingRun run;
    int16_t out[kFrameSamples];
    // The first tick that may play (10 ms after an arrival) comes 15 ms
    // late; the phase is kept after it until the buffer moves it.
    int64_t tick = 100015;
    auto arrival = [&](int k) {
        const int64_t jitter = jitterMs > 0 ? (int64_t(k) * 7919) % (jitterMs + 1) : 0;
        return 100030 + int64_t(k) * kFrameMs + (k == lateFrame ? lateByMs : 0) + jitter;
    };
    std::vector<bool> sent(400, false);
    for (int n = 0; n < 300; ++n, tick += kFrameMs) {
        for (int k = 0; k < 400; ++k) {
            if (sent[size_t(k)] || arrival(k) > tick) continue;
            sent[size_t(k)] = true;
            std::vector<int16_t> pcm(kFrameSamples, frameValue(k));
            buffer->put(uint32_t(k * kFrameMs), pcm.data(), pcm.size(), arrival(k));
        }
        buffer->get(out, tick);
        if (const int frame = frameNamed(out); frame >= 0) {
            run.heard.push_back(frame);
        } else if (!run.heard.empty()) {
            ++run.filledIn;
        }
        const int64_t advance = buffer->takeTickAdvanceMs();
        EXPECT_LT(advance, kFrameMs);
        tick -= advance;
        run.advancedMs += advance;
    }
    run.stats = buffer->stats();
    return run;
}

// The buffer tells how much earlier its tick could come; a tick moved by
// that much still finds every frame, and the delay ends at its target.
TEST(JitterBuffer, ItsTickCanComeAsEarlyAsItSaysWithoutLosingAFrame) {
    const AdvancingRun run = playWithAdvancingTick(-1, 0);
    EXPECT_EQ(run.advancedMs, 15);
    ASSERT_FALSE(run.heard.empty());
    for (size_t i = 1; i < run.heard.size(); ++i) ASSERT_EQ(run.heard[i], run.heard[i - 1] + 1) << "in order";
    EXPECT_EQ(run.filledIn, 0);
    EXPECT_EQ(run.stats.underruns, 0u);
    EXPECT_EQ(run.stats.delayMs, int(kDefaultJitterExtraMs));
}

// Where the network's jitter exceeds the extra margin the tick keeps its
// phase: its slack there saves frames from being filled in.
TEST(JitterBuffer, OnAJitteryNetworkTheTickKeepsItsPhase) {
    EXPECT_EQ(playWithAdvancingTick(-1, 0, 40).advancedMs, 0);
    EXPECT_GT(playWithAdvancingTick(-1, 0, 8).advancedMs, 0) << "jitter within the margin";
}

// With the delay at its target, an arrival late by less than half the extra
// margin is played in time and inserts nothing; a later one makes the
// delay grow by a frame, filled in once.
TEST(JitterBuffer, OnlyALateArrivalBeyondHalfTheMarginGrowsTheDelay) {
    const AdvancingRun slightlyLate = playWithAdvancingTick(150, 4);
    EXPECT_EQ(slightlyLate.filledIn, 0);
    EXPECT_EQ(slightlyLate.stats.latePackets, 0u);
    const AdvancingRun late = playWithAdvancingTick(150, 9);
    EXPECT_EQ(late.filledIn, 1);
    EXPECT_EQ(late.stats.latePackets, 0u);
    EXPECT_EQ(late.heard.size(), slightlyLate.heard.size() - 1) << "the held frame plays a tick later";
}

TEST(JitterBuffer, ComfortNoiseFillsTheFarEndsSilence) {
    auto buffer = makeJitterBuffer(-1);
    std::vector<int16_t> pcm(kFrameSamples, 0);
    int16_t out[kFrameSamples];
    int64_t now = 0;
    for (int k = 0; k < 20; ++k, now += 20) {
        buffer->put(uint32_t(k * 20), pcm.data(), pcm.size(), now);
        buffer->get(out, now + 5);
    }
    buffer->farEndSilent(40);  // -40 dBov
    double energy = 0;
    for (int k = 0; k < 50; ++k, now += 20) {
        buffer->get(out, now + 5);
        energy += testing::rms(out, kFrameSamples);
    }
    EXPECT_EQ(buffer->stats().underruns, 0u);
    EXPECT_GE(buffer->stats().comfortFrames, 40u);
    const double meanRms = energy / 50;
    EXPECT_GT(meanRms, 50.0);  // uniform noise of peak 327 has an rms of about 190
    EXPECT_LT(meanRms, 400.0);
    buffer->put(uint32_t(20 * 20 + 50 * 20), pcm.data(), pcm.size(), now);
    EXPECT_EQ(buffer->stats().packets, 21u);
}

TEST(Concealment, ALostFrameOfAToneIsBridgedWithTheTone) {
    auto buffer = makeJitterBuffer(-1);
    const auto signal = testing::tone(1000, 10000, kFrameSamples * 60);
    std::vector<int16_t> played;
    int64_t now = 0;
    for (int k = 0; k < 60; ++k, now += 20) {
        if (k != 40) buffer->put(uint32_t(k * 20), signal.data() + k * kFrameSamples, kFrameSamples, now);
        int16_t out[kFrameSamples];
        buffer->get(out, now + 5);
        played.insert(played.end(), out, out + kFrameSamples);
    }
    EXPECT_EQ(buffer->stats().concealedFrames, 1u);
    // Frame 40 is played some frames after it was due; find the frame that
    // is not an exact copy of its source and check it still carries 1 kHz.
    size_t concealedAt = played.size();
    for (size_t f = 10; f * kFrameSamples < played.size(); ++f) {
        const int16_t* out = played.data() + f * kFrameSamples;
        const double a = amplitudeAt(out, kFrameSamples, 1000);
        if (a > 0 && std::abs(a - 10000) > 50) {
            concealedAt = f;
            EXPECT_GT(a, 5000) << "frame " << f;
        }
    }
    EXPECT_LT(concealedAt, played.size()) << "one frame was filled in";
}

// speexdsp's jitter buffer behind the same interface, with the same concealment.
TEST(SpeexJitterBuffer, PerfectNetworkPlaysEveryFrameInOrderWithoutFillingIn) {
    auto buffer = makeSpeexJitterBuffer();
    const Outcome o = simulate(*buffer, 500, Network{});
    const auto real = realFrames(o);
    ASSERT_EQ(real.size(), 500u);
    for (int k = 0; k < 500; ++k) EXPECT_EQ(real[size_t(k)], k);
    EXPECT_EQ(o.stats.concealedFrames, 0u);
    EXPECT_EQ(o.stats.underruns, 0u);
    EXPECT_EQ(o.stats.latePackets, 0u);
}

TEST(SpeexJitterBuffer, FivePercentLossAndFortyMsJitterStayContinuous) {
    for (uint32_t seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        auto buffer = makeSpeexJitterBuffer();
        Network net;
        net.lossRate = 0.05;
        net.jitterMs = 40;
        net.seed = seed;
        const int frames = 1500;
        const Outcome o = simulate(*buffer, frames, net);
        const auto real = realFrames(o);
        EXPECT_TRUE(std::is_sorted(real.begin(), real.end()));
        EXPECT_EQ(std::adjacent_find(real.begin(), real.end()), real.end()) << "no frame twice";
        EXPECT_GE(o.stats.concealedFrames, uint64_t(o.lost / 2)) << "losses are counted as concealed";
        EXPECT_LE(o.stats.underruns, uint64_t(frames / 50));
        EXPECT_GE(real.size(), size_t(o.sent - o.lost - frames / 50));
    }
}

TEST(SpeexJitterBuffer, ALostFrameIsConcealedAndTheRestPlayed) {
    auto buffer = makeSpeexJitterBuffer();
    std::vector<int16_t> pcm(kFrameSamples);
    int16_t out[kFrameSamples];
    std::vector<int> played;
    int64_t now = 0;
    for (int k = 0; k < 60; ++k, now += 20) {
        std::fill(pcm.begin(), pcm.end(), frameValue(k));
        if (k != 30) buffer->put(uint32_t(k * 20), pcm.data(), pcm.size(), now);
        buffer->get(out, now + 5);
        if (out[kFrameSamples - 1] >= 1000 && out[kFrameSamples - 1] == out[kFrameSamples / 2])
            played.push_back(out[kFrameSamples - 1] - 1000);
    }
    // With no jitter the next frame is not there yet when the lost one is
    // due: the gap counts as an underrun rather than a concealment.
    EXPECT_EQ(buffer->stats().concealedFrames + buffer->stats().underruns, 1u);
    EXPECT_EQ(std::count(played.begin(), played.end(), 30), 0);
    EXPECT_EQ(std::count(played.begin(), played.end(), 31), 1);
    EXPECT_EQ(std::count(played.begin(), played.end(), 29), 1);
}

TEST(SpeexJitterBuffer, ComfortNoiseFillsTheFarEndsSilence) {
    auto buffer = makeSpeexJitterBuffer();
    std::vector<int16_t> pcm(kFrameSamples, 0);
    int16_t out[kFrameSamples];
    int64_t now = 0;
    for (int k = 0; k < 20; ++k, now += 20) {
        buffer->put(uint32_t(k * 20), pcm.data(), pcm.size(), now);
        buffer->get(out, now + 5);
    }
    buffer->farEndSilent(40);
    double energy = 0;
    for (int k = 0; k < 50; ++k, now += 20) {
        buffer->get(out, now + 5);
        energy += testing::rms(out, kFrameSamples);
    }
    EXPECT_EQ(buffer->stats().underruns, 0u);
    EXPECT_GE(buffer->stats().comfortFrames, 40u);
    EXPECT_GT(energy / 50, 50.0);
    EXPECT_LT(energy / 50, 400.0);
}

TEST(SpeexJitterBuffer, TimestampsWrappingAt32BitsAreFollowed) {
    auto buffer = makeSpeexJitterBuffer();
    const Outcome o = simulate(*buffer, 300, Network{}, 0xFFFFFFFFu - 3000);
    EXPECT_EQ(realFrames(o).size(), 300u);
}

TEST(ArrivalQueue, ABacklogLeftByAStallIsShedAfterAWhile) {
    // Four frames arrive at once (a stall), then one per tick: without
    // shedding, the queue would keep the extra 60 ms for the whole call.
    auto queue = makeArrivalQueue();
    int16_t out[kFrameSamples];
    int frame = 0;
    int64_t now = 0;
    for (; frame < 4; ++frame) {
        std::vector<int16_t> pcm(kFrameSamples, frameValue(frame));
        queue->put(uint32_t(frame * 20), pcm.data(), pcm.size(), now);
    }
    for (int tick = 0; tick < 500; ++tick, now += 20, ++frame) {
        queue->get(out, now);
        std::vector<int16_t> pcm(kFrameSamples, frameValue(frame));
        queue->put(uint32_t(frame * 20), pcm.data(), pcm.size(), now + 5);
    }
    EXPECT_LT(queue->stats().delayMs, 2 * kFrameMs) << "at most the frame just arrived waits";
    EXPECT_EQ(queue->stats().underruns, 0u);
}

TEST(ArrivalQueue, PlaysInArrivalOrderAndBoundsItsBacklog) {
    auto queue = makeArrivalQueue();
    int16_t out[kFrameSamples];
    for (int k = 0; k < 10; ++k) {
        std::vector<int16_t> pcm(kFrameSamples, frameValue(k));
        queue->put(uint32_t((9 - k) * 20), pcm.data(), pcm.size(), 0);  // reversed timestamps
    }
    EXPECT_EQ(queue->stats().outOfOrder, 9u);
    EXPECT_GE(queue->stats().droppedPackets, 4u) << "beyond 80 ms of backlog new audio is dropped";
    queue->get(out, 0);
    EXPECT_EQ(out[100], frameValue(0)) << "first come, first played";
    queue->get(out, 20);
    EXPECT_EQ(out[100], frameValue(1));
}

}  // namespace
}  // namespace voice::media
