// [Start]: brings up the voice engine and registers the extension.
#pragma once

// The registration id returned by the engine; -1 until [Start] registered.
extern int g_registrationId;

void OnBnClickedButStart();
// name holds 256 bytes; input non-zero for a recording device.
int getAudioDeviceStringByNum(char* name, int number, int input);
int setAudioDeviceByNum(int number, int input);
