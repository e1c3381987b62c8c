// The media thread: calls a step function every 20 ms at absolute deadlines
// of the monotonic clock, so frames leave at a steady pace whatever the
// sound devices do. A step that overruns is caught up at once; after a
// stall of more than 100 ms the schedule restarts from the present instead
// of sending a burst.
//
// The step says whether it wants the next tick. When it does not, the
// clock stops ticking and its thread sleeps with no deadline until
// resume(); it then ticks at once and every 20 ms from there. A resume()
// that comes while a step runs keeps the clock ticking, so a step that
// found nothing to do never loses a wake-up asked for meanwhile.
// Thread-safety: resume() and the queries may be called from any thread,
// also while the step runs; start() and stop() from one owner.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace voice::media {

// Milliseconds of the monotonic clock the media side runs on.
int64_t monotonicMs();

// Gives the calling thread a low real-time priority where the system
// grants it (above ordinary threads only), so that voice keeps its pace on
// a busy machine: the media thread, and the network thread that hands
// received voice over. Refused without the privilege, which is fine.
void raiseToVoicePriority();

class MediaClock {
public:
    // Returns whether the clock should tick again.
    using Step = std::function<bool(int64_t nowMs)>;

    MediaClock() = default;
    ~MediaClock() { stop(); }
    MediaClock(const MediaClock&) = delete;
    MediaClock& operator=(const MediaClock&) = delete;

    // Starts the thread, ticking at once; false when it cannot be created.
    bool start(Step step);
    // Stops and joins the thread; harmless when not running.
    void stop();
    // Ticks again (at once) when the clock has stopped ticking; harmless
    // while it ticks.
    void resume();
    // The next tick comes ms earlier than scheduled (at once if that has
    // passed), and every 20 ms from there: moves the phase of the ticks.
    void advance(int64_t ms);

    // Whether the clock ticks now, and how many times it has begun to
    // tick (the start included) and stopped ticking since start().
    bool ticking() const;
    uint64_t tickStarts() const;
    uint64_t tickStops() const;

    static constexpr int64_t kStallMs = 100;

private:
    void run();

    Step m_step;
    std::thread m_thread;
    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    // Guarded by m_lock.
    bool m_stopping = false;
    bool m_ticking = false;
    bool m_resumeAsked = false;
    int64_t m_advanceMs = 0;
    uint64_t m_tickStarts = 0;
    uint64_t m_tickStops = 0;
};

}  // namespace voice::media
