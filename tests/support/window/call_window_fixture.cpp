#include "tests/support/window/call_window_fixture.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QLineEdit>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include <iaxclient.h>
#include "agent/socket_layer.h"
#include "app/call_globals.h"
#include "app/control_ids.h"
#include "app/settings.h"
#include "call/engine_events.h"

namespace {

const char* kPbxConfig = R"([general]
bindaddr = %ADDRESS%
iaxport = 4569
managerport = 0
controlport = 0
minregexpire = 60
maxregexpire = 300
ringtimeout = 30
[extensions]
7001 = secret7001 callerid="Agent 7001" <7001>
7002 = secret7002
[managers]
queueopr = bramwick
[agents]
7001 = Agent 7001
[services]
600 = echo
601 = tone
)";

// 127.77.x.y from the process id: no two running test processes share it.
std::string processAddress() {
    const unsigned pid = static_cast<unsigned>(::getpid());
    return "127.77." + std::to_string((pid / 250) % 250 + 1) + "." + std::to_string(pid % 250 + 1);
}

// A UDP port that is free on every address just now.
int freeUdpPort() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    socklen_t length = sizeof sa;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &length);
    ::close(fd);
    return ntohs(sa.sin_port);
}

std::string replaced(std::string text, const std::string& what, const std::string& with) {
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size())) {
        text.replace(at, what.size(), with);
    }
    return text;
}

}  // namespace

void CallWindowTest::SetUp() {
    UiTest::SetUp();
    ::setenv("QUENDRA_AUDIO_SILENT", "1", 1);
    address = processAddress();
    // One process may run several cases: the call values start afresh.
    resetCallGlobals();
    g_registeredOnce = 0;
    g_acmSocket = 0;
    reopenEventHandling();
}

void CallWindowTest::TearDown() {
    if (m_dialog && m_dialog->m_notStarted == 0 && !engineStopped) {
        iaxc_stop_processing_thread();
        iaxc_shutdown();
    }
    // Events still queued for a window that goes away.
    closeEventHandling();
    QCoreApplication::processEvents();
    UiTest::TearDown();
    if (pbx) pbx->stop();
}

void CallWindowTest::startPbx(const std::string& extra, labpbx::WireTiming timing) {
    labpbx::ConfigError error;
    auto config = labpbx::parseConfig(replaced(kPbxConfig, "%ADDRESS%", address) + extra, error);
    ASSERT_TRUE(config) << "line " << error.line << ": " << error.message;
    pbx = std::make_unique<labpbx::LabPbx>(*config, timing);
    std::string reason;
    ASSERT_TRUE(pbx->start(reason)) << reason;
}

CQuendraDlg& CallWindowTest::openWindow(const std::string& options, const std::vector<std::string>& words) {
    const int managerPort = pbx ? pbx->managerPort() : 5038;
    writeFile("Quendra.ini", "host=" + address + "\nuser=7001\npass=secret7001\niax2UDPPort=" +
                                 std::to_string(freeUdpPort()) + "\nacmPort=" + std::to_string(managerPort) +
                                 "\nacmUser=queueopr\nacmPass=bramwick\nacmDelayB4Read=50\n" + options);
    std::vector<std::string> all = {"-debug"};
    all.insert(all.end(), words.begin(), words.end());
    CQuendraDlg& dlg = makeDialog(all);
    dlg.show();
    return dlg;
}

void CallWindowTest::startAndRegister() {
    click(IDC_BUT_START);
    ASSERT_EQ(m_dialog->m_notStarted, 0);
    ASSERT_TRUE(waitFor([&] { return face(IDC_BUT_START) == IDB_ONLINE; })) << "no registration";
}

void CallWindowTest::click(int id) {
    auto* button = qobject_cast<QAbstractButton*>(control(id));
    ASSERT_NE(button, nullptr) << id;
    button->click();
}

void CallWindowTest::type(int id, const std::string& text) {
    auto* edit = qobject_cast<QLineEdit*>(control(id));
    ASSERT_NE(edit, nullptr) << id;
    edit->setText(QString::fromStdString(text));
}

bool CallWindowTest::isEnabled(int id) const {
    return control(id)->isEnabled();
}

bool CallWindowTest::waitFor(const std::function<bool()>& cond, int timeoutMs) {
    // The time-out only bounds a failing test; a busy machine may take far
    // longer than a quiet one.
    constexpr int kPatienceMs = 10000;
    return QTest::qWaitFor(cond, timeoutMs < kPatienceMs ? kPatienceMs : timeoutMs);
}

void CallWindowTest::runFor(int ms) {
    QTest::qWait(ms);
}

int CallWindowTest::placeCall(const std::string& ext, const std::string& number, const std::string& name) {
    const std::string reply = pbx->command("call " + ext + " " + number + " " + name);
    EXPECT_EQ(reply.rfind("OK ", 0), 0u) << reply;
    return reply.rfind("OK ", 0) == 0 ? std::atoi(reply.c_str() + 3) : -1;
}

bool CallWindowTest::onlyCallIs(const std::string& state) const {
    const auto list = pbx->calls();
    return list.size() == 1 && list[0].state == state;
}

void CallWindowTest::exitWithYes() {
    m_boxes.answers.push_back(IDYES_ANSWER);
    click(IDC_BUT_EXIT);
    if (!m_dialog->isVisible()) engineStopped = true;
}

bool CallWindowTest::logHas(const std::string& line) const {
    for (const auto& l : logLines()) {
        if (l == line) return true;
    }
    return false;
}
