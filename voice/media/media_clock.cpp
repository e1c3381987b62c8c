#include "voice/media/media_clock.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <chrono>
#include <system_error>

#include "voice/codec/audio_frame.h"

namespace voice::media {
namespace {

using SteadyClock = std::chrono::steady_clock;
// Real-time priority for the voice threads where the system grants it; a
// low value, above ordinary threads only.
constexpr int kRealtimePriority = 10;

int64_t toMs(SteadyClock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
}

}  // namespace

int64_t monotonicMs() {
    return toMs(SteadyClock::now());
}

void raiseToVoicePriority() {
    sched_param param{};
    param.sched_priority = kRealtimePriority;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
}

bool MediaClock::start(Step step) {
    stop();
    m_step = std::move(step);
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stopping = false;
        m_ticking = true;
        m_resumeAsked = false;
        m_tickStarts = 1;
        m_tickStops = 0;
    }
    try {
        m_thread = std::thread(&MediaClock::run, this);
    } catch (const std::system_error&) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_ticking = false;
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
    std::lock_guard<std::mutex> guard(m_lock);
    m_ticking = false;
}

void MediaClock::resume() {
    bool wake = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_resumeAsked = true;
        wake = !m_ticking;
    }
    // A ticking clock is not disturbed: its next tick comes anyway.
    if (wake) m_wake.notify_all();
}

bool MediaClock::ticking() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_ticking;
}

void MediaClock::advance(int64_t ms) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_advanceMs += ms > 0 ? ms : 0;
}

uint64_t MediaClock::tickStarts() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_tickStarts;
}

uint64_t MediaClock::tickStops() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_tickStops;
}

void MediaClock::run() {
    pthread_setname_np(pthread_self(), "voice-media");
    raiseToVoicePriority();

    const auto frame = std::chrono::milliseconds(kFrameMs);
    auto deadline = SteadyClock::now();
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        if (!m_ticking) {
            // Nothing to tick for: sleep until asked again.
            m_wake.wait(lock, [this] { return m_stopping || m_resumeAsked; });
            if (m_stopping) return;
            m_ticking = true;
            ++m_tickStarts;
            m_advanceMs = 0;  // a phase asked for before the rest means nothing now
            deadline = SteadyClock::now();
        } else if (m_wake.wait_until(lock, deadline, [this] { return m_stopping; })) {
            return;
        }
        // A resume asked from here on keeps the clock ticking after a step
        // that found nothing to do.
        m_resumeAsked = false;
        lock.unlock();
        const bool more = m_step(toMs(deadline));
        lock.lock();
        if (m_stopping) return;
        if (!more && !m_resumeAsked) {
            m_ticking = false;
            ++m_tickStops;
            continue;
        }
        deadline += frame - std::chrono::milliseconds(std::min<int64_t>(m_advanceMs, kFrameMs));
        m_advanceMs = 0;
        const auto now = SteadyClock::now();
        if (now - deadline > std::chrono::milliseconds(kStallMs)) deadline = now + frame;
    }
}

}  // namespace voice::media
