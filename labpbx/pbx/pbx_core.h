// The PBX proper: registrar, calls between extensions, service numbers,
// inbound calls placed from the control interface, hold, transfer and the
// records tests read back (DTMF, transfers, REGREL). Lives on the event loop
// thread; LabPbx wraps it for other threads.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "labpbx/pbx/config.h"
#include "labpbx/pbx/event_loop.h"
#include "labpbx/pbx/iax_endpoint.h"
#include "labpbx/pbx/tone.h"
#include "voice/codec/voice_codec.h"

namespace labpbx {

// Q.850 cause 20, not among the wire library's named causes.
inline constexpr uint8_t kCauseSubscriberAbsent = 20;
inline constexpr const char* kNoAuthority = "No authority found";

struct RegistrationInfo {
    std::string extension;
    std::string address;  // "ip:port"
    int expirySeconds = 0;
    int secondsLeft = 0;
};

struct CallInfo {
    int id = 0;
    std::string state;    // setup, ringing, up, busy
    std::string from;     // "2001", "caller:5550100", ...
    std::string to;       // "2002", "echo:600", "external:95551234"
    std::string dialled;  // the number asked for
    std::string callerNumber;
    std::string callerName;
    std::string format;  // gsm, ulaw, alaw, or "-" before it is known
    bool fromHeld = false;
    bool toHeld = false;
};

struct DtmfRecord {
    int callId = 0;
    std::string from;  // who pressed the key
    char digit = 0;
};

struct TransferRecord {
    int callId = 0;
    std::string by;      // the party that asked for the transfer
    std::string moved;   // the party moved to the target
    std::string target;  // the number dialled
};

struct RegRelRecord {
    std::string extension;
    std::string address;
};

struct PbxCounts {
    size_t sessions = 0;
    size_t timers = 0;
    size_t calls = 0;
    size_t registrations = 0;
    size_t unacked = 0;  // full frames awaiting acknowledgement
};

// The kinds of party at one end of a call.
enum class EndKind {
    None,    // not there (yet)
    Leg,     // an IAX2 session to a phone
    Echo,    // the echo service
    Tone,    // the steady tone service
    Busy,    // the busy number
    Ring,    // a number that rings until answered from the control interface
    Caller,  // the scripted caller of an inbound call
};

struct CallEnd {
    EndKind kind = EndKind::None;
    uint16_t callNo = 0;                                // Leg: our session number
    std::string extension;                              // Leg: the extension's number
    std::string number;                                 // the party's number (caller ID)
    std::string name;                                   // the party's name
    uint32_t format = 0;                                // Leg: voice format in use
    bool accepted = false;                              // Leg we called: ACCEPT received
    bool quelched = false;                              // asked us to stop sending audio (hold)
    bool hearsMusic = false;                            // the other end holds with music: play it here
    std::unique_ptr<voice::media::VoiceCodec> encoder;  // for generated audio
    ToneSource tone;
    HoldMusic music;
};

enum class CallState { Auth, Setup, Ringing, Up, Busy };

struct Call {
    int id = 0;
    CallState state = CallState::Setup;
    CallEnd a;  // the calling side
    CallEnd b;  // the called side
    std::string dialled;
    uint32_t offeredFormat = 0;  // what A may speak (its NEW)
    uint32_t offeredCaps = 0;
    EventLoop::TimerId ringTimer = 0;
    EventLoop::TimerId mediaTimer = 0;
};

class PbxCore : public Dispatcher {
public:
    PbxCore(EventLoop& loop, const LabConfig& config, WireTiming timing);
    ~PbxCore() override;

    bool bind(std::string& error);
    void shutdown();
    IaxEndpoint& endpoint() { return endpoint_; }

    // Control operations; false/-1 with error filled on failure.
    int placeInboundCall(const std::string& ext, const std::string& number, const std::string& name,
                         std::string& error);
    bool answer(int callId, std::string& error);
    bool hangup(int callId, std::string& error);
    size_t dropRegistrations(const std::string& ext);  // "" drops all
    void setMailboxCount(const std::string& mailbox, int count);
    int mailboxCount(const std::string& mailbox) const;  // -1: unknown mailbox

