// Engine life cycle, the network thread, dialogs and sending, and the
// timers of retransmission and keep-alive.
#include "voice/engine/engine.h"

#include <arpa/inet.h>
#include <pthread.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <random>

#include "voice/iax2/protocol.h"
#include "voice/media/media_port.h"

namespace voice::engine {
namespace {

// LEVELS events while a call has audio.
constexpr uint64_t kLevelsIntervalMs = 100;
constexpr const char* kDefaultCallerName = "Not Available";
constexpr const char* kDefaultCallerNumber = "7005551212";

}  // namespace

Engine& Engine::instance() {
    static Engine engine;
    return engine;
}

uint64_t Engine::now() const {
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
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
    if (media::initialize() != 0) {
        socket_.close();
        postText(IAXC_TEXT_TYPE_ERROR, -1, "failed to initialize audio");
        return -1;
    }
    slots_.assign(static_cast<size_t>(numCalls > 0 ? numCalls : 1), CallSlot{});
    for (CallSlot& c : slots_) {
        c.callerName = kDefaultCallerName;
        c.callerNumber = kDefaultCallerNumber;
    }
    selected_ = -1;
    preferredFormat_ = IAXC_FORMAT_GSM;
    allowedFormats_ = kSupportedFormats;
    std::random_device rd;
    nextCallNumber_ = static_cast<uint16_t>(2 + rd() % (iax2::kMaxCallNumber - 2));
    mediaSlot_ = -1;
    mediaSession_ = 0;
    mediaFormat_ = 0;
    outbox_.clear();
    initialized_ = true;
    return 0;
}

void Engine::shutdown() {
    stopThreads();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!initialized_) return;
        for (int i = 0; i < static_cast<int>(slots_.size()); ++i) {
            if (slots_[i].state == IAXC_CALL_STATE_FREE) continue;
            if (Session* s = slotSession(i)) sendFinal(*s, iax2::cmd::Hangup, "Dumped Call",
                                                       iax2::cause::NormalClearing);
            clearSlot(i);
            postState(i);
        }
        if (mediaSlot_ >= 0) media::stopCall();
        mediaSlot_ = -1;
        mediaSession_ = 0;
        ++mediaGeneration_;
        sessions_.clear();
        registrations_.clear();
        slots_.clear();
        selected_ = -1;
        socket_.close();
        initialized_ = false;
    }
    media::shutdown();
    outbox_.clear();
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
            while (releasesPending() && now() < deadline) {
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
    std::vector<uint16_t> numbers;
    for (auto& [n, s] : sessions_) numbers.push_back(n);
    return numbers;
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

// ---------------------------------------------------------------- sessions

uint16_t Engine::allocateCallNumber() {
    for (int tries = 0; tries < iax2::kMaxCallNumber; ++tries) {
        uint16_t n = nextCallNumber_;
        nextCallNumber_ = static_cast<uint16_t>(n >= iax2::kMaxCallNumber ? 2 : n + 1);
        if (n >= 2 && sessions_.find(n) == sessions_.end()) return n;
    }
    return 0;
}

Session* Engine::newSession(SessionKind kind, const sockaddr_in& peer) {
    const uint16_t number = allocateCallNumber();
    if (number == 0) return nullptr;
    auto s = std::make_unique<Session>();
    s->dialog = iax2::Dialog(number, now(), activeTuning_.retry);
    s->peer = peer;
    s->kind = kind;
    Session* raw = s.get();
    sessions_[number] = std::move(s);
    return raw;
}

Session* Engine::findSession(uint16_t localCall) {
    auto it = sessions_.find(localCall);
    return it == sessions_.end() ? nullptr : it->second.get();
}

void Engine::destroySession(uint16_t localCall) {
    auto it = sessions_.find(localCall);
    if (it == sessions_.end()) return;
    const int slot = it->second->slot;
    if (it->second->kind == SessionKind::Call && validSlot(slot) && slots_[slot].session == localCall)
        slots_[slot].session = 0;
    for (Registration& r : registrations_)
        if (r.session == localCall) r.session = 0;
    sessions_.erase(it);
}

void Engine::sendRaw(const sockaddr_in& to, const uint8_t* data, size_t length) {
    socket_.sendTo(to, data, length);
}

bool Engine::sendFrame(Session& s, const iax2::OutFrame& frame) {
    uint8_t buf[iax2::kMaxDatagram];
    const size_t n = s.dialog.build(frame, now(), buf, sizeof buf);
    if (n == 0) return false;
    sendRaw(s.peer, buf, n);
    return true;
}

bool Engine::sendCommand(Session& s, uint8_t command, const iax2::IeWriter* ies) {
    return sendFrame(s, iax2::OutFrame::of(iax2::frametype::Iax, command,
                                           ies ? ies->data() : nullptr, ies ? ies->size() : 0));
}

bool Engine::sendControl(Session& s, uint8_t control) {
    return sendFrame(s, iax2::OutFrame::of(iax2::frametype::Control, control));
}

bool Engine::sendOpening(Session& s, std::string_view token) {
    uint8_t buf[iax2::kMaxDatagram - iax2::kFullHeaderSize];
    // The stored elements verbatim, then the token element last.
    iax2::IeWriter out(buf, sizeof buf);
    size_t pos = 0;
    while (pos + 2 <= s.openingIes.size()) {
        const uint8_t id = s.openingIes[pos];
        const uint8_t len = s.openingIes[pos + 1];
        out.addRaw(id, s.openingIes.data() + pos + 2, len);
        pos += 2 + static_cast<size_t>(len);
    }
    if (token.empty())
        out.addEmpty(iax2::ie::CallToken);
    else
        out.addString(iax2::ie::CallToken, token);
    if (!out.ok()) return false;
    return sendCommand(s, s.openingCommand, &out);
}

void Engine::sendFinal(Session& s, uint8_t command, const char* cause, uint8_t causeCode) {
    uint8_t buf[300];
    iax2::IeWriter w(buf, sizeof buf);
    if (cause) w.addString(iax2::ie::Cause, cause);
    if (causeCode) w.addU8(iax2::ie::CauseCode, causeCode);
    sendCommand(s, command, &w);
    s.closing = true;
    if (s.kind == SessionKind::Call && validSlot(s.slot) &&
        slots_[s.slot].session == s.dialog.localCall())
        slots_[s.slot].session = 0;
    s.slot = -1;
}

void Engine::replyUnknownCall(const iax2::FullHeader& h, const sockaddr_in& from) {
    using namespace iax2;
    if (h.type == frametype::Iax &&
        (h.subclass == cmd::Ack || h.subclass == cmd::Inval || h.subclass == cmd::Vnak ||
         h.subclass == cmd::CallToken))
        return;
    if (h.sourceCall == kApatheticCallNumber) return;
    // A final frame repeated after we acknowledged it and let the dialog go:
    // acknowledge again. Anything else: tell the peer the call is unknown.
    FullHeader r;
    r.sourceCall = h.destinationCall;
    r.destinationCall = h.sourceCall;
    r.timestamp = h.timestamp;
    r.oseq = h.iseq;
    r.iseq = static_cast<uint8_t>(h.oseq + 1);
    r.type = frametype::Iax;
    r.subclass = isFinalFrame(h.type, h.subclass) ? cmd::Ack : cmd::Inval;
    uint8_t buf[kFullHeaderSize];
    if (encodeFullFrame(r, nullptr, 0, buf, sizeof buf)) sendRaw(from, buf, sizeof buf);
}

// ---------------------------------------------------------------- network

void Engine::networkLoop() {
    pthread_setname_np(pthread_self(), "voice-net");
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
        waitMs = due == UINT64_MAX ? -1
                 : due <= t        ? 0
                                   : static_cast<int>(std::min<uint64_t>(due - t, INT_MAX));
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
    for (const Registration& r : registrations_)
        if (r.session == 0 && !r.resolving) due = std::min(due, r.nextAttemptMs);
    if (mediaSession_ != 0) due = std::min(due, nextLevelsMs_);
    return due;
}

// ---------------------------------------------------------------- timers

void Engine::runTimers() {
    const uint64_t t = now();
    serviceRetransmissions(t);
    std::vector<uint16_t> finished;
    for (auto& [n, s] : sessions_) {
        if (s->closing && s->dialog.allAcknowledged()) {
            finished.push_back(n);
            continue;
        }
        if (s->established && !s->closing && t >= s->nextPingMs) {
            sendPing(*s);
            s->nextPingMs = t + activeTuning_.pingIntervalMs;
        }
    }
    for (uint16_t n : finished) destroySession(n);
    if (mediaSession_ != 0 && t >= nextLevelsMs_) {
        postLevels();
        nextLevelsMs_ = t + kLevelsIntervalMs;
    }
}

void Engine::postLevels() {
    iaxc_event e;
    std::memset(&e, 0, sizeof e);
    e.type = IAXC_EVENT_LEVELS;
    media::currentLevels(e.ev.levels.input, e.ev.levels.output);
    post(e);
}

void Engine::serviceRetransmissions(uint64_t t) {
    struct Lost {
        uint16_t call;
        uint8_t type;
        uint32_t subclass;
    };
    std::vector<Lost> lost;
    for (auto& [n, s] : sessions_) {
        Session& ref = *s;
        const uint16_t call = n;
        ref.dialog.service(
            t, [&](const uint8_t* p, size_t len) { sendRaw(ref.peer, p, len); },
            [&](const iax2::RetransmitQueue::Entry& e) {
                lost.push_back({call, e.type, e.subclass});
            });
    }
    for (const Lost& l : lost) gaveUp(l.call, l.type, l.subclass);
}

void Engine::gaveUp(uint16_t localCall, uint8_t, uint32_t) {
    Session* s = findSession(localCall);
    if (s == nullptr) return;
    if (s->closing) {
        destroySession(localCall);
        return;
    }
    switch (s->kind) {
        case SessionKind::Call: {
            const int slot = s->slot;
            postText(IAXC_TEXT_TYPE_STATUS, slot, "Call %d timed out.", slot);
            // One last word to the peer, not repeated: it has stopped answering.
            uint8_t buf[64];
            iax2::IeWriter w(buf, sizeof buf);
            w.addString(iax2::ie::Cause, "Call timed out");
            sendCommand(*s, iax2::cmd::Hangup, &w);
            destroySession(localCall);
            if (validSlot(slot)) {
                clearSlot(slot);
                postState(slot);
            }
            updateMedia();
            break;
        }
        case SessionKind::Registration: {
            const int id = s->registrationId;
            destroySession(localCall);
            registrationTimedOut(id);
            break;
        }
        case SessionKind::BusyRefusal:
        case SessionKind::Release:
            destroySession(localCall);
            break;
    }
}

}  // namespace voice::engine
