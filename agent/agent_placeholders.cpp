// Temporary: lets the window bind its buttons until the agent modes and the
// voicemail check arrive. Each function is replaced by its real one.
#include "agent_modes.h"
#include "voicemail_check.h"

void OnBnClickedButLogin() {}
void OnBnClickedButLogout() {}
void OnBnClickedButReady() {}
void OnBnClickedButAux() {}
void OnBnClickedButAcwib() {}
void OnBnClickedButAcwob() {}
void OnCbnSelchangeComboReason() {}
int setNotReadyReason(const char*, const char*) { return 0; }
void killTimedAcwTimers() {}
void resetAgentLogin() {}
void warnOperationFailed(const char*) {}
void runReleaseAction(int) {}
void runInboundAnswerNotReady() {}
void onTimedAcwTimer(int) {}
void OnBnClickedButVoicemail() {}
void onVoicemailTimer() {}
void startVoicemailCheck() {}
void stopVoicemailCheck() {}
