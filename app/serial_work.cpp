#include "app/serial_work.h"

#include <deque>
#include <utility>

namespace {

bool l_running = false;
std::deque<std::function<void()>> l_waiting;

}  // namespace

void runSerialWork(std::function<void()> work) {
    l_waiting.push_back(std::move(work));
    if (l_running) return;
    l_running = true;
    // Items queued by the one that runs (through a box's nested loop) are
    // taken in turn once it has returned.
    while (!l_waiting.empty()) {
        std::function<void()> next = std::move(l_waiting.front());
        l_waiting.pop_front();
        if (next) next();
    }
    l_running = false;
}

bool serialWorkRunning() {
    return l_running;
}

std::size_t serialWorkWaiting() {
    return l_waiting.size();
}
