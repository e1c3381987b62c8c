// A stand-in for the manager session's exchanges, put in force as the
// manager link before each test: each call is recorded and answered from a
// queue of scripted results (a default when the queue is empty). Like the
// manager, it keeps the paused value of every successful mode change, so
// tests can read the agent's pause history.
#pragma once

#include <deque>
#include <string>
#include <vector>

struct FakeManagerLink {
    std::deque<int> initResults;     // default 0: agent logged in
    std::deque<int> modeResults;     // default 1: "Response: Success"
    std::deque<int> logoutResults;   // default 0: logged off
    std::deque<int> mailboxResults;  // default 0 new messages

    std::vector<std::string> exchanges;     // "init", "mode <label> <paused>", "logoff <agent>", "mwi <mailbox>"
    std::vector<std::string> pausedValues;  // successful mode changes only
    int openHandle = 7;
    // What the next login reads back from the queues (queue dialect).
    bool readBack = false;
    int readBackPaused = 0;
    std::string readBackReason;

    void reset() { *this = FakeManagerLink(); }
    int modeChangeCount() const;
};

extern FakeManagerLink g_fakeLink;
