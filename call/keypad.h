// The keypad: a key types its character into a number field and, once the
// phone is registered, is heard locally and sent as DTMF during a call.
#pragma once

// fieldId: the number field; toneSamples: the key's tone table
// (kKeyToneSamples samples, kept alive by the caller while it plays).
void keypadPress(int fieldId, short* toneSamples, char key);
