// A single-producer, single-consumer ring of samples between a sound-card
// callback and the media thread: neither side blocks or allocates.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace voice::media {

class SampleRing {
public:
    explicit SampleRing(size_t capacity) : m_capacity(capacity), m_data(new int16_t[capacity]) {}

    // Producer: appends up to count samples; returns how many fitted.
    size_t push(const int16_t* samples, size_t count) {
        const size_t tail = m_tail.load(std::memory_order_relaxed);
        const size_t head = m_head.load(std::memory_order_acquire);
        const size_t room = m_capacity - (tail - head);
        if (count > room) count = room;
        for (size_t i = 0; i < count; ++i) m_data[(tail + i) % m_capacity] = samples[i];
        m_tail.store(tail + count, std::memory_order_release);
        return count;
    }

    // Consumer: takes up to count samples (out may be null to drop them);
    // returns how many were taken.
    size_t pop(int16_t* out, size_t count) {
        const size_t head = m_head.load(std::memory_order_relaxed);
        const size_t tail = m_tail.load(std::memory_order_acquire);
        const size_t available = tail - head;
        if (count > available) count = available;
        if (out) {
            for (size_t i = 0; i < count; ++i) out[i] = m_data[(head + i) % m_capacity];
        }
        m_head.store(head + count, std::memory_order_release);
        return count;
    }

    size_t size() const { return m_tail.load(std::memory_order_acquire) - m_head.load(std::memory_order_acquire); }
    size_t capacity() const { return m_capacity; }

private:
    const size_t m_capacity;
    std::unique_ptr<int16_t[]> m_data;
    std::atomic<size_t> m_head{0};
    std::atomic<size_t> m_tail{0};
};

}  // namespace voice::media
