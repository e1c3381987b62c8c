// Registrations: REGREQ with call token and challenge, refresh before the
// granted time runs out, and REGREL when the application unregisters. Each
// attempt is a dialog of its own, as servers expect.
#include <cstring>

#include "voice/engine/dial_string.h"
#include "voice/engine/engine.h"
#include "voice/engine/resolve.h"
#include "voice/iax2/auth.h"
#include "voice/iax2/protocol.h"

namespace voice::engine {
namespace {

std::string cut(const char* text) {
    return std::string(text, strnlen(text, 255));
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

int Engine::registerUser(const char* user, const char* pass, const char* host) {
    if (user == nullptr || pass == nullptr || host == nullptr) return -1;
    // A host that cannot be used (a typo in its port included) is an
    // unanswered registration, tried again at every refresh; -1 is kept for
    // a registration that cannot be made at all.
    const auto address = registrarAddress(cut(host));
    std::lock_guard<std::mutex> lock(mutex_);
    if (!initialized_) return -1;
    Registration& r = registrations_.add(cut(user), cut(pass), cut(host));
    startRegistration(r, address);
    return r.id;
}

void Engine::startRegistration(Registration& r, const std::optional<sockaddr_in>& address) {
    const uint16_t refresh = activeTuning_.registrationRefreshSec;
    Registrations::attemptStarted(r, now(), refresh);
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
    const std::optional<Registration> removed = registrations_.remove(id);
    if (!removed) return 0;
    const Registration& r = *removed;
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

void Engine::handleRegistrationFrame(Session& s, const iax2::FullHeader& h, const iax2::IeList& ies) {
    using namespace iax2;
    if (h.type != frametype::Iax) return;
    const int id = s.registrationId;
    const bool isRelease = s.kind == SessionKind::Release;
    const bool apathetic = h.sourceCall == kApatheticCallNumber && s.dialog.remoteCall() == 0;
    switch (h.subclass) {
        case cmd::RegAuth: {
            if (++s.authRounds > 2) return;
            uint8_t buf[400];
            IeWriter w(buf, sizeof buf);
            w.addString(ie::Username, s.username);
            // Without a method we know, the request goes out unanswered.
            addChallengeAnswer(w, ies, s.secret);
            if (!isRelease) w.addU16(ie::Refresh, activeTuning_.registrationRefreshSec);
            sendCommand(s, s.openingCommand, &w);
            return;
        }
        case cmd::RegAck: {
            const uint16_t granted = ies.u16(ie::Refresh).value_or(activeTuning_.registrationRefreshSec);
            const auto messages = ies.u16(ie::MsgCount);
            acknowledgeAndClose(s, h);
            if (isRelease) return;
            if (registrations_.granted(id, now(), granted))
                postRegistration(id, IAXC_REGISTRATION_REPLY_ACK, messages ? *messages : -1);
            return;
        }
        case cmd::RegRej: {
            if (apathetic)
                destroySession(s.dialog.localCall());
            else
                acknowledgeAndClose(s, h);
            if (isRelease) return;
            // A refused registration is not tried again.
            registrations_.remove(id);
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
    if (!registrations_.timedOut(id)) return;
    postRegistration(id, IAXC_REGISTRATION_REPLY_TIMEOUT, -1);
}

void Engine::serviceRegistrations(std::unique_lock<std::mutex>& lock) {
    const std::vector<Registrations::Due> due = registrations_.takeDue(now());
    if (due.empty()) return;
    // Name lookups may take a while: not under the engine lock.
    std::vector<std::optional<sockaddr_in>> addresses;
    addresses.reserve(due.size());
    lock.unlock();
    for (const Registrations::Due& d : due) addresses.push_back(registrarAddress(d.host));
    lock.lock();
    if (!initialized_) return;
    for (size_t i = 0; i < due.size(); ++i) {
        Registration* r = registrations_.finishResolving(due[i].id);
        if (r == nullptr) continue;
        startRegistration(*r, addresses[i]);
    }
}

}  // namespace voice::engine
