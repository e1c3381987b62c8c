// The media side as the signalling side and the API see it: one engine and
// its clock for the process, brought up by initialize and down by shutdown.
// Settings made before initialize are kept for it.
#include "media/media_port.h"

#include "media/media_clock.h"
#include "media/media_engine.h"
#include "media/media_side.h"

namespace voice::media {
namespace {

struct MediaSide {
    MediaEngine engine{&monotonicMs};
    MediaClock clock;  // declared last: stopped first when the process ends
    std::mutex lifecycle;
    bool running = false;
};

MediaSide& side() {
    static MediaSide instance;
    return instance;
}

}  // namespace

MediaEngine& engine() { return side().engine; }

int initialize() {
    MediaSide& s = side();
    std::lock_guard<std::mutex> guard(s.lifecycle);
    if (s.running) return 0;
    s.engine.attachDriver(makeDriverFromEnvironment());
    if (!s.clock.start([&s](int64_t nowMs) { s.engine.tick(nowMs); })) {
        s.engine.detachDriver();
        return -1;
    }
    s.running = true;
    return 0;
}

void shutdown() {
    MediaSide& s = side();
    std::lock_guard<std::mutex> guard(s.lifecycle);
    s.clock.stop();
    s.engine.detachDriver();
    s.running = false;
}

void startCall(int format, SendVoiceFn send) { engine().startCall(format, std::move(send)); }
void stopCall() { engine().stopCall(); }
void setSendMuted(bool muted) { engine().setSendMuted(muted); }

void receiveVoice(int format, const uint8_t* payload, size_t length, uint32_t timestampMs) {
    engine().receiveVoice(format, payload, length, timestampMs);
}

void setJitterBufferEnabled(bool on) { engine().setJitterBuffer(on); }
void setJitterBufferTargetExtra(long ms) { engine().setJitterExtra(ms); }

void currentLevels(float& inputDb, float& outputDb) { engine().levels(inputDb, outputDb); }
ReceiveStats receiveStats() { return engine().receiveStats(); }

}  // namespace voice::media
