#include "voice/engine/media_stream.h"

#include "voice/engine/udp_socket.h"
#include "voice/media/media_port.h"

namespace voice::engine {
namespace {

// LEVELS events while a call has audio.
constexpr uint64_t kLevelsIntervalMs = 100;

}  // namespace

void MediaStream::reset() {
    slot_ = -1;
    session_ = 0;
    format_ = 0;
    outbox_.clear();
}

bool MediaStream::follow(const Choice& want) {
    if (want.slot != slot_ || want.session != session_ || want.format != format_) {
        if (session_ != 0) media::port().stopCall();
        const uint64_t generation = ++generation_;
        slot_ = want.slot;
        session_ = want.session;
        format_ = want.format;
        if (want.session == 0) return false;
        // The media side's thread hands frames over without the engine
        // lock; the network thread is woken to send them.
        media::port().startCall(want.format, [this, generation](int format, const uint8_t* payload, size_t length,
                                                                uint32_t mediaTimeMs) {
            if (outbox_.push(generation, format, payload, length, mediaTimeMs)) UdpSocket::wake();
        });
        media::port().setSendMuted(want.muted);
        muted_ = want.muted;
        return true;
    }
    if (want.session != 0 && want.muted != muted_) {
        media::port().setSendMuted(want.muted);
        muted_ = want.muted;
    }
    return false;
}

void MediaStream::stop() {
    if (slot_ >= 0) media::port().stopCall();
    slot_ = -1;
    session_ = 0;
    ++generation_;
}

bool MediaStream::nextFrame(VoiceFrame& out) {
    while (outbox_.pop(out))
        if (out.generation == generation_ && session_ != 0 && !muted_) return true;
    return false;
}

void MediaStream::receive(uint16_t localCall, int format, const uint8_t* payload, size_t length,
                          uint32_t timestamp) {
    if (carries(localCall)) media::port().receiveVoice(format, payload, length, timestamp);
}

iaxc_netstat MediaStream::localStats(const Session& s) const {
    iaxc_netstat n{};
    if (carries(s.dialog.localCall())) {
        const media::ReceiveStats r = media::port().receiveStats();
        n.jitter = r.jitterMs;
        n.losspct = r.lossPercent;
        n.losscnt = r.lostFrames;
        n.packets = r.packets;
        n.delay = r.delayMs;
        n.dropped = r.dropped;
        n.ooo = r.outOfOrder;
    } else {
        n.packets = static_cast<int>(s.framesReceived);
        n.ooo = static_cast<int>(s.outOfOrder);
    }
    return n;
}

bool MediaStream::levelsDue(uint64_t nowMs) {
    if (session_ == 0 || nowMs < nextLevelsMs_) return false;
    nextLevelsMs_ = nowMs + kLevelsIntervalMs;
    return true;
}

}  // namespace voice::engine
