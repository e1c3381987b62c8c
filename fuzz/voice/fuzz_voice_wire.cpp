// One datagram through everything a receiver does with it before any
// engine state: header, elements and their typed readings, and a dialog's
// sequencing, acknowledgement and retransmission bookkeeping.
#include <cstddef>
#include <cstdint>

#include "voice/iax2/dialog.h"
#include "voice/iax2/frame.h"
#include "voice/iax2/ie.h"
#include "voice/iax2/protocol.h"

using namespace iax2;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Dialog dialog(7, 0, RetryPolicy{});
    static uint64_t clock = 0;
    DecodedFrame f;
    if (decodeFrame(data, size, f) != DecodeStatus::Ok) return 0;
    IeList ies;
    if (ies.parse(f.payload, f.payloadLength) == IeStatus::Ok) {
        char text[64];
        for (size_t i = 0; i < ies.count(); ++i) {
            const uint8_t id = ies.at(i).id;
            (void)ies.string(id);
            (void)ies.u8(id);
            (void)ies.u16(id);
            (void)ies.u32(id);
            (void)ies.versionedU64(id);
            copyIeString(ies, id, text, sizeof text);
        }
    }
    if (f.kind != FrameKind::Full) return 0;
    uint8_t out[kMaxDatagram];
    clock += 7;
    switch (dialog.receive(f.full)) {
        case Verdict::Accept:
            if (dialog.ackOwed(f.full)) dialog.buildAck(f.full, out, sizeof out);
            // Answer with a frame of our own now and then, so the queue fills.
            if (f.full.oseq & 1) dialog.build(OutFrame::of(frametype::Iax, cmd::Ping), clock, out, sizeof out);
            break;
        case Verdict::Ahead:
            if (dialog.vnakDue()) dialog.buildVnak(clock, out, sizeof out);
            break;
        default:
            break;
    }
    if (f.full.type == frametype::Iax && f.full.subclass == cmd::Vnak)
        dialog.resendFrom(f.full.iseq, [](const uint8_t*, size_t) {});
    dialog.service(
        clock, [](const uint8_t*, size_t) {}, [](const RetransmitQueue::Entry&) {});
    if (dialog.queue().size() > 100) dialog.restartSequence();
    return 0;
}
