// Sequence numbers and retransmission of IAX2 full frames, shared by every
// IAX2 end built on this library. All times are milliseconds of a monotonic
// clock the caller supplies, so the logic runs the same in tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace iax2 {

// Whether a full frame takes a sequence number of its own: every one except
// ACK, INVAL, VNAK, TXCNT and TXACC.
bool takesSequenceNumber(uint8_t type, uint32_t subclass);
// Whether a received full frame is acknowledged: every frame that takes a
// sequence number, except a server's CALLTOKEN reply.
bool wantsAck(uint8_t type, uint32_t subclass);
// Whether a frame, once delivered, ends the dialog (HANGUP, REJECT, REGACK,
// REGREJ): the sender forgets the dialog when it is acknowledged.
bool isFinalFrame(uint8_t type, uint32_t subclass);

enum class Arrival {
    Expected,   // the next one in order
    Duplicate,  // already received: acknowledge again, drop
    Ahead,      // a gap before it: ask for the missing ones (VNAK), drop
};
Arrival classifyArrival(uint8_t expectedIseq, uint8_t receivedOseq);

// Timing of retransmissions. The first resend comes after twice the round
// trip time (clamped), each later one after backoff times the previous
// interval (capped); after maxRetries resends the frame is given up.
struct RetryPolicy {
    uint32_t initialRttMs = 100;
    uint32_t minIntervalMs = 10;
    uint32_t maxIntervalMs = 4000;
    uint32_t backoff = 4;
    int maxRetries = 10;

    uint32_t firstInterval(uint32_t rttMs) const;
};

// Frames sent and not yet acknowledged by the peer.
class RetransmitQueue {
public:
    // Keeps at most this many frames; half the sequence space.
    static constexpr size_t kCapacity = 128;

    struct Entry {
        std::vector<uint8_t> bytes;
        uint8_t oseq = 0;
        uint8_t type = 0;
        uint32_t subclass = 0;
        int retries = 0;
        uint32_t intervalMs = 0;
        uint64_t dueMs = 0;
    };

    // Remembers an encoded full frame. False when the queue is full or the
    // bytes are not a full frame.
    bool add(const uint8_t* frame, size_t length, uint64_t nowMs, uint32_t firstIntervalMs);

    // The peer's ISeqno says it has every frame below peerIseq. Applied only
    // when it lies between the oldest unacknowledged frame and nextOseq
    // (our next sequence number). Returns the number of frames released.
    size_t acknowledge(uint8_t peerIseq, uint8_t nextOseq);

    // Resends (through send) every frame from fromOseq on, at once, with the
    // R bit and the given current ISeqno (VNAK handling).
    void resendFrom(uint8_t fromOseq, uint8_t iseq, const std::function<void(const uint8_t*, size_t)>& send);

    // Resends the frames whose time has come. A frame that has used up its
    // retries is removed and reported through gaveUp (its type and subclass)
    // and nothing more is sent in this call.
    void service(uint64_t nowMs, uint8_t iseq, const RetryPolicy& policy,
                 const std::function<void(const uint8_t*, size_t)>& send,
                 const std::function<void(const Entry&)>& gaveUp);

    // Forgets every frame (dialog restarted or destroyed).
    void clear();
    // Forgets the frames of one type and subclass.
    void removeKind(uint8_t type, uint32_t subclass);

    bool empty() const { return entries_.empty(); }
    size_t size() const { return entries_.size(); }
    // Earliest due time, or UINT64_MAX when empty.
    uint64_t nextDueMs() const;
    const std::vector<Entry>& entries() const { return entries_; }
    uint8_t oldestUnacked() const { return ackedUpTo_; }
    void setOldestUnacked(uint8_t oseq) { ackedUpTo_ = oseq; }

private:
    std::vector<Entry> entries_;
    uint8_t ackedUpTo_ = 0;
};

}  // namespace iax2
