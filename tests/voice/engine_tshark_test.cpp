// Every frame the engine sends in a busy session (registration, calls both
// ways with authentication, DTMF, text, hold, transfer, voice, keep-alive
// answers, refusals, release) is decoded by tshark's IAX2 dissector without
// a malformed packet, an unknown field or an expert warning. The frames are
// taken as the peer received them and written into a capture file.
#include <arpa/inet.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <thread>

#include "engine_fixture.h"
#include "fake_media.h"
#include "tests/support/iax2/udp_endpoint.h"
#include "voice/iax2/frame.h"
#include "voice/iax2/protocol.h"

using namespace std::chrono_literals;

namespace {

bool haveTshark() {
    return std::system("command -v tshark > /dev/null 2>&1") == 0;
}

void put16(std::ofstream& f, uint16_t v) {
    f.write(reinterpret_cast<const char*>(&v), 2);
}
void put32(std::ofstream& f, uint32_t v) {
    f.write(reinterpret_cast<const char*>(&v), 4);
}

// A classic capture file of raw IPv4 packets (link type 101), each datagram
// wrapped in IPv4 and UDP headers from srcPort to dstPort on loopback.
void writeCapture(const std::string& path, const std::vector<std::vector<uint8_t>>& datagrams, uint16_t srcPort,
                  uint16_t dstPort) {
    std::ofstream f(path, std::ios::binary);
    put32(f, 0xa1b2c3d4);
    put16(f, 2);
    put16(f, 4);
    put32(f, 0);
    put32(f, 0);
    put32(f, 65535);
    put32(f, 101);
    uint32_t second = 1700000000;
    for (const auto& d : datagrams) {
        const uint16_t udpLen = static_cast<uint16_t>(8 + d.size());
        const uint16_t ipLen = static_cast<uint16_t>(20 + udpLen);
        std::vector<uint8_t> p(ipLen, 0);
        p[0] = 0x45;
        p[2] = static_cast<uint8_t>(ipLen >> 8);
        p[3] = static_cast<uint8_t>(ipLen);
        p[8] = 64;
        p[9] = 17;
        p[12] = 127, p[15] = 1, p[16] = 127, p[19] = 1;
        uint32_t sum = 0;
        for (int i = 0; i < 20; i += 2) sum += static_cast<uint32_t>((p[i] << 8) | p[i + 1]);
        while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
        p[10] = static_cast<uint8_t>(~sum >> 8);
        p[11] = static_cast<uint8_t>(~sum);
        p[20] = static_cast<uint8_t>(srcPort >> 8);
        p[21] = static_cast<uint8_t>(srcPort);
        p[22] = static_cast<uint8_t>(dstPort >> 8);
        p[23] = static_cast<uint8_t>(dstPort);
        p[24] = static_cast<uint8_t>(udpLen >> 8);
        p[25] = static_cast<uint8_t>(udpLen);
        std::copy(d.begin(), d.end(), p.begin() + 28);
        put32(f, second++);
        put32(f, 0);
        put32(f, ipLen);
        put32(f, ipLen);
        f.write(reinterpret_cast<const char*>(p.data()), static_cast<std::streamsize>(p.size()));
    }
}

std::string run(const std::string& command) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    ::pclose(p);
    return out;
}

// Whether the peer has received an IAX frame of this command.
bool receivedCommand(const iax2test::ScriptedPeer& peer, uint32_t command) {
    for (const auto& d : peer.received()) {
        iax2::DecodedFrame f;
        if (iax2::decodeFrame(d.bytes.data(), d.bytes.size(), f) == iax2::DecodeStatus::Ok &&
            f.kind == iax2::FrameKind::Full && f.full.type == iax2::frametype::Iax && f.full.subclass == command)
            return true;
    }
    return false;
}

}  // namespace

using Tshark = EngineTest;

