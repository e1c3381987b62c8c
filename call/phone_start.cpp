// [Start]: the registration fields, the optional extension check, the voice
// engine's start-up in its fixed order, and the registration request.
#include "call/phone_start.h"

#include <cstdio>
#include <cstring>
#include <iaxclient.h>

#include "app/control_ids.h"
#include "app/debug_log.h"
#include "app/main_window.h"
#include "app/mandatory_field.h"
#include "app/message_box.h"
#include "app/settings.h"
#include "call/call_services.h"
#include "call/engine_events.h"
#include "call/extension_check.h"

namespace {

constexpr int kCallSlots = 2;
constexpr float kSilenceThresholdDb = -99.0f;
constexpr int kPlayRemoteAudio = 0;
constexpr int kAllowedFormats = IAXC_FORMAT_GSM | IAXC_FORMAT_ULAW | IAXC_FORMAT_ALAW;
constexpr int kHostChars = 62;
constexpr int kUserChars = 30;
constexpr int kPassChars = 62;
constexpr int kCodecNameChars = 31;
constexpr int kDeviceNameSize = 256;
constexpr int kAbortTextSize = 512;

// The most characters a text setting can hold.
template <int N>
constexpr int fieldChars(const char (&)[N]) {
    return N - 1;
}

// A failure of the engine itself: the program ends without the steps of
// [Exit].
void abortStart(const char* text, bool threadsStarted) {
    // The engine's threads must not outlive the engine they work on.
    if (threadsStarted) callServices().stopProcessingThread();
    callServices().shutdown();
    // Events still queued must not reach the engine that is gone while the
    // boxes below wait for the agent.
    closeEventHandling();
    writeDebugLog(text);
    showMessage(text);
    showMessage("Program is being terminated...");
    g_mainDlg->closeWindow();
}

struct DeviceTexts {
    const char* defaultName;
    const char* notFound;
    const char* changed;
    const char* notChanged;
};

const DeviceTexts kPlaybackTexts = {
    "**DEB** [Start]-> default sound playback device name = [%s]",
    "**WRN** [Start]->failed to find playing sound device: devNum=[%d], devName=[%s]",
    "**DEB** [Start]->playing sound device changed: devNum=[%d], devName=[%s]",
    "**WRN** [Start]->failed to change playing sound device: devNum=[%d], devName=[%s]",
};

const DeviceTexts kRecordingTexts = {
    "**DEB** [Start]-> default sound recording device name = [%s]",
    "**WRN** [Start]->failed to find recording sound device: devNum=[%d], devName=[%s]",
    "**DEB** [Start]->recording sound device changed: devNum=[%d], devName=[%s]",
    "**WRN** [Start]->failed to change recording sound device: devNum=[%d], devName=[%s]",
};

// -1 keeps the engine's device (and only names it in the log), 0 and above
// choose a device, below -1 does nothing.
void chooseSoundDevice(int number, int input, const DeviceTexts& texts) {
    char name[kDeviceNameSize];
    if (number == -1) {
        if (!g_settings.debug) return;
        getAudioDeviceStringByNum(name, -1, input);
        writeDebugLogf(texts.defaultName, name);
        return;
    }
    if (number < 0) return;
    char text[kDeviceNameSize + 128];
    if (!getAudioDeviceStringByNum(name, number, input)) {
        std::snprintf(text, sizeof text, texts.notFound, number, name);
        logAndShow(text);
        return;
    }
    if (setAudioDeviceByNum(number, input) == 1) {
        logDebugf(texts.changed, number, name);
    } else {
        logDebugf(texts.notChanged, number, name);
    }
}

int preferredFormat(const char* codec) {
    if (std::strncmp(codec, "ulaw", kCodecNameChars) == 0) return IAXC_FORMAT_ULAW;
    if (std::strncmp(codec, "alaw", kCodecNameChars) == 0) return IAXC_FORMAT_ALAW;
    return IAXC_FORMAT_GSM;
}

int filterMask(const Settings& s) {
    int mask = 0;
    if (s.filter_denoise) mask |= IAXC_FILTER_DENOISE;
    if (s.filter_agc) mask |= IAXC_FILTER_AGC;
    if (s.filter_echo) mask |= IAXC_FILTER_ECHO;
    if (s.filter_aagc) mask |= IAXC_FILTER_AAGC;
    if (s.filter_cn) mask |= IAXC_FILTER_CN;
    return mask;
}

// Steps 8 to 21: true when the engine runs and the registration is asked
// for; false after an abort.
bool bringUpEngine() {
    Settings& s = g_settings;
    logDebugf("**DEB** [Start]->before calling iaxc_initialize()...");
    if (callServices().initialize(kCallSlots) != 0) {
        abortStart("**ERR** [Start]->iaxc_initialize() failed; program will be aborted!", false);
        return false;
    }
    callServices().enableJitterBuffer(s.jitterbuffer);
    if (s.jitterbuffer == 0) callServices().setJitterBufferTargetExtra(0);
    callServices().setSilenceThreshold(kSilenceThresholdDb);
    callServices().setAudioOutput(kPlayRemoteAudio);
    chooseSoundDevice(s.soundPlaybackDeviceNumber, 0, kPlaybackTexts);
    chooseSoundDevice(s.soundRecordingDeviceNumber, 1, kRecordingTexts);
    callServices().setFormats(preferredFormat(s.audioCodecPreferred), kAllowedFormats);
    const int filters = filterMask(s);
    logDebugf("**DEB** [Start]->iaxc_set_filters(%X) (hex)", static_cast<unsigned>(filters));
    callServices().setFilters(filters);
    callServices().outputLevelSet(static_cast<float>(s.speakerVol) / 100.0f);
    callServices().inputLevelSet(static_cast<float>(s.micVol) / 100.0f);
    // Installed before the threads start, so no registration reply is lost.
    callServices().setEventCallback(iaxEventCallback);
    if (callServices().startProcessingThread() != 0) {
        abortStart("**ERR** [Start]->iaxc_start_processing_thread() failed; program will be aborted!", true);
        return false;
    }
    g_registrationId = callServices().registerUser(s.user, s.pass, s.host);
    if (g_registrationId == -1) {
        char text[kAbortTextSize];
        std::snprintf(text, sizeof text,
                      "**ERR** [Start]->iaxc_register(%.*s,%.*s,%.*s) failed; program will be aborted!",
                      fieldChars(s.user), s.user, fieldChars(s.pass), s.pass, fieldChars(s.host), s.host);
        abortStart(text, true);
        return false;
    }
    callServices().setCallerId(s.user, s.user);
    return true;
}

}  // namespace

