// One IAX2 dialog of the engine (Session): a call, a refusal, a
// registration attempt or a release. Guarded by the engine lock.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <string>
#include <vector>

#include <iaxclient.h>
#include "voice/iax2/dialog.h"

namespace voice::engine {

enum class SessionKind {
    Call,          // attached to a call slot
    BusyRefusal,   // an incoming call refused for want of a free slot
    Registration,  // REGREQ exchange of one registration
    Release,       // REGREL exchange after iaxc_unregister
};

struct Session {
    iax2::Dialog dialog;
    sockaddr_in peer{};
    SessionKind kind = SessionKind::Call;
    int slot = -1;           // Call
    int registrationId = 0;  // Registration / Release
    bool outgoing = false;

    // The frame that opened the dialog, kept to repeat it with a call token.
    uint8_t openingCommand = 0;
    std::vector<uint8_t> openingIes;  // without the CALLTOKEN element
    int tokenRounds = 0;
    int authRounds = 0;

    std::string username;
    std::string secret;

    // Set once a final frame (HANGUP, REJECT) went out: the session ends when
    // it is acknowledged or given up.
    bool closing = false;
    // A call that is set up (ACCEPT sent or received): pings run.
    bool established = false;
    uint64_t nextPingMs = 0;

    // Voice sent.
    bool voiceSent = false;
    uint32_t lastVoiceFormatSent = 0;
    uint32_t lastVoiceTsSent = 0;
    uint32_t voiceBaseTs = 0;
    // Voice received.
    uint32_t voiceFormatReceived = 0;
    uint32_t lastVoiceTsReceived = 0;  // the latest voice timestamp, extended to 32 bits
    uint32_t framesReceived = 0;
    uint32_t outOfOrder = 0;

    bool peerHoldsUs = false;  // QUELCH received
    bool weHoldPeer = false;   // iaxc_quelch sent

    int rttMs = -1;
    iaxc_netstat remoteStats{};  // as the peer's last PONG reported them
};

}  // namespace voice::engine
