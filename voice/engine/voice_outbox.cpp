#include "voice/engine/voice_outbox.h"

#include <cstring>

namespace voice::engine {

bool VoiceOutbox::push(uint64_t generation, int format, const uint8_t* payload, size_t length,
                       uint32_t mediaTimeMs) {
    if (payload == nullptr || length == 0 || length > sizeof(VoiceFrame::payload)) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    if (frames_.size() >= kCapacity) frames_.pop_front();
    VoiceFrame& f = frames_.emplace_back();
    f.generation = generation;
    f.format = format;
    f.mediaTimeMs = mediaTimeMs;
    f.length = length;
    std::memcpy(f.payload, payload, length);
    return true;
}

bool VoiceOutbox::pop(VoiceFrame& out) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (frames_.empty()) return false;
    out = frames_.front();
    frames_.pop_front();
    return true;
}

void VoiceOutbox::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    frames_.clear();
}

}  // namespace voice::engine
