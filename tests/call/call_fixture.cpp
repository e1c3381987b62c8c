#include "call_fixture.h"

#include "tests/support/app/app_test_support.h"

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>

#include "agent/socket_layer.h"
#include "app/call_globals.h"
#include "app/control_ids.h"
#include "app/debug_log.h"
#include "app/settings.h"
#include "call/engine_events.h"
#include "call/event_relay.h"
#include "call/phone_start.h"

namespace {

std::deque<iaxc_event> l_pending;

void queueRelay(const iaxc_event& event) {
    l_pending.push_back(event);
}

constexpr std::time_t kFixedTime = 1780000000;  // a fixed day for the log file name
constexpr size_t kStampLength = 20;

}  // namespace

void CallTest::SetUp() {
    char pattern[] = "/tmp/quendra-call-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    logDir = pattern;

    g_settings = defaultSettings();
    copyText(g_settings.host, "127.0.0.1");
    copyText(g_settings.user, "7001");
    copyText(g_settings.pass, "secret7001");
    copyText(g_settings.debugLogDir, (logDir + "/").c_str());
    g_settings.debug = 1;
    g_settings.verExtState = 0;
    setDebugLogClock([] { return kFixedTime; });

    resetCallGlobals();
    g_registeredOnce = 0;
    g_acmSocket = 0;
    g_engine.reset();
    g_agent.reset();
    g_journal.clear();
    l_pending.clear();

    fillEngineServices(services);
    fillAgentServices(services);
    setCallServices(&services);

    window.onChange = [](const std::string& change) { g_journal.add("window:" + change); };
    boxes.onShow = [](const ScriptedMessageBoxes::Box& box) { g_journal.add("box:" + box.text); };
    g_mainDlg = &window;
    window.m_notStarted = 1;
    window.setButtonFace(IDC_BUT_START, IDB_START);
    window.setButtonFace(IDC_BUT_ANSWER, IDB_ANSWER_IDLE);
    window.setControlText(IDC_BUT_HOLD, "Hold");
    for (int id : {IDC_BUT_RELEASE, IDC_BUT_DIAL, IDC_BUT_TXFER, IDC_BUT_HOLD, IDC_BUT_LOGIN, IDC_BUT_LOGOUT}) {
        window.enableControl(id, false);
    }
    setMessageBoxes(&boxes);
    setEventRelay(queueRelay);
    reopenEventHandling();
    g_journal.clear();
}

void CallTest::TearDown() {
    setEventRelay(nullptr);
    setCallServices(nullptr);
    setMessageBoxes(nullptr);
    setDebugLogClock(nullptr);
    g_mainDlg = nullptr;
    std::filesystem::remove_all(logDir);
}

void CallTest::deliverEvents() {
    while (!l_pending.empty()) {
        const iaxc_event event = l_pending.front();
        l_pending.pop_front();
        handleIaxEvent(event);
    }
}

int CallTest::pendingEvents() {
    return static_cast<int>(l_pending.size());
}

void CallTest::engineSends(const iaxc_event& event) {
    ASSERT_EQ(g_engine.deliver(event), 1);
    deliverEvents();
}

void CallTest::startPhone() {
    window.setControlText(IDC_EDIT_HOST, g_settings.host);
    window.setControlText(IDC_EDIT_USER, g_settings.user);
    window.setControlText(IDC_EDIT_PASS, g_settings.pass);
    OnBnClickedButStart();
    ASSERT_EQ(window.m_notStarted, 0);
    ASSERT_NE(g_engine.callback, nullptr);
}

void CallTest::ringInbound(int callNo, const char* remote, const char* name) {
    engineSends(stateEvent(callNo, IAXC_CALL_STATE_ACTIVE | IAXC_CALL_STATE_RINGING, remote, name));
}

namespace {

std::string logFileName() {
    std::tm tm{};
    const std::time_t t = kFixedTime;
    localtime_r(&t, &tm);
    char name[512];
    debugLogFileName(name, sizeof name, tm);
    return name;
}

}  // namespace

void CallTest::clearLog() const {
    std::filesystem::remove(logFileName());
}

std::vector<std::string> CallTest::logLines() const {
    std::ifstream in(logFileName());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line.size() >= kStampLength ? line.substr(kStampLength) : line);
    }
    return lines;
}

bool CallTest::logHas(const std::string& line) const {
    for (const auto& l : logLines()) {
        if (l == line) return true;
    }
    return false;
}
