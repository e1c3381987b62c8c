// The word pairs in which flags are shown: the first word when the value is
// not 0.
#pragma once

inline const char* enabledWord(int value) {
    return value != 0 ? "Enabled" : "Disabled";
}
inline const char* yesWord(int value) {
    return value != 0 ? "Yes" : "No";
}
inline const char* trueWord(int value) {
    return value != 0 ? "True" : "False";
}
