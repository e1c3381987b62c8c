#include "tests/support/iax2/lossy_relay.h"

#include <poll.h>

#include <queue>
#include <random>
#include <vector>

#include "tests/support/iax2/udp_endpoint.h"

namespace iax2test {

struct LossyRelay::Impl {
    struct Pending {
        uint64_t dueMs;
        uint64_t order;
        bool towardsTarget;
        std::vector<uint8_t> bytes;
        bool operator>(const Pending& o) const { return dueMs != o.dueMs ? dueMs > o.dueMs : order > o.order; }
    };

    UdpEndpoint front;  // clients talk to this
    UdpEndpoint back;   // talks to the target
    sockaddr_in target;
    sockaddr_in client{};
    bool haveClient = false;
    mutable std::mutex mutex;
    RelayOptions options;
    bool blackhole = false;
    LossyRelay::DatagramFilter targetFilter;
    RelayStats stats;
    std::mt19937 random;
    std::priority_queue<Pending, std::vector<Pending>, std::greater<Pending>> pending;
    uint64_t order = 0;
    std::atomic<bool> stop{false};
    std::thread thread;

    Impl(uint16_t targetPort, const RelayOptions& o) : target(loopback(targetPort)), options(o), random(o.seed) {}

    bool chance(double percent) { return std::uniform_real_distribution<double>(0, 100)(random) < percent; }

    void schedule(bool towardsTarget, const uint8_t* data, size_t n, uint64_t t) {
        ++stats.received;
        if (blackhole || chance(options.lossPercent) ||
            (!towardsTarget && targetFilter && targetFilter(data, n))) {
            ++stats.dropped;
            return;
        }
        const int copies = chance(options.duplicatePercent) ? 2 : 1;
        if (copies == 2) ++stats.duplicated;
        for (int i = 0; i < copies; ++i) {
            uint64_t due = t;
            if (options.jitterMs > 0) due += std::uniform_int_distribution<int>(0, options.jitterMs)(random);
            if (chance(options.reorderPercent)) {
                due += static_cast<uint64_t>(options.reorderDelayMs);
                ++stats.reordered;
            }
            pending.push(Pending{due, order++, towardsTarget, std::vector<uint8_t>(data, data + n)});
        }
    }

    void run() {
        uint8_t buf[8192];
        while (!stop) {
            pollfd fds[2] = {{front.fd(), POLLIN, 0}, {back.fd(), POLLIN, 0}};
            ::poll(fds, 2, 2);
            std::lock_guard<std::mutex> lock(mutex);
            const uint64_t t = nowMs();
            sockaddr_in from{};
            long n;
            while ((n = front.receive(buf, sizeof buf, from)) >= 0) {
                client = from;
                haveClient = true;
                schedule(true, buf, static_cast<size_t>(n), t);
            }
            while ((n = back.receive(buf, sizeof buf, from)) >= 0) schedule(false, buf, static_cast<size_t>(n), t);
            while (!pending.empty() && pending.top().dueMs <= t) {
                const Pending& p = pending.top();
                if (p.towardsTarget)
                    back.sendTo(target, p.bytes.data(), p.bytes.size());
                else if (haveClient)
                    front.sendTo(client, p.bytes.data(), p.bytes.size());
                ++stats.forwarded;
                pending.pop();
            }
        }
    }
};

LossyRelay::LossyRelay(uint16_t targetPort, const RelayOptions& options)
    : impl_(std::make_unique<Impl>(targetPort, options)) {
    impl_->thread = std::thread([this] { impl_->run(); });
}

LossyRelay::~LossyRelay() {
    impl_->stop = true;
    impl_->thread.join();
}

uint16_t LossyRelay::port() const {
    return impl_->front.port();
}

void LossyRelay::setOptions(const RelayOptions& options) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->options = options;
}

void LossyRelay::setBlackhole(bool on) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->blackhole = on;
}

void LossyRelay::setTargetFilter(DatagramFilter filter) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->targetFilter = std::move(filter);
}

RelayStats LossyRelay::stats() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->stats;
}

}  // namespace iax2test
