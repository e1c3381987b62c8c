// Timings of the engine that tests shorten. The defaults are those of the
// common IAX2 clients: first resend after 2 x RTT (100 ms to start), x4 back
// off up to 4 s, ten resends; PING 2 s into a call and every 10 s after;
// registrations asked for 60 s.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <netinet/in.h>

#include "voice/iax2/reliability.h"
#include "voice/media/media_port.h"

namespace voice::engine {

struct Tuning {
    iax2::RetryPolicy retry;
    uint32_t firstPingMs = 2000;
    uint32_t pingIntervalMs = 10000;
    uint16_t registrationRefreshSec = 60;
    // iaxc_stop_processing_thread waits at most this long for registration
    // releases still in flight, so that unregistering just before stopping
    // reaches the server.
    uint32_t releaseGraceMs = 1000;
};

// Takes effect at the next iaxc_initialize.
void setTuning(const Tuning& tuning);
Tuning currentTuning();

// --- Access for tests, fuzzing and benchmarks.

// Dialogs the engine still keeps (calls, registrations, releases, frames
// awaiting acknowledgement): 0 when nothing is left half-open.
size_t openDialogCount();
// Local call numbers of the dialogs the engine keeps.
std::vector<uint16_t> openCallNumbers();
// Handles one datagram as if it had arrived from `from`, then runs the
// timers, on the calling thread (the engine must be initialized).
void injectDatagram(const uint8_t* data, size_t length, const sockaddr_in& from);
// Host names are looked up (on), or only numeric addresses are taken (off).
void setNameLookups(bool on);
// Time the network thread spent working on received datagrams.
uint64_t networkBusyNanos();

// The network thread's rounds of work since it started, and how long it
// chose to sleep after the latest one: -1 for "until a datagram or an API
// call comes", else milliseconds to the next retransmission, ping,
// registration refresh or levels report.
struct NetworkSleep {
    uint64_t rounds = 0;
    int lastWaitMs = 0;
};
NetworkSleep networkSleep();

// The media clock: whether it ticks now (it does only while a call has
// audio or a sound plays), and how many times it has begun and stopped
// ticking since iaxc_initialize.
using MediaClockState = media::ClockState;
MediaClockState mediaClockState();

}  // namespace voice::engine
