// The iaxclient C API of the signalling side; each call is handed to the
// one engine instance. The audio functions live with the media side.
#include <chrono>
#include <cstdio>
#include <thread>

#include <iaxclient.h>
#include "voice/engine/engine.h"
#include "voice/engine/tuning.h"

using voice::engine::Engine;

namespace {

// Declared first in an API function that may queue timed work (frames to
// retransmit, pings, registration attempts): once the call is done, the
// network thread is woken if it sleeps past the new deadline.
struct Rescheduled {
    ~Rescheduled() { Engine::instance().reschedule(); }
};

}  // namespace

namespace voice::engine {

void setTuning(const Tuning& tuning) {
    Engine::instance().setTuning(tuning);
}
Tuning currentTuning() {
    return Engine::instance().tuning();
}
size_t openDialogCount() {
    return Engine::instance().openDialogs();
}
std::vector<uint16_t> openCallNumbers() {
    return Engine::instance().openCallNumbers();
}
void injectDatagram(const uint8_t* data, size_t length, const sockaddr_in& from) {
    Engine::instance().inject(data, length, from);
}
uint64_t networkBusyNanos() {
    return Engine::instance().busyNanos();
}
NetworkSleep networkSleep() {
    return Engine::instance().networkSleep();
}
MediaClockState mediaClockState() {
    return media::port().clockState();
}

}  // namespace voice::engine

extern "C" {

void iaxc_set_preferred_source_udp_port(int port) {
    Engine::instance().setPreferredPort(port);
}

short iaxc_get_bind_port(void) {
    return static_cast<short>(Engine::instance().bindPort());
}

int iaxc_initialize(int num_calls) {
    return Engine::instance().initialize(num_calls);
}

void iaxc_shutdown(void) {
    Engine::instance().shutdown();
}

int iaxc_start_processing_thread(void) {
    return Engine::instance().startThreads();
}

int iaxc_stop_processing_thread(void) {
    return Engine::instance().stopThreads();
}

void iaxc_set_event_callback(iaxc_event_callback_t func) {
    Engine::instance().setCallback(func);
}

void iaxc_millisleep(long ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

char* iaxc_version(char* ver) {
    if (ver) std::snprintf(ver, IAXC_EVENT_BUFSIZ, "%s", "2.1-quendra");
    return ver;
}

int iaxc_register(const char* user, const char* pass, const char* host) {
    const Rescheduled after;
    return Engine::instance().registerUser(user, pass, host);
}

int iaxc_unregister(int id) {
    const Rescheduled after;
    return Engine::instance().unregister(id);
}

void iaxc_set_callerid(const char* name, const char* number) {
    Engine::instance().setCallerId(name, number);
}

void iaxc_set_formats(int preferred, int allowed) {
    Engine::instance().setFormats(preferred, allowed);
}

int iaxc_call(const char* dest) {
    const Rescheduled after;
    return Engine::instance().call(dest, nullptr, nullptr);
}

int iaxc_call_ex(const char* dest, const char* callerid_name, const char* callerid_number, int /*video*/) {
    const Rescheduled after;
    return Engine::instance().call(dest, callerid_name, callerid_number);
}

void iaxc_answer_call(int callNo) {
    const Rescheduled after;
    Engine::instance().answer(callNo);
}

void iaxc_dump_call(void) {
    const Rescheduled after;
    Engine::instance().dumpSelected();
}

void iaxc_dump_call_number(int callNo) {
    const Rescheduled after;
    Engine::instance().dump(callNo);
}

void iaxc_reject_call(void) {
    const Rescheduled after;
    Engine::instance().reject(Engine::instance().selected());
}

void iaxc_reject_call_number(int callNo) {
    const Rescheduled after;
    Engine::instance().reject(callNo);
}

void iaxc_send_busy_on_incoming_call(int callNo) {
    const Rescheduled after;
    Engine::instance().sendBusy(callNo);
}

int iaxc_quelch(int callNo, int MOH) {
    const Rescheduled after;
    return Engine::instance().quelch(callNo, MOH);
}

int iaxc_unquelch(int callNo) {
    const Rescheduled after;
    return Engine::instance().unquelch(callNo);
}

void iaxc_blind_transfer_call(int callNo, const char* number) {
    const Rescheduled after;
    Engine::instance().blindTransfer(callNo, number);
}

void iaxc_send_dtmf(char digit) {
    const Rescheduled after;
    Engine::instance().sendDtmf(digit);
}

void iaxc_send_text(const char* text) {
    const Rescheduled after;
    Engine::instance().sendText(text);
}

int iaxc_select_call(int callNo) {
    const Rescheduled after;
    return Engine::instance().select(callNo);
}

int iaxc_first_free_call(void) {
    return Engine::instance().firstFree();
}

int iaxc_selected_call(void) {
    return Engine::instance().selected();
}

int iaxc_get_netstats(int callNo, int* rtt, struct iaxc_netstat* local, struct iaxc_netstat* remote) {
    return Engine::instance().netstats(callNo, rtt, local, remote);
}

}  // extern "C"
