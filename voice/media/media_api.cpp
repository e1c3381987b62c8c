// The audio functions of the iaxclient API: devices, levels, filters, the
// jitter buffer switch and locally played sounds.
#include <cstdlib>

#include <iaxclient.h>
#include "voice/media/media_side.h"

using voice::media::engine;

namespace {

void freeCallerSamples(void* data) {
    std::free(data);
}

}  // namespace

extern "C" {

int iaxc_audio_devices_get(struct iaxc_audio_device** devs, int* nDevs, int* input, int* output, int* ring) {
    engine().devices(devs, nDevs, input, output, ring);
    return 0;
}

int iaxc_audio_devices_set(int input, int output, int ring) {
    engine().selectDevices(input, output, ring);
    return 0;
}

void iaxc_set_audio_output(int mode) {
    engine().setAudioOutput(mode);
}

void iaxc_set_silence_threshold(float thr) {
    engine().setSilenceThreshold(thr);
}

void iaxc_set_filters(int filters) {
    engine().setFilters(filters);
}

int iaxc_get_filters(void) {
    return engine().settings().filters;
}

int iaxc_input_level_set(float level) {
    return engine().setInputLevel(level);
}

int iaxc_output_level_set(float level) {
    return engine().setOutputLevel(level);
}

float iaxc_input_level_get(void) {
    return engine().settings().inputLevel;
}

float iaxc_output_level_get(void) {
    return engine().settings().outputLevel;
}

void iaxc_enable_jitterbuffer(int on) {
    engine().setJitterBuffer(on != 0);
}

void iaxc_set_jb_target_extra(long value) {
    engine().setJitterExtra(value);
}

int iaxc_play_sound(struct iaxc_sound* sound, int ring) {
    if (!sound) return -1;
    // The engine owns malloced samples from here on, whatever the outcome.
    const bool owned = sound->malloced != 0 && sound->data != nullptr;
    if (sound->len <= 0) {
        if (owned) std::free(sound->data);
        return -1;
    }
    const int id = engine().playSound(sound->data, size_t(sound->len), sound->repeat, ring != 0,
                                      owned ? &freeCallerSamples : nullptr, owned ? sound->data : nullptr);
    if (id < 0 && owned) std::free(sound->data);
    return id;
}

int iaxc_stop_sound(int id) {
    return engine().stopSound(id) ? 0 : 1;
}

// No device here offers a microphone boost switch.
int iaxc_mic_boost_get(void) {
    return 0;
}
int iaxc_mic_boost_set(int) {
    return -1;
}

// Frames are always 20 ms (160 samples); larger outgoing frames are not made.
void iaxc_set_min_outgoing_framesize(int) {}

// Only SEND_DISABLE has an effect: audio events are not delivered.
unsigned int iaxc_get_audio_prefs(void) {
    return engine().audioPrefs();
}
int iaxc_set_audio_prefs(unsigned int prefs) {
    engine().setAudioPrefs(prefs);
    return 0;
}

}  // extern "C"
