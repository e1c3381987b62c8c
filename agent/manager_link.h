// The manager link as the agent modes and the voicemail check reach it: the
// manager session's exchanges behind a table of functions. The manager
// session fills the table and is in force from the start; a test puts a
// scripted stand-in in its place.
//
// Thread safety: the link in force is chosen before any exchange runs (in a
// test's set-up), never while one runs.
#pragma once

struct ManagerLink {
    // Each behaves as its namesake in agent/manager_session.h.
    int (*init_iaxAgiSocket)(int verify, char* inUseAddress);
    int (*changeAgentMode)(const char* label, const char* pausedValue);
    int (*agi_Logout)(const char* agentId);
    int (*checkMWI)(const char* context);
    bool (*takeMemberReadBack)(int* paused, char* reason);
};

// The manager session's table.
extern const ManagerLink kManagerSessionLink;

// The link in force.
const ManagerLink& managerLink();

// Puts link in force; it must outlive its use. nullptr puts the manager
// session back.
void useManagerLink(const ManagerLink* link);
