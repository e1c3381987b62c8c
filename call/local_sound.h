// Plays one of the phone's own sample tables on the normal output device.
#pragma once

// samples stays owned by the caller and must outlive the sound; repeat as
// the engine counts it. Returns the engine's sound id.
int playLocalSound(short* samples, long count, int repeat);