    std::vector<RegistrationInfo> registrations() const;
    std::vector<CallInfo> calls() const;
    const std::vector<DtmfRecord>& dtmf() const { return dtmf_; }
    const std::vector<TransferRecord>& transfers() const { return transfers_; }
    const std::vector<RegRelRecord>& regrels() const { return regrels_; }
    PbxCounts counts() const;
    // Empties one of the records: "dtmf", "transfers" or "regrels".
    void clearRecords(const std::string& which);
    // The extension state the manager reports: "NOTEXIST", "UNUSED" or the
    // registering IPv4 address.
    std::string extensionState(const std::string& ext) const;

    // Dispatcher
    void onDialogStart(Session& s, const iax2::FullHeader& h, const iax2::IeList& ies) override;
    void onFrame(Session& s, const iax2::FullHeader& h, const uint8_t* payload, size_t length,
                 const iax2::IeList& ies) override;
    void onVoice(Session& s, uint32_t format, const uint8_t* payload, size_t length, uint32_t timestamp) override;
    void onSessionLost(Session& s) override;
    bool tokenWaived(const std::string& user) override;

private:
    struct Registration {
        sockaddr_in addr{};
        int expiry = 0;
        Clock::time_point expiresAt;
        EventLoop::TimerId timer = 0;      // expiry
        EventLoop::TimerId pokeTimer = 0;  // the next POKE
    };

    // registrar (pbx_registrar.cpp)
    void regDialogStart(Session& s, const iax2::FullHeader& h, const iax2::IeList& ies);
    void regFrame(Session& s, const iax2::FullHeader& h, const iax2::IeList& ies);
    void regAccept(Session& s);
    // ACK of the refused request, then REGREJ, as the reference server does.
    void regReject(Session& s, const iax2::FullHeader& h);
    std::string mailboxOf(const ExtensionConfig& ext) const;
    void schedulePoke(const std::string& ext);
    void forgetRegistration(std::map<std::string, Registration>::iterator it);

    // calls (pbx_calls.cpp)
    void callNew(Session& s, const iax2::FullHeader& h, const iax2::IeList& ies);
    void callAuthReply(Call& c, Session& s, const iax2::FullHeader& h, const iax2::IeList& ies);
    void callStart(Call& c);
    void routeTo(Call& c, const std::string& number, bool transfer);
    bool placeLeg(Call& c, const std::string& ext, uint32_t format, uint32_t caps);
    void callFrame(Call& c, Session& s, const iax2::FullHeader& h, const iax2::IeList& ies);
    void controlFrame(Call& c, CallEnd& from, CallEnd& other, uint32_t subclass);
    void transfer(Call& c, CallEnd& by, const std::string& target);
    void setUp(Call& c);
    // Hangs up every phone of the call except the session 'except' (the one
    // that hung up or was lost), with a cause code.
    void endCall(int callId, uint8_t code, uint16_t except = 0);
    void releaseEnd(CallEnd& e, uint8_t code, uint16_t except);
    // REJECT with cause text and code; after a failed authentication the
    // frame that failed is acknowledged first, as the reference server does.
    void rejectCall(Session& s, const iax2::FullHeader* ackFirst, const char* why, uint8_t code);
    void sendControl(CallEnd& e, uint32_t subclass);
    void armRingTimer(Call& c);
    Call* callOf(Session& s);
    CallEnd* endOf(Call& c, uint16_t callNo);
    CallEnd& otherEnd(Call& c, const CallEnd& e) { return &e == &c.a ? c.b : c.a; }
    std::string describe(const CallEnd& e) const;

    // media (pbx_media.cpp)
    void relayVoice(Call& c, CallEnd& from, uint32_t format, const uint8_t* payload, size_t length);
    void updateMediaTimer(Call& c);
    void mediaTick(int callId);
    void sendGenerated(CallEnd& e, const int16_t* pcm);

    EventLoop& loop_;
    LabConfig config_;
    IaxEndpoint endpoint_;
    std::map<std::string, Registration> regs_;
    std::map<std::string, int> mailboxes_;
    std::map<int, std::unique_ptr<Call>> calls_;
    int nextCallId_ = 1;
    std::vector<DtmfRecord> dtmf_;
    std::vector<TransferRecord> transfers_;
    std::vector<RegRelRecord> regrels_;
};

std::string randomChallenge();

}  // namespace labpbx
