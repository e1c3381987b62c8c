// The common ground of the call-control unit tests: a fake window, recorded
// message boxes, the fake engine and agent side installed as call control's
// services, a debug log in a fresh folder, and a relay that keeps the
// engine's events until the test lets the window's thread take them. The
// window's changes and the boxes go into the journal as "window:<change>"
// and "box:<text>".
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "call/call_services.h"
#include "fake_agent.h"
#include "fake_engine.h"
#include "journal.h"
#include "tests/support/window/fake_main_window.h"
#include "tests/support/window/scripted_message_boxes.h"

class CallTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The window's thread handles every relayed event, in order.
    void deliverEvents();
    // Events relayed and not handled yet.
    static int pendingEvents();
    // The engine reports an event; the window's thread then handles it.
    void engineSends(const iaxc_event& event);
    // Fills the registration fields and runs [Start] with the engine's
    // callback installed.
    void startPhone();
    // An inbound call on slot callNo reaches the ringing state.
    void ringInbound(int callNo = 0, const char* remote = "5551234", const char* name = "Ada Caller");

    // The debug log's lines without their time stamps.
    std::vector<std::string> logLines() const;
    bool logHas(const std::string& line) const;
    void clearLog() const;

    FakeMainWindow window;
    ScriptedMessageBoxes boxes;
    CallServices services{};
    std::string logDir;
};
