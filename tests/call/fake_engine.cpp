#include "fake_engine.h"

#include <cstdio>
#include <cstring>

#include "journal.h"

FakeEngine g_engine;

namespace {

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

void record(const std::string& call) {
    g_journal.add("engine:" + call);
}

}  // namespace

void FakeEngine::reset() {
    *this = FakeEngine();
}

int FakeEngine::deliver(const iaxc_event& event) const {
    return callback ? callback(event) : 0;
}

iaxc_event stateEvent(int callNo, int state, const char* remote, const char* remoteName, int format) {
    iaxc_event e{};
    e.type = IAXC_EVENT_STATE;
    e.ev.call.callNo = callNo;
    e.ev.call.state = state;
    e.ev.call.format = format;
    std::snprintf(e.ev.call.remote, sizeof e.ev.call.remote, "%s", remote);
    std::snprintf(e.ev.call.remote_name, sizeof e.ev.call.remote_name, "%s", remoteName);
    std::snprintf(e.ev.call.local, sizeof e.ev.call.local, "%s", "7001");
    std::snprintf(e.ev.call.local_context, sizeof e.ev.call.local_context, "%s", "default");
    return e;
}

iaxc_event registrationEvent(int reply, int id, int msgcount) {
    iaxc_event e{};
    e.type = IAXC_EVENT_REGISTRATION;
    e.ev.reg.id = id;
    e.ev.reg.reply = reply;
    e.ev.reg.msgcount = msgcount;
    return e;
}

iaxc_event textEvent(int type, int callNo, const char* message) {
    iaxc_event e{};
    e.type = IAXC_EVENT_TEXT;
    e.ev.text.type = type;
    e.ev.text.callNo = callNo;
    std::snprintf(e.ev.text.message, sizeof e.ev.text.message, "%s", message);
    return e;
}

void fillEngineServices(CallServices& services) {
    services.setPreferredSourceUdpPort = [](int port) {
        record("iaxc_set_preferred_source_udp_port(" + std::to_string(port) + ")");
    };
    services.initialize = [](int num_calls) -> int {
        record("iaxc_initialize(" + std::to_string(num_calls) + ")");
        return g_engine.initializeResult;
    };
    services.shutdown = [] { record("iaxc_shutdown()"); };
    services.startProcessingThread = []() -> int {
        record("iaxc_start_processing_thread()");
        return g_engine.startThreadResult;
    };
    services.stopProcessingThread = []() -> int {
        record("iaxc_stop_processing_thread()");
        return 0;
    };
    services.setEventCallback = [](iaxc_event_callback_t func) {
        g_engine.callback = func;
        record("iaxc_set_event_callback()");
    };
    services.registerUser = [](const char* user, const char* pass, const char* host) -> int {
        record(std::string("iaxc_register(") + user + "," + pass + "," + host + ")");
        return g_engine.registerResult;
    };
    services.unregisterUser = [](int id) -> int {
        record("iaxc_unregister(" + std::to_string(id) + ")");
        return g_engine.unregisterResult;
    };
    services.setCallerId = [](const char* name, const char* num) {
        record(std::string("iaxc_set_callerid(") + name + "," + num + ")");
    };
    services.setFormats = [](int preferred, int allowed) {
        record("iaxc_set_formats(" + std::to_string(preferred) + "," + std::to_string(allowed) + ")");
    };
    services.answerCall = [](int callNo) {
        record("iaxc_answer_call(" + std::to_string(callNo) + ")");
        if (g_engine.emitCompleteOnAnswer) {
            g_engine.deliver(
                stateEvent(callNo, IAXC_CALL_STATE_ACTIVE | IAXC_CALL_STATE_COMPLETE | IAXC_CALL_STATE_SELECTED));
        }
    };
    services.dumpCall = [] { record("iaxc_dump_call()"); };
    services.quelch = [](int callNo, int MOH) -> int {
        record("iaxc_quelch(" + std::to_string(callNo) + "," + std::to_string(MOH) + ")");
        return g_engine.quelchResult;
    };
    services.unquelch = [](int callNo) -> int {
        record("iaxc_unquelch(" + std::to_string(callNo) + ")");
        return g_engine.unquelchResult;
    };
    services.blindTransferCall = [](int callNo, const char* num) {
        record("iaxc_blind_transfer_call(" + std::to_string(callNo) + "," + num + ")");
    };
    services.sendDtmf = [](char digit) { record(std::string("iaxc_send_dtmf(") + digit + ")"); };
    services.audioDevicesGet = [](iaxc_audio_device** devs, int* nDevs, int* input, int* output,
                                  int* ring) -> int {
        record("iaxc_audio_devices_get()");
        *devs = g_engine.devices.data();
        *nDevs = static_cast<int>(g_engine.devices.size());
        *input = g_engine.input;
        *output = g_engine.output;
        *ring = g_engine.ring;
        return 0;
    };
    services.audioDevicesSet = [](int input, int output, int ring) -> int {
        record("iaxc_audio_devices_set(" + std::to_string(input) + "," + std::to_string(output) + "," +
               std::to_string(ring) + ")");
        return 0;
    };
    services.setAudioOutput = [](int mode) { record("iaxc_set_audio_output(" + std::to_string(mode) + ")"); };
    services.setSilenceThreshold = [](float thr) { record("iaxc_set_silence_threshold(" + number(thr) + ")"); };
    services.setFilters = [](int filters) { record("iaxc_set_filters(" + std::to_string(filters) + ")"); };
    services.inputLevelSet = [](float level) -> int {
        record("iaxc_input_level_set(" + number(level) + ")");
        return 0;
    };
    services.outputLevelSet = [](float level) -> int {
        record("iaxc_output_level_set(" + number(level) + ")");
        return 0;
    };
    services.enableJitterBuffer = [](int on) { record("iaxc_enable_jitterbuffer(" + std::to_string(on) + ")"); };
    services.setJitterBufferTargetExtra = [](long value) {
        record("iaxc_set_jb_target_extra(" + std::to_string(value) + ")");
    };
    services.playSound = [](iaxc_sound* sound, int ring) -> int {
        const int id = g_engine.nextSoundId++;
        g_engine.sounds.push_back({sound->data, sound->len, sound->malloced, sound->repeat, ring, id});
        record("iaxc_play_sound(len=" + std::to_string(sound->len) + ",repeat=" + std::to_string(sound->repeat) +
               ",ring=" + std::to_string(ring) + ")=" + std::to_string(id));
        return id;
    };
    services.stopSound = [](int id) -> int {
        record("iaxc_stop_sound(" + std::to_string(id) + ")");
        return 0;
    };
}
