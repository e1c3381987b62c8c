// The boundary between the engine's signalling side and its media side.
// The signalling side owns calls and the wire; the media side owns sound
// devices, codecs, the jitter buffer, filters and locally played sounds.
// Thread-safety: every function may be called from any engine thread; the
// media side guards its own state and never calls back into signalling while
// holding its lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace voice::media {

// Hands one encoded 20 ms frame of the selected call to the signalling side.
// mediaTimeMs counts the audio sent since startCall (0, 20, 40, ...), so the
// wire timestamp can follow the sample clock.
using SendVoiceFn =
    std::function<void(int format, const uint8_t* payload, size_t length, uint32_t mediaTimeMs)>;

// Brought up by iaxc_initialize: scans the devices (a silent, real-time
// paced built-in device stands in when there is none). Returns 0 on success.
int initialize();
// Brought down by iaxc_shutdown: streams closed, sounds dropped.
void shutdown();

// The selected call has media in the given format (one IAXC_FORMAT_* bit):
// capture, encode and send every 20 ms through send, paced by a monotonic
// clock. Replaces any earlier call stream.
void startCall(int format, SendVoiceFn send);
// The selected call stopped having media (hung up, deselected).
void stopCall();
// Whether our outgoing audio is held back (we were put on hold by the peer
// or the agent's hold): frames are not sent while muted.
void setSendMuted(bool muted);

// A voice payload received for the selected call, with its full 32-bit call
// timestamp in milliseconds (mini frames already extended by signalling).
void receiveVoice(int format, const uint8_t* payload, size_t length, uint32_t timestampMs);

// Jitter buffer settings for calls started afterwards.
void setJitterBufferEnabled(bool on);
void setJitterBufferTargetExtra(long ms);

}  // namespace voice::media
