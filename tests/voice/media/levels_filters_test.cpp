#include <gtest/gtest.h>

#include <random>

#include "audio_test_support.h"
#include "voice/media/input_processor.h"
#include "voice/media/levels.h"

namespace voice::media {
namespace {

using testing::rms;
using testing::tone;

TEST(Levels, MeterFollowsThePeakAndFallsSilentAfterASecondWithoutAudio) {
    LevelMeter meter;
    EXPECT_EQ(meter.db(), kSilenceDb);
    const auto loud = tone(1000, 32767 / 2, kFrameSamples);
    for (int i = 0; i < 100; ++i) meter.update(loud.data(), loud.size());
    EXPECT_NEAR(meter.db(), -6.0, 0.2);
    const std::vector<int16_t> zeros(kFrameSamples, 0);
    meter.update(zeros.data(), zeros.size());
    EXPECT_LT(meter.db(), -6.5) << "moves a fifth of the way each frame";
    for (int i = 0; i < 49; ++i) meter.idle();
    EXPECT_GT(meter.db(), kSilenceDb);
    meter.idle();
    EXPECT_EQ(meter.db(), kSilenceDb);
}

TEST(Levels, SoftwareGainFollowsTheLevel) {
    std::vector<int16_t> samples = {1000, -1000, 20000, -20000};
    auto scaled = samples;
    applyLevel(scaled.data(), scaled.size(), 0.5f);
    EXPECT_EQ(scaled, samples) << "0.5 leaves audio as it is";
    scaled = samples;
    applyLevel(scaled.data(), scaled.size(), 0.25f);
    EXPECT_EQ(scaled[0], 500);
    EXPECT_EQ(scaled[3], -10000);
    scaled = samples;
    applyLevel(scaled.data(), scaled.size(), 1.0f);
    EXPECT_EQ(scaled[0], 2000);
    EXPECT_EQ(scaled[2], 32767) << "saturates";
    EXPECT_EQ(scaled[3], -32768);
    scaled = samples;
    applyLevel(scaled.data(), scaled.size(), 0.0f);
    EXPECT_EQ(scaled, std::vector<int16_t>(4, 0));

    float level = 1.5f;
    EXPECT_TRUE(normaliseLevel(level));
    EXPECT_EQ(level, 1.0f);
    level = -0.1f;
    EXPECT_TRUE(normaliseLevel(level));
    EXPECT_EQ(level, 0.0f);
    level = std::nanf("");
    EXPECT_FALSE(normaliseLevel(level));
}

// Feeds frames of the signal through the processor; returns the results.
std::vector<InputResult> feed(InputProcessor& p, const std::vector<int16_t>& signal, float& level,
                              std::vector<int16_t>* output = nullptr,
                              const std::vector<int16_t>* farEnd = nullptr) {
    std::vector<InputResult> results;
    const std::vector<int16_t> silence(kFrameSamples, 0);
    for (size_t at = 0; at + kFrameSamples <= signal.size(); at += kFrameSamples) {
        int16_t frame[kFrameSamples];
        std::copy(signal.begin() + long(at), signal.begin() + long(at + kFrameSamples), frame);
        results.push_back(p.process(frame, farEnd ? farEnd->data() + at : silence.data(), level));
        if (output) output->insert(output->end(), frame, frame + kFrameSamples);
    }
    return results;
}

TEST(SilenceThreshold, MinusNinetyNineSendsAlwaysZeroMutesAndNegativeComparesTheLevel) {
    const std::vector<int16_t> quiet(kFrameSamples * 50, 0);
    const auto speech = tone(440, 8000, kFrameSamples * 50);
    float level = 0.5f;
    {
        InputProcessor p;
        p.configure(0, -99.0f);
        for (const auto& r : feed(p, quiet, level)) EXPECT_FALSE(r.silent) << "-99 always transmits";
    }
    {
        InputProcessor p;
        p.configure(0, 0.0f);
        for (const auto& r : feed(p, speech, level)) EXPECT_TRUE(r.silent) << "0 is practically muted";
    }
    {
        InputProcessor p;
        p.configure(IAXC_FILTER_CN, -40.0f);
        auto results = feed(p, quiet, level);
        int starts = 0;
        for (const auto& r : results) {
            EXPECT_TRUE(r.silent);
            starts += r.silenceStarts;
        }
        EXPECT_EQ(starts, 1) << "silence starts once";
        results = feed(p, speech, level);
        EXPECT_FALSE(results.back().silent);
    }
}

TEST(AnalogAgc, LowersTheInputLevelForLoudSpeechAndRaisesItForQuiet) {
    const auto loud = tone(300, 25000, kFrameSamples * 64 * 6);
    const auto quiet = tone(300, 300, kFrameSamples * 64 * 6);
    const int filters = IAXC_FILTER_AGC | IAXC_FILTER_AAGC;
    {
        InputProcessor p;
        p.configure(filters, -99.0f);
        float level = 0.8f;
        auto results = feed(p, loud, level);
        EXPECT_LT(level, 0.8f);
        bool changed = false;
        for (const auto& r : results) changed |= r.levelChanged;
        EXPECT_TRUE(changed);
    }
    {
        InputProcessor p;
        p.configure(filters, -99.0f);
        float level = 0.3f;
        feed(p, quiet, level);
        EXPECT_GT(level, 0.3f);
    }
    {
        InputProcessor p;
        p.configure(IAXC_FILTER_AAGC, -99.0f);  // without AGC the analog AGC stays still
        float level = 0.8f;
        feed(p, loud, level);
        EXPECT_EQ(level, 0.8f);
    }
}

TEST(Filters, EchoCancellationRemovesAnEchoOfTheFarEnd) {
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0, 3000);
    const size_t n = kFrameSamples * 50 * 8;  // 8 s
    std::vector<int16_t> farEnd(n), mic(n);
    for (size_t i = 0; i < n; ++i) farEnd[i] = int16_t(std::clamp(noise(random), -32000.0, 32000.0));
    const size_t delay = 240;  // 30 ms from speaker to microphone
    for (size_t i = delay; i < n; ++i) mic[i] = int16_t(farEnd[i - delay] / 2);
    float level = 0.5f;
    InputProcessor without;
    without.configure(0, -99.0f);
    std::vector<int16_t> plain, cancelled;
    feed(without, mic, level, &plain, &farEnd);
    InputProcessor with;
    with.configure(IAXC_FILTER_ECHO, -99.0f);
    feed(with, mic, level, &cancelled, &farEnd);
    const size_t lastSecond = n - 8000;
    const double before = rms(plain.data() + lastSecond, 8000);
    const double after = rms(cancelled.data() + lastSecond, 8000);
    EXPECT_GT(before, 1000);
    EXPECT_LT(after, before / 10) << "at least 20 dB of echo removed";
}

TEST(Filters, NoiseSuppressionLowersSteadyNoise) {
    std::mt19937 random(3);
    std::normal_distribution<double> noise(0, 1000);
    const size_t n = kFrameSamples * 50 * 4;
    std::vector<int16_t> hiss(n);
    for (auto& s : hiss) s = int16_t(noise(random));
    float level = 0.5f;
    InputProcessor p;
    p.configure(IAXC_FILTER_DENOISE, -99.0f);
    std::vector<int16_t> out;
    feed(p, hiss, level, &out);
    EXPECT_LT(rms(out.data() + n - 8000, 8000), rms(hiss.data() + n - 8000, 8000) / 3);
}

TEST(Filters, DcOffsetIsRemovedWhateverTheFilters) {
    std::vector<int16_t> offset(kFrameSamples * 100, 3000);
    float level = 0.5f;
    InputProcessor p;
    p.configure(0, -99.0f);
    std::vector<int16_t> out;
    feed(p, offset, level, &out);
    EXPECT_LT(std::abs(int(out.back())), 30);
}

}  // namespace
}  // namespace voice::media
