// A single-threaded poll loop with timers. Every piece of PBX state is
// touched only by the thread running the loop; other threads hand work to
// it with post() or callSync(). Timers and watched descriptors are counted
// so tests can check that nothing is left behind.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace labpbx {

using Clock = std::chrono::steady_clock;

class EventLoop {
public:
    using TimerId = uint64_t;
    using FdHandler = std::function<void(short revents)>;

    EventLoop();
    ~EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    // Loop thread only.
    TimerId addTimer(Clock::duration delay, std::function<void()> fn);
    void cancelTimer(TimerId& id);  // also sets id to 0; cancelling 0 does nothing
    size_t timerCount() const { return timers_.size(); }
    void watchFd(int fd, FdHandler handler);  // POLLIN
    void unwatchFd(int fd);
    size_t watchedFdCount() const { return fds_.size(); }

    // Runs until stop() is called from any thread.
    void run();
    void stop();

    // Any thread: queue fn to run on the loop thread.
    void post(std::function<void()> fn);
    // Any thread: run fn on the loop thread and wait for it (runs it at once
    // when called from the loop thread itself).
    void callSync(const std::function<void()>& fn);
    bool onLoopThread() const { return std::this_thread::get_id() == loopThread_.load(); }

private:
    struct Timer {
        Clock::time_point when;
        std::function<void()> fn;
    };
    void runDueTimers();
    void drainPosted();
    int nextTimeoutMs() const;

    int wakeFd_ = -1;
    bool stopping_ = false;
    // Read by any thread (onLoopThread), set by the thread that runs the loop.
    std::atomic<std::thread::id> loopThread_;
    TimerId nextTimerId_ = 1;
    std::unordered_map<TimerId, Timer> timers_;
    std::multimap<Clock::time_point, TimerId> byTime_;
    std::map<int, FdHandler> fds_;

    std::mutex postedMutex_;
    std::vector<std::function<void()>> posted_;
    bool stopRequested_ = false;  // guarded by postedMutex_
};

}  // namespace labpbx
