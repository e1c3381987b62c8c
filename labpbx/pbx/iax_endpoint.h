// The PBX's IAX2 side on the wire: one UDP socket, the table of sessions
// (one per call number we hand out), sequence numbers, acknowledgements,
// retransmission, VNAK, PING/PONG, LAGRQ/LAGRP, INVAL, POKE and call
// tokens, all as the reference server does them. What a session is for
// (registration, call leg) is the Dispatcher's business.
// Runs on the event loop thread only.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "labpbx/pbx/event_loop.h"
#include "voice/iax2/call_token.h"
#include "voice/iax2/dialog.h"
#include "voice/iax2/frame.h"
#include "voice/iax2/ie.h"
#include "voice/iax2/protocol.h"
#include "voice/iax2/reliability.h"

namespace labpbx {

// Timing on the wire; the defaults are the reference server's, tests take
// shorter ones.
struct WireTiming {
    // Retransmission: the first resend after twice a 1 s round-trip guess,
    // each later one ten times longer, at most 10 s apart; four sends in
    // all, then the frame is given up (and with it the session).
    iax2::RetryPolicy retry{1000, 100, 10000, 10, 3};
    // PING and LAGRQ to the phone during a call.
    int pingIntervalMs = 21000;
    int lagIntervalMs = 10000;
    // POKE to a registered phone: right after it registers from a new
    // address, then this often; 0 = never.
    int pokeIntervalMs = 60000;
    // Where the clock of every session starts (a test reaches the 16-bit
    // wrap of mini frame timestamps without waiting 65 s).
    uint32_t clockStartMs = 0;
};

// Whether the next voice frame of a session goes as a full frame: the first
// one, one in a new format, or one whose timestamp is more than one 16-bit
// wrap beyond the last; across a single wrap minis carry on.
bool fullVoiceFrameDue(bool started, uint32_t lastFormat, uint32_t lastTs, uint32_t format, uint32_t ts);

// CONTROL subclass -1, "stop indications": sent after ANSWER. On the wire
// it is the subclass byte 0xFF.
inline constexpr uint32_t kStopIndications = iax2::kSubclassMinusOne;

enum class SessionKind { Registration, CallLeg, Poke };

struct Session {
    uint16_t callNo = 0;
    uint16_t peerCallNo() const { return dialog.remoteCall(); }
    sockaddr_in addr{};
    SessionKind kind = SessionKind::CallLeg;

    iax2::Dialog dialog;     // call numbers, sequence numbers, frames awaiting ACK
    bool finalSent = false;  // a HANGUP/REJECT/REGACK/REGREJ is out: destroy once acknowledged

    EventLoop::TimerId retryTimer = 0;
    EventLoop::TimerId pingTimer = 0;
    EventLoop::TimerId lagTimer = 0;

    // Voice in each direction.
    uint32_t rxVoiceFormat = 0;
    uint32_t lastRxTs = 0;
    uint32_t txVoiceFormat = 0;
    uint32_t lastTxVoiceTs = 0;
    bool txVoiceStarted = false;

    // For an outgoing NEW that may be answered with a CALLTOKEN round.
    std::vector<uint8_t> newIes;  // the IEs of our NEW, without the token
    bool tokenRoundDone = false;

    // Owner data.
    int callId = 0;    // the call this leg belongs to, 0 for none
    std::string user;  // extension the dialog is about
    std::string challenge;
    bool release = false;  // a registration dialog started by REGREL
    uint16_t refresh = 0;  // the REFRESH a REGREQ asked for
};

// What the endpoint hands up.
class Dispatcher {
public:
    virtual ~Dispatcher() = default;
    // A NEW, REGREQ or REGREL starting a dialog passed the call-token check
    // and got a session.
    virtual void onDialogStart(Session& s, const iax2::FullHeader& h, const iax2::IeList& ies) = 0;
    // Any other full frame of a session, in order (after sequencing; ACK,
    // PING, PONG, LAGRQ, LAGRP, VNAK, INVAL and CALLTOKEN are handled here).
    virtual void onFrame(Session& s, const iax2::FullHeader& h, const uint8_t* payload, size_t length,
                         const iax2::IeList& ies) = 0;
    // Voice (full or mini frame), timestamp already extended to 32 bits.
    virtual void onVoice(Session& s, uint32_t format, const uint8_t* payload, size_t length,
                         uint32_t timestamp) = 0;
    // The peer is gone: INVAL received or a frame was retransmitted in vain.
    // The session is destroyed right after this returns.
    virtual void onSessionLost(Session& s) = 0;
    // Whether a user waives call tokens (unknown users do not).
    virtual bool tokenWaived(const std::string& user) = 0;
};

class IaxEndpoint {
public:
    IaxEndpoint(EventLoop& loop, Dispatcher& dispatcher, WireTiming timing = {});
    ~IaxEndpoint();

    bool bind(const std::string& address, uint16_t port, std::string& error);
    uint16_t port() const { return port_; }
    void close();

