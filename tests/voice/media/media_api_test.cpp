// The media side through its public faces (the iaxclient audio functions
// and the signalling boundary), running on its own clock thread in real
// time with WAV files as input and output.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

#include <iaxclient.h>
#include "audio_test_support.h"
#include "voice/media/media_port.h"
#include "voice/media/wav_file.h"

namespace voice::media {
namespace {

using testing::amplitudeAt;
using testing::loudSpan;
using testing::tone;

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Milliseconds of audio the output file holds so far (the writer keeps its
// header current and flushes every frame).
long recordedMs(const std::string& path) {
    struct stat st {};
    constexpr long kHeaderBytes = 44;
    if (::stat(path.c_str(), &st) != 0 || st.st_size < kHeaderBytes) return 0;
    return (static_cast<long>(st.st_size) - kHeaderBytes) / 2 / 8;
}

// Waits until the media clock has played at least ms into the file. The
// clock skips time it could not keep up with, so on a busy machine this
// takes longer than ms; the time-out only bounds a failing test.
bool playedAtLeast(const std::string& path, long ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (recordedMs(path) < ms) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        sleepMs(20);
    }
    return true;
}

// Polls cond until it holds or timeoutMs passes.
template <typename Cond>
bool eventually(Cond cond, int timeoutMs = 3000) {
    for (int waited = 0; waited < timeoutMs && !cond(); waited += 2) sleepMs(2);
    return cond();
}

class MediaApiTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Tests run in parallel processes: each gets files of its own.
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        prefix = ::testing::TempDir() + "voice_media_" + info->name() + "_" + std::to_string(::getpid());
        outPath = prefix + "_out.wav";
        std::remove(outPath.c_str());
        ::setenv("QUENDRA_AUDIO_OUT", outPath.c_str(), 1);
        ::unsetenv("QUENDRA_AUDIO_IN");
    }
    void TearDown() override {
        media::shutdown();
        ::unsetenv("QUENDRA_AUDIO_OUT");
        ::unsetenv("QUENDRA_AUDIO_IN");
        std::remove(outPath.c_str());
        if (!inPath.empty()) std::remove(inPath.c_str());
    }
    void useInput(const std::vector<int16_t>& samples) {
        inPath = prefix + "_in.wav";
        WavWriter writer;
        ASSERT_TRUE(writer.open(inPath));
        ASSERT_TRUE(writer.write(samples.data(), samples.size()));
        writer.close();
        ::setenv("QUENDRA_AUDIO_IN", inPath.c_str(), 1);
    }
    std::vector<int16_t> recorded() {
        std::vector<int16_t> samples;
        EXPECT_EQ(readWavFile(outPath, samples), WavResult::Ok);
        return samples;
    }

    std::string prefix, outPath, inPath;
};

TEST_F(MediaApiTest, ARingToneWithRepeatEightLastsTwoAndAQuarterSecondsInTheRecording) {
    ASSERT_EQ(media::initialize(), 0);
    auto ringTone = tone(440, 8000, 2000, 480, 8000);
    iaxc_sound sound{ringTone.data(), long(ringTone.size()), 0, 0, 8, 0, 0, nullptr};
    const int id = iaxc_play_sound(&sound, 0);
    ASSERT_GT(id, 0);
    // Nine plays of 250 ms, then the clock rests: nothing is left to play.
    ASSERT_TRUE(playedAtLeast(outPath, 2240));
    ASSERT_TRUE(eventually([] { return !clockState().ticking; }));
    EXPECT_EQ(iaxc_stop_sound(id), 1) << "it has ended by itself";
    media::shutdown();
    const auto out = recorded();
    const auto span = loudSpan(out, 100);
    ASSERT_LT(span.first, out.size());
    EXPECT_NEAR(double(span.second - span.first), 18000, 8) << "9 plays of 250 ms";
    EXPECT_NEAR(amplitudeAt(out.data() + span.first, 2000, 440), 8000, 400);
}

TEST_F(MediaApiTest, StopSoundEndsALoopAndMallocedSamplesAreReleased) {
    ASSERT_EQ(media::initialize(), 0);
    auto* samples = static_cast<short*>(std::malloc(800 * sizeof(short)));
    const auto beep = tone(1000, 6000, 800);
    std::copy(beep.begin(), beep.end(), samples);
    iaxc_sound sound{samples, 800, 1, 0, -1, 0, 0, nullptr};
    const int id = iaxc_play_sound(&sound, 1);
    ASSERT_GT(id, 0);
    ASSERT_TRUE(playedAtLeast(outPath, 400));
    EXPECT_EQ(iaxc_stop_sound(id), 0);
    EXPECT_TRUE(eventually([] { return !clockState().ticking; })) << "nothing left to play";
    media::shutdown();
    const auto out = recorded();
    const auto span = loudSpan(out, 100);
    EXPECT_GE(span.second - span.first, 2000u) << "it looped";
    // The device closed with the sound: the recording ends there.
    EXPECT_LE(out.size(), span.second + 2 * kFrameSamples) << "and ended with the stop";
}

