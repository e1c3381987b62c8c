// Signalling benchmarks:
//   register - registration round trips against the scripted peer on
//              loopback (call token, MD5 challenge, REGACK): the whole
//              round trip, and the engine's own share of it (time in
//              iaxc_register plus the network thread's work on the replies);
//              the rest is the network, the peer and thread wake-ups.
//   frames   - frames one engine thread handles per second on an answered
//              call: mini voice frames, and sequenced full frames (PING,
//              each answered with a PONG), handed straight to the engine's
//              receive path; and mini frames through the socket, as the
//              network thread takes them.
// Usage: bench_voice_signalling [register] [frames] [--count N]
#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <iaxclient.h>
#include "tests/support/iax2/scripted_peer.h"
#include "tests/support/iax2/udp_endpoint.h"
#include "voice/engine/tuning.h"
#include "voice/iax2/dialog.h"
#include "voice/iax2/ie.h"
#include "voice/iax2/protocol.h"

using Clock = std::chrono::steady_clock;

namespace {

std::mutex g_mutex;
std::condition_variable g_changed;
int g_registrations = 0;

int onEvent(iaxc_event e) {
    if (e.type == IAXC_EVENT_REGISTRATION) {
        std::lock_guard<std::mutex> lock(g_mutex);
        ++g_registrations;
        g_changed.notify_all();
    }
    return 1;
}

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void startEngine() {
    setenv("QUENDRA_AUDIO_SILENT", "1", 1);
    iaxc_set_preferred_source_udp_port(-1);
    if (iaxc_initialize(2) != 0) {
        std::fprintf(stderr, "engine did not start\n");
        std::exit(1);
    }
    iaxc_set_formats(IAXC_FORMAT_GSM, IAXC_FORMAT_GSM | IAXC_FORMAT_ULAW | IAXC_FORMAT_ALAW);
    iaxc_set_event_callback(onEvent);
    iaxc_start_processing_thread();
}

void stopEngine() {
    iaxc_stop_processing_thread();
    iaxc_shutdown();
}

void benchRegister(int count) {
    iax2test::ScriptedPeer peer;
    peer.addUser("101", "secret");
    startEngine();
    const std::string host = "127.0.0.1:" + std::to_string(peer.port());
    std::vector<double> total, engine;
    for (int i = 0; i < count; ++i) {
        const int before = g_registrations;
        const uint64_t busyBefore = voice::engine::networkBusyNanos();
        const auto t0 = Clock::now();
        const int id = iaxc_register("101", "secret", host.c_str());
        const auto t1 = Clock::now();
        {
            std::unique_lock<std::mutex> lock(g_mutex);
            g_changed.wait(lock, [&] { return g_registrations > before; });
        }
        const auto t2 = Clock::now();
        const double busyMs = double(voice::engine::networkBusyNanos() - busyBefore) / 1e6;
        total.push_back(ms(t2 - t0));
        engine.push_back(ms(t1 - t0) + busyMs);
        iaxc_unregister(id);
        peer.waitFor([&] { return peer.counters().releases == i + 1; }, 2000);
    }
    stopEngine();
    std::sort(total.begin(), total.end());
    std::sort(engine.begin(), engine.end());
    const auto pct = [](const std::vector<double>& v, double p) {
        return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
    };
    std::printf("register: %d round trips (REGREQ, CALLTOKEN, REGREQ, REGAUTH, REGREQ, REGACK, ACK)\n", count);
    std::printf("  round trip   median %.3f ms  p95 %.3f ms\n", pct(total, 0.5), pct(total, 0.95));
    std::printf("  engine time  median %.3f ms  p95 %.3f ms\n", pct(engine, 0.5), pct(engine, 0.95));
    std::printf("  network, peer and wake-ups  median %.3f ms\n", pct(total, 0.5) - pct(engine, 0.5));
}

// Acts as the far end of one call, speaking to the engine through its
// receive path.
struct FarEnd {
    iax2test::UdpEndpoint socket;
    sockaddr_in address = iax2test::loopback(socket.port());
    iax2::Dialog dialog{777, iax2test::nowMs(), iax2::RetryPolicy{}};

    void inject(const uint8_t* p, size_t n) { voice::engine::injectDatagram(p, n, address); }

