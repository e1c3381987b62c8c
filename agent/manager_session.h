// The manager session: text exchanges on the one link to the PBX manager
// interface. Each exchange drains stale input, sends one action, waits the
// configured delay and reads one chunk of reply.
//
// Thread safety: every exchange (init_iaxAgiSocket, changeAgentMode,
// checkMWI, agi_Logout) holds the session's link lock from its first to its
// last use of the link, so two exchanges never overlap even when two threads
// call in; a second caller waits until the first exchange is over. Message
// boxes are shown after the lock is released. sendAGI is one step of an
// exchange and takes no lock itself. The window's thread runs all exchanges
// by design; the lock keeps the link safe if that ever changes.
#pragma once

// init_iaxAgiSocket results besides 0 and the positive socket codes.
enum ManagerResult : int {
    MGR_REFUSED = -1,
    MGR_EXT_UNUSED = -10,
    MGR_EXT_NOT_DEFINED = -11,
    MGR_EXT_IN_USE = -12,
};

// changeAgentMode results.
enum AgentModeResult : int {
    MODE_LINK_LOST = -1,
    MODE_FAILED = 0,
    MODE_CHANGED = 1,
};

// checkMWI results below 0.
enum MailboxCheckResult : int {
    MWI_LINK_LOST = -1,
    MWI_FAILED = -2,
};

// Capacity of the buffer that receives the in-use address.
constexpr int kInUseAddressSize = 1024;

// Opens the link and logs in to the manager; then verifies the extension
// (verify != 0; the in-use address lands in inUseAddress, which holds at
// least kInUseAddressSize bytes) or logs the agent in (verify == 0).
// A link left open by a lost session is closed first.
int init_iaxAgiSocket(int verify, char* inUseAddress);
int sendAGI(int socket, const char* text, int length);
// The QueuePause exchange: 1 success, 0 refused or failed, -1 link lost.
int changeAgentMode(const char* label, const char* pausedValue);
// Agent log-off (agentId may be null or empty: manager log-off only), then
// manager log-off and close.
int agi_Logout(const char* agentId);
// The mailbox-count exchange for vmbxNumber in the given context: count of
// new messages, -1 link lost, -2 other failure.
int checkMWI(const char* context);

// The text a failed session operation (init_iaxAgiSocket, agi_Logout) is
// reported with, written into text (capacity bytes): "<operation> socket
// error [<socket_getErrorMsg text>]" for a socket code (above 0), otherwise
// "<operation> non-socket error; <advice>".
void formatSessionError(char* text, int capacity, const char* operation, int code, const char* advice);

// Capacity of the buffer that receives a read-back pause reason.
constexpr int kReadBackReasonSize = 64;
// Queue dialect: after an agent login that found the agent already in a
// queue (a login after a lost link), the member's pause state and reason
// (reason holds kReadBackReasonSize bytes) as the PBX reported them. False
// when there is nothing read back. Taking it forgets it.
bool takeMemberReadBack(int* paused, char* reason);
