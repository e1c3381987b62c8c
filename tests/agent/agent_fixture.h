// Common ground for the agent-mode tests: a fake window, recorded boxes,
// default settings with debug logging into a private folder, and checks
// that read the window's state against the rows of the agent state table.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "app/call_globals.h"
#include "app/control_ids.h"
#include "tests/support/window/fake_main_window.h"
#include "tests/support/window/scripted_message_boxes.h"

enum class AgentState {
    LoggedOut,  // registered, logged out
    Ready,
    NotReady,
    AcwInbound,
    AcwOutbound,
    NotReadyWithReason,  // all four on, reason selected
    ModeNotSet,          // Ready and AUX off, ACWIB and ACWOB on
};

class AgentFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Puts the window into "registered, logged out", as after Start.
    void showRegisteredLoggedOut();
    // Logs the agent in with the given loginAction; expects success.
    void loginWith(int loginAction);
    // Logged in and brought into the given state through its operation.
    void enterState(AgentState state);

    // Checks every column of the state table's row.
    void expectState(AgentState state, int reason = -1) const;
    void expectModeButtons(bool ready, bool aux, bool acwib, bool acwob) const;

    bool enabled(int id) const { return window.isControlEnabled(id); }
    // The text of today's debug log.
    std::string logText() const;
    // Number of times line occurs in the log as a whole line.
    int logLines(const std::string& line) const;

    // Plays the event handler's part: a call (inbound unless said otherwise)
    // becomes active, or ends.
    void callActive(bool active, int type = CALLTYPE_INBOUND) {
        g_activeCallNo = active ? 3 : -1;
        if (active) g_activeCallType = type;
    }

    FakeMainWindow window;
    ScriptedMessageBoxes boxes;
    std::string logDir;
};

// Each test program brings its manager link: a scripted stand-in or the
// real session. The fixture resets it before each test and closes what is
// left open after it.
void resetTestLink();
void closeTestLink();

extern const char kBusyText[];
extern const char kResetText[];
extern const char kProgramOnlyText[];
// The box warnOperationFailed shows for the operation name.
std::string operationFailedBox(const std::string& name);
