// Calls: the call operations of the API.
#include <cstring>

#include "voice/engine/dial_string.h"
#include "voice/engine/engine.h"
#include "voice/engine/resolve.h"
#include "voice/iax2/codec.h"
#include "voice/iax2/protocol.h"

namespace voice::engine {
namespace {

constexpr size_t kMaxText = IAXC_EVENT_BUFSIZ - 1;

std::string bounded(const char* text) {
    if (text == nullptr) return {};
    return std::string(text, strnlen(text, kMaxText));
}

bool isDtmfDigit(char c) {
    return (c >= '0' && c <= '9') || c == '*' || c == '#' || (c >= 'A' && c <= 'D');
}

}  // namespace

void Engine::setCallerId(const char* name, const char* number) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.setCallerId(bounded(name), bounded(number));
}

void Engine::setFormats(int preferred, int allowed) {
    std::lock_guard<std::mutex> lock(mutex_);
    int usable = allowed & kSupportedFormats;
    if (usable == 0) usable = kSupportedFormats;
    if (!iax2::isSingleCodec(static_cast<uint32_t>(preferred)) || !(preferred & usable)) {
        for (int f : {IAXC_FORMAT_GSM, IAXC_FORMAT_ULAW, IAXC_FORMAT_ALAW})
            if (usable & f) {
                preferred = f;
                break;
            }
    }
    preferredFormat_ = preferred;
    allowedFormats_ = usable;
}

int Engine::call(const char* dest, const char* callerName, const char* callerNumber) {
    if (dest == nullptr) return -1;
    const auto dial = parseDialString(bounded(dest), iax2::kDefaultPort);
    const auto address = dial ? resolveIpv4(dial->host, dial->port) : std::nullopt;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initialized_) return -1;
    if (!dial) {
        postText(IAXC_TEXT_TYPE_ERROR, -1, "Invalid dial string");
        return -1;
    }
    const int slot = calls_.slotForOutgoing();
    if (slot < 0) {
        postText(IAXC_TEXT_TYPE_STATUS, -1, "No free call appearances");
        return -1;
    }
    if (!address) {
        postText(IAXC_TEXT_TYPE_ERROR, -1, "Unable to resolve host %s", dial->host.c_str());
        return -1;
    }
    Session* s = newSession(SessionKind::Call, *address);
    if (s == nullptr) return -1;
    CallSlot& c = calls_.at(slot);
    const std::string name = callerName ? bounded(callerName) : c.callerName;
    const std::string number = callerNumber ? bounded(callerNumber) : c.callerNumber;
    s->outgoing = true;
    s->slot = slot;
    s->username = dial->user;
    s->secret = dial->secret;
    c.state = IAXC_CALL_STATE_ACTIVE | IAXC_CALL_STATE_OUTGOING;
    c.format = 0;
    c.remote = dial->afterSlash.substr(0, kMaxText);
    c.remoteName = dial->withoutSecret.substr(0, kMaxText);
    c.local = name;
    c.localContext = "default";
    c.session = s->dialog.localCall();

    uint8_t buf[1400];
    iax2::IeWriter w(buf, sizeof buf);
    w.addU16(iax2::ie::Version, iax2::kProtocolVersion);
    w.addString(iax2::ie::CallingNumber, number);
    w.addString(iax2::ie::CallingName, name);
    w.addString(iax2::ie::CodecPrefs,
                iax2::codecPrefs(static_cast<uint32_t>(preferredFormat_), static_cast<uint32_t>(allowedFormats_)));
    w.addU32(iax2::ie::Format, static_cast<uint32_t>(preferredFormat_));
    w.addU32(iax2::ie::Capability, static_cast<uint32_t>(allowedFormats_));
    if (!dial->user.empty()) w.addString(iax2::ie::Username, dial->user.substr(0, 255));
    if (!dial->exten.empty()) {
        w.addString(iax2::ie::CalledNumber, dial->exten.substr(0, 255));
        w.addString(iax2::ie::Dnid, dial->exten.substr(0, 255));
    }
    if (!dial->context.empty()) w.addString(iax2::ie::CalledContext, dial->context.substr(0, 255));
    s->openingCommand = iax2::cmd::New;
    s->openingIes.assign(w.data(), w.data() + w.size());

    postText(IAXC_TEXT_TYPE_NOTICE, slot, "Originating an audio only call");
    selectLocked(slot);
    sendOpening(*s, "");
    postState(slot);
    updateMedia();
    return slot;
}

void Engine::answer(int slot) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initialized_ || !calls_.valid(slot)) return;
    const int state = calls_.at(slot).state;
    if (!(state & IAXC_CALL_STATE_ACTIVE) || (state & IAXC_CALL_STATE_OUTGOING)) return;
    answerLocked(slot);
    selectLocked(slot);
    postState(slot);
    updateMedia();
}

void Engine::answerLocked(int slot) {
    CallSlot& c = calls_.at(slot);
    if (!(c.state & IAXC_CALL_STATE_RINGING) || (c.state & IAXC_CALL_STATE_OUTGOING)) return;
    if (Session* s = slotSession(slot)) sendControl(*s, iax2::ctl::Answer);
    c.state = (c.state | IAXC_CALL_STATE_COMPLETE) & ~IAXC_CALL_STATE_RINGING;
}

