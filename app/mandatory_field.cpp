#include "app/mandatory_field.h"

#include <algorithm>

#include "app/main_window.h"
#include "app/message_box.h"

bool readMandatoryField(MainWindow& window, int controlId, char* target, int capacity, int maxChars,
                        const char* missingText) {
    if (capacity <= 0) return false;
    const int limit = std::clamp(maxChars, 0, capacity - 1);
    const int length = window.controlText(controlId, target, limit);
    // A window that reports a length it did not keep to still leaves a
    // terminated text.
    target[std::clamp(length, 0, limit)] = '\0';
    if (target[0] != '\0') return true;
    logAndShow(missingText);
    return false;
}
