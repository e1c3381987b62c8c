// The echo of every setting in force to the debug log, written once at
// start-up when the debug switch is on.
#pragma once

// Writes the echo through writeDebugLog; the caller tests the debug switch.
// The opt-out block appears only while screening is in force.
void writeParameterEcho();

// Names of the login action and of the release actions, as the echo shows
// them.
const char* loginActionName(int action);
const char* releaseActionName(int action);
