// The agent's side of the call distribution: login, logout, Ready, Not Ready
// with or without a reason, after-call work, and the automatic changes that
// calls trigger. The mode in force is shown by which mode button is disabled.
// Every function runs on the window's thread; the event handler brings its
// calls (inbound answer, end of call) there before making them.
#pragma once

void OnBnClickedButLogin();
void OnBnClickedButLogout();
void OnBnClickedButReady();
void OnBnClickedButAux();
void OnBnClickedButAcwib();
void OnBnClickedButAcwob();
void OnCbnSelchangeComboReason();

// 1 success, 0 failure.
int setNotReadyReason(const char* name, const char* pausedValue);
void killTimedAcwTimers();
void resetAgentLogin();
void warnOperationFailed(const char* operation);

// Called when a call ends, with its direction (1 inbound, 2 outbound).
void runReleaseAction(int callType);
// Called when an inbound call is answered.
void runInboundAnswerNotReady();
// Timers 48 and 49 (end of timed after-call work).
void onTimedAcwTimer(int timerId);

// Set while timer 48 (inbound) or 49 (outbound) runs a timed after-call work.
extern int g_inboundTimedAcwActive;
extern int g_outboundTimedAcwActive;
