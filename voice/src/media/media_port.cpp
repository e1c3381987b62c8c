// First cut of the media side: keeps the settings and accepts the calls of
// the signalling side, so both halves link while the audio path grows.
#include "media/media_port.h"

#include <mutex>
#include <utility>

namespace voice::media {
namespace {

std::mutex g_lock;
bool g_jitterBufferOn = true;
long g_jitterTargetExtraMs = -1;
bool g_sendMuted = false;
int g_callFormat = 0;
SendVoiceFn g_send;

}  // namespace

int initialize() { return 0; }

void shutdown() { stopCall(); }

void startCall(int format, SendVoiceFn send) {
    std::lock_guard<std::mutex> guard(g_lock);
    g_callFormat = format;
    g_send = std::move(send);
}

void stopCall() {
    std::lock_guard<std::mutex> guard(g_lock);
    g_callFormat = 0;
    g_send = nullptr;
}

void setSendMuted(bool muted) {
    std::lock_guard<std::mutex> guard(g_lock);
    g_sendMuted = muted;
}

void receiveVoice(int, const uint8_t*, size_t, uint32_t) {}

void setJitterBufferEnabled(bool on) {
    std::lock_guard<std::mutex> guard(g_lock);
    g_jitterBufferOn = on;
}

void setJitterBufferTargetExtra(long ms) {
    std::lock_guard<std::mutex> guard(g_lock);
    g_jitterTargetExtraMs = ms;
}

}  // namespace voice::media