TEST_F(MediaApiTest, TheClockTicksOnlyForASoundOrACallStream) {
    ASSERT_EQ(media::initialize(), 0);
    ASSERT_TRUE(eventually([] { return !clockState().ticking; })) << "nothing to play after start-up";
    const ClockState idle = clockState();

    auto beep = tone(1000, 6000, 800);  // 100 ms
    iaxc_sound sound{beep.data(), long(beep.size()), 0, 0, 0, 0, 0, nullptr};
    ASSERT_GT(iaxc_play_sound(&sound, 0), 0);
    ASSERT_TRUE(eventually([&] { return clockState().stops == idle.stops + 1; })) << "the sound ended";
    EXPECT_EQ(clockState().starts, idle.starts + 1);
    EXPECT_FALSE(clockState().ticking);

    media::startCall(IAXC_FORMAT_ULAW, [](int, const uint8_t*, size_t, uint32_t) {});
    ASSERT_TRUE(eventually([] { return clockState().ticking; }));
    sleepMs(100);
    EXPECT_TRUE(clockState().ticking) << "a call stream keeps it ticking";
    EXPECT_EQ(clockState().starts, idle.starts + 2);
    media::stopCall();
    ASSERT_TRUE(eventually([] { return !clockState().ticking; }));
    EXPECT_EQ(clockState().stops, idle.stops + 2);

    media::startCall(IAXC_FORMAT_GSM, [](int, const uint8_t*, size_t, uint32_t) {});
    ASSERT_TRUE(eventually([] { return clockState().ticking; })) << "the next call starts it again";
    EXPECT_EQ(clockState().starts, idle.starts + 3);
    media::stopCall();
    ASSERT_TRUE(eventually([] { return !clockState().ticking; }));
}

TEST_F(MediaApiTest, InvalidSoundsAreRefused) {
    EXPECT_EQ(iaxc_play_sound(nullptr, 0), -1);
    short one = 1;
    iaxc_sound empty{&one, 0, 0, 0, 0, 0, 0, nullptr};
    EXPECT_EQ(iaxc_play_sound(&empty, 0), -1);
    EXPECT_EQ(iaxc_stop_sound(987654), 1);
}

TEST_F(MediaApiTest, SettingsAreKeptAndReadBack) {
    iaxc_set_filters(IAXC_FILTER_ECHO | IAXC_FILTER_CN);
    EXPECT_EQ(iaxc_get_filters(), IAXC_FILTER_ECHO | IAXC_FILTER_CN);
    EXPECT_EQ(iaxc_input_level_set(0.3f), 0);
    EXPECT_EQ(iaxc_output_level_set(2.0f), 0);
    EXPECT_FLOAT_EQ(iaxc_input_level_get(), 0.3f);
    EXPECT_FLOAT_EQ(iaxc_output_level_get(), 1.0f) << "clamped";
    EXPECT_EQ(iaxc_output_level_set(std::nanf("")), -1);
    EXPECT_FLOAT_EQ(iaxc_output_level_get(), 1.0f);
    iaxc_input_level_set(0.5f);
    iaxc_output_level_set(0.5f);
    iaxc_set_filters(0);
}

TEST_F(MediaApiTest, TheFileDeviceIsListedAndSelectable) {
    ASSERT_EQ(media::initialize(), 0);
    iaxc_audio_device* devices = nullptr;
    int count = 0, in = -1, out = -1, ring = -1;
    ASSERT_EQ(iaxc_audio_devices_get(&devices, &count, &in, &out, &ring), 0);
    ASSERT_EQ(count, 1);
    EXPECT_NE(std::string(devices[0].name).find("WAV file audio"), std::string::npos);
    EXPECT_EQ(devices[0].capabilities & (IAXC_AD_INPUT | IAXC_AD_OUTPUT), IAXC_AD_INPUT | IAXC_AD_OUTPUT);
    EXPECT_EQ(in, 0);
    EXPECT_EQ(out, 0);
    EXPECT_EQ(iaxc_audio_devices_set(0, 0, 0), 0);
}

// A call whose far end echoes what we send: the tone read from the input
// file comes back into the output file, for each codec.
TEST_F(MediaApiTest, AToneLoopsThroughACallForEachCodec) {
    useInput(tone(1000, 10000, 8000 * 3));
    iaxc_set_filters(0);
    for (int format : {IAXC_FORMAT_GSM, IAXC_FORMAT_ULAW, IAXC_FORMAT_ALAW}) {
        SCOPED_TRACE(format);
        std::remove(outPath.c_str());
        ASSERT_EQ(media::initialize(), 0);
        media::startCall(format, [format](int f, const uint8_t* payload, size_t length, uint32_t t) {
            EXPECT_EQ(f, format);
            media::receiveVoice(f, payload, length, t);
        });
        ASSERT_TRUE(playedAtLeast(outPath, 1500));
        media::stopCall();
        media::shutdown();
        const auto out = recorded();
        ASSERT_GT(out.size(), 8000u);
        const int16_t* lastHalf = out.data() + 4000;
        EXPECT_NEAR(amplitudeAt(lastHalf, 3200, 1000), 10000, format == IAXC_FORMAT_GSM ? 3000 : 500);
        EXPECT_LT(amplitudeAt(lastHalf, 3200, 1500), 500);
    }
}

}  // namespace
}  // namespace voice::media
