#include "call/event_relay.h"

#include <atomic>

namespace {

std::atomic<EventRelay> l_relay{&defaultEventRelay};

}  // namespace

void setEventRelay(EventRelay relay) {
    l_relay.store(relay ? relay : &defaultEventRelay);
}

void relayEvent(const iaxc_event& event) {
    l_relay.load()(event);
}
