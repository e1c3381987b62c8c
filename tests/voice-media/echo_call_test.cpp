// End to end: the engine calls the lab PBX's echo service, sends a 1 kHz
// tone read from a WAV file and records what comes back, for each codec.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "engine_events.h"
#include "iaxclient.h"
#include "pbx_fixture.h"
#include "tone_audio_files.h"

namespace voice::media {
namespace {

using labpbx::test::eventually;
using labpbx::test::sawCallState;
using labpbx::test::ToneAudioFiles;

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
    const bool echoed =
        eventually([&] { return audio.tonePlayed(tolerance, at1k, at700, at1400); }, 30000);
    iaxc_dump_call();
    iaxc_stop_processing_thread();
    iaxc_shutdown();
    EXPECT_TRUE(echoed) << "1 kHz " << at1k << ", 700 Hz " << at700 << ", 1400 Hz " << at1400;
    std::printf("format %d: 1 kHz amplitude %.0f (sent 10000)\n", format, at1k);
}

INSTANTIATE_TEST_SUITE_P(Codecs, EchoCall,
                         ::testing::Values(IAXC_FORMAT_GSM, IAXC_FORMAT_ULAW, IAXC_FORMAT_ALAW),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == IAXC_FORMAT_GSM ? "Gsm" : info.param == IAXC_FORMAT_ULAW ? "Ulaw" : "Alaw";
                         });

}  // namespace
}  // namespace voice::media
