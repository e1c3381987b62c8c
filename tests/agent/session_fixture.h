// Shared set-up of the manager-link tests: a lab manager server on an
// ephemeral loopback port, settings pointing at it, a debug log in a
// throw-away folder with a fixed clock, and message boxes recorded.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <initializer_list>
#include <string>
#include <vector>

#include "app/message_box.h"
#include "labpbx/manager/manager_interface.h"
#include "tests/support/window/scripted_message_boxes.h"

// The actions the session sends, byte for byte.
namespace wire {
extern const std::string kLogin;
extern const std::string kExtState2001;
extern const std::string kAgentLogin;
extern const std::string kAgentLogoff;
extern const std::string kLogoff;
std::string queuePause(const std::string& interface, const std::string& paused);
std::string mailboxCount(const std::string& mailbox);
}  // namespace wire

labpbx::ManagerConfig labConfig();

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The whole debug log file ("" when it was never written).
    std::string logText() const;
    // What the log holds after exactly these lines were written.
    std::string expectedLog(std::initializer_list<std::string> lines) const;
    void clearLog() const;

    // Opens an agent session (init_iaxAgiSocket in agent mode) and checks it.
    void openAgentSession();
    // The raw bytes of every action the server received, in order.
    std::vector<std::string> actionTexts() const;

    labpbx::ManagerServer server{labConfig()};
    ScriptedMessageBoxes boxes;  // answered with their default buttons
    std::string logDir;
};

using SteadyClock = std::chrono::steady_clock;
// Milliseconds since start. Waits are checked from below (a time-out waited
// its time); from above only loosely, to tell one time-out from another or
// a unit from the next, since a busy machine is slow.
inline long long msSince(SteadyClock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start).count();
}
