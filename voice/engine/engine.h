// The engine behind the iaxclient API: call slots, registrations, IAX2
// dialogs on one UDP socket, a network thread and an event dispatcher.
//
// Locking: one engine lock guards everything below. It is taken by every
// API call and by the network thread for each round of work; events are
// only queued under it and reach the application from the dispatcher's
// thread with the lock released. Lock order: engine lock, then the media
// side's lock (media calls are made under the engine lock; the media side's
// send callback takes only the voice outbox's lock).
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "voice/engine/event_dispatcher.h"
#include "voice/iax2/frame.h"
#include "voice/iax2/ie.h"
#include <iaxclient.h>
#include "voice/engine/session.h"
#include "voice/engine/tuning.h"
#include "voice/engine/udp_socket.h"
#include "voice/engine/voice_outbox.h"

namespace voice::engine {

// The audio formats the media side codes.
inline constexpr int kSupportedFormats = IAXC_FORMAT_GSM | IAXC_FORMAT_ULAW | IAXC_FORMAT_ALAW;

class Engine {
public:
    static Engine& instance();

    // Settings that apply from the next initialize.
    void setPreferredPort(int port);
    void setTuning(const Tuning& tuning);
    Tuning tuning();

    int initialize(int numCalls);
    void shutdown();
    int startThreads();
    int stopThreads();
    void setCallback(iaxc_event_callback_t callback) { dispatcher_.setCallback(callback); }
    int bindPort();

    int registerUser(const char* user, const char* pass, const char* host);
    int unregister(int id);

    void setCallerId(const char* name, const char* number);
    void setFormats(int preferred, int allowed);
    int call(const char* dest, const char* callerName, const char* callerNumber);
    void answer(int slot);
    void dumpSelected();
    void dump(int slot);
    void reject(int slot);
    void sendBusy(int slot);
    int quelch(int slot, int musicOnHold);
    int unquelch(int slot);
    void blindTransfer(int slot, const char* number);
    void sendDtmf(char digit);
    void sendText(const char* text);
    int select(int slot);
    int firstFree();
    int selected();
    int netstats(int slot, int* rtt, iaxc_netstat* local, iaxc_netstat* remote);

    size_t openDialogs();
    std::vector<uint16_t> openCallNumbers();
    void inject(const uint8_t* data, size_t length, const sockaddr_in& from);
    uint64_t busyNanos() const { return busyNanos_; }
    NetworkSleep networkSleep();
    // After an API call that may have queued work with a deadline (a frame
    // to retransmit, a ping, a registration): wakes the network thread when
    // that deadline comes before the end of its sleep.
    void reschedule();

private:
    Engine() = default;

    // --- time and call numbers
    uint64_t now() const;
    uint16_t allocateCallNumber();

    // --- sessions and sending (engine.cpp)
    Session* newSession(SessionKind kind, const sockaddr_in& peer);
    Session* findSession(uint16_t localCall);
    void destroySession(uint16_t localCall);
    bool sendFrame(Session& s, const iax2::OutFrame& frame);
    bool sendCommand(Session& s, uint8_t command, const iax2::IeWriter* ies = nullptr);
    bool sendControl(Session& s, uint8_t control);
    // Sends the dialog's opening frame (NEW, REGREQ, REGREL) with the call
    // token element: empty, or the token the server handed out.
    bool sendOpening(Session& s, std::string_view token);
    void sendRaw(const sockaddr_in& to, const uint8_t* data, size_t length);
    void replyUnknownCall(const iax2::FullHeader& h, const sockaddr_in& from);
    // A final frame: the session closes once the peer acknowledges it.
    void sendFinal(Session& s, uint8_t command, const char* cause, uint8_t causeCode);

    // --- network thread (engine.cpp)
    void networkLoop();
    void drainSocket();
    void handleDatagram(const uint8_t* data, size_t length, const sockaddr_in& from);
    void handleFull(const iax2::DecodedFrame& frame, const sockaddr_in& from);
    void handleMini(const iax2::DecodedFrame& frame, const sockaddr_in& from);
    void handleSessionFrame(Session& s, const iax2::FullHeader& h, const uint8_t* payload,
                            size_t length);
    void handleCommonCommand(Session& s, const iax2::FullHeader& h, const iax2::IeList& ies);
    void handleCallToken(Session& s, const iax2::IeList& ies);
    void runTimers();
    void serviceRetransmissions(uint64_t nowMs);
    void gaveUp(uint16_t localCall, uint8_t type, uint32_t subclass);
    // The earliest deadline of the timers, UINT64_MAX when none is set.
    uint64_t nextDueMs();
    void rescheduleLocked();