void Engine::selectLocked(int slot) {
    const int deselected = calls_.select(slot);
    if (deselected >= 0) postState(deselected);
}

int Engine::select(int slot) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initialized_) return -1;
    if (slot >= calls_.size()) {
        postText(IAXC_TEXT_TYPE_ERROR, -1, "Error: tried to select out_of_range call %d", slot);
        return -1;
    }
    if (slot < 0) {
        calls_.deselect();
        updateMedia();
        return 0;
    }
    selectLocked(slot);
    answerLocked(slot);
    if (calls_.inUse(slot)) postState(slot);
    updateMedia();
    return 0;
}

int Engine::firstFree() {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_.firstFree();
}

int Engine::selected() {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_.selected();
}

void Engine::dumpSelected() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (initialized_) dumpLocked(calls_.selected());
}

void Engine::dump(int slot) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (initialized_) dumpLocked(slot);
}

void Engine::dumpLocked(int slot) {
    if (!calls_.inUse(slot)) return;
    if (Session* s = slotSession(slot)) {
        // Before the far end has answered at all there is no dialog on its
        // side to close.
        if (s->dialog.remoteCall() == 0)
            destroySession(s->dialog.localCall());
        else
            sendFinal(*s, iax2::cmd::Hangup, "Dumped Call", iax2::cause::NormalClearing);
    }
    postText(IAXC_TEXT_TYPE_STATUS, slot, "Hanging up call %d", slot);
    calls_.setFree(slot);
    postState(slot);
    updateMedia();
}

void Engine::reject(int slot) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initialized_ || !calls_.inUse(slot)) return;
    if (Session* s = slotSession(slot))
        sendFinal(*s, iax2::cmd::Reject, "Call rejected manually.", iax2::cause::CallRejected);
    calls_.setFree(slot);
    postState(slot);
    updateMedia();
}

void Engine::sendBusy(int slot) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initialized_) return;
    if (Session* s = slotSession(slot)) sendControl(*s, iax2::ctl::Busy);
}

int Engine::quelch(int slot, int musicOnHold) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initialized_) return -1;
    Session* s = slotSession(slot);
    if (s == nullptr || s->peerHoldsUs || s->dialog.remoteCall() == 0) return -1;
    uint8_t buf[8];
    iax2::IeWriter w(buf, sizeof buf);
    if (musicOnHold) w.addEmpty(iax2::ie::MusicOnHold);
    if (!sendCommand(*s, iax2::cmd::Quelch, &w)) return -1;
    s->weHoldPeer = true;
    updateMedia();
    return 0;
}

int Engine::unquelch(int slot) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initialized_) return -1;
    Session* s = slotSession(slot);
    if (s == nullptr || s->dialog.remoteCall() == 0) return -1;
    if (!sendCommand(*s, iax2::cmd::Unquelch)) return -1;
    s->weHoldPeer = false;
    updateMedia();
    return 0;
}

void Engine::blindTransfer(int slot, const char* number) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initialized_ || number == nullptr || !calls_.valid(slot) ||
        !(calls_.at(slot).state & IAXC_CALL_STATE_ACTIVE))
        return;
    Session* s = slotSession(slot);
    if (s == nullptr || s->dialog.remoteCall() == 0) return;
    uint8_t buf[300];
    iax2::IeWriter w(buf, sizeof buf);
    w.addString(iax2::ie::CalledNumber, std::string(number, strnlen(number, 255)));
    sendCommand(*s, iax2::cmd::Transfer, &w);
}

void Engine::sendDtmf(char digit) {
    std::lock_guard<std::mutex> lock(mutex_);
    const int slot = calls_.selected();
    if (!initialized_ || !isDtmfDigit(digit) || !calls_.valid(slot) ||
        !(calls_.at(slot).state & IAXC_CALL_STATE_ACTIVE))
        return;
    Session* s = slotSession(slot);
    if (s == nullptr || s->dialog.remoteCall() == 0) return;
    sendFrame(*s, iax2::OutFrame::of(iax2::frametype::Dtmf, static_cast<uint8_t>(digit)));
}

void Engine::sendText(const char* text) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initialized_ || text == nullptr || !calls_.valid(calls_.selected())) return;
    Session* s = slotSession(calls_.selected());
    if (s == nullptr || s->dialog.remoteCall() == 0) return;
    // Sent with its terminating NUL, as the peers expect.
    const size_t n = strnlen(text, kMaxText);
    std::string payload(text, n);
    payload.push_back('\0');
    sendFrame(*s, iax2::OutFrame::of(iax2::frametype::Text, 0, reinterpret_cast<const uint8_t*>(payload.data()),
                                     payload.size()));
}

int Engine::netstats(int slot, int* rtt, iaxc_netstat* local, iaxc_netstat* remote) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initialized_) return -1;
    Session* s = slotSession(slot);
    if (s == nullptr) return -1;
    if (rtt) *rtt = s->rttMs;
    if (local) *local = media_.localStats(*s);
    if (remote) *remote = s->remoteStats;
    return 0;
}

Session* Engine::slotSession(int slot) {
    if (!calls_.valid(slot) || calls_.at(slot).session == 0) return nullptr;
    return findSession(calls_.at(slot).session);
}

}  // namespace voice::engine
