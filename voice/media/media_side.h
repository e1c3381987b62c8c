// The process's one media engine and its clock. Kept apart from the
// boundary functions (media_port.cpp) so that the audio API functions can
// be linked against a stand-in for the boundary in tests.
#pragma once

#include "voice/media/media_clock.h"
#include "voice/media/media_engine.h"

namespace voice::media {

MediaEngine& engine();
// The clock that ticks the engine.
const MediaClock& clock();
// Attaches the driver the environment asks for and starts the media clock;
// 0, or -1 when the clock thread cannot start. Harmless when running.
int startMedia();
// Stops the clock and releases the devices; harmless when stopped.
void stopMedia();

}  // namespace voice::media
