// Delivers engine events to the application's callback from one thread of
// its own, strictly in the order they were posted. Posting never blocks on
// the callback, so the engine may post while holding its lock; the callback
// runs with no engine lock held and may call back into the API.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include <iaxclient.h>

namespace voice::engine {

class EventDispatcher {
public:
    // Events waiting beyond this are dropped (and counted) rather than let
    // the queue grow without bound if the callback stalls.
    static constexpr size_t kCapacity = 4096;

    ~EventDispatcher();

    void setCallback(iaxc_event_callback_t callback);
    void post(const iaxc_event& event);

    // Starts the delivery thread (no-op when running).
    bool start();
    // Delivers what was posted before the call, then ends the thread. Called
    // from the callback itself, it only asks the thread to end.
    void stop();
    // Delivers everything still queued on the calling thread (used once the
    // thread is gone, at shutdown).
    void flushHere();
    bool onDispatcherThread() const;
    size_t dropped() const;

private:
    void run();
    void deliver(const iaxc_event& event);

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<iaxc_event> queue_;
    iaxc_event_callback_t callback_ = nullptr;
    std::thread thread_;
    std::thread::id threadId_;
    bool stopping_ = false;
    size_t dropped_ = 0;
};

}  // namespace voice::engine
