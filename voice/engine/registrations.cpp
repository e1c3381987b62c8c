#include "voice/engine/registrations.h"

#include <algorithm>

namespace voice::engine {

uint64_t refreshDelayMs(uint16_t grantedSeconds) {
    const uint64_t ms = static_cast<uint64_t>(grantedSeconds) * 1000 * 5 / 6;
    return std::max<uint64_t>(ms, 500);
}

Registration& Registrations::add(std::string user, std::string secret, std::string host) {
    Registration r;
    r.id = nextId_++;
    r.user = std::move(user);
    r.secret = std::move(secret);
    r.host = std::move(host);
    list_.push_back(std::move(r));
    return list_.back();
}

Registration* Registrations::find(int id) {
    for (Registration& r : list_)
        if (r.id == id) return &r;
    return nullptr;
}

std::optional<Registration> Registrations::remove(int id) {
    auto it = std::find_if(list_.begin(), list_.end(), [id](const Registration& r) { return r.id == id; });
    if (it == list_.end()) return std::nullopt;
    Registration r = std::move(*it);
    list_.erase(it);
    return r;
}

std::vector<Registrations::Due> Registrations::takeDue(uint64_t nowMs) {
    std::vector<Due> due;
    for (Registration& r : list_) {
        if (r.session != 0 || r.resolving || nowMs < r.nextAttemptMs) continue;
        r.resolving = true;
        due.push_back({r.id, r.host});
    }
    return due;
}

Registration* Registrations::finishResolving(int id) {
    Registration* r = find(id);
    if (r) r->resolving = false;
    return r;
}

uint64_t Registrations::nextDueMs() const {
    uint64_t due = UINT64_MAX;
    for (const Registration& r : list_)
        if (r.session == 0 && !r.resolving) due = std::min(due, r.nextAttemptMs);
    return due;
}

void Registrations::attemptStarted(Registration& r, uint64_t nowMs, uint16_t refreshSeconds) {
    r.nextAttemptMs = nowMs + static_cast<uint64_t>(refreshSeconds) * 1000;
}

bool Registrations::granted(int id, uint64_t nowMs, uint16_t grantedSeconds) {
    Registration* r = find(id);
    if (r == nullptr) return false;
    r->nextAttemptMs = nowMs + refreshDelayMs(grantedSeconds > 0 ? grantedSeconds : 1);
    return true;
}

bool Registrations::timedOut(int id) {
    Registration* r = find(id);
    if (r == nullptr) return false;
    r->session = 0;
    return true;
}

void Registrations::forgetSession(uint16_t localCall) {
    for (Registration& r : list_)
        if (r.session == localCall) r.session = 0;
}

}  // namespace voice::engine
