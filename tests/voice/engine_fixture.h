// Brings the engine up for a test (fast retransmission timings, any free
// port, two call slots) and records every event the application would see.
#pragma once

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <iaxclient.h>
#include "tests/support/iax2/scripted_peer.h"

struct SeenEvent {
    int type = 0;
    int callNo = -1;
    int state = 0;
    int format = 0;
    std::string remote, remoteName, local, localContext;
    int regId = 0, reply = 0, msgcount = 0;
    int textType = 0;
    std::string text;
    char digit = 0;
};

class EventLog {
public:
    static EventLog& instance();
    void clear();
    void add(const iaxc_event& e);
    std::vector<SeenEvent> all();
    // STATE values delivered for one call slot, in order.
    std::vector<int> states(int callNo);
    std::vector<std::string> texts();
    std::vector<SeenEvent> registrations();
    // Waits until pred(all events) holds.
    bool waitFor(const std::function<bool(const std::vector<SeenEvent>&)>& pred, int timeoutMs);
    bool waitForState(int callNo, int state, int timeoutMs);
    bool waitForRegistrations(size_t count, int timeoutMs);

    // Run from inside the callback after recording, when set.
    void setHook(std::function<void(const iaxc_event&)> hook);
    void runHook(const iaxc_event& e);

private:
    std::function<void(const iaxc_event&)> hook_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<SeenEvent> events_;
};

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Brings the engine up; tests that change timings call it themselves.
    void startEngine();
    void stopEngine();
    std::string peerHost() const;
    std::string dial(const std::string& number, const std::string& secret = "secret") const;

    iax2test::ScriptedPeer* peer = nullptr;
    EventLog& log = EventLog::instance();
    bool engineUp = false;
    bool autoStart = true;
    // Registration refresh the engine asks for, and retry period of a
    // registration that got no answer.
    uint16_t registrationRefreshSec = 60;
    iax2test::PeerOptions peerOptions;

private:
    std::unique_ptr<iax2test::ScriptedPeer> peerHolder_;
};

// State values spelled out for readable expectations.
constexpr int kActive = IAXC_CALL_STATE_ACTIVE;
constexpr int kOutgoing = IAXC_CALL_STATE_OUTGOING;
constexpr int kRinging = IAXC_CALL_STATE_RINGING;
constexpr int kComplete = IAXC_CALL_STATE_COMPLETE;
constexpr int kSelected = IAXC_CALL_STATE_SELECTED;
constexpr int kBusy = IAXC_CALL_STATE_BUSY;
