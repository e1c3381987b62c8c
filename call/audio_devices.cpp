// Sound-device choice by position in the engine's device list.
#include <cstdio>
#include <iaxclient.h>

#include "app/debug_log.h"
#include "app/settings.h"
#include "call/call_services.h"
#include "call/phone_start.h"

namespace {

constexpr int kDeviceNameSize = 256;

struct DeviceList {
    iaxc_audio_device* devices = nullptr;
    int count = 0;
    int input = -1;
    int output = -1;
    int ring = -1;
};

DeviceList readDevices() {
    DeviceList list;
    callServices().audioDevicesGet(&list.devices, &list.count, &list.input, &list.output, &list.ring);
    if (list.devices == nullptr || list.count < 0) list.count = 0;
    return list;
}

const char* kindWord(long capabilities) {
    if (capabilities & IAXC_AD_INPUT) return "INPUT";
    if (capabilities != 0) return "OUTPUT";
    return "UNKNOWN";
}

const char* nameAt(const DeviceList& list, int position) {
    if (position < 0 || position >= list.count) return "";
    const char* name = list.devices[position].name;
    return name ? name : "";
}

long capabilityFor(int input) {
    return input ? IAXC_AD_INPUT : IAXC_AD_OUTPUT;
}

}  // namespace

int getAudioDeviceStringByNum(char* name, int number, int input) {
    if (name == nullptr) return 0;
    const DeviceList list = readDevices();
    if (g_settings.debug) {
        writeDebugLogf("**DEB** iaxc_audio_devices_get(ndev,input,output,ring)=(%d,%d,%d,%d)", list.count,
                       list.input, list.output, list.ring);
        for (int i = 0; i < list.count; ++i) {
            writeDebugLogf("**DEB** getAudioDeviceStringByNum()->[%d] %s devID=%d [%s]", i,
                           kindWord(list.devices[i].capabilities), list.devices[i].devID, nameAt(list, i));
        }
    }
    // The selected device's name; a selection outside the list gives none.
    copyText(name, kDeviceNameSize, nameAt(list, input ? list.input : list.output));
    if (number == -1) return 1;
    if (number < 0 || number >= list.count) {
        copyText(name, kDeviceNameSize, "**ERR**DevNumOutOfRange");
        return 0;
    }
    if (list.devices[number].capabilities & capabilityFor(input)) {
        copyText(name, kDeviceNameSize, nameAt(list, number));
        return 1;
    }
    std::snprintf(name, kDeviceNameSize, "**ERR**DevNumHasNot%sCapacity", input ? "Input" : "Output");
    return 0;
}

int setAudioDeviceByNum(int number, int input) {
    if (number == -1) return 1;
    DeviceList list = readDevices();
    if (number < 0 || number >= list.count) return 0;
    if (list.devices[number].capabilities & capabilityFor(input)) {
        (input ? list.input : list.output) = list.devices[number].devID;
    }
    callServices().audioDevicesSet(list.input, list.output, list.ring);
    return 1;
}
