// End to end: the engine calls the lab PBX's echo service, sends a 1 kHz
// tone read from a WAV file and records what comes back, for each codec.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <mutex>
#include <vector>

#include <unistd.h>

#include "audio_test_support.h"
#include "iaxclient.h"
#include "media/wav_file.h"
#include "pbx_fixture.h"

namespace voice::media {
namespace {

using labpbx::test::eventually;
using testing::amplitudeAt;
using testing::tone;

std::mutex g_lock;
std::vector<iaxc_event> g_events;

int onEvent(iaxc_event e) {
    std::lock_guard<std::mutex> guard(g_lock);
    g_events.push_back(e);
    return 1;
}

// The format of the first state event of the call with all of bits, or -1.
int stateFormat(int callNo, int bits) {
    std::lock_guard<std::mutex> guard(g_lock);
    for (const auto& e : g_events) {
        if (e.type == IAXC_EVENT_STATE && e.ev.call.callNo == callNo && (e.ev.call.state & bits) == bits)
            return e.ev.call.format;
    }
    return -1;
}

bool sawRegistration() {
    std::lock_guard<std::mutex> guard(g_lock);
    for (const auto& e : g_events) {
        if (e.type == IAXC_EVENT_REGISTRATION && e.ev.reg.reply == IAXC_REGISTRATION_REPLY_ACK) return true;
    }
    return false;
}

class EchoCall : public labpbx::test::PbxTest, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        PbxTest::SetUp();
        const std::string prefix = ::testing::TempDir() + "voice_media_echo_" + std::to_string(GetParam()) + "_" +
                                   std::to_string(::getpid());
        inPath = prefix + "_in.wav";
        outPath = prefix + "_out.wav";
        WavWriter writer;
        ASSERT_TRUE(writer.open(inPath));
        const auto signal = tone(1000, 10000, 8000 * 10);
        ASSERT_TRUE(writer.write(signal.data(), signal.size()));
        writer.close();
        ::setenv("QUENDRA_AUDIO_IN", inPath.c_str(), 1);
        ::setenv("QUENDRA_AUDIO_OUT", outPath.c_str(), 1);
        {
            std::lock_guard<std::mutex> guard(g_lock);
            g_events.clear();
        }
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

TEST_P(EchoCall, AToneComesBackAtItsFrequencyAndLevel) {
    const int format = GetParam();
    iaxc_set_preferred_source_udp_port(-1);
    ASSERT_EQ(iaxc_initialize(2), 0);
    iaxc_set_formats(format, IAXC_FORMAT_GSM | IAXC_FORMAT_ULAW | IAXC_FORMAT_ALAW);
    iaxc_set_filters(0);  // the level is checked: no gain control, no noise suppression
    iaxc_set_event_callback(onEvent);
    ASSERT_EQ(iaxc_start_processing_thread(), 0);
    const std::string host = "127.0.0.1:" + std::to_string(pbx->iaxPort());
    ASSERT_GE(iaxc_register("2001", "secret1", host.c_str()), 0);
    ASSERT_TRUE(eventually(sawRegistration, 3000));

    const std::string dest = "2001:secret1@" + host + "/600";
    const int call = iaxc_call(dest.c_str());
    ASSERT_GE(call, 0);
    ASSERT_TRUE(eventually([&] { return stateFormat(call, IAXC_CALL_STATE_COMPLETE) >= 0; }, 3000));
    EXPECT_EQ(stateFormat(call, IAXC_CALL_STATE_COMPLETE), format) << "the call runs in the codec asked for";
    // The echo arrives after the round trip and the jitter buffer; once it
    // is there, the last 400 ms played hold the tone at its level and
    // nothing else. How soon is not judged: a busy machine is slower.
    const double tolerance = format == IAXC_FORMAT_GSM ? 3000 : 500;
    double at1k = 0, at700 = 0, at1400 = 0;
    const bool echoed = eventually(
        [&] {
            std::vector<int16_t> out;
            if (readWavFile(outPath, out) != WavResult::Ok || out.size() < 8000u) return false;
            const int16_t* window = out.data() + out.size() - 3200;
            at1k = amplitudeAt(window, 3200, 1000);
            at700 = amplitudeAt(window, 3200, 700);
            at1400 = amplitudeAt(window, 3200, 1400);
            return std::abs(at1k - 10000) <= tolerance && at700 < at1k / 20 && at1400 < at1k / 20;
        },
        30000);
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
