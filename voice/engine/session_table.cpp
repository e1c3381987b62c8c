#include "voice/engine/session_table.h"

#include <random>

#include "voice/iax2/protocol.h"

namespace voice::engine {

void SessionTable::reset() {
    std::random_device rd;
    nextCallNumber_ = static_cast<uint16_t>(2 + rd() % (iax2::kMaxCallNumber - 2));
}

uint16_t SessionTable::allocateCallNumber() {
    for (int tries = 0; tries < iax2::kMaxCallNumber; ++tries) {
        uint16_t n = nextCallNumber_;
        nextCallNumber_ = static_cast<uint16_t>(n >= iax2::kMaxCallNumber ? 2 : n + 1);
        if (n >= 2 && sessions_.find(n) == sessions_.end()) return n;
    }
    return 0;
}

Session* SessionTable::open(SessionKind kind, const sockaddr_in& peer, uint64_t nowMs,
                            const iax2::RetryPolicy& retry) {
    const uint16_t number = allocateCallNumber();
    if (number == 0) return nullptr;
    auto s = std::make_unique<Session>();
    s->dialog = iax2::Dialog(number, nowMs, retry);
    s->peer = peer;
    s->kind = kind;
    Session* raw = s.get();
    sessions_[number] = std::move(s);
    return raw;
}

Session* SessionTable::find(uint16_t localCall) {
    auto it = sessions_.find(localCall);
    return it == sessions_.end() ? nullptr : it->second.get();
}

bool SessionTable::erase(uint16_t localCall) {
    return sessions_.erase(localCall) > 0;
}

std::vector<uint16_t> SessionTable::callNumbers() const {
    std::vector<uint16_t> numbers;
    for (const auto& [n, s] : sessions_) numbers.push_back(n);
    return numbers;
}

bool SessionTable::any(SessionKind kind) const {
    for (const auto& [n, s] : sessions_)
        if (s->kind == kind) return true;
    return false;
}

}  // namespace voice::engine