    // --- calls (engine_calls.cpp)
    void handleIncomingNew(const iax2::FullHeader& h, const iax2::IeList& ies,
                           const sockaddr_in& from);
    void handleCallFrame(Session& s, const iax2::FullHeader& h, const uint8_t* payload,
                         size_t length, const iax2::IeList& ies);
    void handleCallCommand(Session& s, const iax2::FullHeader& h, const iax2::IeList& ies);
    void handleControl(Session& s, uint32_t control);
    void handleVoice(Session& s, uint32_t format, uint32_t timestamp, const uint8_t* payload,
                     size_t length);
    void answerAuthRequest(Session& s, const iax2::IeList& ies);
    void handleAccept(Session& s, const iax2::IeList& ies);
    // The far end ended the call (or it failed): text, slot FREE, event.
    void endCall(int slot, const char* text);
    // Acknowledges a final frame from the peer and forgets the dialog.
    void acknowledgeAndClose(Session& s, const iax2::FullHeader& h);
    void dumpLocked(int slot);
    void clearSlot(int slot);
    bool validSlot(int slot) const { return slot >= 0 && slot < static_cast<int>(slots_.size()); }
    Session* slotSession(int slot);
    // Moves the selection to slot; the previous selection loses SELECTED
    // (with a STATE event when it holds a call).
    void selectLocked(int slot);
    void answerLocked(int slot);
    void startPings(Session& s);
    void sendPing(Session& s);
    void sendPong(Session& s, const iax2::FullHeader& ping);
    // Receive figures of a call: the media side's for the call with audio.
    iaxc_netstat localStats(const Session& s);
    void handlePong(Session& s, const iax2::FullHeader& h, const iax2::IeList& ies);
    void postLevels();

    // --- media (engine_calls.cpp)
    void updateMedia();
    void drainVoiceOutbox();
    void sendVoice(Session& s, int format, const uint8_t* payload, size_t length,
                   uint32_t mediaTimeMs);

    // --- registrations (engine_registration.cpp)
    void startRegistration(Registration& r, const std::optional<sockaddr_in>& address);
    void handleRegistrationFrame(Session& s, const iax2::FullHeader& h, const iax2::IeList& ies);
    void registrationTimedOut(int id);
    void serviceRegistrations(std::unique_lock<std::mutex>& lock);
    bool releasesPending();
    Registration* findRegistration(int id);

    // --- events (engine_events.cpp)
    void postState(int slot);
    void postText(int type, int callNo, const char* format, ...)
        __attribute__((format(printf, 4, 5)));
    void postRegistration(int id, int reply, int msgcount);
    void post(const iaxc_event& e) { dispatcher_.post(e); }

    std::mutex mutex_;
    bool initialized_ = false;
    int preferredPort_ = 0;
    Tuning tuning_;
    Tuning activeTuning_;
    UdpSocket socket_;
    EventDispatcher dispatcher_;

    std::thread network_;
    std::atomic<bool> networkRunning_{false};
    std::atomic<bool> stopNetwork_{false};
    // When the network thread's sleep ends (0 while it works, UINT64_MAX
    // for a sleep with no deadline), its rounds and its latest wait.
    uint64_t networkSleepUntilMs_ = 0;
    uint64_t networkRounds_ = 0;
    int lastWaitMs_ = 0;

    std::vector<CallSlot> slots_;
    int selected_ = -1;
    int preferredFormat_ = 0;
    int allowedFormats_ = 0;
    std::map<uint16_t, std::unique_ptr<Session>> sessions_;
    uint16_t nextCallNumber_ = 2;

    std::vector<Registration> registrations_;
    int nextRegistrationId_ = 1;

    // Media stream of the selected call.
    int mediaSlot_ = -1;
    uint16_t mediaSession_ = 0;
    int mediaFormat_ = 0;
    bool mediaMuted_ = false;
    std::atomic<uint64_t> mediaGeneration_{0};
    VoiceOutbox outbox_;
    std::atomic<uint64_t> busyNanos_{0};
    uint64_t nextLevelsMs_ = 0;
};

}  // namespace voice::engine
