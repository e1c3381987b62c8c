// One IAX2 dialog (a call, a registration exchange, ...) as seen from one
// end: the two call numbers, the sequence numbers, the timestamps of frames
// sent and the frames awaiting acknowledgement. It builds outgoing full
// frames and judges incoming ones; sending and acting on them is the
// owner's job. Not thread-safe: one owner at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "voice/iax2/frame.h"
#include "voice/iax2/reliability.h"

namespace iax2 {

struct OutFrame {
    uint8_t type = 0;
    uint32_t subclass = 0;
    const uint8_t* payload = nullptr;
    size_t length = 0;
    // Replies (ACK, PONG, LAGRP) carry the timestamp of what they answer,
    // voice frames their media time; anything else gets the dialog clock.
    std::optional<uint32_t> timestamp;

    static OutFrame of(uint8_t type, uint32_t subclass, const uint8_t* payload = nullptr, size_t length = 0) {
        OutFrame f;
        f.type = type;
        f.subclass = subclass;
        f.payload = payload;
        f.length = length;
        return f;
    }
};

enum class Verdict {
    Accept,       // in order: process it (ISeqno advanced when it counts)
    Unsequenced,  // ACK, VNAK, INVAL and the like: process, nothing to count
    Duplicate,    // seen before: acknowledge again, drop
    Ahead,        // frames are missing before it: drop (VNAK when vnakDue)
};

class Dialog {
public:
    Dialog() = default;
    Dialog(uint16_t localCall, uint64_t startMs, const RetryPolicy& policy)
        : localCall_(localCall), startMs_(startMs), policy_(policy), rttMs_(policy.initialRttMs) {}

    uint16_t localCall() const { return localCall_; }
    uint16_t remoteCall() const { return remoteCall_; }
    void setRemoteCall(uint16_t call) { remoteCall_ = call; }
    uint8_t oseq() const { return oseq_; }
    uint8_t iseq() const { return iseq_; }
    uint32_t rttMs() const { return rttMs_; }
    const RetryPolicy& policy() const { return policy_; }

    // Milliseconds since the dialog started.
    uint32_t elapsed(uint64_t nowMs) const;

    // Encodes a full frame into out and, when it takes a sequence number,
    // counts it and keeps it for retransmission. Returns the length, 0 when
    // it does not fit (or the retransmission queue is full).
    size_t build(const OutFrame& frame, uint64_t nowMs, uint8_t* out, size_t capacity);
    // ACK, VNAK or INVAL answering a received frame (immediate, not kept).
    size_t buildAck(const FullHeader& received, uint8_t* out, size_t capacity);
    size_t buildVnak(uint64_t nowMs, uint8_t* out, size_t capacity);

    // Judges a received full frame addressed to this dialog and applies the
    // acknowledgement its ISeqno carries.
    Verdict receive(const FullHeader& header);
    // After an Ahead verdict: true once per missing sequence number.
    bool vnakDue();
    // After processing an accepted frame: true when no full frame carrying
    // the new ISeqno has gone out, so an explicit ACK is owed.
    bool ackOwed(const FullHeader& header) const;

    // A received VNAK: resend everything from its ISeqno on.
    void resendFrom(uint8_t iseq, const std::function<void(const uint8_t*, size_t)>& send);
    // Retransmits what is due; gaveUp reports a frame whose retries ran out.
    void service(uint64_t nowMs, const std::function<void(const uint8_t*, size_t)>& send,
                 const std::function<void(const RetransmitQueue::Entry&)>& gaveUp);
    uint64_t nextDueMs() const { return queue_.nextDueMs(); }
    bool allAcknowledged() const { return queue_.empty(); }
    const RetransmitQueue& queue() const { return queue_; }
    // Drops queued frames of one kind (a request answered out of band).
    void forget(uint8_t type, uint32_t subclass) { queue_.removeKind(type, subclass); }

    // Starts the dialog's numbering again, keeping the local call number and
    // the clock (after a call token was received).
    void restartSequence();

    // A round-trip sample (PONG, acknowledged frame): smoothed 2:1.
    void noteRoundTrip(uint32_t sampleMs);

private:
    uint16_t localCall_ = 0;
    uint16_t remoteCall_ = 0;
    uint64_t startMs_ = 0;
    RetryPolicy policy_;
    uint32_t rttMs_ = 100;
    uint8_t oseq_ = 0;
    uint8_t iseq_ = 0;
    uint32_t lastTimestamp_ = 0;
    int lastSentIseq_ = -1;
    int lastVnakFor_ = -1;
    RetransmitQueue queue_;
};

}  // namespace iax2
