// The voice engine calls the lab PBX's echo service with a 1 kHz tone as its
// microphone (a WAV file) and records what it plays: the PBX answers with
// ANSWER and "stop indications" (CONTROL -1) before its one full voice
// frame, so the tone comes back only when the engine takes every control
// frame in sequence and acknowledges it.
#include <iaxclient.h>
#include "engine_event_store.h"
#include "pbx_fixture.h"
#include "tone_audio_files.h"

namespace labpbx::test {
namespace {

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
    const bool allAcknowledged = eventually(
        [&] {
            const auto calls = pbx->calls();
            unacked = pbx->counts().unacked;
            return calls.size() == 1 && calls[0].state == "up" && unacked == 0;
        },
        5000);
    // Once the echo is there, the last 400 ms played hold the tone at its
    // level and nothing else; how soon is not judged.
    double at1k = 0, at700 = 0, at1400 = 0;
    const bool echoed = eventually([&] { return audio.tonePlayed(3000, at1k, at700, at1400); }, 30000);
    iaxc_dump_call();
    iaxc_stop_processing_thread();
    iaxc_shutdown();

    EXPECT_TRUE(allAcknowledged) << "frames of the PBX left unacknowledged: " << unacked;
    EXPECT_TRUE(echoed) << "the echoed tone was not played: 1 kHz " << at1k << ", 700 Hz " << at700 << ", 1400 Hz "
                        << at1400;
}

}  // namespace
}  // namespace labpbx::test
