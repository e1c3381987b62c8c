#include "voice/media/media_side.h"

#include <mutex>

#include "voice/media/media_clock.h"

namespace voice::media {
namespace {

// Settings made before the engine starts are kept for it.
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

MediaEngine& engine() {
    return side().engine;
}

const MediaClock& clock() {
    return side().clock;
}

int startMedia() {
    MediaSide& s = side();
    std::lock_guard<std::mutex> guard(s.lifecycle);
    if (s.running) return 0;
    s.engine.attachDriver(makeDriverFromEnvironment());
    // The clock ticks while a call stream or a sound needs it and sleeps
    // otherwise; starting either wakes it.
    s.engine.setAudioWantedHandler([&s] { s.clock.resume(); });
    s.engine.setTickAdvanceHandler([&s](int64_t ms) { s.clock.advance(ms); });
    if (!s.clock.start([&s](int64_t nowMs) { return s.engine.tick(nowMs); })) {
        s.engine.detachDriver();
        return -1;
    }
    s.running = true;
    return 0;
}

void stopMedia() {
    MediaSide& s = side();
    std::lock_guard<std::mutex> guard(s.lifecycle);
    s.clock.stop();
    s.engine.detachDriver();
    s.running = false;
}

}  // namespace voice::media
