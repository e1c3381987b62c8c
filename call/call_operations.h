// The agent's operations on the active call, the keypad, the clear buttons,
// the level sliders and Exit. All run on the window's thread.
#pragma once

void OnBnClickedButAnswer();
void OnBnClickedButRelease();
void OnBnClickedButHold();
void OnBnClickedButSingleTxfer();
// A keypad key, by its control id (1025, 1027..1036, 1039).
void OnBnClickedButKeypad(int controlId);
void OnBnClickedButClearNumber();
void OnBnClickedButClearTransfer();
void OnSpeakerSliderReleased();
void OnMicSliderReleased();
void OnBnClickedButExit();
