// Arbitrary datagrams into the engine as if they came from its peer: the
// session logic of calls, registrations and keep-alives. The first byte
// steers the datagram at one of the dialogs the engine keeps, so the
// fuzzer reaches past the unknown-call path.
#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include <iaxclient.h>
#include "voice/engine/tuning.h"

namespace {

constexpr uint16_t kPeerPort = 9;  // discard: nothing answers there

sockaddr_in peer() {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(kPeerPort);
    return a;
}

int ignoreEvent(iaxc_event) {
    return 1;
}

void bringUp() {
    voice::engine::Tuning t;
    t.retry = iax2::RetryPolicy{5, 1, 20, 2, 2};
    t.firstPingMs = 1;
    t.pingIntervalMs = 5;
    voice::engine::setTuning(t);
    iaxc_set_preferred_source_udp_port(-1);
    iaxc_initialize(2);
    iaxc_set_formats(IAXC_FORMAT_GSM, IAXC_FORMAT_GSM | IAXC_FORMAT_ULAW | IAXC_FORMAT_ALAW);
    iaxc_register("101", "secret", "127.0.0.1:9");
    iaxc_set_event_callback(ignoreEvent);
}

}  // namespace

// The engine keeps state from one datagram to the next (dialogs, queued
// events), which libFuzzer's per-input leak check would take for leaks and
// stop to scan for at every input: it is switched off here. Leaks at exit
// are still reported by the sanitizer builds of the tests.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static std::vector<char*> args;
    args.assign(*argv, *argv + *argc);
    static char noLeakCheck[] = "-detect_leaks=0";
    args.push_back(noLeakCheck);
    args.push_back(nullptr);
    *argc = static_cast<int>(args.size()) - 1;
    *argv = args.data();
    bringUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    if (voice::engine::openDialogCount() > 64) {
        iaxc_shutdown();
        bringUp();
    }
    if (iaxc_first_free_call() >= 0 && (data[0] & 0x80)) iaxc_call("101:secret@127.0.0.1:9/200");
    std::vector<uint8_t> frame(data + 1, data + size);
    const auto numbers = voice::engine::openCallNumbers();
    // Aim a full frame at an open dialog (keeping the R bit it carries).
    if (frame.size() >= 4 && (frame[0] & 0x80) && !numbers.empty() && (data[0] & 0x40)) {
        const uint16_t n = numbers[data[0] % numbers.size()];
        frame[2] = static_cast<uint8_t>((frame[2] & 0x80) | (n >> 8));
        frame[3] = static_cast<uint8_t>(n);
    }
    voice::engine::injectDatagram(frame.data(), frame.size(), peer());
    // The application's side of a call now and then.
    switch (data[0] & 0x0F) {
        case 1:
            iaxc_answer_call(data[0] >> 4 & 1);
            break;
        case 2:
            iaxc_dump_call();
            break;
        case 3:
            iaxc_quelch(0, 1);
            break;
        case 4:
            iaxc_unquelch(0);
            break;
        case 5:
            iaxc_send_dtmf('5');
            break;
        case 6:
            iaxc_select_call(1);
            break;
        case 7:
            iaxc_blind_transfer_call(0, "300");
            break;
        default:
            break;
    }
    return 0;
}
