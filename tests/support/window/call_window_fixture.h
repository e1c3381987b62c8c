// The real main window on Qt's offscreen platform with the real voice engine
// and the lab PBX in this process. The lab PBX listens on a loopback address
// of this process's own (127.77.x.y), on the standard IAX2 port, so the
// phone's host field is a plain address as on a real site and parallel test
// processes never meet.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "labpbx/pbx/lab_pbx.h"
#include "tests/support/window/ui_fixture.h"

class CallWindowTest : public UiTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the lab PBX with the test configuration (and extra lines).
    void startPbx(const std::string& extra = "", labpbx::WireTiming timing = {});
    // Writes the options file (the registration and manager values, then
    // options) and makes the window with "-debug" and words.
    CQuendraDlg& openWindow(const std::string& options = "", const std::vector<std::string>& words = {});
    // Presses Start and waits for the registration to be accepted.
    void startAndRegister();

    void click(int id);
    void type(int id, const std::string& text);
    bool isEnabled(int id) const;
    int face(int id) const { return m_dialog->buttonFace(id); }
    // Lets the window's thread run (events, timers) until cond holds.
    bool waitFor(const std::function<bool()>& cond, int timeoutMs = 3000);
    // Lets the window's thread run for ms.
    void runFor(int ms);

    // Places an inbound call from the lab PBX to extension ext; its id.
    int placeCall(const std::string& ext = "7001", const std::string& number = "5551234",
                  const std::string& name = "Ada Lovelace");
    // The lab PBX's calls, and whether the one call is in state.
    std::vector<labpbx::CallInfo> calls() const { return pbx->calls(); }
    bool onlyCallIs(const std::string& state) const;
    // Exit answered Yes.
    void exitWithYes();

    bool logHas(const std::string& line) const;

    std::string address;  // the lab PBX's loopback address
    std::unique_ptr<labpbx::LabPbx> pbx;
    bool engineStopped = false;
};
