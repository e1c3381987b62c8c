#include "labpbx/pbx/event_loop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <condition_variable>
#include <stdexcept>
#include <system_error>

namespace labpbx {

EventLoop::EventLoop() {
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0) throw std::runtime_error(std::string("eventfd: ") + std::system_category().message(errno));
    loopThread_ = std::this_thread::get_id();
}

EventLoop::~EventLoop() {
    if (wakeFd_ >= 0) close(wakeFd_);
}

EventLoop::TimerId EventLoop::addTimer(Clock::duration delay, std::function<void()> fn) {
    TimerId id = nextTimerId_++;
    Clock::time_point when = Clock::now() + delay;
    timers_.emplace(id, Timer{when, std::move(fn)});
    byTime_.emplace(when, id);
    return id;
}

void EventLoop::cancelTimer(TimerId& id) {
    if (id == 0) return;
    auto it = timers_.find(id);
    if (it != timers_.end()) {
        auto range = byTime_.equal_range(it->second.when);
        for (auto b = range.first; b != range.second; ++b)
            if (b->second == id) {
                byTime_.erase(b);
                break;
            }
        timers_.erase(it);
    }
    id = 0;
}

void EventLoop::watchFd(int fd, FdHandler handler) {
    fds_[fd] = std::move(handler);
}

void EventLoop::unwatchFd(int fd) {
    fds_.erase(fd);
}

void EventLoop::post(std::function<void()> fn) {
    {
        std::lock_guard<std::mutex> lock(postedMutex_);
        posted_.push_back(std::move(fn));
    }
    uint64_t one = 1;
    ssize_t r = write(wakeFd_, &one, sizeof one);
    (void)r;
}

void EventLoop::callSync(const std::function<void()>& fn) {
    if (onLoopThread()) {
        fn();
        return;
    }
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    post([&] {
        fn();
        std::lock_guard<std::mutex> lock(m);
        done = true;
        cv.notify_one();
    });
    std::unique_lock<std::mutex> lock(m);
    cv.wait(lock, [&] { return done; });
}

void EventLoop::stop() {
    {
        std::lock_guard<std::mutex> lock(postedMutex_);
        stopRequested_ = true;
    }
    uint64_t one = 1;
    ssize_t r = write(wakeFd_, &one, sizeof one);
    (void)r;
}

void EventLoop::drainPosted() {
    uint64_t count = 0;
    ssize_t r = read(wakeFd_, &count, sizeof count);
    (void)r;
    std::vector<std::function<void()>> work;
    {
        std::lock_guard<std::mutex> lock(postedMutex_);
        work.swap(posted_);
        if (stopRequested_) stopping_ = true;
    }
    for (auto& fn : work) fn();
}

void EventLoop::runDueTimers() {
    Clock::time_point now = Clock::now();
    // A timer's callback may add or cancel timers, so take one at a time.
    while (!byTime_.empty() && byTime_.begin()->first <= now) {
        TimerId id = byTime_.begin()->second;
        byTime_.erase(byTime_.begin());
        auto it = timers_.find(id);
        if (it == timers_.end()) continue;
        std::function<void()> fn = std::move(it->second.fn);
        timers_.erase(it);
        fn();
    }
}

int EventLoop::nextTimeoutMs() const {
    if (byTime_.empty()) return 1000;
    auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(byTime_.begin()->first - Clock::now());
    if (wait.count() <= 0) return 0;
    return wait.count() > 1000 ? 1000 : static_cast<int>(wait.count()) + 1;
}

void EventLoop::run() {
    loopThread_ = std::this_thread::get_id();
    std::vector<pollfd> pfds;
    std::vector<int> ready;
    while (!stopping_) {
        pfds.clear();
        pfds.push_back(pollfd{wakeFd_, POLLIN, 0});
        for (const auto& [fd, handler] : fds_) pfds.push_back(pollfd{fd, POLLIN, 0});
        int n = poll(pfds.data(), pfds.size(), nextTimeoutMs());
        if (n < 0 && errno != EINTR) break;
        if (n > 0) {
            if (pfds[0].revents) drainPosted();
            for (size_t i = 1; i < pfds.size(); ++i) {
                if (!pfds[i].revents) continue;
                // A handler may unwatch descriptors (its own or others).
                auto it = fds_.find(pfds[i].fd);
                if (it == fds_.end()) continue;
                FdHandler handler = it->second;
                handler(pfds[i].revents);
            }
        }
        runDueTimers();
    }
    // Work posted after the stop still runs, so no callSync waits forever.
    drainPosted();
}

}  // namespace labpbx