    // Feeds one datagram as if it came from 'from' (the socket reader and
    // the fuzz target both come through here).
    void receive(const uint8_t* data, size_t length, const sockaddr_in& from);

    // Acknowledges a frame at once and forgets the session (HANGUP and
    // REJECT received).
    void ackAndDestroy(Session& s, const iax2::FullHeader& received);
    // A new session towards addr for a call we place.
    Session* createSession(const sockaddr_in& addr, SessionKind kind);
    Session* find(uint16_t callNo);
    // Sends an IAX command or control frame; without ts it takes the
    // session clock.
    void sendFrame(Session& s, uint8_t type, uint32_t subclass, const uint8_t* payload = nullptr,
                   size_t length = 0, std::optional<uint32_t> ts = std::nullopt);
    void sendIax(Session& s, uint32_t command, const iax2::IeWriter& ies,
                 std::optional<uint32_t> ts = std::nullopt) {
        sendFrame(s, iax2::frametype::Iax, command, ies.data(), ies.size(), ts);
    }
    void sendVoice(Session& s, uint32_t format, const uint8_t* payload, size_t length);
    // Places our NEW (with an empty CALLTOKEN element, as modern servers do).
    void sendNew(Session& s, const iax2::IeWriter& ies);
    // Hangs a session up towards the peer: HANGUP with a cause code and no
    // cause text, as the reference server sends it (final).
    void sendHangup(Session& s, uint8_t causeCode);
    // Acknowledges a received frame now, ahead of the reply that follows.
    void acknowledge(Session& s, const iax2::FullHeader& received) { sendAck(s, received); }
    // POKE to a phone, from a session of its own; the PONG is acknowledged
    // and ends it.
    void poke(const sockaddr_in& addr);
    const WireTiming& timing() const { return timing_; }
    // Forgets a session at once (its timers go with it).
    void destroy(uint16_t callNo);

    size_t sessionCount() const { return sessions_.size(); }
    // Full frames sent and not yet acknowledged, over all sessions.
    size_t unacknowledged() const;
    size_t socketCount() const { return fd_ >= 0 ? 1 : 0; }
    std::vector<uint16_t> sessionNumbers() const;

    // Frames that could not be sent (kept for the statistics).
    uint64_t sendFailures() const { return sendFailures_; }

private:
    void onReadable();
    void sendRaw(const uint8_t* data, size_t length, const sockaddr_in& to);
    void sendApathetic(const sockaddr_in& to, uint16_t destCall, uint32_t ts, uint8_t iseq, uint32_t command,
                       const iax2::IeWriter* ies);
    void sendInval(const sockaddr_in& to, uint16_t destCall, uint16_t srcCall);
    void sendAck(Session& s, const iax2::FullHeader& received);
    void startKeepAlive(Session& s);
    void armRetry(Session& s);
    void serviceRetries(uint16_t callNo);
    // A session given up after its retries: frames still arriving for its
    // call number are dropped without a word, and the number is not handed
    // out again while remembered.
    void markGivenUp(uint16_t callNo);
    bool givenUp(uint16_t callNo) const { return givenUpSet_.count(callNo) > 0; }
    // VNAK: every unacknowledged frame from the one asked for, at once and
    // as first sent.
    void resendForVnak(Session& s, uint8_t from);
    void handleFull(const iax2::DecodedFrame& f, const sockaddr_in& from);
    void handleMini(const iax2::DecodedFrame& f, const sockaddr_in& from);
    bool tokenCheck(const iax2::FullHeader& h, const iax2::IeList& ies, const sockaddr_in& from);
    void handleSessionFrame(Session& s, const iax2::FullHeader& h, const uint8_t* payload, size_t length);
    uint16_t allocateCallNo();
    uint64_t nowMs() const;

    EventLoop& loop_;
    Dispatcher& dispatcher_;
    WireTiming timing_;
    iax2::CallTokenIssuer tokens_;
    int fd_ = -1;
    uint16_t port_ = 0;
    Clock::time_point epoch_;
    uint16_t nextCallNo_ = 2;
    std::map<uint16_t, std::unique_ptr<Session>> sessions_;
    // (peer address, peer call number) -> our call number
    std::map<std::pair<uint64_t, uint16_t>, uint16_t> byPeer_;
    std::set<uint16_t> givenUpSet_;
    std::deque<uint16_t> givenUpOrder_;  // oldest first, bounded
    uint64_t sendFailures_ = 0;
    bool trace_ = false;  // LABPBX_TRACE set: every full frame to stderr
};

std::string addressText(const sockaddr_in& a);  // "127.0.0.1:4570"
std::string ipText(const sockaddr_in& a);       // "127.0.0.1"
uint64_t peerKey(const sockaddr_in& a);         // address and port as one key
bool sameAddress(const sockaddr_in& a, const sockaddr_in& b);

}  // namespace labpbx
