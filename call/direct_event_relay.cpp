// Without Qt there is no window thread to post to: the event is handled on
// the thread that delivers it.
#include "call/engine_events.h"
#include "call/event_relay.h"

void defaultEventRelay(const iaxc_event& event) {
    handleIaxEvent(event);
}
