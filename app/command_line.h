// The command line: switches with their values glued on (-hostpbx), read
// from the second word of the argument vector on.
#pragma once

// Applies the switches to g_settings and g_optOutCfgFile. Matching is
// case-sensitive, the first matching switch decides, a value longer than its
// field is cut, a repeated switch keeps its last value and anything else is
// ignored without a message.
void parseCommandLine(int argc, const char* const* argv);
