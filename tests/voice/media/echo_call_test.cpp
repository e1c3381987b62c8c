// End to end: the engine calls the lab PBX's echo service, sends a 1 kHz
// tone read from a WAV file and records what comes back, for each codec.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include <unistd.h>

#include <iaxclient.h>
#include "audio_test_support.h"
#include "tests/labpbx/pbx/engine_event_store.h"
#include "tests/labpbx/pbx/pbx_fixture.h"
#include "tests/labpbx/pbx/tone_audio_files.h"
#include "voice/engine/tuning.h"

namespace voice::media {
namespace {

using labpbx::test::EngineEvents;
using labpbx::test::eventually;
using labpbx::test::sawCallState;
using labpbx::test::sawRegistration;
using labpbx::test::ToneAudioFiles;
using testing::tone;

class EchoCall : public labpbx::test::PbxTest, public ::testing::WithParamInterface<int> {};

TEST_P(EchoCall, AToneComesBackAtItsFrequencyAndLevel) {
    const int format = GetParam();
    ToneAudioFiles audio("voice_media_echo_" + std::to_string(format));
    ASSERT_TRUE(audio.ok);
    // The PBX takes the first codec of its own list that the phone offers,
    // so the phone offers only the codec under test.
    const int call = labpbx::test::startEngineAndCall(pbx->iaxPort(), format, format, "600");
    ASSERT_GE(call, 0);
    iaxc_event complete{};
    ASSERT_TRUE(eventually([&] { return sawCallState(call, IAXC_CALL_STATE_COMPLETE, &complete); }, 3000));
    EXPECT_EQ(complete.ev.call.format, format) << "the call runs in the codec offered";
    // The echo arrives after the round trip and the jitter buffer; once it
    // is there, the last 400 ms played hold the tone at its level and
    // nothing else. How soon is not judged: a busy machine is slower.
    const double tolerance = format == IAXC_FORMAT_GSM ? 3000 : 500;
    double at1k = 0, at700 = 0, at1400 = 0;
    const bool echoed = eventually([&] { return audio.tonePlayed(tolerance, at1k, at700, at1400); }, 30000);
    iaxc_dump_call();
    iaxc_stop_processing_thread();
    iaxc_shutdown();
    EXPECT_TRUE(echoed) << "1 kHz " << at1k << ", 700 Hz " << at700 << ", 1400 Hz " << at1400;
    std::printf("format %d: 1 kHz amplitude %.0f (sent 10000)\n", format, at1k);
}

// The whole engine: the media clock ticks for each call with audio and each
// sound, and rests once the last of them has ended.
class EngineMediaClock : public labpbx::test::PbxTest {
protected:
    void SetUp() override {
        PbxTest::SetUp();
        ::setenv("QUENDRA_AUDIO_SILENT", "1", 1);
        EngineEvents::clear();
    }
    void TearDown() override {
        iaxc_stop_processing_thread();
        iaxc_shutdown();
        ::unsetenv("QUENDRA_AUDIO_SILENT");
        PbxTest::TearDown();
    }
    // Calls the echo service and waits until the call is up.
    int callEcho(const std::string& host) {
        EngineEvents::clear();
        const std::string dest = "2001:secret1@" + host + "/600";
        const int call = iaxc_call(dest.c_str());
        EXPECT_GE(call, 0);
        EXPECT_TRUE(eventually([&] { return sawCallState(call, IAXC_CALL_STATE_COMPLETE); }, 3000));
        return call;
    }
};

TEST_F(EngineMediaClock, RunsForEachCallAndSoundAndStopsWhenTheLastEnds) {
    using voice::engine::mediaClockState;
    iaxc_set_preferred_source_udp_port(-1);
    ASSERT_EQ(iaxc_initialize(2), 0);
    iaxc_set_event_callback(EngineEvents::onEvent);
    ASSERT_EQ(iaxc_start_processing_thread(), 0);
    const std::string host = "127.0.0.1:" + std::to_string(pbx->iaxPort());
    ASSERT_GE(iaxc_register("2001", "secret1", host.c_str()), 0);
    ASSERT_TRUE(eventually([] { return sawRegistration(IAXC_REGISTRATION_REPLY_ACK); }, 3000));
    ASSERT_TRUE(eventually([] { return !mediaClockState().ticking; }, 3000)) << "registered, no call, no sound";
    const auto idle = mediaClockState();

    callEcho(host);
    ASSERT_TRUE(eventually([] { return mediaClockState().ticking; }, 3000));
    EXPECT_EQ(mediaClockState().starts, idle.starts + 1);
    iaxc_dump_call();
    ASSERT_TRUE(eventually([] { return !mediaClockState().ticking; }, 3000)) << "the last call ended";
    EXPECT_EQ(mediaClockState().stops, idle.stops + 1);

    auto beep = tone(1000, 6000, 1600);  // 200 ms
    iaxc_sound sound{beep.data(), long(beep.size()), 0, 0, 0, 0, 0, nullptr};
    ASSERT_GT(iaxc_play_sound(&sound, 1), 0);
    ASSERT_TRUE(eventually([&] { return mediaClockState().stops == idle.stops + 2; }, 3000))
        << "it ticked for the sound and stopped after it";
    EXPECT_EQ(mediaClockState().starts, idle.starts + 2);

    callEcho(host);
    ASSERT_TRUE(eventually([] { return mediaClockState().ticking; }, 3000)) << "the next call starts it again";
    EXPECT_EQ(mediaClockState().starts, idle.starts + 3);
    iaxc_dump_call();
    ASSERT_TRUE(eventually([] { return !mediaClockState().ticking; }, 3000));
    EXPECT_EQ(mediaClockState().stops, idle.stops + 3);
}

INSTANTIATE_TEST_SUITE_P(Codecs, EchoCall, ::testing::Values(IAXC_FORMAT_GSM, IAXC_FORMAT_ULAW, IAXC_FORMAT_ALAW),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == IAXC_FORMAT_GSM    ? "Gsm"
                                    : info.param == IAXC_FORMAT_ULAW ? "Ulaw"
                                                                     : "Alaw";
                         });

}  // namespace
}  // namespace voice::media
