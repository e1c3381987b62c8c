// The media thread: calls a step function every 20 ms at absolute deadlines
// of the monotonic clock, so frames leave at a steady pace whatever the
// sound devices do. A step that overruns is caught up at once; after a
// stall of more than 100 ms the schedule restarts from the present instead
// of sending a burst.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace voice::media {

// Milliseconds of the monotonic clock the media side runs on.
int64_t monotonicMs();

class MediaClock {
public:
    using Step = std::function<void(int64_t nowMs)>;

    MediaClock() = default;
    ~MediaClock() { stop(); }
    MediaClock(const MediaClock&) = delete;
    MediaClock& operator=(const MediaClock&) = delete;

    // Starts the thread; false when it cannot be created.
    bool start(Step step);
    // Stops and joins the thread; harmless when not running.
    void stop();

    static constexpr int64_t kStallMs = 100;

private:
    void run();

    Step m_step;
    std::thread m_thread;
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_stopping = false;
};

}  // namespace voice::media
