// The voicemail check: while the agent is logged in, the mailbox is asked
// for new messages at Login, periodically and on the voicemail button.
#pragma once

void OnBnClickedButVoicemail();
// Timer 50.
void onVoicemailTimer();
// Steps of Login (after success) and Logout (after success).
void startVoicemailCheck();
void stopVoicemailCheck();