void OnBnClickedButStart() {
    MainWindow& dlg = *g_mainDlg;
    if (!dlg.m_notStarted) return;
    Settings& s = g_settings;

    if (!readMandatoryField(dlg, IDC_EDIT_HOST, s.host, kHostChars,
                            "**ERR** mandatory '-host' (IAX host server name/IP address) value not given!")) {
        return;
    }
    if (!readMandatoryField(dlg, IDC_EDIT_USER, s.user, kUserChars,
                            "**ERR** mandatory '-user' (IAX user / extension) value not given!")) {
        return;
    }
    if (!s.diffagid) {
        copyText(s.agid, s.user);
        dlg.setControlText(IDC_EDIT_AGENT_ID, s.agid);
        dlg.enableControl(IDC_EDIT_AGENT_ID, false);
    }
    if (!readMandatoryField(dlg, IDC_EDIT_PASS, s.pass, kPassChars,
                            "**ERR** mandatory '-pass' (IAX password of 'user') value not given!")) {
        return;
    }
    if (s.iax2UDPPort != 0) {
        callServices().setPreferredSourceUdpPort(s.iax2UDPPort);
        logDebugf("**DEB** [Start]->iaxc_set_preferred_source_udp_port(%d) done", s.iax2UDPPort);
    }
    if (s.verExtState && !verifyExtensionState()) return;
    if (!bringUpEngine()) return;

    dlg.enableControl(IDC_EDIT_HOST, false);
    dlg.enableControl(IDC_EDIT_USER, false);
    dlg.enableControl(IDC_EDIT_PASS, false);
    dlg.setButtonFace(IDC_BUT_START, IDB_START_GREYED);
    dlg.m_notStarted = 0;
}
