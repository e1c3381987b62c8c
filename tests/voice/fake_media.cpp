#include "fake_media.h"

#include <mutex>

#include "media/media_port.h"

namespace {
std::mutex g_mutex;
fakemedia::Snapshot g_state;
voice::media::SendVoiceFn g_send;
}  // namespace

namespace fakemedia {

Snapshot snapshot() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_state;
}

void reset() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_state = Snapshot{};
    g_send = nullptr;
}

bool sendFrame(const uint8_t* payload, size_t length, uint32_t mediaTimeMs) {
    voice::media::SendVoiceFn send;
    int format = 0;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (!g_state.running || g_state.muted) return false;
        send = g_send;
        format = g_state.format;
    }
    send(format, payload, length, mediaTimeMs);
    return true;
}

}  // namespace fakemedia

namespace voice::media {

int initialize() {
    std::lock_guard<std::mutex> lock(g_mutex);
    ++g_state.initializeCalls;
    return 0;
}

void shutdown() {
    std::lock_guard<std::mutex> lock(g_mutex);
    ++g_state.shutdownCalls;
    g_state.running = false;
    g_send = nullptr;
}

void startCall(int format, SendVoiceFn send) {
    std::lock_guard<std::mutex> lock(g_mutex);
    ++g_state.startCalls;
    g_state.running = true;
    g_state.format = format;
    g_send = std::move(send);
}

void stopCall() {
    std::lock_guard<std::mutex> lock(g_mutex);
    ++g_state.stopCalls;
    g_state.running = false;
    g_send = nullptr;
}

void setSendMuted(bool muted) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_state.muted = muted;
}

void receiveVoice(int, const uint8_t*, size_t, uint32_t timestampMs) {
    std::lock_guard<std::mutex> lock(g_mutex);
    ++g_state.voiceReceived;
    g_state.lastReceivedTimestamp = timestampMs;
}

void setJitterBufferEnabled(bool) {}
void setJitterBufferTargetExtra(long) {}

}  // namespace voice::media
