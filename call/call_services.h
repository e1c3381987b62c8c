// What call control reaches outside its folder: the voice engine's C API and
// the agent-mode, manager-session and database steps. The program runs with
// the real ones (call_services_wiring.cpp); tests install fakes. The
// services are installed before the engine starts and read from the
// window's thread and the engine's.
#pragma once

#include <iaxclient.h>

struct CallServices {
    // The voice engine, one pointer per C API call (named in the comment).
    void (*setPreferredSourceUdpPort)(int port);              // iaxc_set_preferred_source_udp_port
    int (*initialize)(int callSlots);                         // iaxc_initialize
    void (*shutdown)();                                       // iaxc_shutdown
    int (*startProcessingThread)();                           // iaxc_start_processing_thread
    int (*stopProcessingThread)();                            // iaxc_stop_processing_thread
    void (*setEventCallback)(iaxc_event_callback_t handler);  // iaxc_set_event_callback
    int (*registerUser)(const char* user, const char* pass, const char* host);  // iaxc_register
    int (*unregisterUser)(int registrationId);                                  // iaxc_unregister
    void (*setCallerId)(const char* name, const char* number);                  // iaxc_set_callerid
    void (*setFormats)(int preferred, int allowed);                             // iaxc_set_formats
    void (*answerCall)(int callNo);                                             // iaxc_answer_call
    void (*dumpCall)();                                                         // iaxc_dump_call
    int (*quelch)(int callNo, int musicOnHold);                                 // iaxc_quelch
    int (*unquelch)(int callNo);                                                // iaxc_unquelch
    void (*blindTransferCall)(int callNo, const char* number);                  // iaxc_blind_transfer_call
    void (*sendDtmf)(char digit);                                               // iaxc_send_dtmf
    int (*audioDevicesGet)(iaxc_audio_device** devices, int* count, int* input, int* output,
                           int* ring);                        // iaxc_audio_devices_get
    int (*audioDevicesSet)(int input, int output, int ring);  // iaxc_audio_devices_set
    void (*setAudioOutput)(int mode);                         // iaxc_set_audio_output
    void (*setSilenceThreshold)(float threshold);             // iaxc_set_silence_threshold
    void (*setFilters)(int filters);                          // iaxc_set_filters
    int (*inputLevelSet)(float level);                        // iaxc_input_level_set
    int (*outputLevelSet)(float level);                       // iaxc_output_level_set
    void (*enableJitterBuffer)(int on);                       // iaxc_enable_jitterbuffer
    void (*setJitterBufferTargetExtra)(long value);           // iaxc_set_jb_target_extra
    int (*playSound)(iaxc_sound* sound, int ring);            // iaxc_play_sound
    int (*stopSound)(int soundId);                            // iaxc_stop_sound

    // The agent modes, the manager session and the database.
    void (*runReleaseAction)(int callType);
    void (*runInboundAnswerNotReady)();
    void (*killTimedAcwTimers)();
    void (*logoutAgent)();                                      // OnBnClickedButLogout
    int (*openManagerSession)(int verify, char* inUseAddress);  // init_iaxAgiSocket
    int (*logoutManager)(const char* agentId);                  // agi_Logout
    int (*localAddresses)(char* buffer, int capacity);          // utl_getlocalipaddresses
    void (*closeDatabase)();                                    // dbUnInitialize
};

// The services in force: the real ones unless a test installed others.
const CallServices& callServices();
// Installs services (kept by pointer, so they must outlive their use);
// nullptr restores the real ones.
void setCallServices(const CallServices* services);
