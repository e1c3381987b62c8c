#include <gtest/gtest.h>

#include "audio_test_support.h"
#include "voice/codec/voice_codec.h"
#include "voice/media/media_engine.h"

namespace voice::media {
namespace {

using testing::amplitudeAt;
using testing::loudSpan;
using testing::RecordingDriver;
using testing::tone;

struct Sent {
    int format;
    std::vector<uint8_t> payload;
    uint32_t mediaTimeMs;
};

// An engine on a recording driver, ticked by hand on a clock the test owns.
class EngineTest : public ::testing::Test {
protected:
    EngineTest() : engine([this] { return now; }) {
        auto d = std::make_unique<RecordingDriver>();
        driver = d.get();
        engine.attachDriver(std::move(d));
        engine.setFilters(0);
    }

    void ticks(int count) {
        for (int i = 0; i < count; ++i) {
            now += kFrameMs;
            engine.tick(now);
        }
    }

    SendVoiceFn recorder() {
        return [this](int format, const uint8_t* payload, size_t length, uint32_t t) {
            sent.push_back({format, std::vector<uint8_t>(payload, payload + length), t});
        };
    }

    int64_t now = 1000;
    MediaEngine engine;
    RecordingDriver* driver;
    std::vector<Sent> sent;
};

TEST_F(EngineTest, ACallSendsOneEncodedFrameEveryTickWithMediaTime) {
    for (int format : {IAXC_FORMAT_GSM, IAXC_FORMAT_ULAW, IAXC_FORMAT_ALAW}) {
        SCOPED_TRACE(format);
        sent.clear();
        driver->capture = tone(1000, 8000, 8000);
        driver->capturePos = 0;
        engine.startCall(format, recorder());
        ticks(50);
        engine.stopCall();
        ticks(3);
        ASSERT_EQ(sent.size(), 50u);
        for (size_t i = 0; i < sent.size(); ++i) {
            EXPECT_EQ(sent[i].format, format);
            EXPECT_EQ(sent[i].payload.size(), encodedFrameBytes(format));
            EXPECT_EQ(sent[i].mediaTimeMs, uint32_t(i * 20));
        }
        // What was sent decodes to the captured tone.
        auto decoder = makeVoiceCodec(format);
        std::vector<int16_t> decoded;
        for (const auto& s : sent) {
            int16_t pcm[kFrameSamples];
            ASSERT_EQ(decoder->decode(s.payload.data(), s.payload.size(), pcm, kFrameSamples), 160);
            decoded.insert(decoded.end(), pcm, pcm + kFrameSamples);
        }
        EXPECT_NEAR(amplitudeAt(decoded.data() + 4000, 4000, 1000), 8000, 2500);
    }
}

TEST_F(EngineTest, MutedCallsSendNothingAndStopCallUnmutes) {
    engine.startCall(IAXC_FORMAT_ULAW, recorder());
    engine.setSendMuted(true);
    ticks(10);
    EXPECT_TRUE(sent.empty());
    engine.stopCall();
    engine.startCall(IAXC_FORMAT_ULAW, recorder());
    ticks(10);
    EXPECT_EQ(sent.size(), 10u);
    engine.setAudioPrefs(IAXC_AUDIO_PREF_SEND_DISABLE);
    ticks(10);
    EXPECT_EQ(sent.size(), 10u) << "sending switched off";
    engine.setAudioPrefs(0);
    ticks(1);
    EXPECT_EQ(sent.size(), 11u);
}

TEST_F(EngineTest, InputLevelScalesWhatIsSent) {
    driver->capture = tone(1000, 4000, 16000);
    ASSERT_EQ(engine.setInputLevel(1.0f), 0);
    engine.startCall(IAXC_FORMAT_ULAW, recorder());
    ticks(20);
    auto decoder = makeVoiceCodec(IAXC_FORMAT_ULAW);
    int16_t pcm[kFrameSamples];
    decoder->decode(sent.back().payload.data(), 160, pcm, 160);
    EXPECT_NEAR(amplitudeAt(pcm, 160, 1000), 8000, 400) << "level 1 doubles";
    EXPECT_EQ(engine.setInputLevel(std::nanf("")), -1);
    EXPECT_EQ(engine.settings().inputLevel, 1.0f);
}

// The far end's audio is played; a key tone played once during the call is
// heard over it, and nothing of the tone is left afterwards.
TEST_F(EngineTest, AKeyToneDuringACallPlaysOnceMixedOverTheFarEnd) {
    engine.startCall(IAXC_FORMAT_ULAW, recorder());
    auto encoder = makeVoiceCodec(IAXC_FORMAT_ULAW);
    const auto farEnd = tone(400, 6000, 8000 * 3);
    // Key 1 as the program plays it: 200 ms of tone, 50 ms of silence.
    auto key = tone(697, 8000, 2000, 1209, 8000);
    std::fill(key.begin() + 1600, key.end(), int16_t(0));
    int keyId = -1;
    for (int k = 0; k < 150; ++k) {
        uint8_t payload[kMaxFrameBytes];
        encoder->encode(farEnd.data() + k * kFrameSamples, payload);
        engine.receiveVoice(IAXC_FORMAT_ULAW, payload, 160, uint32_t(k * 20));
        if (k == 50) keyId = engine.playSound(key.data(), key.size(), 0, false, nullptr, nullptr);
        ticks(1);
    }
    ASSERT_GT(keyId, 0);
    EXPECT_FALSE(engine.stopSound(keyId)) << "a sound that played out is gone";
    const auto& out = driver->played;
    ASSERT_EQ(out.size(), 150u * kFrameSamples);
    // Find the key tone: frames where 697 Hz is strong.
    int keyFrames = 0, farEndUnderKey = 0;
    for (size_t f = 0; f < 150; ++f) {
        const int16_t* frame = out.data() + f * kFrameSamples;
        const bool keyHeard =
            amplitudeAt(frame, kFrameSamples, 697) > 4000 && amplitudeAt(frame, kFrameSamples, 1209) > 4000;
        if (keyHeard) {
            ++keyFrames;
            if (amplitudeAt(frame, kFrameSamples, 400) > 3000) ++farEndUnderKey;
        }
    }
    EXPECT_EQ(keyFrames, 10) << "200 ms of tone, once";
    EXPECT_EQ(farEndUnderKey, keyFrames) << "the far end goes on under the tone";
    EXPECT_GT(amplitudeAt(out.data() + 140 * kFrameSamples, kFrameSamples, 400), 5000);
}

TEST_F(EngineTest, ARingToneWithRepeatEightLastsTwoAndAQuarterSeconds) {
    const auto ringTone = tone(440, 8000, 2000, 480, 8000);
    const int id = engine.playSound(ringTone.data(), ringTone.size(), 8, false, nullptr, nullptr);
    ASSERT_GT(id, 0);
    ticks(150);  // 3 s
    // The tone starts and ends near zero: allow the edge samples below
    // the threshold.
    const auto span = loudSpan(driver->played, 100);
    EXPECT_NEAR(double(span.second - span.first), 9 * 2000, 8) << "2.25 s";
    EXPECT_EQ(span.first % kFrameSamples, 1u) << "the sound starts on a frame";
    EXPECT_FALSE(engine.stopSound(id));
}

TEST_F(EngineTest, StopSoundSilencesWithinOneFrame) {
    const auto ringTone = tone(440, 8000, 2000, 480, 8000);
    const int id = engine.playSound(ringTone.data(), ringTone.size(), -1, false, nullptr, nullptr);
    ticks(30);
    EXPECT_TRUE(engine.stopSound(id));
    const size_t stoppedAt = driver->played.size();
    ticks(10);
    const auto span = loudSpan(driver->played, 0);
    EXPECT_LE(span.second, stoppedAt) << "nothing of the sound after the stop";
}

TEST_F(EngineTest, RingSoundsGoToTheirOwnDeviceWhenOneIsChosen) {
    driver->separate = true;
    engine.selectDevices(0, 1, 2);
    const auto bell = tone(480, 8000, 800);
    engine.playSound(bell.data(), bell.size(), 0, true, nullptr, nullptr);
    ticks(1);  // opens the devices
    engine.playSound(bell.data(), bell.size(), 0, true, nullptr, nullptr);
    ticks(10);
    EXPECT_EQ(driver->openedRing, 2);
    EXPECT_GT(loudSpan(driver->rung, 100).second, 0u);
    EXPECT_EQ(
        loudSpan(std::vector<int16_t>(driver->played.begin() + kFrameSamples, driver->played.end()), 100).second,
        0u)
        << "after the devices opened, the speaker stays quiet";
}

TEST_F(EngineTest, AudioOutputModeOneHidesTheFarEndButNotSounds) {
    engine.setAudioOutput(1);
    engine.startCall(IAXC_FORMAT_ALAW, recorder());
    auto encoder = makeVoiceCodec(IAXC_FORMAT_ALAW);
    const auto farEnd = tone(400, 6000, 8000);
    for (int k = 0; k < 40; ++k) {
        uint8_t payload[kMaxFrameBytes];
        encoder->encode(farEnd.data() + k * kFrameSamples, payload);
        engine.receiveVoice(IAXC_FORMAT_ALAW, payload, 160, uint32_t(k * 20));
        ticks(1);
    }
    EXPECT_EQ(loudSpan(driver->played, 0).second, 0u);
    EXPECT_GT(engine.receiveStats().packets, 30);
    const auto beep = tone(1000, 5000, 800);
    engine.playSound(beep.data(), beep.size(), 0, false, nullptr, nullptr);
    ticks(10);
    EXPECT_GT(loudSpan(driver->played, 100).second, 0u);
}

TEST_F(EngineTest, OutputLevelScalesWhatIsPlayed) {
    ASSERT_EQ(engine.setOutputLevel(0.25f), 0);
    const std::vector<int16_t> flat(1600, 8000);
    engine.playSound(flat.data(), flat.size(), 0, false, nullptr, nullptr);
    ticks(5);
    EXPECT_EQ(driver->played[100], 4000);
}

TEST_F(EngineTest, DevicesAreListedSelectedAndClosedWhenIdle) {
    iaxc_audio_device* list = nullptr;
    int count = 0, in = -1, out = -1, ring = -1;
    engine.devices(&list, &count, &in, &out, &ring);
    ASSERT_EQ(count, 3);
    EXPECT_STREQ(list[0].name, "Test microphone");
    EXPECT_EQ(list[2].devID, 2);
    EXPECT_EQ(in, 0);
    EXPECT_EQ(out, 1);
    EXPECT_EQ(ring, 1);
    engine.selectDevices(0, 2, 2);
    engine.devices(&list, &count, &in, &out, &ring);
    EXPECT_EQ(out, 2);

    EXPECT_FALSE(driver->isOpen()) << "nothing to play yet";
    engine.startCall(IAXC_FORMAT_GSM, recorder());
    ticks(1);
    EXPECT_TRUE(driver->isOpen());
    EXPECT_EQ(driver->openedOutput, 2);
    engine.selectDevices(0, 1, 1);
    ticks(1);
    EXPECT_EQ(driver->openedOutput, 1) << "reopened on the new device";
    engine.stopCall();
    now += kFrameMs;
    EXPECT_FALSE(engine.tick(now)) << "nothing left to tick for";
    EXPECT_FALSE(driver->isOpen()) << "closed at the first tick with nothing to play";
}

TEST_F(EngineTest, TicksAreWantedOnlyWhileACallStreamOrASoundIs) {
    int wakes = 0;
    engine.setAudioWantedHandler([&wakes] { ++wakes; });
    now += kFrameMs;
    EXPECT_FALSE(engine.tick(now)) << "no call, no sound";

    engine.startCall(IAXC_FORMAT_ULAW, recorder());
    EXPECT_EQ(wakes, 1) << "a call stream wakes the clock";
    now += kFrameMs;
    EXPECT_TRUE(engine.tick(now));
    engine.stopCall();
    EXPECT_EQ(wakes, 1) << "stopping wakes nothing";
    now += kFrameMs;
    EXPECT_FALSE(engine.tick(now)) << "the last stream ended";
    EXPECT_FALSE(driver->isOpen());

    const std::vector<int16_t> beep(400, 6000);  // 50 ms: three frames
    ASSERT_GT(engine.playSound(beep.data(), beep.size(), 0, false, nullptr, nullptr), 0);
    EXPECT_EQ(wakes, 2) << "a sound wakes the clock";
    int wanted = 0;
    for (int i = 0; i < 10; ++i) {
        now += kFrameMs;
        if (!engine.tick(now)) break;
        ++wanted;
    }
    EXPECT_EQ(wanted, 3) << "ticks while the sound plays, then one that finds it over";
    EXPECT_FALSE(driver->isOpen());
    EXPECT_LT(engine.playSound(beep.data(), 0, 0, false, nullptr, nullptr), 0);
    EXPECT_EQ(wakes, 2) << "a refused sound wakes nothing";
}

TEST_F(EngineTest, MalformedOrForeignPayloadsAreDroppedAndCounted) {
    engine.receiveVoice(IAXC_FORMAT_ULAW, nullptr, 0, 0);  // no call: ignored
    engine.startCall(IAXC_FORMAT_GSM, recorder());
    const uint8_t junk[40] = {};
    engine.receiveVoice(IAXC_FORMAT_GSM, junk, 33, 0);     // not a GSM frame
    engine.receiveVoice(IAXC_FORMAT_SPEEX, junk, 20, 20);  // no such codec here
    engine.receiveVoice(IAXC_FORMAT_GSM, junk, 0, 40);
    std::vector<uint8_t> huge(kMaxPayloadBytes + 1, 0xFF);
    engine.receiveVoice(IAXC_FORMAT_ULAW, huge.data(), huge.size(), 60);
    EXPECT_EQ(engine.receiveStats().dropped, 4);
    // The far end may switch codec mid-call.
    engine.receiveVoice(IAXC_FORMAT_ULAW, junk, 40, 80);
    EXPECT_EQ(engine.receiveStats().packets, 1);
}

TEST_F(EngineTest, ComfortNoiseIsSentOnceWhenSilenceStarts) {
    engine.setFilters(IAXC_FILTER_CN);
    engine.setSilenceThreshold(-40.0f);
    driver->capture = tone(1000, 8000, 1600);  // 200 ms of sound, then silence
    engine.startCall(IAXC_FORMAT_ULAW, recorder());
    ticks(100);
    int voice = 0, comfort = 0;
    for (const auto& s : sent) {
        if (s.format == kComfortNoiseFormat) {
            ++comfort;
            EXPECT_EQ(s.payload.size(), 1u);
        } else {
            ++voice;
        }
    }
    EXPECT_EQ(comfort, 1);
    EXPECT_GE(voice, 10);
    EXPECT_LT(voice, 40) << "nothing is sent through the silence";
    EXPECT_EQ(sent.back().format, kComfortNoiseFormat);
}

}  // namespace
}  // namespace voice::media
