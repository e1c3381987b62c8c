#include "voice/iax2/reliability.h"

#include <algorithm>
#include <cstdint>

#include "voice/iax2/frame.h"
#include "voice/iax2/protocol.h"

namespace iax2 {

bool takesSequenceNumber(uint8_t type, uint32_t subclass) {
    if (type != frametype::Iax) return true;
    switch (subclass) {
        case cmd::Ack:
        case cmd::Inval:
        case cmd::Vnak:
        case cmd::TxCnt:
        case cmd::TxAcc:
            return false;
        default:
            return true;
    }
}

bool wantsAck(uint8_t type, uint32_t subclass) {
    if (!takesSequenceNumber(type, subclass)) return false;
    return !(type == frametype::Iax && subclass == cmd::CallToken);
}

bool isFinalFrame(uint8_t type, uint32_t subclass) {
    if (type != frametype::Iax) return false;
    return subclass == cmd::Hangup || subclass == cmd::Reject || subclass == cmd::RegAck ||
           subclass == cmd::RegRej;
}

Arrival classifyArrival(uint8_t expected, uint8_t received) {
    if (received == expected) return Arrival::Expected;
    const uint8_t behind = static_cast<uint8_t>(expected - received);
    return behind < 128 ? Arrival::Duplicate : Arrival::Ahead;
}

uint32_t RetryPolicy::firstInterval(uint32_t rttMs) const {
    const uint64_t twice = static_cast<uint64_t>(rttMs) * 2;
    return static_cast<uint32_t>(std::clamp<uint64_t>(twice, minIntervalMs, maxIntervalMs));
}

bool RetransmitQueue::add(const uint8_t* frame, size_t length, uint64_t nowMs, uint32_t firstIntervalMs) {
    if (entries_.size() >= kCapacity) return false;
    DecodedFrame d;
    if (decodeFrame(frame, length, d) != DecodeStatus::Ok || d.kind != FrameKind::Full) return false;
    Entry e;
    e.bytes.assign(frame, frame + length);
    e.oseq = d.full.oseq;
    e.type = d.full.type;
    e.subclass = d.full.subclass;
    e.intervalMs = firstIntervalMs;
    e.dueMs = nowMs + firstIntervalMs;
    entries_.push_back(std::move(e));
    return true;
}

size_t RetransmitQueue::acknowledge(uint8_t peerIseq, uint8_t nextOseq) {
    const uint8_t span = static_cast<uint8_t>(peerIseq - ackedUpTo_);
    const uint8_t window = static_cast<uint8_t>(nextOseq - ackedUpTo_);
    if (span == 0 || span > window) return 0;
    const size_t before = entries_.size();
    const uint8_t base = ackedUpTo_;
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                  [&](const Entry& e) { return static_cast<uint8_t>(e.oseq - base) < span; }),
                   entries_.end());
    ackedUpTo_ = peerIseq;
    return before - entries_.size();
}

void RetransmitQueue::resendFrom(uint8_t fromOseq, uint8_t iseq,
                                 const std::function<void(const uint8_t*, size_t)>& send) {
    const uint8_t start = static_cast<uint8_t>(fromOseq - ackedUpTo_);
    for (Entry& e : entries_) {
        if (static_cast<uint8_t>(e.oseq - ackedUpTo_) < start) continue;
        markRetransmission(e.bytes.data(), e.bytes.size(), iseq);
        send(e.bytes.data(), e.bytes.size());
    }
}

void RetransmitQueue::service(uint64_t nowMs, uint8_t iseq, const RetryPolicy& policy,
                              const std::function<void(const uint8_t*, size_t)>& send,
                              const std::function<void(const Entry&)>& gaveUp) {
    for (size_t i = 0; i < entries_.size(); ++i) {
        Entry& e = entries_[i];
        if (e.dueMs > nowMs) continue;
        if (e.retries >= policy.maxRetries) {
            Entry lost = std::move(e);
            entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
            gaveUp(lost);
            return;
        }
        ++e.retries;
        markRetransmission(e.bytes.data(), e.bytes.size(), iseq);
        send(e.bytes.data(), e.bytes.size());
        const uint64_t next = static_cast<uint64_t>(e.intervalMs) * policy.backoff;
        e.intervalMs = static_cast<uint32_t>(std::min<uint64_t>(next, policy.maxIntervalMs));
        e.dueMs = nowMs + e.intervalMs;
    }
}

void RetransmitQueue::clear() {
    entries_.clear();
    ackedUpTo_ = 0;
}

void RetransmitQueue::removeKind(uint8_t type, uint32_t subclass) {
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                  [&](const Entry& e) { return e.type == type && e.subclass == subclass; }),
                   entries_.end());
}

uint64_t RetransmitQueue::nextDueMs() const {
    uint64_t due = UINT64_MAX;
    for (const Entry& e : entries_) due = std::min(due, e.dueMs);
    return due;
}

}  // namespace iax2
