// The check at [Start] that the extension is known to the PBX and free,
// over the manager link.
#pragma once

// Reads the manager user and password from the window, asks the manager
// about the extension and leaves the manager link closed. Returns true when
// [Start] may go on; false when it stops (the reason has been logged and
// shown, or the agent answered No).
bool verifyExtensionState();
