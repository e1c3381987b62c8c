// Names of the engine's values for the event log lines.
#pragma once

// Longest call-state text: every flag name, 49 characters.
constexpr int kCallStateTextSize = 64;

// "Free" for 0; otherwise the names of the set flags run together in the
// order Active Outgoing Ringing Complete Selected Busy Transfer, or
// "Unknown" when none of them is set. buffer holds capacity bytes
// (kCallStateTextSize is always enough); returns buffer.
const char* getCallStateString(int state, char* buffer, int capacity);
// The name of a single format bit, "Unknown" for anything else.
const char* getFormatString(int format);
// The name of a text-event type, "Unknown" for anything else.
const char* getTextTypeString(int type);
// "Accepted", "Rejected", "Timeout" or "Unknown".
const char* getRegistrationReplyString(int reply);
