#include "call/keypad.h"

#include "app/call_globals.h"
#include "app/main_window.h"
#include "call/call_services.h"
#include "call/local_sound.h"
#include "call/tone_tables.h"

namespace {

// The keypad reads this much of the field, so through it the field never
// holds more than one character beyond.
constexpr int kFieldChars = 30;
constexpr int kRepeatDuringCall = 0;
constexpr int kRepeatWithoutCall = 1;

}  // namespace

void keypadPress(int fieldId, short* toneSamples, char key) {
    MainWindow& dlg = *g_mainDlg;
    char text[kFieldChars + 2];
    int length = dlg.controlText(fieldId, text, kFieldChars);
    if (length < 0 || length > kFieldChars) length = length < 0 ? 0 : kFieldChars;
    text[length] = key;
    text[length + 1] = '\0';
    dlg.setControlText(fieldId, text);

    if (g_registrationId < 0) return;
    int repeat = kRepeatWithoutCall;
    if (g_activeCallNo != -1) {
        callServices().sendDtmf(key);
        repeat = kRepeatDuringCall;
    }
    playLocalSound(toneSamples, kKeyToneSamples, repeat);
}
