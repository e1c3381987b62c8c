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

// The format value that stands for comfort noise (an IAX2 CNG frame) in
// SendVoiceFn and receiveVoice: the payload is one byte, the noise level in
// -dBov (0 loudest .. 127 quietest). It is sent once when our audio falls
// silent with the comfort-noise filter on; nothing is sent after it until
// sound resumes.
inline constexpr int kComfortNoiseFormat = 0;

// Hands one encoded 20 ms frame of the selected call to the signalling side.
// mediaTimeMs counts the audio since startCall (0, 20, 40, ...; it keeps
// counting through silence that is not sent), so the wire timestamp can
// follow the sample clock. It is called from the media thread without the
// media lock; a frame that was already on its way may still arrive just
// after stopCall returns.
using SendVoiceFn = std::function<void(int format, const uint8_t* payload, size_t length, uint32_t mediaTimeMs)>;

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
// or the agent's hold): frames are not sent while muted. stopCall clears it.
void setSendMuted(bool muted);

// A voice payload received for the selected call, with its full 32-bit call
// timestamp in milliseconds (mini frames already extended by signalling).
void receiveVoice(int format, const uint8_t* payload, size_t length, uint32_t timestampMs);

// Jitter buffer settings for calls started afterwards.
void setJitterBufferEnabled(bool on);
void setJitterBufferTargetExtra(long ms);

// Smoothed input (what we send) and output (what is played) levels in dB,
// -99 for silence or no audio in the last second: for LEVELS events.
void currentLevels(float& inputDb, float& outputDb);

// Receive figures of the current call stream, for NETSTAT events and the
// receiver-report elements of PONG.
struct ReceiveStats {
    int jitterMs = 0;     // spread of transit times lately seen
    int lossPercent = 0;  // frames concealed as lost, of those played
    int lostFrames = 0;
    int packets = 0;  // voice payloads received
    int delayMs = 0;  // playout delay added
    int dropped = 0;  // late, overflowing or malformed payloads dropped
    int outOfOrder = 0;
};
ReceiveStats receiveStats();

// The media clock: whether it ticks now (only while a call stream or a
// sound needs it), and how many times it has begun and stopped ticking
// since initialize.
struct ClockState {
    bool ticking = false;
    uint64_t starts = 0;
    uint64_t stops = 0;
};
ClockState clockState();

// The media side as the signalling side drives it: the functions above as a
// table. The engine calls through port(); its own tests put a recording
// stand-in in force with usePort (nullptr puts the real side back), before
// iaxc_initialize.
struct MediaPort {
    int (*initialize)();
    void (*shutdown)();
    void (*startCall)(int format, SendVoiceFn send);
    void (*stopCall)();
    void (*setSendMuted)(bool muted);
    void (*receiveVoice)(int format, const uint8_t* payload, size_t length, uint32_t timestampMs);
    void (*currentLevels)(float& inputDb, float& outputDb);
    ReceiveStats (*receiveStats)();
    ClockState (*clockState)();
};
const MediaPort& port();
void usePort(const MediaPort* replacement);

}  // namespace voice::media
