// Building the application's events. They are queued under the engine lock
// and delivered by the dispatcher's thread.
#include <cstdio>
#include <cstring>

#include "voice/engine/engine.h"
#include "voice/media/media_port.h"

namespace voice::engine {
namespace {

void copyBounded(char* out, const std::string& text) {
    const size_t n = text.size() < IAXC_EVENT_BUFSIZ - 1 ? text.size() : IAXC_EVENT_BUFSIZ - 1;
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

}  // namespace

void Engine::postState(int slot) {
    if (!calls_.valid(slot)) return;
    const CallSlot& c = calls_.at(slot);
    iaxc_event e;
    std::memset(&e, 0, sizeof e);
    e.type = IAXC_EVENT_STATE;
    e.ev.call.callNo = slot;
    e.ev.call.state = calls_.reportedState(slot);
    e.ev.call.format = c.format;
    e.ev.call.vformat = 0;
    copyBounded(e.ev.call.remote, c.remote);
    copyBounded(e.ev.call.remote_name, c.remoteName);
    copyBounded(e.ev.call.local, c.local);
    copyBounded(e.ev.call.local_context, c.localContext);
    post(e);
}

void Engine::postText(int type, int callNo, const char* format, ...) {
    iaxc_event e;
    std::memset(&e, 0, sizeof e);
    e.type = IAXC_EVENT_TEXT;
    e.ev.text.type = type;
    e.ev.text.callNo = callNo;
    va_list args;
    va_start(args, format);
    std::vsnprintf(e.ev.text.message, sizeof e.ev.text.message, format, args);
    va_end(args);
    post(e);
}

void Engine::postRegistration(int id, int reply, int msgcount) {
    iaxc_event e;
    std::memset(&e, 0, sizeof e);
    e.type = IAXC_EVENT_REGISTRATION;
    e.ev.reg.id = id;
    e.ev.reg.reply = reply;
    e.ev.reg.msgcount = msgcount;
    post(e);
}

void Engine::postLevels() {
    iaxc_event e;
    std::memset(&e, 0, sizeof e);
    e.type = IAXC_EVENT_LEVELS;
    media::port().currentLevels(e.ev.levels.input, e.ev.levels.output);
    post(e);
}

}  // namespace voice::engine
