// A scripted IAX2 phone for the lab PBX's tests: a UDP socket on loopback,
// dialogs kept by iax2::Dialog, and blocking helpers that send one frame
// and wait for the answer. Received sequenced frames are acknowledged as a
// real phone would (unless told not to); PING and LAGRQ are answered.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "voice/iax2/dialog.h"
#include "voice/iax2/frame.h"
#include "voice/iax2/ie.h"
#include "voice/iax2/protocol.h"

namespace labpbx::test {

struct Rx {
    bool mini = false;
    iax2::FullHeader h;     // full frames
    uint16_t miniCall = 0;  // mini frames: the sender's call number
    uint16_t miniTs = 0;
    std::vector<uint8_t> payload;
    std::map<uint8_t, std::string> ies;  // IAX frames: element id -> data

    bool is(uint8_t type, uint32_t subclass) const { return !mini && h.type == type && h.subclass == subclass; }
    bool isIax(uint32_t command) const { return is(iax2::frametype::Iax, command); }
    bool has(uint8_t id) const { return ies.count(id) > 0; }
    std::string str(uint8_t id) const {
        auto it = ies.find(id);
        return it == ies.end() ? "" : it->second;
    }
    uint32_t num(uint8_t id) const;  // big-endian u8/u16/u32 element
};

// Element list builder with owned storage.
class Ies {
public:
    Ies() : w_(buf_, sizeof buf_) {}
    Ies& str(uint8_t id, const std::string& s) {
        w_.addString(id, s);
        return *this;
    }
    Ies& u8(uint8_t id, uint8_t v) {
        w_.addU8(id, v);
        return *this;
    }
    Ies& u16(uint8_t id, uint16_t v) {
        w_.addU16(id, v);
        return *this;
    }
    Ies& u32(uint8_t id, uint32_t v) {
        w_.addU32(id, v);
        return *this;
    }
    Ies& empty(uint8_t id) {
        w_.addEmpty(id);
        return *this;
    }
    const uint8_t* data() const { return w_.data(); }
    size_t size() const { return w_.size(); }

private:
    uint8_t buf_[1400];
    iax2::IeWriter w_;
};

enum class RegOutcome { Ack, Rej, Timeout };

struct RegResult {
    RegOutcome outcome = RegOutcome::Timeout;
    Rx reply;  // the REGACK or REGREJ
    bool tokenRound = false;
    std::string challenge;
};

class TestPhone {
public:
    explicit TestPhone(uint16_t pbxPort);
    ~TestPhone();

    uint16_t port() const { return port_; }
    bool autoAck = true;
    bool answerPokes = true;  // a POKE is answered with a PONG

    // Dialogs.
    uint16_t open();  // a new local call number
    iax2::Dialog& dialog(uint16_t call) { return dialogs_.at(call); }
    bool hasDialog(uint16_t call) const { return dialogs_.count(call) > 0; }
    void send(uint16_t call, uint8_t type, uint32_t subclass, const Ies* ies = nullptr,
              std::optional<uint32_t> ts = std::nullopt);
    void sendIax(uint16_t call, uint32_t command, const Ies& ies) {
        send(call, iax2::frametype::Iax, command, &ies);
    }
    void sendVoice(uint16_t call, uint32_t format, const std::vector<uint8_t>& payload, uint32_t ts);
    void sendMini(uint16_t call, uint16_t ts, const std::vector<uint8_t>& payload);
    void sendRaw(const uint8_t* data, size_t length);
    // A full frame exactly as given (numbers, sequence, timestamp), not kept
    // for retransmission: for frames a dialog would not send by itself.
    void sendHeader(const iax2::FullHeader& h);

    // The next datagram (any dialog), or nothing after timeoutMs.
    std::optional<Rx> next(int timeoutMs = 10000);
    // Waits for a full frame of type/subclass on a dialog (0 = any), keeping
    // the frames passed over in 'skipped'.
    std::optional<Rx> waitFor(uint16_t call, uint8_t type, uint32_t subclass, int timeoutMs = 10000);
    std::optional<Rx> waitIax(uint16_t call, uint32_t command, int timeoutMs = 10000) {
        return waitFor(call, iax2::frametype::Iax, command, timeoutMs);
    }
    // A NEW from the PBX (an incoming call): its dialog is made for it.
    std::optional<Rx> waitIncoming(uint16_t& call, int timeoutMs = 10000);
    std::vector<Rx> skipped;
    // Every full frame received, in order (the oldest dropped past a bound).
    std::vector<Rx> history;
    // The full frames of one dialog in history, optionally one type only.
    std::vector<Rx> historyOf(uint16_t call, int type = -1) const;

    // The whole registration: REGREQ (with a token round when useToken),
    // REGAUTH, REGREQ with the MD5 answer, then REGACK or REGREJ.
    RegResult registerExt(const std::string& user, const std::string& secret, uint16_t refresh = 60,
                          bool useToken = true, bool release = false);
    // Starts a call to number: NEW (token round), AUTHREQ, AUTHREP, ACCEPT.
    // The phone offers format, and caps when given (else format alone).
    // Returns the dialog's call number, 0 when the call was not accepted
    // (rejection kept in lastReject, the ACCEPT in lastAccept).
    uint16_t dial(const std::string& user, const std::string& secret, const std::string& number,
                  uint32_t format = iax2::codec::Ulaw, uint32_t caps = 0);
    Rx lastReject;
    Rx lastAccept;
    // Accepts an incoming call with format and sends RINGING.
    void acceptIncoming(uint16_t call, uint32_t format);
    void hangup(uint16_t call);

private:
    void track(Rx& rx);
    std::optional<Rx> receiveOne(int timeoutMs);  // from the socket only
    int fd_ = -1;
    uint16_t port_ = 0;
    sockaddr_in pbx_{};
    uint16_t nextCall_ = 100;
    uint64_t epoch_ = 0;
    std::map<uint16_t, iax2::Dialog> dialogs_;
    std::vector<Rx> pending_;  // received and not yet handed out
    uint64_t nowMs() const;
};

}  // namespace labpbx::test
