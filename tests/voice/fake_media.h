// A stand-in for the engine's media side in signalling tests: records what
// signalling asks of it and lets a test push encoded frames as if captured.
// Linked in (the object library fake_media_side), it is the media port of
// every engine the executable makes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fakemedia {

struct Snapshot {
    int initializeCalls = 0;
    int shutdownCalls = 0;
    int startCalls = 0;
    int stopCalls = 0;
    bool running = false;
    int format = 0;
    bool muted = false;
    int voiceReceived = 0;
    int comfortNoiseReceived = 0;
    int lastComfortNoiseLevel = -1;
    uint32_t lastReceivedTimestamp = 0;
};

Snapshot snapshot();
void reset();
// Sends one 20 ms frame of the current stream through signalling; false
// when no stream is running.
bool sendFrame(const uint8_t* payload, size_t length, uint32_t mediaTimeMs);
// Signals the start of silence (one comfort-noise frame at level -dBov).
bool sendComfortNoise(uint8_t level, uint32_t mediaTimeMs);

}  // namespace fakemedia
