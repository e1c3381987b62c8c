// The manager session: text exchanges on the one link to the PBX manager
// interface. Each exchange drains stale input, sends one action, waits the
// configured delay and reads one chunk of reply. All exchanges run on the
// window's thread, one at a time.
#pragma once

// init_iaxAgiSocket results besides 0 and the positive socket codes.
enum ManagerResult : int {
    MGR_REFUSED = -1,
    MGR_EXT_UNUSED = -10,
    MGR_EXT_NOT_DEFINED = -11,
    MGR_EXT_IN_USE = -12,
};

// Opens the link and logs in to the manager; then verifies the extension
// (verify != 0; the in-use address lands in inUseAddress, which holds at
// least 1024 bytes) or logs the agent in (verify == 0).
int init_iaxAgiSocket(int verify, char* inUseAddress);
int sendAGI(int socket, const char* text, int length);
// 1 success, 0 refused or failed, -1 link lost.
int changeAgentMode(const char* label, const char* pausedValue);
// Agent log-off (agentId may be null or empty: manager log-off only), then
// manager log-off and close.
int agi_Logout(const char* agentId);
// The mailbox-count exchange: count of new messages, -1 link lost, -2 other
// failure.
int checkMWI(const char* context);
