// Reads a number the way the lab PBX's command lines and control words always
// have: leading blanks, an optional sign, decimal digits up to the first other
// character; 0 when there are no digits. Values beyond int are clamped.
#pragma once

#include <climits>
#include <cstdlib>

namespace labpbx {

inline int leadingNumber(const char* text) {
    const long value = std::strtol(text, nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

}  // namespace labpbx
