// Registrations: REGREQ with call token and challenge, refresh before the
// granted time runs out, and REGREL when the application unregisters. Each
// attempt is a dialog of its own, as servers expect.
#include <algorithm>
#include <cstring>

#include "voice/engine/dial_string.h"
#include "voice/engine/engine.h"
#include "voice/iax2/auth.h"
#include "voice/iax2/protocol.h"
#include "voice/engine/resolve.h"

namespace voice::engine {
namespace {

std::string cut(const char* text) { return std::string(text, strnlen(text, 255)); }

// Refresh well before the server forgets us: at five sixths of the time it
// granted.
uint64_t refreshDelayMs(uint16_t grantedSeconds) {
    const uint64_t ms = static_cast<uint64_t>(grantedSeconds) * 1000 * 5 / 6;
    return std::max<uint64_t>(ms, 500);
}

// The host's address; nothing when "host[:port]" is malformed or the name
// does not resolve. May block on the resolver: never under the engine lock.
std::optional<sockaddr_in> registrarAddress(const std::string& host) {
    std::string name;
    uint16_t port = 0;
    if (!splitHostPort(host, iax2::kDefaultPort, name, port)) return std::nullopt;
    return resolveIpv4(name, port);
}

}  // namespace

Registration* Engine::findRegistration(int id) {
    for (Registration& r : registrations_)
        if (r.id == id) return &r;
    return nullptr;
}

int Engine::registerUser(const char* user, const char* pass, const char* host) {
    if (user == nullptr || pass == nullptr || host == nullptr) return -1;
    // A host that cannot be used (a typo in its port included) is an
    // unanswered registration, tried again at every refresh; -1 is kept for
    // a registration that cannot be made at all.
    const auto address = registrarAddress(cut(host));
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initialized_) return -1;
    Registration r;
    r.id = nextRegistrationId_++;
    r.user = cut(user);
    r.secret = cut(pass);
    r.host = cut(host);
    registrations_.push_back(r);
    startRegistration(registrations_.back(), address);
    return r.id;
}

void Engine::startRegistration(Registration& r, const std::optional<sockaddr_in>& address) {
    const uint16_t refresh = activeTuning_.registrationRefreshSec;
    // If this attempt fails, the next one comes after one refresh period.
    r.nextAttemptMs = now() + static_cast<uint64_t>(refresh) * 1000;
    if (r.session != 0) destroySession(r.session);
    if (!address) {
        postText(IAXC_TEXT_TYPE_ERROR, -1, "Unable to use registration host %s", r.host.c_str());
        postRegistration(r.id, IAXC_REGISTRATION_REPLY_TIMEOUT, -1);
        return;
    }
    r.hasPeer = true;
    r.peer = *address;
    Session* s = newSession(SessionKind::Registration, *address);
    if (s == nullptr) return;
    s->outgoing = true;
    s->registrationId = r.id;
    s->username = r.user;
    s->secret = r.secret;
    uint8_t buf[300];
    iax2::IeWriter w(buf, sizeof buf);
    w.addString(iax2::ie::Username, r.user);
    w.addU16(iax2::ie::Refresh, refresh);
    s->openingCommand = iax2::cmd::RegReq;
    s->openingIes.assign(w.data(), w.data() + w.size());
    r.session = s->dialog.localCall();
    sendOpening(*s, "");
}

int Engine::unregister(int id) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initialized_) return 0;
    auto it = std::find_if(registrations_.begin(), registrations_.end(),
                           [id](const Registration& r) { return r.id == id; });
    if (it == registrations_.end()) return 0;
    Registration r = *it;
    registrations_.erase(it);
    if (r.session != 0) destroySession(r.session);
    if (!r.hasPeer) return 1;
    Session* s = newSession(SessionKind::Release, r.peer);
    if (s == nullptr) return 1;
    s->outgoing = true;
    s->registrationId = id;
    s->username = r.user;
    s->secret = r.secret;
    uint8_t buf[300];
    iax2::IeWriter w(buf, sizeof buf);
    w.addString(iax2::ie::Username, r.user);
    w.addString(iax2::ie::Cause, "Unregistered");
    s->openingCommand = iax2::cmd::RegRel;
    s->openingIes.assign(w.data(), w.data() + w.size());
    sendOpening(*s, "");
    return 1;
}