TEST_F(Tshark, EveryFrameTheEngineSendsDecodesCleanly) {
    if (!haveTshark()) GTEST_SKIP() << "tshark is not installed";
    const uint16_t enginePort = static_cast<uint16_t>(iaxc_get_bind_port());

    // Registration with token and challenge.
    const int reg = iaxc_register("101", "secret", peerHost().c_str());
    ASSERT_TRUE(log.waitForRegistrations(1, 3000));

    // Outgoing call with everything the agent can do on it.
    ASSERT_EQ(iaxc_call(dial("200@sales").c_str()), 0);
    int out = 0;
    ASSERT_TRUE(peer->waitFor(
        [&] {
            const auto ids = peer->callIds();
            return !ids.empty() && peer->call(out = ids[0]).accepted;
        },
        3000));
    peer->ring(out);
    peer->answer(out);
    ASSERT_TRUE(log.waitForState(0, kActive | kOutgoing | kComplete | kSelected, 2000));
    const std::vector<uint8_t> gsm(33, 0x21);
    for (uint32_t t = 0; t < 100; t += 20) fakemedia::sendFrame(gsm.data(), gsm.size(), t);
    for (char d : std::string("0123456789*#ABCD")) iaxc_send_dtmf(d);
    iaxc_send_text("note");
    peer->sendIax(out, iax2::cmd::Ping);
    peer->sendIax(out, iax2::cmd::LagRq);
    ASSERT_EQ(iaxc_quelch(0, 1), 0);
    ASSERT_EQ(iaxc_unquelch(0), 0);
    ASSERT_EQ(iaxc_quelch(0, 0), 0);
    ASSERT_EQ(iaxc_unquelch(0), 0);
    // The engine pings of its own and answers the peer's PING and LAGRQ.
    ASSERT_TRUE(peer->waitFor(
        [&] {
            return peer->call(out).pings >= 1 && receivedCommand(*peer, iax2::cmd::Pong) &&
                   receivedCommand(*peer, iax2::cmd::LagRp);
        },
        10000));
    iaxc_blind_transfer_call(0, "300");
    ASSERT_TRUE(log.waitForState(0, IAXC_CALL_STATE_FREE, 2000));

    // Incoming calls: answered and dumped, rejected, and one refused busy.
    const int in = peer->placeCall(enginePort);
    ASSERT_TRUE(log.waitForState(0, kActive | kRinging, 2000));
    iaxc_answer_call(0);
    ASSERT_TRUE(log.waitForState(0, kActive | kComplete | kSelected, 2000));
    ASSERT_TRUE(peer->waitFor([&] { return peer->call(in).answeredByEngine; }, 2000));
    const int second = peer->placeCall(enginePort);
    ASSERT_TRUE(log.waitForState(1, kActive | kRinging, 2000));
    const int third = peer->placeCall(enginePort);
    ASSERT_TRUE(peer->waitFor([&] { return peer->call(third).busyFromEngine; }, 2000));
    peer->hangup(third);
    iaxc_send_busy_on_incoming_call(1);
    iaxc_reject_call_number(1);
    iaxc_dump_call();
    ASSERT_TRUE(peer->waitFor([&] { return peer->call(in).ended && peer->call(second).ended; }, 2000));

    // A frame for a call the engine does not know: INVAL.
    iax2test::UdpEndpoint stranger;
    const uint8_t bogus[] = {0x81, 0x00, 0x12, 0x34, 0, 0, 0, 9, 0, 0, 6, 2};
    stranger.sendTo(iax2test::loopback(enginePort), bogus, sizeof bogus);
    std::vector<uint8_t> inval;
    uint8_t buf[64];
    sockaddr_in from{};
    for (int i = 0; i < 200 && inval.empty(); ++i) {
        std::this_thread::sleep_for(2ms);
        const long n = stranger.receive(buf, sizeof buf, from);
        if (n > 0) inval.assign(buf, buf + n);
    }
    ASSERT_EQ(inval.size(), 12u);

    // Release of the registration.
    EXPECT_EQ(iaxc_unregister(reg), 1);
    ASSERT_TRUE(peer->waitFor([&] { return peer->counters().releases == 1; }, 3000));
    std::this_thread::sleep_for(50ms);

    std::vector<std::vector<uint8_t>> frames;
    for (const auto& d : peer->received()) frames.push_back(d.bytes);
    frames.push_back(inval);
    ASSERT_GT(frames.size(), 40u);
    char path[] = "/tmp/voice-tshark-XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    writeCapture(path, frames, enginePort, peer->port());
    const std::string decode = "-d udp.port==" + std::to_string(peer->port()) + ",iax2";
    const std::string detail = run("tshark -n -r " + std::string(path) + " " + decode + " -V 2>/dev/null");
    if (std::getenv("VOICE_KEEP_CAPTURE"))
        std::printf("capture kept in %s\n", path);
    else
        ::unlink(path);

    // Every frame was taken as IAX2, and nothing in any of them was
    // malformed, unknown or worth an expert's warning.
    size_t decoded = 0;
    for (size_t pos = 0; (pos = detail.find("Inter-Asterisk eXchange v2", pos)) != std::string::npos; ++pos)
        ++decoded;
    EXPECT_EQ(decoded, frames.size());
    EXPECT_EQ(detail.find("Malformed"), std::string::npos) << detail;
    EXPECT_EQ(detail.find("Unknown"), std::string::npos) << detail;
    EXPECT_EQ(detail.find("unknown"), std::string::npos) << detail;
    EXPECT_EQ(detail.find("Expert Info"), std::string::npos) << detail;
    // The dissector saw the exchanges it should have.
    for (const char* expected : {"REGREQ", "REGREL", "NEW", "AUTHREP", "ACCEPT", "HANGUP", "REJECT", "QUELCH",
                                 "TRANSFER", "PONG", "LAGRP", "INVAL", "ACK", "PING"})
        EXPECT_NE(detail.find(expected), std::string::npos) << expected;
}
