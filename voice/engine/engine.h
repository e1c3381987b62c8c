// The engine behind the iaxclient API: IAX2 dialogs on one UDP socket, a
// network thread and an event dispatcher, wired to parts that each own
// their state:
//
//   call_table.*        CallTable        call slots, the selection, free slots
//   registrations.*     Registrations    registrations and their next attempts
//   session_table.*     SessionTable     open dialogs by call number
//   media_stream.*      MediaStream      the audio of the selected call
//   event_dispatcher.*  EventDispatcher  events to the application's callback
//   udp_socket.*        UdpSocket        the socket, and waking the network thread
//
// The Engine's own methods, by file (api.cpp hands each iaxclient call to
// the one Engine):
//   engine.cpp               life cycle, threads, the network loop's rounds
//   engine_dialogs.cpp       opening, sending on and ending dialogs; timers
//                            (retransmission, pings, levels)
//   engine_receive.cpp       received datagrams: routing, sequencing,
//                            the commands every dialog answers alike
//   engine_call_api.cpp      the call operations of the API
//   engine_call_frames.cpp   the frames of call dialogs
//   engine_registration.cpp  registration and release exchanges
//   engine_media.cpp         choosing the call with audio; voice frames
//   engine_events.cpp        building the application's events
//
// The media side (devices, codecs, playout) is reached through
// media::port() (voice/media/media_port.h), which tests may replace.
//
// Locking: one engine lock guards the Engine and its parts (the event
// queue and the voice outbox also have small locks of their own). It is
// taken by every API call and by the network thread for each round of
// work; events are only queued under it and reach the application from the
// dispatcher's thread with the lock released. Lock order: engine lock, then
// the media side's lock (media calls are made under the engine lock; the
// media side's send callback takes only the voice outbox's lock).
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <iaxclient.h>
#include "voice/engine/call_table.h"
#include "voice/engine/event_dispatcher.h"
#include "voice/engine/media_stream.h"
#include "voice/engine/registrations.h"
#include "voice/engine/session.h"
#include "voice/engine/session_table.h"
#include "voice/engine/tuning.h"
#include "voice/engine/udp_socket.h"
#include "voice/iax2/frame.h"
#include "voice/iax2/ie.h"

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

    uint64_t now() const;

    // --- network thread (engine.cpp)
    void networkLoop();
    // The earliest deadline of the timers, UINT64_MAX when none is set.
    uint64_t nextDueMs();
    void rescheduleLocked();

    // --- dialogs and sending (engine_dialogs.cpp)
    Session* newSession(SessionKind kind, const sockaddr_in& peer);
    Session* findSession(uint16_t localCall) { return sessions_.find(localCall); }
    // Forgets the dialog, and the slot or registration it served forgets it.
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
    // Acknowledges a final frame from the peer and forgets the dialog.
    void acknowledgeAndClose(Session& s, const iax2::FullHeader& h);
    void runTimers();
    void serviceRetransmissions(uint64_t nowMs);
    void gaveUp(uint16_t localCall, uint8_t type, uint32_t subclass);
    void startPings(Session& s);
    void sendPong(Session& s, const iax2::FullHeader& ping);

    // --- received datagrams (engine_receive.cpp)
    void drainSocket();
    void handleDatagram(const uint8_t* data, size_t length, const sockaddr_in& from);
    void handleFull(const iax2::DecodedFrame& frame, const sockaddr_in& from);
    void handleMini(const iax2::DecodedFrame& frame, const sockaddr_in& from);
    void handleSessionFrame(Session& s, const iax2::FullHeader& h, const uint8_t* payload, size_t length);
    void handleCommonCommand(Session& s, const iax2::FullHeader& h, const iax2::IeList& ies);
    void handlePong(Session& s, const iax2::FullHeader& h, const iax2::IeList& ies);
    void handleCallToken(Session& s, const iax2::IeList& ies);

    // --- calls (engine_call_api.cpp, engine_call_frames.cpp)
    void dumpLocked(int slot);
    // Moves the selection to slot; the previous selection loses SELECTED
    // (with a STATE event when it holds a call).
    void selectLocked(int slot);
    void answerLocked(int slot);
    Session* slotSession(int slot);
    void handleIncomingNew(const iax2::FullHeader& h, const iax2::IeList& ies, const sockaddr_in& from);
    void handleCallFrame(Session& s, const iax2::FullHeader& h, const uint8_t* payload, size_t length,
                         const iax2::IeList& ies);
    void handleCallCommand(Session& s, const iax2::FullHeader& h, const iax2::IeList& ies);
    void handleControl(Session& s, uint32_t control);
    void answerAuthRequest(Session& s, const iax2::IeList& ies);
    void handleAccept(Session& s, const iax2::IeList& ies);
    // The far end ended the call (or it failed): text, slot FREE, event.
    void endCall(int slot, const char* text);

    // --- media (engine_media.cpp)
    // Points the media stream at the selected call, when it has audio.
    void updateMedia();
    void drainVoiceOutbox();
    void sendVoice(Session& s, int format, const uint8_t* payload, size_t length, uint32_t mediaTimeMs);
    void handleVoice(Session& s, uint32_t format, uint32_t timestamp, const uint8_t* payload, size_t length);

    // --- registrations (engine_registration.cpp)
    void startRegistration(Registration& r, const std::optional<sockaddr_in>& address);
    void handleRegistrationFrame(Session& s, const iax2::FullHeader& h, const iax2::IeList& ies);
    void registrationTimedOut(int id);
    void serviceRegistrations(std::unique_lock<std::mutex>& lock);

    // --- events (engine_events.cpp)
    void postState(int slot);
    void postText(int type, int callNo, const char* format, ...) __attribute__((format(printf, 4, 5)));
    void postRegistration(int id, int reply, int msgcount);
    void postLevels();
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
    std::atomic<uint64_t> busyNanos_{0};

    CallTable calls_;
    int preferredFormat_ = 0;
    int allowedFormats_ = 0;
    SessionTable sessions_;
    Registrations registrations_;
    MediaStream media_;
};

}  // namespace voice::engine
