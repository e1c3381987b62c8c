// What the manager interface does in answer to an action (or at the start of
// a connection): a list of steps run in order on that connection.
#pragma once

#include <string>
#include <vector>

namespace labpbx {

struct ReplyStep {
    enum class Kind {
        Send,     // send text (as one write; a large text may need several)
        Pause,    // wait ms milliseconds
        Close,    // orderly close (FIN) after the steps before it
        Reset,    // abortive close (RST, SO_LINGER 0)
        Default,  // the lab PBX's own reply to the action, in place
    };
    Kind kind = Kind::Send;
    std::string text;
    int ms = 0;
};

// An empty plan is silence: nothing is sent and the connection stays open.
using ReplyPlan = std::vector<ReplyStep>;

inline ReplyStep sendStep(std::string text) {
    return {ReplyStep::Kind::Send, std::move(text), 0};
}
inline ReplyStep pauseStep(int ms) {
    return {ReplyStep::Kind::Pause, {}, ms};
}
inline ReplyStep closeStep() {
    return {ReplyStep::Kind::Close, {}, 0};
}
inline ReplyStep resetStep() {
    return {ReplyStep::Kind::Reset, {}, 0};
}
inline ReplyStep defaultStep() {
    return {ReplyStep::Kind::Default, {}, 0};
}

// The text sent in two writes, the first `at` bytes, a pause, then the rest.
inline ReplyPlan splitPlan(const std::string& text, size_t at, int gapMs) {
    if (at > text.size()) at = text.size();
    return {sendStep(text.substr(0, at)), pauseStep(gapMs), sendStep(text.substr(at))};
}

}  // namespace labpbx
