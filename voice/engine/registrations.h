// The application's registrations: who registers where, the dialog of the
// attempt under way, and when the next attempt is due. Holds no sockets and
// posts no events; the engine runs the exchanges. Guarded by the engine
// lock.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace voice::engine {

struct Registration {
    int id = 0;
    std::string user;
    std::string secret;
    std::string host;  // "host[:port]"
    uint16_t session = 0;
    uint64_t nextAttemptMs = 0;
    bool resolving = false;
    // Where the last request went (for the release on unregister).
    bool hasPeer = false;
    sockaddr_in peer{};
};

// When to ask again after the server granted `grantedSeconds`: well before
// it forgets us, at five sixths of the time, and never sooner than 500 ms.
uint64_t refreshDelayMs(uint16_t grantedSeconds);

class Registrations {
public:
    // A registration to be attempted; ids count up from 1 for the life of
    // the process.
    Registration& add(std::string user, std::string secret, std::string host);
    Registration* find(int id);
    // Forgets a registration, handing back what it was.
    std::optional<Registration> remove(int id);
    void clear() { list_.clear(); }

    // Registrations whose next attempt is due at `nowMs`, with no attempt
    // under way: each is marked as resolving its host until
    // finishResolving.
    struct Due {
        int id;
        std::string host;
    };
    std::vector<Due> takeDue(uint64_t nowMs);
    // The registration whose host lookup has ended, nullptr if it was
    // removed meanwhile.
    Registration* finishResolving(int id);
    // The earliest next attempt of a registration waiting for one,
    // UINT64_MAX when none waits.
    uint64_t nextDueMs() const;

    // An attempt begins: if it fails, the next comes one refresh later.
    static void attemptStarted(Registration& r, uint64_t nowMs, uint16_t refreshSeconds);
    // The server accepted: the next attempt refreshes before the granted
    // time runs out. False when the registration is gone.
    bool granted(int id, uint64_t nowMs, uint16_t grantedSeconds);
    // The attempt went unanswered: the registration waits for its next
    // attempt. False when the registration is gone.
    bool timedOut(int id);
    // Whichever registration ran its attempt on this dialog forgets it.
    void forgetSession(uint16_t localCall);

private:
    std::vector<Registration> list_;
    int nextId_ = 1;
};

}  // namespace voice::engine
