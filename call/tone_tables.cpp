#include "call/tone_tables.h"

#include <cmath>
#include <numbers>

#include "app/control_ids.h"

short g_ringToneSamples[kRingToneSamples];
short g_autoAnswerAlertSamples[kAutoAnswerAlertSamples];
short g_keyToneSamples[kKeypadKeys][kKeyToneSamples];

namespace {

constexpr KeypadKey kKeypad[kKeypadKeys] = {
    {IDC_BUT_KEY_1, '1', 697, 1209},    {IDC_BUT_KEY_2, '2', 697, 1336}, {IDC_BUT_KEY_3, '3', 697, 1477},
    {IDC_BUT_KEY_4, '4', 770, 1209},    {IDC_BUT_KEY_5, '5', 770, 1336}, {IDC_BUT_KEY_6, '6', 770, 1477},
    {IDC_BUT_KEY_7, '7', 852, 1209},    {IDC_BUT_KEY_8, '8', 852, 1336}, {IDC_BUT_KEY_9, '9', 852, 1477},
    {IDC_BUT_KEY_STAR, '*', 941, 1209}, {IDC_BUT_KEY_0, '0', 941, 1336}, {IDC_BUT_KEY_POUND, '#', 941, 1477},
};

// Fills every table once, during static initialisation: the tables live in
// this file, so nothing can read them before they are filled.
struct ToneTableBuilder {
    ToneTableBuilder() {
        fillDualTone(g_ringToneSamples, kRingToneSamples, kRingToneSamples, 440, 480);
        fillDualTone(g_autoAnswerAlertSamples, kAutoAnswerAlertSamples, kAutoAnswerAlertSamples, 941, 1336);
        for (int i = 0; i < kKeypadKeys; ++i) {
            fillDualTone(g_keyToneSamples[i], kKeyToneSoundingSamples, kKeyToneSamples, kKeypad[i].lowHz,
                         kKeypad[i].highHz);
        }
    }
};
const ToneTableBuilder l_toneTableBuilder;

}  // namespace

void fillDualTone(short* out, int count, int total, int lowHz, int highHz) {
    const double step = 2.0 * std::numbers::pi / kToneSampleRate;
    for (int i = 0; i < count && i < total; ++i) {
        const double sum =
            kToneAmplitude * std::sin(step * lowHz * i) + kToneAmplitude * std::sin(step * highHz * i);
        out[i] = static_cast<short>(sum);  // cut towards zero; |sum| <= 16000
    }
    for (int i = count < 0 ? 0 : count; i < total; ++i) out[i] = 0;
}

const KeypadKey* keypadKeyById(int controlId) {
    const int index = keypadIndexById(controlId);
    return index < 0 ? nullptr : &kKeypad[index];
}

int keypadIndexById(int controlId) {
    for (int i = 0; i < kKeypadKeys; ++i) {
        if (kKeypad[i].controlId == controlId) return i;
    }
    return -1;
}
