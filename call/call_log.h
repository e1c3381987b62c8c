// Log-and-show helpers shared by the call operations.
#pragma once

// Writes the text to the debug log when debug logging is on.
void logDebugText(const char* text);
// Writes the text to the debug log when debug logging is on, then shows it
// in an OK box.
void logAndShow(const char* text);