    // Feeds the engine's replies to our dialog, so our frames count as
    // acknowledged and the retransmission queue stays empty.
    void drainReplies() {
        uint8_t buf[iax2::kMaxDatagram];
        sockaddr_in from{};
        long n;
        while ((n = socket.receive(buf, sizeof buf, from)) > 0) {
            iax2::DecodedFrame f;
            if (iax2::decodeFrame(buf, size_t(n), f) == iax2::DecodeStatus::Ok &&
                f.kind == iax2::FrameKind::Full) {
                if (dialog.remoteCall() == 0) dialog.setRemoteCall(f.full.sourceCall);
                dialog.receive(f.full);
            }
        }
    }
};

void benchFrames(int count) {
    startEngine();
    FarEnd far;
    uint8_t ies[64];
    iax2::IeWriter w(ies, sizeof ies);
    w.addU16(iax2::ie::Version, 2);
    w.addString(iax2::ie::CallingNumber, "5551234");
    w.addU32(iax2::ie::Format, iax2::codec::Gsm);
    w.addU32(iax2::ie::Capability, 14);
    uint8_t buf[iax2::kMaxDatagram];
    size_t n = far.dialog.build(iax2::OutFrame::of(iax2::frametype::Iax, iax2::cmd::New, w.data(), w.size()),
                                iax2test::nowMs(), buf, sizeof buf);
    far.inject(buf, n);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    far.drainReplies();
    iaxc_answer_call(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    far.drainReplies();
    if (far.dialog.remoteCall() == 0) {
        std::fprintf(stderr, "call not set up\n");
        std::exit(1);
    }

    // Mini voice frames, straight into the receive path.
    uint8_t mini[4 + 33] = {};
    mini[0] = 777 >> 8;
    mini[1] = 777 & 0xFF;
    // A first full voice frame sets the format for the minis.
    uint8_t gsm[33] = {};
    iax2::OutFrame voice = iax2::OutFrame::of(iax2::frametype::Voice, iax2::codec::Gsm, gsm, 33);
    voice.timestamp = 20;
    n = far.dialog.build(voice, iax2test::nowMs(), buf, sizeof buf);
    far.inject(buf, n);
    Clock::duration spent{};
    for (int i = 0; i < count; ++i) {
        const uint16_t ts = uint16_t(40 + 20 * i);
        mini[2] = uint8_t(ts >> 8);
        mini[3] = uint8_t(ts);
        const auto t0 = Clock::now();
        far.inject(mini, sizeof mini);
        spent += Clock::now() - t0;
    }
    const double miniRate = count / std::chrono::duration<double>(spent).count();

    // Sequenced full frames: each PING is acknowledged and answered.
    spent = {};
    const int pings = count / 10;
    for (int i = 0; i < pings; ++i) {
        n = far.dialog.build(iax2::OutFrame::of(iax2::frametype::Iax, iax2::cmd::Ping), iax2test::nowMs(), buf,
                             sizeof buf);
        const auto t0 = Clock::now();
        far.inject(buf, n);
        spent += Clock::now() - t0;
        far.drainReplies();
    }
    const double pingRate = pings / std::chrono::duration<double>(spent).count();

    // Mini frames through the socket, as the network thread receives them.
    const uint64_t busyBefore = voice::engine::networkBusyNanos();
    const sockaddr_in engine = iax2test::loopback(uint16_t(iaxc_get_bind_port()));
    const int sent = count / 10;
    for (int i = 0; i < sent; ++i) {
        const uint16_t ts = uint16_t(20 * i);
        mini[2] = uint8_t(ts >> 8);
        mini[3] = uint8_t(ts);
        far.socket.sendTo(engine, mini, sizeof mini);
        if (i % 64 == 63) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const double busy = double(voice::engine::networkBusyNanos() - busyBefore) / 1e9;
    stopEngine();
    std::printf("frames: one engine thread, answered GSM call, media side behind it\n");
    std::printf("  mini voice frames     %10.0f frames/s\n", miniRate);
    std::printf("  PING (+ACK, PONG out) %10.0f frames/s\n", pingRate);
    std::printf("  mini via the socket   %10.0f frames/s of network-thread work (%d sent)\n", sent / busy, sent);
}

}  // namespace

int main(int argc, char** argv) {
    bool doRegister = false, doFrames = false;
    int count = 200000;
    int registrations = 200;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "register")
            doRegister = true;
        else if (a == "frames")
            doFrames = true;
        else if (a == "--count" && i + 1 < argc)
            registrations = count = std::atoi(argv[++i]);
    }
    if (!doRegister && !doFrames) doRegister = doFrames = true;
    if (doRegister) benchRegister(std::min(registrations, 2000));
    if (doFrames) benchFrames(std::max(count, 1000));
    return 0;
}
