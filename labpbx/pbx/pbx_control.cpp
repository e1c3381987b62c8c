// What the control interface asks of calls: inbound calls placed, calls
// answered and hung up at the PBX, and the list of calls.
#include "labpbx/pbx/pbx_core.h"
#include "voice/iax2/protocol.h"

namespace labpbx {

using namespace iax2;

int PbxCore::placeInboundCall(const std::string& ext, const std::string& number, const std::string& name,
                              std::string& error) {
    if (!config_.findExtension(ext)) {
        error = "no such extension " + ext;
        return -1;
    }
    if (!regs_.count(ext)) {
        error = "extension " + ext + " is not registered";
        return -1;
    }
    auto c = std::make_unique<Call>();
    c->id = nextCallId_++;
    c->a.kind = EndKind::Caller;
    c->a.number = number;
    c->a.name = name;
    c->dialled = ext;
    Call& ref = *c;
    calls_[c->id] = std::move(c);
    if (!placeLeg(ref, ext, config_.codecs.front(), config_.codecMask())) {
        calls_.erase(ref.id);
        error = "cannot reach extension " + ext;
        return -1;
    }
    return ref.id;
}

bool PbxCore::answer(int callId, std::string& error) {
    auto it = calls_.find(callId);
    if (it == calls_.end()) {
        error = "no such call";
        return false;
    }
    Call& c = *it->second;
    if (c.b.kind != EndKind::Ring || c.state != CallState::Ringing) {
        error = "call is not ringing at the PBX";
        return false;
    }
    setUp(c);
    return true;
}

bool PbxCore::hangup(int callId, std::string& error) {
    if (!calls_.count(callId)) {
        error = "no such call";
        return false;
    }
    endCall(callId, cause::NormalClearing);
    return true;
}

std::vector<CallInfo> PbxCore::calls() const {
    std::vector<CallInfo> out;
    for (const auto& [id, c] : calls_) {
        CallInfo i;
        i.id = id;
        switch (c->state) {
            case CallState::Auth:
                i.state = "auth";
                break;
            case CallState::Setup:
                i.state = "setup";
                break;
            case CallState::Ringing:
                i.state = "ringing";
                break;
            case CallState::Up:
                i.state = "up";
                break;
            case CallState::Busy:
                i.state = "busy";
                break;
        }
        i.from = describe(c->a);
        i.to = c->b.kind == EndKind::None ? c->dialled : describe(c->b);
        i.dialled = c->dialled;
        i.callerNumber = c->a.number;
        i.callerName = c->a.name;
        uint32_t f = c->a.kind == EndKind::Leg ? c->a.format : c->b.format;
        i.format = codecName(f);
        i.fromHeld = c->a.quelched;
        i.toHeld = c->b.quelched;
        out.push_back(i);
    }
    return out;
}

}  // namespace labpbx
