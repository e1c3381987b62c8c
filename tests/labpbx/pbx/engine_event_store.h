// The voice engine as the engine tests drive it: the callback keeps every
// event and tests ask questions of them from their own thread (one engine
// per process, so one store); a call from a freshly started engine.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <iaxclient.h>
#include "pbx_fixture.h"

namespace labpbx::test {

struct EngineEvents {
    std::mutex lock;
    std::vector<iaxc_event> events;

    static EngineEvents& instance() {
        static EngineEvents store;
        return store;
    }
    // The callback to hand to iaxc_set_event_callback.
    static int onEvent(iaxc_event e) {
        EngineEvents& s = instance();
        std::lock_guard<std::mutex> guard(s.lock);
        s.events.push_back(e);
        return 1;
    }
    static void clear() {
        EngineEvents& s = instance();
        std::lock_guard<std::mutex> guard(s.lock);
        s.events.clear();
    }
    // The first event that pred accepts, if any.
    template <typename Pred>
    static bool find(Pred pred, iaxc_event* found = nullptr) {
        EngineEvents& s = instance();
        std::lock_guard<std::mutex> guard(s.lock);
        for (const iaxc_event& e : s.events)
            if (pred(e)) {
                if (found) *found = e;
                return true;
            }
        return false;
    }
};

inline bool sawRegistration(int reply) {
    return EngineEvents::find(
        [&](const iaxc_event& e) { return e.type == IAXC_EVENT_REGISTRATION && e.ev.reg.reply == reply; });
}

// A state event of the call with all of bits set (bits 0: the call ended).
inline bool sawCallState(int callNo, int bits, iaxc_event* found = nullptr) {
    return EngineEvents::find(
        [&](const iaxc_event& e) {
            return e.type == IAXC_EVENT_STATE && e.ev.call.callNo == callNo &&
                   (bits == 0 ? e.ev.call.state == IAXC_CALL_STATE_FREE : (e.ev.call.state & bits) == bits);
        },
        found);
}

// Starts the engine with these formats and no filters (levels are judged),
// registers 2001 at the lab PBX on pbxPort and calls number. The engine's
// call number, or -1 when a step failed.
inline int startEngineAndCall(uint16_t pbxPort, int preferred, int allowed, const std::string& number) {
    EngineEvents::clear();
    iaxc_set_preferred_source_udp_port(-1);
    if (iaxc_initialize(2) != 0) return -1;
    iaxc_set_formats(preferred, allowed);
    iaxc_set_filters(0);
    iaxc_set_event_callback(EngineEvents::onEvent);
    if (iaxc_start_processing_thread() != 0) return -1;
    const std::string host = "127.0.0.1:" + std::to_string(pbxPort);
    if (iaxc_register("2001", "secret1", host.c_str()) < 0) return -1;
    if (!eventually([] { return sawRegistration(IAXC_REGISTRATION_REPLY_ACK); }, 3000)) return -1;
    return iaxc_call(("2001:secret1@" + host + "/" + number).c_str());
}

}  // namespace labpbx::test
