#include "media/media_clock.h"

#include <pthread.h>
#include <sched.h>

#include <chrono>
#include <system_error>

#include "media/audio_frame.h"

namespace voice::media {
namespace {

using SteadyClock = std::chrono::steady_clock;
// Real-time priority for the media thread where the system grants it; a
// low value, above ordinary threads only.
constexpr int kRealtimePriority = 10;

int64_t toMs(SteadyClock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
}

}  // namespace

int64_t monotonicMs() { return toMs(SteadyClock::now()); }

bool MediaClock::start(Step step) {
    stop();
    m_step = std::move(step);
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stopping = false;
    }
    try {
        m_thread = std::thread(&MediaClock::run, this);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void MediaClock::stop() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void MediaClock::run() {
    pthread_setname_np(pthread_self(), "voice-media");
    sched_param param{};
    param.sched_priority = kRealtimePriority;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);  // refused without privileges: fine

    const auto frame = std::chrono::milliseconds(kFrameMs);
    auto deadline = SteadyClock::now() + frame;
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        if (m_wake.wait_until(lock, deadline, [this] { return m_stopping; })) return;
        lock.unlock();
        m_step(toMs(deadline));
        lock.lock();
        deadline += frame;
        const auto now = SteadyClock::now();
        if (now - deadline > std::chrono::milliseconds(kStallMs)) deadline = now + frame;
    }
}

}  // namespace voice::media
