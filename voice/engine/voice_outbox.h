// Encoded voice frames handed over by the media side's thread, waiting for
// the network thread to put them on the wire. Its own small lock is the
// only one the media side's send callback takes, so that callback never
// waits for the engine lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>

namespace voice::engine {

struct VoiceFrame {
    uint64_t generation = 0;  // which media stream it belongs to
    int format = 0;
    uint32_t mediaTimeMs = 0;
    size_t length = 0;
    uint8_t payload[512];
};

class VoiceOutbox {
public:
    // Two seconds of 20 ms frames; older ones are dropped first when full.
    static constexpr size_t kCapacity = 100;

    // Returns false (frame dropped) when the payload is too large.
    bool push(uint64_t generation, int format, const uint8_t* payload, size_t length, uint32_t mediaTimeMs);
    bool pop(VoiceFrame& out);
    void clear();

private:
    std::mutex mutex_;
    std::deque<VoiceFrame> frames_;
};

}  // namespace voice::engine
