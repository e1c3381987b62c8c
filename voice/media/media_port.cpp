// The boundary functions the signalling side calls, on the process's one
// media engine.
#include "voice/media/media_port.h"

#include "voice/media/media_side.h"

#include <atomic>

namespace voice::media {

int initialize() {
    return startMedia();
}
void shutdown() {
    stopMedia();
}

void startCall(int format, SendVoiceFn send) {
    engine().startCall(format, std::move(send));
}
void stopCall() {
    engine().stopCall();
}
void setSendMuted(bool muted) {
    engine().setSendMuted(muted);
}

void receiveVoice(int format, const uint8_t* payload, size_t length, uint32_t timestampMs) {
    engine().receiveVoice(format, payload, length, timestampMs);
}

void setJitterBufferEnabled(bool on) {
    engine().setJitterBuffer(on);
}
void setJitterBufferTargetExtra(long ms) {
    engine().setJitterExtra(ms);
}

void currentLevels(float& inputDb, float& outputDb) {
    engine().levels(inputDb, outputDb);
}
ReceiveStats receiveStats() {
    return engine().receiveStats();
}

ClockState clockState() {
    const MediaClock& c = clock();
    return ClockState{c.ticking(), c.tickStarts(), c.tickStops()};
}

namespace {

const MediaPort kRealPort{initialize,   shutdown,      startCall,    stopCall,  setSendMuted,
                          receiveVoice, currentLevels, receiveStats, clockState};
std::atomic<const MediaPort*> g_port{&kRealPort};

}  // namespace

const MediaPort& port() {
    return *g_port.load();
}

void usePort(const MediaPort* replacement) {
    g_port.store(replacement ? replacement : &kRealPort);
}

}  // namespace voice::media
