// The log-and-show step of the call operations (in a namespace of its own:
// the agent modes keep a helper of the same name).
#pragma once

namespace call {

// Writes the text to the debug log when debug logging is on, then shows it
// in an OK box.
void logAndShow(const char* text);

}  // namespace call
