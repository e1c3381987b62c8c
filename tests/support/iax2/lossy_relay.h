// A UDP relay that stands between an IAX2 end and its peer and spoils the
// path on purpose: loss, duplicates, reordering and jitter, the same both
// ways. Clients send to relay.port(); the relay forwards to the target and
// sends the target's answers back to the client that spoke last.
// Thread-safe; runs its own thread.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace iax2test {

struct RelayOptions {
    double lossPercent = 0;       // datagrams dropped
    double duplicatePercent = 0;  // datagrams sent twice
    double reorderPercent = 0;    // datagrams held back so later ones overtake
    int reorderDelayMs = 30;      // how long a reordered datagram is held
    int jitterMs = 0;             // extra delay, uniform in [0, jitterMs]
    uint32_t seed = 1;            // same seed, same spoiling
};

struct RelayStats {
    uint64_t received = 0;
    uint64_t forwarded = 0;
    uint64_t dropped = 0;
    uint64_t duplicated = 0;
    uint64_t reordered = 0;
};

class LossyRelay {
public:
    LossyRelay(uint16_t targetPort, const RelayOptions& options);
    ~LossyRelay();

    uint16_t port() const;
    void setOptions(const RelayOptions& options);
    // Drop everything both ways (the far end has vanished).
    void setBlackhole(bool on);
    // Drops the target's datagrams for which filter returns true, and only
    // those (an empty filter drops none); the client's reach the target as
    // before. The filter runs on the relay's thread under its lock, so it
    // must not call the relay.
    using DatagramFilter = std::function<bool(const uint8_t* data, size_t length)>;
    void setTargetFilter(DatagramFilter filter);
    RelayStats stats() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace iax2test
