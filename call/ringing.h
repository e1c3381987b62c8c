// The ringing of an inbound call: the flashing Answer face (timer 46, every
// 500 ms) and the ring tone (timer 47, a burst every 6 s). Window thread.
#pragma once

// Starts the flashing and the ring tone for a call that has just begun to
// ring.
void startRinging();
// When a ring tone is in play: stops it, forgets its id and stops timer 47.
// Returns whether there was one.
bool stopRingTone();

// The window's timers 46 (Answer face flashing) and 47 (ring-tone
// repetition).
void onRingingTimer(int timerId);
