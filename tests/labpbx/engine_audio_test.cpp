// The voice engine calls the lab PBX's echo service with a 1 kHz tone as its
// microphone (a WAV file) and records what it plays: the PBX answers with
// ANSWER and "stop indications" (CONTROL -1) before its one full voice
// frame, so the tone comes back only when the engine takes every control
// frame in sequence and acknowledges it.
#include <unistd.h>

#include <cstdio>

#include "engine_events.h"
#include "iaxclient.h"
#include "pbx_fixture.h"
#include "tone_audio_files.h"

namespace labpbx::test {
namespace {

using voice::media::testing::amplitudeAt;

using EngineAudio = PbxTest;

TEST_F(EngineAudio, EchoServiceReturnsTheToneWithEveryFrameAcknowledged) {
    ToneAudioFiles audio("labpbx_echo");
    ASSERT_TRUE(audio.ok);
    const int call = startEngineAndCall(pbx->iaxPort(), IAXC_FORMAT_GSM,
                                        IAXC_FORMAT_GSM | IAXC_FORMAT_ULAW | IAXC_FORMAT_ALAW, "600");
    ASSERT_GE(call, 0);
    ASSERT_TRUE(eventually([&] { return sawCallState(call, IAXC_CALL_STATE_COMPLETE); }, 3000));
    // Every frame the PBX sent in the call (ACCEPT, ANSWER, stop
    // indications, the full voice frame) is acknowledged by the engine.
    size_t unacked = 0;
    const bool allAcknowledged = eventually([&] {
        const auto calls = pbx->calls();
        unacked = pbx->counts().unacked;
        return calls.size() == 1 && calls[0].state == "up" && unacked == 0;
    }, 1500);
    usleep(1500 * 1000);
    iaxc_dump_call();
    iaxc_stop_processing_thread();
    iaxc_shutdown();

    EXPECT_TRUE(allAcknowledged) << "frames of the PBX left unacknowledged: " << unacked;
    std::vector<int16_t> played;
    const int16_t* window = nullptr;
    size_t count = 0;
    ASSERT_TRUE(audio.playedWindow(played, window, count));
    const double at1k = amplitudeAt(window, count, ToneAudioFiles::kToneHz);
    std::printf("1 kHz amplitude played: %.0f (sent %.0f)\n", at1k, ToneAudioFiles::kToneAmplitude);
    EXPECT_NEAR(at1k, ToneAudioFiles::kToneAmplitude, 3000) << "the echoed tone was not played";
}

}  // namespace
}  // namespace labpbx::test
