// The far end of the density run's calls: an engine of its own, registered
// to the lab PBX as an extension, that calls one phone through the PBX,
// waits until the phone answers, talks for a while and waits until the
// phone releases. It then checks that audio went both ways through the
// PBX: frames from the phone arrived here, and the end of the phone's
// recording holds the tone sent from here.
//   bench_density_caller tone <wav>
//       writes the tone both sides play (1 kHz, 10 s: longer than a call)
//   bench_density_caller call <host:port> <user> <secret> <extension> <phone recording>
//       with QUENDRA_AUDIO_IN naming the tone; prints "talking" once the
//       call is up and has carried audio, then "ok ..." or "FAILED ...".
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <iaxclient.h>
#include "voice/media/wav_file.h"

namespace {

constexpr int kTalkMs = 1500;
// The tone is sent at 8000; G.711 and the phone's playout keep nearly all
// of it, a lost frame here and there takes a little; silence measures 0.
constexpr int kHeardAmplitude = 4000;

std::mutex g_lock;
std::condition_variable g_changed;
int g_registration = -1;  // last registration reply
int g_callState = -1;     // last state of call 0

int onEvent(iaxc_event e) {
    std::lock_guard<std::mutex> guard(g_lock);
    if (e.type == IAXC_EVENT_REGISTRATION) g_registration = e.ev.reg.reply;
    if (e.type == IAXC_EVENT_STATE && e.ev.call.callNo == 0) g_callState = e.ev.call.state;
    g_changed.notify_all();
    return 1;
}

bool waitFor(const std::function<bool()>& cond, int timeoutMs) {
    std::unique_lock<std::mutex> lock(g_lock);
    return g_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), cond);
}

std::vector<int16_t> tone() {
    std::vector<int16_t> samples(8000 * 10);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = int16_t(8000 * std::sin(2 * M_PI * 1000 * double(i) / 8000));
    return samples;
}

// Amplitude of the 1 kHz tone in the recording's last half second but the
// final 100 ms: the call's audio (the ring tone played before the answer is
// at other frequencies and earlier in the file). -1 when unreadable.
int toneAtEnd(const std::string& path) {
    std::vector<int16_t> samples;
    if (voice::media::readWavFile(path, samples) != voice::media::WavResult::Ok) return -1;
    const size_t window = 4000, skip = 800;
    if (samples.size() < window + skip) return 0;
    const int16_t* x = samples.data() + samples.size() - window - skip;
    double re = 0, im = 0;
    for (size_t i = 0; i < window; ++i) {
        re += x[i] * std::cos(2 * M_PI * 1000 * double(i) / 8000);
        im += x[i] * std::sin(2 * M_PI * 1000 * double(i) / 8000);
    }
    return int(2 * std::sqrt(re * re + im * im) / double(window));
}

int fail(const char* what) {
    std::printf("FAILED %s\n", what);
    std::fflush(stdout);
    iaxc_stop_processing_thread();
    iaxc_shutdown();
    return 1;
}

int call(const std::string& host, const std::string& user, const std::string& secret, const std::string& extension,
         const std::string& phoneRecording) {
    iaxc_set_preferred_source_udp_port(-1);
    if (iaxc_initialize(1) != 0) return fail("initialize");
    // G.711 keeps the tone's level, so what the phone heard can be judged
    // strictly (a vocoder such as GSM renders a pure tone at levels that
    // vary from call to call).
    iaxc_set_formats(IAXC_FORMAT_ULAW, IAXC_FORMAT_ULAW);
    iaxc_set_filters(0);
    iaxc_set_event_callback(onEvent);
    if (iaxc_start_processing_thread() != 0) return fail("thread");
    if (iaxc_register(user.c_str(), secret.c_str(), host.c_str()) < 0) return fail("register");
    if (!waitFor([] { return g_registration == IAXC_REGISTRATION_REPLY_ACK; }, 5000))
        return fail("not registered");

    const std::string dest = user + ":" + secret + "@" + host + "/" + extension;
    if (iaxc_call(dest.c_str()) != 0) return fail("call");
    if (!waitFor([] { return g_callState > 0 && (g_callState & IAXC_CALL_STATE_COMPLETE); }, 30000))
        return fail("not answered");
    std::this_thread::sleep_for(std::chrono::milliseconds(kTalkMs));
    int rtt = 0;
    iaxc_netstat local{}, remote{};
    iaxc_get_netstats(0, &rtt, &local, &remote);
    const int packets = local.packets;
    std::printf("talking packets=%d\n", packets);
    std::fflush(stdout);

    // The phone releases the call.
    if (!waitFor([] { return g_callState == IAXC_CALL_STATE_FREE; }, 15000)) return fail("not released");
    iaxc_stop_processing_thread();
    iaxc_shutdown();

    const int phoneHeard = toneAtEnd(phoneRecording);
    if (packets < kTalkMs / 20 / 2) {
        std::printf("FAILED only %d voice frames from the phone\n", packets);
        return 1;
    }
    if (phoneHeard < kHeardAmplitude) {
        std::printf("FAILED the tone in the phone's recording has amplitude %d\n", phoneHeard);
        return 1;
    }
    std::printf("ok frames-from-phone=%d tone-heard-by-phone=%d\n", packets, phoneHeard);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "tone") == 0) {
        const auto samples = tone();
        voice::media::WavWriter writer;
        return writer.open(argv[2]) && writer.write(samples.data(), samples.size()) ? 0 : 1;
    }
    if (argc == 7 && std::strcmp(argv[1], "call") == 0) return call(argv[2], argv[3], argv[4], argv[5], argv[6]);
    std::fprintf(stderr,
                 "usage: %s tone <wav>\n"
                 "       %s call <host:port> <user> <secret> <extension> <phone recording>\n",
                 argv[0], argv[0]);
    return 2;
}
