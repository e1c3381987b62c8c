// The open dialogs by local call number, and the handing out of call
// numbers. Guarded by the engine lock.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "voice/engine/session.h"
#include "voice/iax2/reliability.h"

namespace voice::engine {

class SessionTable {
public:
    using Map = std::map<uint16_t, std::unique_ptr<Session>>;

    // Call numbers are handed out from a random starting point.
    void reset();
    void clear() { sessions_.clear(); }

    // A new dialog on the next unused call number; nullptr when all are taken.
    Session* open(SessionKind kind, const sockaddr_in& peer, uint64_t nowMs, const iax2::RetryPolicy& retry);
    Session* find(uint16_t localCall);
    // Forgets the dialog; false when there is none.
    bool erase(uint16_t localCall);

    size_t size() const { return sessions_.size(); }
    std::vector<uint16_t> callNumbers() const;
    bool any(SessionKind kind) const;
    // In order of call number. No dialog may be opened or erased while
    // going through them.
    Map::iterator begin() { return sessions_.begin(); }
    Map::iterator end() { return sessions_.end(); }

private:
    uint16_t allocateCallNumber();

    Map sessions_;
    uint16_t nextCallNumber_ = 2;
};

}  // namespace voice::engine
