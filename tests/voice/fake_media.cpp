#include "fake_media.h"

#include <mutex>

#include "voice/media/media_port.h"

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

bool sendComfortNoise(uint8_t level, uint32_t mediaTimeMs) {
    voice::media::SendVoiceFn send;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (!g_state.running || g_state.muted) return false;
        send = g_send;
    }
    send(voice::media::kComfortNoiseFormat, &level, 1, mediaTimeMs);
    return true;
}

}  // namespace fakemedia

namespace {

using voice::media::ClockState;
using voice::media::kComfortNoiseFormat;
using voice::media::ReceiveStats;
using voice::media::SendVoiceFn;

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

void receiveVoice(int format, const uint8_t* payload, size_t length, uint32_t timestampMs) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (format == kComfortNoiseFormat) {
        ++g_state.comfortNoiseReceived;
        g_state.lastComfortNoiseLevel = length == 1 ? payload[0] : -1;
    } else {
        ++g_state.voiceReceived;
    }
    g_state.lastReceivedTimestamp = timestampMs;
}

void currentLevels(float& inputDb, float& outputDb) {
    inputDb = -20.0f;
    outputDb = -30.0f;
}

ReceiveStats receiveStats() {
    std::lock_guard<std::mutex> lock(g_mutex);
    ReceiveStats r;
    r.packets = g_state.voiceReceived;
    r.jitterMs = 7;
    return r;
}

// No clock here: it counts as ticking while a stream runs.
ClockState clockState() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return ClockState{g_state.running, uint64_t(g_state.startCalls), uint64_t(g_state.stopCalls)};
}

const voice::media::MediaPort kFakePort{initialize,   shutdown,      startCall,    stopCall,  setSendMuted,
                                        receiveVoice, currentLevels, receiveStats, clockState};

// In force from start-up, for every engine the executable makes.
[[maybe_unused]] const bool g_fakeInstalled = (voice::media::usePort(&kFakePort), true);

}  // namespace
