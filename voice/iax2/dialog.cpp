#include "voice/iax2/dialog.h"

#include "voice/iax2/protocol.h"

namespace iax2 {
namespace {
// Timestamps of command frames must grow; when the clock has not moved they
// step by this much.
constexpr uint32_t kTimestampStep = 3;
}  // namespace

uint32_t Dialog::elapsed(uint64_t nowMs) const {
    return nowMs > startMs_ ? static_cast<uint32_t>(nowMs - startMs_) : 0;
}

size_t Dialog::build(const OutFrame& f, uint64_t nowMs, uint8_t* out, size_t capacity) {
    FullHeader h;
    h.sourceCall = localCall_;
    h.destinationCall = remoteCall_;
    h.type = f.type;
    h.subclass = f.subclass;
    h.iseq = iseq_;
    const bool sequenced = takesSequenceNumber(f.type, f.subclass);
    h.oseq = oseq_;
    if (f.timestamp) {
        h.timestamp = *f.timestamp;
    } else {
        uint32_t ts = elapsed(nowMs);
        if (ts <= lastTimestamp_) ts = lastTimestamp_ + kTimestampStep;
        lastTimestamp_ = ts;
        h.timestamp = ts;
    }
    const size_t n = encodeFullFrame(h, f.payload, f.length, out, capacity);
    if (n == 0) return 0;
    if (sequenced) {
        if (!queue_.add(out, n, nowMs, policy_.firstInterval(rttMs_))) return 0;
        ++oseq_;
    }
    lastSentIseq_ = iseq_;
    return n;
}

size_t Dialog::buildAck(const FullHeader& received, uint8_t* out, size_t capacity) {
    FullHeader h;
    h.sourceCall = localCall_;
    h.destinationCall = remoteCall_ != 0 ? remoteCall_ : received.sourceCall;
    h.timestamp = received.timestamp;
    h.oseq = oseq_;
    h.iseq = iseq_;
    h.type = frametype::Iax;
    h.subclass = cmd::Ack;
    const size_t n = encodeFullFrame(h, nullptr, 0, out, capacity);
    if (n) lastSentIseq_ = iseq_;
    return n;
}

size_t Dialog::buildVnak(uint64_t nowMs, uint8_t* out, size_t capacity) {
    FullHeader h;
    h.sourceCall = localCall_;
    h.destinationCall = remoteCall_;
    h.timestamp = elapsed(nowMs);
    h.oseq = oseq_;
    h.iseq = iseq_;
    h.type = frametype::Iax;
    h.subclass = cmd::Vnak;
    return encodeFullFrame(h, nullptr, 0, out, capacity);
}

Verdict Dialog::receive(const FullHeader& h) {
    const bool inval = h.type == frametype::Iax && h.subclass == cmd::Inval;
    if (!inval) queue_.acknowledge(h.iseq, oseq_);
    if (!takesSequenceNumber(h.type, h.subclass)) return Verdict::Unsequenced;
    // Transfer frames may arrive before anything else of a new media path.
    if (iseq_ == 0 && h.type == frametype::Iax && (h.subclass == cmd::TxReady || h.subclass == cmd::TxRel))
        return Verdict::Unsequenced;
    switch (classifyArrival(iseq_, h.oseq)) {
        case Arrival::Expected:
            ++iseq_;
            lastVnakFor_ = -1;
            return Verdict::Accept;
        case Arrival::Duplicate:
            return Verdict::Duplicate;
        case Arrival::Ahead:
            return Verdict::Ahead;
    }
    return Verdict::Ahead;
}

bool Dialog::vnakDue() {
    if (lastVnakFor_ == iseq_) return false;
    lastVnakFor_ = iseq_;
    return true;
}

bool Dialog::ackOwed(const FullHeader& h) const {
    return wantsAck(h.type, h.subclass) && lastSentIseq_ != iseq_;
}

void Dialog::resendFrom(uint8_t iseq, const std::function<void(const uint8_t*, size_t)>& send) {
    queue_.resendFrom(iseq, iseq_, send);
}

void Dialog::service(uint64_t nowMs, const std::function<void(const uint8_t*, size_t)>& send,
                     const std::function<void(const RetransmitQueue::Entry&)>& gaveUp) {
    queue_.service(nowMs, iseq_, policy_, send, gaveUp);
}

void Dialog::restartSequence() {
    oseq_ = 0;
    iseq_ = 0;
    remoteCall_ = 0;
    lastSentIseq_ = -1;
    lastVnakFor_ = -1;
    queue_.clear();
}

void Dialog::noteRoundTrip(uint32_t sampleMs) {
    rttMs_ = (2 * rttMs_ + sampleMs) / 3;
}

}  // namespace iax2
