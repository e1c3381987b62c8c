#include "voice/engine/event_dispatcher.h"

#include <pthread.h>

#include <cstdio>

namespace voice::engine {

EventDispatcher::~EventDispatcher() {
    stop();
    if (thread_.joinable()) thread_.detach();
}

void EventDispatcher::setCallback(iaxc_event_callback_t callback) {
    std::lock_guard<std::mutex> lock(mutex_);
    callback_ = callback;
}

void EventDispatcher::post(const iaxc_event& event) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (queue_.size() >= kCapacity) {
            ++dropped_;
            return;
        }
        queue_.push_back(event);
        queue_.back().next = nullptr;
    }
    wake_.notify_one();
}

bool EventDispatcher::start() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (thread_.joinable()) {
        if (!stopping_) return true;
        // A stop asked from the callback left the old thread finishing.
        if (std::this_thread::get_id() == threadId_) return false;
        std::thread old = std::move(thread_);
        lock.unlock();
        old.join();
        lock.lock();
        if (thread_.joinable()) return true;  // another caller started it meanwhile
    }
    stopping_ = false;
    try {
        thread_ = std::thread(&EventDispatcher::run, this);
    } catch (...) {
        return false;
    }
    threadId_ = thread_.get_id();
    return true;
}

void EventDispatcher::stop() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!thread_.joinable()) return;
    stopping_ = true;
    wake_.notify_all();
    if (std::this_thread::get_id() == threadId_) return;
    lock.unlock();
    thread_.join();
}

bool EventDispatcher::onDispatcherThread() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return thread_.joinable() && std::this_thread::get_id() == threadId_;
}

size_t EventDispatcher::dropped() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return dropped_;
}

void EventDispatcher::flushHere() {
    for (;;) {
        iaxc_event e;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (queue_.empty()) return;
            e = queue_.front();
            queue_.pop_front();
        }
        deliver(e);
    }
}

void EventDispatcher::run() {
    pthread_setname_np(pthread_self(), "voice-events");
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;  // stopping and drained
        iaxc_event e = queue_.front();
        queue_.pop_front();
        lock.unlock();
        deliver(e);
        lock.lock();
    }
}

void EventDispatcher::deliver(const iaxc_event& event) {
    iaxc_event_callback_t cb;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cb = callback_;
    }
    const int handled = cb ? cb(event) : 0;
    if (handled <= 0 && event.type == IAXC_EVENT_TEXT) std::fprintf(stderr, "voice: %s\n", event.ev.text.message);
}

}  // namespace voice::engine
