// Reading a field of the window that must not be left empty (the
// registration fields at [Start], the manager and agent fields at [Login]
// and in the extension check).
#pragma once

class MainWindow;

// Copies at most maxChars characters of the control's text into target
// (capacity bytes, always terminated). When the field is empty, writes
// missingText to the debug log, shows it in an OK box and returns false.
bool readMandatoryField(MainWindow& window, int controlId, char* target, int capacity, int maxChars,
                        const char* missingText);

template <int N>
bool readMandatoryField(MainWindow& window, int controlId, char (&target)[N], int maxChars,
                        const char* missingText) {
    return readMandatoryField(window, controlId, target, N, maxChars, missingText);
}
