// Engine life cycle, its threads, and the network thread's rounds of work.
#include "voice/engine/engine.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <climits>

#include "voice/iax2/protocol.h"
#include "voice/media/media_clock.h"
#include "voice/media/media_port.h"

namespace voice::engine {
namespace {

constexpr const char* kDefaultCallerName = "Not Available";
constexpr const char* kDefaultCallerNumber = "7005551212";

}  // namespace

Engine& Engine::instance() {
    static Engine engine;
    return engine;
}

uint64_t Engine::now() const {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void Engine::setPreferredPort(int port) {
    std::lock_guard<std::mutex> lock(mutex_);
    preferredPort_ = port;
}

void Engine::setTuning(const Tuning& tuning) {
    std::lock_guard<std::mutex> lock(mutex_);
    tuning_ = tuning;
}

Tuning Engine::tuning() {
    std::lock_guard<std::mutex> lock(mutex_);
    return tuning_;
}

int Engine::initialize(int numCalls) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (initialized_) {
        postText(IAXC_TEXT_TYPE_ERROR, -1, "already initialized");
        return -1;
    }
    activeTuning_ = tuning_;
    if (!socket_.open(preferredPort_)) {
        postText(IAXC_TEXT_TYPE_ERROR, -1, "failed to initialize iax with port %d", preferredPort_);
        return -1;
    }
    if (media::port().initialize() != 0) {
        socket_.close();
        postText(IAXC_TEXT_TYPE_ERROR, -1, "failed to initialize audio");
        return -1;
    }
    calls_.reset(numCalls, kDefaultCallerName, kDefaultCallerNumber);
    preferredFormat_ = IAXC_FORMAT_GSM;
    allowedFormats_ = kSupportedFormats;
    sessions_.reset();
    media_.reset();
    initialized_ = true;
    return 0;
}

void Engine::shutdown() {
    stopThreads();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!initialized_) return;
        for (int i = 0; i < calls_.size(); ++i) {
            if (!calls_.inUse(i)) continue;
            if (Session* s = slotSession(i))
                sendFinal(*s, iax2::cmd::Hangup, "Dumped Call", iax2::cause::NormalClearing);
            calls_.setFree(i);
            postState(i);
        }
        media_.stop();
        sessions_.clear();
        registrations_.clear();
        calls_.clear();
        socket_.close();
        initialized_ = false;
    }
    media::port().shutdown();
    media_.clearOutbox();
    dispatcher_.flushHere();
}

int Engine::startThreads() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initialized_) return -1;
    if (!dispatcher_.start()) return -1;
    if (networkRunning_) return 0;
    stopNetwork_ = false;
    try {
        network_ = std::thread(&Engine::networkLoop, this);
    } catch (...) {
        return -1;
    }
    networkRunning_ = true;
    return 0;
}

int Engine::stopThreads() {
    std::thread network;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (networkRunning_) {
            // Let registration releases sent just before finish their
            // exchange (call token, challenge) for a short while.
            const uint64_t deadline = now() + activeTuning_.releaseGraceMs;
            while (sessions_.any(SessionKind::Release) && now() < deadline) {
                lock.unlock();
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                lock.lock();
            }
            stopNetwork_ = true;
            network = std::move(network_);
            networkRunning_ = false;
        }
    }
    if (network.joinable()) {
        UdpSocket::wake();
        network.join();
    }
    dispatcher_.stop();
    return 0;
}

int Engine::bindPort() {
    std::lock_guard<std::mutex> lock(mutex_);
    return initialized_ ? socket_.port() : -1;
}

size_t Engine::openDialogs() {
    std::lock_guard<std::mutex> lock(mutex_);
    return sessions_.size();
}

std::vector<uint16_t> Engine::openCallNumbers() {
    std::lock_guard<std::mutex> lock(mutex_);
    return sessions_.callNumbers();
}

void Engine::inject(const uint8_t* data, size_t length, const sockaddr_in& from) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initialized_) return;
    handleDatagram(data, length, from);
    runTimers();
    rescheduleLocked();
}

NetworkSleep Engine::networkSleep() {
    std::lock_guard<std::mutex> lock(mutex_);
    return NetworkSleep{networkRounds_, lastWaitMs_};
}

void Engine::reschedule() {
    std::lock_guard<std::mutex> lock(mutex_);
    rescheduleLocked();
}

void Engine::rescheduleLocked() {
    if (!networkRunning_) return;
    const uint64_t due = nextDueMs();
    if (due >= networkSleepUntilMs_) return;
    networkSleepUntilMs_ = due;
    UdpSocket::wake();
}

void Engine::networkLoop() {
    pthread_setname_np(pthread_self(), "voice-net");
    voice::media::raiseToVoicePriority();
    // No fixed tick: the thread sleeps until a datagram, a wake-up (voice
    // frames to send, an API call with an earlier deadline, stopping) or
    // the earliest timer, however far off.
    int waitMs = 0;
    while (!stopNetwork_) {
        socket_.wait(waitMs);
        std::unique_lock<std::mutex> lock(mutex_);
        if (!initialized_ || stopNetwork_) break;
        ++networkRounds_;
        // Awake: whatever API calls queue now is seen below.
        networkSleepUntilMs_ = 0;
        drainSocket();
        drainVoiceOutbox();
        runTimers();
        serviceRegistrations(lock);
        const uint64_t due = nextDueMs();
        const uint64_t t = now();
        waitMs = due == UINT64_MAX ? -1 : due <= t ? 0 : static_cast<int>(std::min<uint64_t>(due - t, INT_MAX));
        networkSleepUntilMs_ = due;
        lastWaitMs_ = waitMs;
    }
}

uint64_t Engine::nextDueMs() {
    uint64_t due = UINT64_MAX;
    for (auto& [n, s] : sessions_) {
        due = std::min(due, s->dialog.nextDueMs());
        if (s->established && !s->closing) due = std::min(due, s->nextPingMs);
    }
    due = std::min(due, registrations_.nextDueMs());
    due = std::min(due, media_.nextLevelsMs());
    return due;
}

}  // namespace voice::engine
