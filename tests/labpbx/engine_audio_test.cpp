// The voice engine calls the lab PBX's echo service with a 1 kHz tone as its
// microphone (a WAV file) and records what it plays: the PBX answers with
// ANSWER and "stop indications" (CONTROL -1) before its one full voice
// frame, so the tone comes back only when the engine takes every control
// frame in sequence and acknowledges it.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "audio_test_support.h"
#include "iaxclient.h"
#include "media/wav_file.h"
#include "pbx_fixture.h"

namespace labpbx::test {
namespace {

using voice::media::testing::amplitudeAt;

std::mutex g_lock;
std::vector<iaxc_event> g_events;

int onEvent(iaxc_event e) {
    std::lock_guard<std::mutex> guard(g_lock);
    g_events.push_back(e);
    return 1;
}

bool engineRegistered() {
    std::lock_guard<std::mutex> guard(g_lock);
    for (const auto& e : g_events)
        if (e.type == IAXC_EVENT_REGISTRATION && e.ev.reg.reply == IAXC_REGISTRATION_REPLY_ACK)
            return true;
    return false;
}

bool complete(int callNo) {
    std::lock_guard<std::mutex> guard(g_lock);
    for (const auto& e : g_events)
        if (e.type == IAXC_EVENT_STATE && e.ev.call.callNo == callNo &&
            (e.ev.call.state & IAXC_CALL_STATE_COMPLETE))
            return true;
    return false;
}

class EngineAudio : public PbxTest {
protected:
    void SetUp() override {
        PbxTest::SetUp();
        const std::string prefix =
            ::testing::TempDir() + "labpbx_echo_" + std::to_string(::getpid());
        inPath = prefix + "_in.wav";
        outPath = prefix + "_out.wav";
        voice::media::WavWriter writer;
        ASSERT_TRUE(writer.open(inPath));
        const auto signal = voice::media::testing::tone(1000, 10000, 8000 * 10);
        ASSERT_TRUE(writer.write(signal.data(), signal.size()));
        writer.close();
        ::setenv("QUENDRA_AUDIO_IN", inPath.c_str(), 1);
        ::setenv("QUENDRA_AUDIO_OUT", outPath.c_str(), 1);
        std::lock_guard<std::mutex> guard(g_lock);
        g_events.clear();
    }
    void TearDown() override {
        ::unsetenv("QUENDRA_AUDIO_IN");
        ::unsetenv("QUENDRA_AUDIO_OUT");
        std::remove(inPath.c_str());
        std::remove(outPath.c_str());
        PbxTest::TearDown();
    }
    std::string inPath, outPath;
};

TEST_F(EngineAudio, EchoServiceReturnsTheToneWithEveryFrameAcknowledged) {
    iaxc_set_preferred_source_udp_port(-1);
    ASSERT_EQ(iaxc_initialize(2), 0);
    iaxc_set_formats(IAXC_FORMAT_GSM, IAXC_FORMAT_GSM | IAXC_FORMAT_ULAW | IAXC_FORMAT_ALAW);
    iaxc_set_filters(0);  // the level is judged: no gain control, no noise suppression
    iaxc_set_event_callback(onEvent);
    ASSERT_EQ(iaxc_start_processing_thread(), 0);
    const std::string host = "127.0.0.1:" + std::to_string(pbx->iaxPort());
    ASSERT_GE(iaxc_register("2001", "secret1", host.c_str()), 0);
    ASSERT_TRUE(eventually(engineRegistered, 3000));

    const std::string dest = "2001:secret1@" + host + "/600";
    const int call = iaxc_call(dest.c_str());
    ASSERT_GE(call, 0);
    ASSERT_TRUE(eventually([&] { return complete(call); }, 3000));
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
    std::vector<int16_t> out;
    ASSERT_EQ(voice::media::readWavFile(outPath, out), voice::media::WavResult::Ok);
    ASSERT_GT(out.size(), 8000u);
    // The echo comes after the round trip and the jitter buffer: judge the
    // 400 ms that end 200 ms before the hang-up.
    const int16_t* window = out.data() + out.size() - 4800;
    const double at1k = amplitudeAt(window, 3200, 1000);
    std::printf("1 kHz amplitude played: %.0f (sent 10000)\n", at1k);
    EXPECT_NEAR(at1k, 10000, 3000) << "the echoed tone was not played";
}

}  // namespace
}  // namespace labpbx::test
