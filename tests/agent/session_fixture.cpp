#include "session_fixture.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "agent/manager_session.h"
#include "agent/socket_layer.h"
#include "app/debug_log.h"
#include "app/settings.h"

namespace wire {
const std::string kLogin = "Action: Login\r\nUsername: queueopr\r\nSecret: bramwick\r\nEvents: off\r\n\r\n";
const std::string kExtState2001 = "Action: IAXExtState\r\nExten: 2001\r\n\r\n";
const std::string kAgentLogin =
    "Action: AgentCallBackLogin\r\nAgent: 1001\r\nExten: 2001\r\nAckCall: false\r\n\r\n";
const std::string kAgentLogoff = "Action: AgentLogoff\r\nAgent: 1001\r\n\r\n";
const std::string kLogoff = "Action: Logoff\r\n\r\n";

std::string queuePause(const std::string& interface, const std::string& paused) {
    return "Action: QueuePause\r\nInterface: " + interface + "\r\nPaused: " + paused + "\r\n\r\n";
}

std::string mailboxCount(const std::string& mailbox) {
    return "Action: MailboxCount\r\nMailbox: " + mailbox + "\r\n\r\n";
}
}  // namespace wire

namespace {
// 2023-11-14 22:13:20 UTC; the stamp is computed from it in local time.
constexpr std::time_t kFixedTime = 1700000000;
}  // namespace

labpbx::ManagerConfig labConfig() {
    labpbx::ManagerConfig config;
    config.port = 0;
    config.users = {{"queueopr", "bramwick"}};
    config.agents = {"1001", "SIP/1001"};
    config.mailboxes = {{"2001", "default", 3, 1, 0}};
    config.mailboxSplitMs = 10;
    return config;
}

void SessionTest::SetUp() {
    std::string error;
    ASSERT_TRUE(server.start(&error)) << error;

    char pattern[] = "/tmp/quendra-agent-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    logDir = pattern;

    g_settings = defaultSettings();
    copyText(g_settings.host, "127.0.0.1");
    copyText(g_settings.user, "2001");
    copyText(g_settings.agid, "1001");
    copyText(g_settings.acmUser, "queueopr");
    copyText(g_settings.acmPass, "bramwick");
    copyText(g_settings.debugLogDir, (logDir + "/").c_str());
    copyText(g_settings.vmbxNumber, "2001");
    g_settings.acmPort = server.port();
    g_settings.acmReadTimer = 1;
    g_settings.acmDelayB4Read = 1;
    g_settings.debug = 1;
    g_settings.linkDebug = 1;
    g_acmSocket = 0;
    setDebugLogClock([] { return kFixedTime; });
    setMessageBoxes(&boxes);
}

void SessionTest::TearDown() {
    if (g_acmSocket > 0) close(g_acmSocket);
    g_acmSocket = 0;
    setMessageBoxes(nullptr);
    setDebugLogClock(nullptr);
    server.stop();
    if (!logDir.empty()) std::filesystem::remove_all(logDir);
}

std::string SessionTest::logText() const {
    for (const auto& entry : std::filesystem::directory_iterator(logDir)) {
        std::ifstream file(entry.path(), std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
    return {};
}

void SessionTest::clearLog() const {
    for (const auto& entry : std::filesystem::directory_iterator(logDir)) std::filesystem::remove(entry.path());
}

std::string SessionTest::expectedLog(std::initializer_list<std::string> lines) const {
    char stamp[20];
    getTimeStamp(stamp);
    std::string text;
    for (const std::string& line : lines) text += std::string(stamp) + " " + line + "\n";
    return text;
}

void SessionTest::openAgentSession() {
    char unused[kInUseAddressSize] = "";
    ASSERT_EQ(init_iaxAgiSocket(0, unused), 0);
    ASSERT_GT(g_acmSocket, 0);
    ASSERT_TRUE(server.waitForReplies(2, 2000));
}

std::vector<std::string> SessionTest::actionTexts() const {
    std::vector<std::string> texts;
    for (const auto& received : server.actions()) texts.push_back(received.action.raw);
    return texts;
}