bool Engine::releasesPending() {
    for (auto& [n, s] : sessions_)
        if (s->kind == SessionKind::Release) return true;
    return false;
}

void Engine::handleRegistrationFrame(Session& s, const iax2::FullHeader& h,
                                     const iax2::IeList& ies) {
    using namespace iax2;
    if (h.type != frametype::Iax) return;
    const int id = s.registrationId;
    const bool isRelease = s.kind == SessionKind::Release;
    const bool apathetic = h.sourceCall == kApatheticCallNumber && s.dialog.remoteCall() == 0;
    switch (h.subclass) {
        case cmd::RegAuth: {
            if (++s.authRounds > 2) return;
            const uint16_t methods = ies.u16(ie::AuthMethods).value_or(0);
            const auto challenge = ies.string(ie::Challenge);
            uint8_t buf[400];
            IeWriter w(buf, sizeof buf);
            w.addString(ie::Username, s.username);
            if ((methods & auth::Md5) && challenge)
                w.addString(ie::Md5Result, md5ChallengeResponse(*challenge, s.secret));
            else if (methods & auth::Plaintext)
                w.addString(ie::Password, s.secret);
            if (!isRelease) w.addU16(ie::Refresh, activeTuning_.registrationRefreshSec);
            sendCommand(s, s.openingCommand, &w);
            return;
        }
        case cmd::RegAck: {
            const uint16_t granted =
                ies.u16(ie::Refresh).value_or(activeTuning_.registrationRefreshSec);
            const auto messages = ies.u16(ie::MsgCount);
            acknowledgeAndClose(s, h);
            if (isRelease) return;
            if (Registration* r = findRegistration(id)) {
                r->nextAttemptMs = now() + refreshDelayMs(granted > 0 ? granted : 1);
                postRegistration(id, IAXC_REGISTRATION_REPLY_ACK, messages ? *messages : -1);
            }
            return;
        }
        case cmd::RegRej: {
            if (apathetic)
                destroySession(s.dialog.localCall());
            else
                acknowledgeAndClose(s, h);
            if (isRelease) return;
            // A refused registration is not tried again.
            registrations_.erase(std::remove_if(registrations_.begin(), registrations_.end(),
                                                [id](const Registration& r) { return r.id == id; }),
                                 registrations_.end());
            postRegistration(id, IAXC_REGISTRATION_REPLY_REJ, -1);
            return;
        }
        case cmd::Inval:
            destroySession(s.dialog.localCall());
            if (!isRelease) registrationTimedOut(id);
            return;
        default:
            return;
    }
}

void Engine::registrationTimedOut(int id) {
    Registration* r = findRegistration(id);
    if (r == nullptr) return;
    r->session = 0;
    postRegistration(id, IAXC_REGISTRATION_REPLY_TIMEOUT, -1);
}

void Engine::serviceRegistrations(std::unique_lock<std::mutex>& lock) {
    struct Due {
        int id;
        std::string host;
    };
    std::vector<Due> due;
    const uint64_t t = now();
    for (Registration& r : registrations_) {
        if (r.session != 0 || r.resolving || t < r.nextAttemptMs) continue;
        r.resolving = true;
        due.push_back({r.id, r.host});
    }
    if (due.empty()) return;
    // Name lookups may take a while: not under the engine lock.
    std::vector<std::optional<sockaddr_in>> addresses;
    lock.unlock();
    for (const Due& d : due) addresses.push_back(registrarAddress(d.host));
    lock.lock();
    if (!initialized_) return;
    for (size_t i = 0; i < due.size(); ++i) {
        Registration* r = findRegistration(due[i].id);
        if (r == nullptr) continue;
        r->resolving = false;
        startRegistration(*r, addresses[i]);
    }
}

}  // namespace voice::engine
