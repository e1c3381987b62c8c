// A scripted IAX2 peer on 127.0.0.1 for tests: a registrar and call
// partner that behaves as a strict server does (call tokens, MD5
// challenges, acknowledgements, retransmission) and records what it sees:
// registrations, calls in both directions, DTMF, transfers, holds, texts,
// voice frames and every raw datagram. Thread-safe; runs its own thread.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "voice/iax2/reliability.h"

namespace iax2test {

struct PeerOptions {
    // Dialog-starting frames need a valid call token (else apathetic reject).
    bool requireCallToken = true;
    // Every token presented is refused (stale or forged).
    bool refuseTokens = false;
    // false: registration requests are ignored (an unreachable registrar).
    bool answerRegistrations = true;
    // Calls from the engine that name a user get an MD5 challenge.
    bool authenticateCalls = true;
    // Refresh granted in REGACK; 0 grants what was asked.
    uint16_t grantedRefresh = 0;
    // MSGCOUNT in REGACK when both are >= 0.
    int messagesOld = -1;
    int messagesNew = -1;
    // RR_PKTS the peer reports in its PONG replies.
    uint32_t reportedPackets = 42;
    // Format put in ACCEPT for calls from the engine; 0 takes the caller's.
    uint32_t acceptFormat = 0;
    // After a blind TRANSFER the peer hangs up the transferred leg, as a
    // server does once the other party has moved on.
    bool hangUpAfterTransfer = true;
    // Retransmission timing of the peer's own frames.
    iax2::RetryPolicy retry{50, 10, 400, 2, 6};
};

struct PeerCall {
    int id = 0;
    bool fromEngine = false;  // the engine sent NEW
    // What the NEW carried (either direction).
    std::string username;
    std::string calledNumber;
    std::string callingNumber;
    std::string callingName;
    std::string calledContext;
    uint32_t format = 0;      // FORMAT offered in NEW / agreed in ACCEPT
    uint32_t capability = 0;  // CAPABILITY offered in NEW
    bool tokenUsed = false;   // NEW came with a valid call token
    bool md5Verified = false;
    // Progress reported by the engine (calls the peer placed).
    bool acceptedByEngine = false;
    bool ringingFromEngine = false;
    bool answeredByEngine = false;
    bool busyFromEngine = false;
    // Progress the peer gave (calls the engine placed).
    bool accepted = false;
    bool ended = false;
    uint8_t endCommand = 0;  // HANGUP, REJECT, INVAL received or sent
    std::string endCause;
    bool endedByPeer = false;
    std::string dtmf;
    std::vector<std::string> transfers;
    bool quelched = false;
    bool musicOnHold = false;
    int quelchCount = 0;
    int unquelchCount = 0;
    std::vector<std::string> texts;
    int voiceFrames = 0;
    int comfortNoise = 0;
    int lastComfortNoiseLevel = -1;
    int pings = 0;
};

struct PlaceCallParams {
    std::string callingNumber = "5551234";
    std::string callingName = "Test Caller";
    std::string calledNumber = "101";
    std::string calledContext = "from-lab";
    uint32_t format = 1u << 1;   // GSM
    uint32_t capability = 0x0E;  // GSM, u-law, A-law
};

struct Datagram {
    std::vector<uint8_t> bytes;
    sockaddr_in from{};
    uint64_t ms = 0;
};

struct PeerCounters {
    int tokensIssued = 0;
    int apatheticRejects = 0;
    int regauthsSent = 0;
    int registrationsAccepted = 0;
    int registrationsRejected = 0;
    int releases = 0;  // REGREL accepted
    int md5Failures = 0;
    int vnaksReceived = 0;
    int retransmissionsReceived = 0;
};

class ScriptedPeer {
public:
    explicit ScriptedPeer(const PeerOptions& options = PeerOptions());
    ~ScriptedPeer();

    uint16_t port() const;
    void addUser(const std::string& user, const std::string& secret);
    void setAnswerRegistrations(bool on);
    // Silent: the peer drops everything and sends nothing (it has vanished).
    void setSilent(bool on);

    // Calls the engine placed (id order = arrival order).
    std::vector<int> callIds() const;
    PeerCall call(int id) const;
    void ring(int id);
    void answer(int id);
    void busy(int id);
    void hangup(int id, const std::string& cause = "Normal Clearing");
    void quelch(int id);
    void unquelch(int id);
    // Any IAX command without elements (PING, LAGRQ, ...).
    void sendIax(int id, uint8_t command);
    // Any full frame without payload (a comfort-noise frame, a control).
    void sendFull(int id, uint8_t type, uint32_t subclass);
    void sendVoice(int id, uint32_t format, const std::vector<uint8_t>& payload, uint32_t timestamp);

    // A mini voice frame (16-bit timestamp) on an established call.
    void sendMini(int id, const std::vector<uint8_t>& payload, uint16_t timestamp);

    // A call from the peer to the engine listening on enginePort.
    int placeCall(uint16_t enginePort, const PlaceCallParams& params = PlaceCallParams());

    PeerCounters counters() const;
    std::vector<Datagram> received() const;
    // Dialogs the peer still keeps.
    size_t openDialogs() const;

    // Polls pred every few milliseconds until it holds or timeoutMs passes.
    bool waitFor(const std::function<bool()>& pred, int timeoutMs) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace iax2test
