// [Start]: brings up the voice engine and registers the extension.
#pragma once

#include "app/call_globals.h"

void OnBnClickedButStart();
// name holds 256 bytes; input non-zero for a recording device.
int getAudioDeviceStringByNum(char* name, int number, int input);
int setAudioDeviceByNum(int number, int input);
