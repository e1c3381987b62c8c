// The sample tables the phone plays itself: the ring tone, the auto-answer
// alert and one key tone per keypad key. Signed 16-bit samples at 8000 per
// second, each the sum of two sines of amplitude 8000 starting at phase 0,
// cut to an integer. The tables are filled before main() runs and never
// change afterwards; the engine reads them while it plays them.
#pragma once

constexpr int kToneSampleRate = 8000;
constexpr double kToneAmplitude = 8000.0;

// 440 Hz + 480 Hz, 250 ms.
constexpr int kRingToneSamples = 2000;
// 941 Hz + 1336 Hz, 75 ms.
constexpr int kAutoAnswerAlertSamples = 600;
// A DTMF pair for 200 ms, then 50 ms of silence.
constexpr int kKeyToneSamples = 2000;
constexpr int kKeyToneSoundingSamples = 1600;
constexpr int kKeypadKeys = 12;

// Not const: the engine's sound record takes a plain sample pointer.
extern short g_ringToneSamples[kRingToneSamples];
extern short g_autoAnswerAlertSamples[kAutoAnswerAlertSamples];
// In keypad order 1 2 3 4 5 6 7 8 9 * 0 #.
extern short g_keyToneSamples[kKeypadKeys][kKeyToneSamples];

// One keypad key: its control id, the character it types and sends, and
// its DTMF pair.
struct KeypadKey {
    int controlId;
    char character;
    int lowHz;
    int highHz;
};

// The key with this control id, or null for any other id.
const KeypadKey* keypadKeyById(int controlId);
// The position of the key in the keypad order, 0..11, or -1.
int keypadIndexById(int controlId);

// Writes count samples of the two-tone sum into out, then zeros up to
// total samples (total >= count).
void fillDualTone(short* out, int count, int total, int lowHz, int highHz);
