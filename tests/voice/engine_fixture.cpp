#include "engine_fixture.h"

#include <chrono>

#include "fake_media.h"
#include "voice/engine/tuning.h"

namespace {

int recordEvent(iaxc_event e) {
    EventLog::instance().add(e);
    EventLog::instance().runHook(e);
    return 1;
}

}  // namespace

EventLog& EventLog::instance() {
    static EventLog log;
    return log;
}

void EventLog::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.clear();
    hook_ = nullptr;
}

void EventLog::setHook(std::function<void(const iaxc_event&)> hook) {
    std::lock_guard<std::mutex> lock(mutex_);
    hook_ = std::move(hook);
}

void EventLog::runHook(const iaxc_event& e) {
    std::function<void(const iaxc_event&)> hook;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        hook = hook_;
    }
    if (hook) hook(e);
}

void EventLog::add(const iaxc_event& e) {
    SeenEvent s;
    s.type = e.type;
    switch (e.type) {
        case IAXC_EVENT_STATE:
            s.callNo = e.ev.call.callNo;
            s.state = e.ev.call.state;
            s.format = e.ev.call.format;
            s.remote = e.ev.call.remote;
            s.remoteName = e.ev.call.remote_name;
            s.local = e.ev.call.local;
            s.localContext = e.ev.call.local_context;
            break;
        case IAXC_EVENT_REGISTRATION:
            s.regId = e.ev.reg.id;
            s.reply = e.ev.reg.reply;
            s.msgcount = e.ev.reg.msgcount;
            break;
        case IAXC_EVENT_TEXT:
            s.textType = e.ev.text.type;
            s.callNo = e.ev.text.callNo;
            s.text = e.ev.text.message;
            break;
        case IAXC_EVENT_DTMF:
            s.callNo = e.ev.dtmf.callNo;
            s.digit = e.ev.dtmf.digit;
            break;
        default:
            break;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(s);
    }
    changed_.notify_all();
}

std::vector<SeenEvent> EventLog::all() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
}

std::vector<int> EventLog::states(int callNo) {
    std::vector<int> out;
    for (const SeenEvent& e : all())
        if (e.type == IAXC_EVENT_STATE && e.callNo == callNo) out.push_back(e.state);
    return out;
}

std::vector<std::string> EventLog::texts() {
    std::vector<std::string> out;
    for (const SeenEvent& e : all())
        if (e.type == IAXC_EVENT_TEXT) out.push_back(e.text);
    return out;
}

std::vector<SeenEvent> EventLog::registrations() {
    std::vector<SeenEvent> out;
    for (const SeenEvent& e : all())
        if (e.type == IAXC_EVENT_REGISTRATION) out.push_back(e);
    return out;
}

bool EventLog::waitFor(const std::function<bool(const std::vector<SeenEvent>&)>& pred, int timeoutMs) {
    // The time-out only bounds a failing test; a busy machine may take far
    // longer than a quiet one.
    constexpr int kPatienceMs = 10000;
    if (timeoutMs < kPatienceMs) timeoutMs = kPatienceMs;
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return pred(events_); });
}

bool EventLog::waitForState(int callNo, int state, int timeoutMs) {
    return waitFor(
        [&](const std::vector<SeenEvent>& ev) {
            for (const SeenEvent& e : ev)
                if (e.type == IAXC_EVENT_STATE && e.callNo == callNo && e.state == state) return true;
            return false;
        },
        timeoutMs);
}

bool EventLog::waitForRegistrations(size_t count, int timeoutMs) {
    return waitFor(
        [&](const std::vector<SeenEvent>& ev) {
            size_t n = 0;
            for (const SeenEvent& e : ev) n += e.type == IAXC_EVENT_REGISTRATION;
            return n >= count;
        },
        timeoutMs);
}

void EngineTest::SetUp() {
    log.clear();
    fakemedia::reset();
    peerOptions.requireCallToken = true;
    if (autoStart) startEngine();
}

void EngineTest::startEngine() {
    if (!peerHolder_) {
        peerHolder_ = std::make_unique<iax2test::ScriptedPeer>(peerOptions);
        peer = peerHolder_.get();
        peer->addUser("101", "secret");
    }
    voice::engine::Tuning t;
    t.retry = iax2::RetryPolicy{20, 10, 160, 2, 5};
    t.firstPingMs = 150;
    t.pingIntervalMs = 250;
    t.registrationRefreshSec = registrationRefreshSec;
    t.releaseGraceMs = 500;
    voice::engine::setTuning(t);
    iaxc_set_preferred_source_udp_port(-1);
    ASSERT_EQ(iaxc_initialize(2), 0);
    iaxc_set_formats(IAXC_FORMAT_GSM, IAXC_FORMAT_GSM | IAXC_FORMAT_ULAW | IAXC_FORMAT_ALAW);
    iaxc_set_event_callback(recordEvent);
    ASSERT_EQ(iaxc_start_processing_thread(), 0);
    iaxc_set_callerid("101", "101");
    engineUp = true;
}

void EngineTest::stopEngine() {
    if (!engineUp) return;
    iaxc_stop_processing_thread();
    iaxc_shutdown();
    engineUp = false;
}

void EngineTest::TearDown() {
    stopEngine();
    log.clear();
    peerHolder_.reset();
}

std::string EngineTest::peerHost() const {
    return "127.0.0.1:" + std::to_string(peer->port());
}

std::string EngineTest::dial(const std::string& number, const std::string& secret) const {
    return "101:" + secret + "@" + peerHost() + "/" + number;
}
