// A stand-in for the voice engine behind call control's services, for unit
// tests only: every engine call the phone makes is journaled as
// "engine:<C API name>(<arguments>)", results are scripted, and the tests
// can deliver events through the installed callback as the engine's thread
// would.
#pragma once

#include <iaxclient.h>
#include <string>
#include <vector>

#include "call/call_services.h"

struct PlayedSound {
    short* data;
    long len;
    int malloced;
    int repeat;
    int ring;
    int id;
};

struct FakeEngine {
    int initializeResult = 0;
    int startThreadResult = 0;
    int registerResult = 1;
    int unregisterResult = 1;
    int quelchResult = 0;
    int unquelchResult = 0;
    // What iaxc_audio_devices_get reports.
    std::vector<iaxc_audio_device> devices;
    int input = 0;
    int output = 1;
    int ring = 1;

    iaxc_event_callback_t callback = nullptr;
    std::vector<PlayedSound> sounds;
    int nextSoundId = 1;
    // When set, iaxc_answer_call reports the call connected through the
    // callback, as the engine does.
    bool emitCompleteOnAnswer = false;

    void reset();
    // Delivers an event to the installed callback.
    int deliver(const iaxc_event& event) const;
};

extern FakeEngine g_engine;

// Points the engine's services at g_engine.
void fillEngineServices(CallServices& services);

// Event records as the engine makes them.
iaxc_event stateEvent(int callNo, int state, const char* remote = "", const char* remoteName = "",
                      int format = IAXC_FORMAT_GSM);
iaxc_event registrationEvent(int reply, int id = 1, int msgcount = -1);
iaxc_event textEvent(int type, int callNo, const char* message);
