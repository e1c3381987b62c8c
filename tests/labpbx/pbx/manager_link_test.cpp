// The lab PBX's manager interface joined to its registrar and mailboxes,
// driven through real TCP connections and the control interface.
#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "pbx_fixture.h"

namespace labpbx::test {
namespace {

// A bare manager client: sends an action, collects what arrives for a while.
class ManagerClient {
public:
    explicit ManagerClient(uint16_t port) {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    }
    ~ManagerClient() { close(fd_); }
    bool connected() const { return connected_; }
    // Reads until text holds 'until' or quietMs pass without data.
    std::string read(const std::string& until, int quietMs = 1000) {
        std::string text;
        while (text.find(until) == std::string::npos) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, quietMs) <= 0) break;
            char buf[2048];
            ssize_t n = recv(fd_, buf, sizeof buf, 0);
            if (n <= 0) break;
            text.append(buf, static_cast<size_t>(n));
        }
        return text;
    }
    std::string action(const std::string& text, const std::string& until = "\r\n\r\n", int quietMs = 1000) {
        send(fd_, text.data(), text.size(), MSG_NOSIGNAL);
        return read(until, quietMs);
    }

private:
    int fd_ = -1;
    bool connected_ = false;
};

using ManagerLink = PbxTest;

TEST_F(ManagerLink, ExtensionStateComesFromTheRegistrar) {
    ASSERT_GT(pbx->managerPort(), 0);
    ManagerClient m(pbx->managerPort());
    ASSERT_TRUE(m.connected());
    EXPECT_NE(m.read("\r\n").find("Call Manager/"), std::string::npos);
    EXPECT_NE(m.action("Action: Login\r\nUsername: admin\r\nSecret: adminpass\r\nEvents: off\r\n\r\n")
                  .find("Response: Success"),
              std::string::npos);
    EXPECT_NE(m.action("Action: IAXExtState\r\nExten: 9999\r\n\r\n").find("Response: NOTEXIST"),
              std::string::npos);
    EXPECT_NE(m.action("Action: IAXExtState\r\nExten: 2001\r\n\r\n").find("Response: UNUSED"), std::string::npos);
    auto phone = registered("2001", "secret1");
    EXPECT_NE(m.action("Action: IAXExtState\r\nExten: 2001\r\n\r\n").find("Response: 127.0.0.1"),
              std::string::npos);
    // Counted among the PBX's sockets while open.
    EXPECT_GE(pbx->counts().sockets, 4u);
}

TEST_F(ManagerLink, PauseHistoryAndMailboxCountThroughTheControlInterface) {
    ManagerClient m(pbx->managerPort());
    m.read("\r\n");
    m.action("Action: Login\r\nUsername: admin\r\nSecret: adminpass\r\nEvents: off\r\n\r\n");
    EXPECT_NE(m.action("Action: AgentCallBackLogin\r\nAgent: 2001\r\nExten: 2001\r\nAckCall: "
                       "false\r\n\r\n")
                  .find("Response: Success"),
              std::string::npos);
    for (const char* v : {"true", "acwib", "aux4", "false"})
        EXPECT_NE(m.action(std::string("Action: QueuePause\r\nInterface: Agent/2001\r\nPaused: ") + v + "\r\n\r\n")
                      .find("Response: Success"),
                  std::string::npos);
    EXPECT_EQ(pbx->command("pauses 2001"), "pause true\npause acwib\npause aux4\npause false\nOK 4\n");

    EXPECT_EQ(pbx->command("mailbox 2001@default 9"), "OK 9\n");
    std::string count = m.action("Action: MailboxCount\r\nMailbox: 2001@default\r\n\r\n", "OldMessages");
    EXPECT_NE(count.find("NewMessages: 9"), std::string::npos) << count;
}

TEST_F(ManagerLink, FaultsAreInjectedFromTheControlInterface) {
    ManagerClient m(pbx->managerPort());
    m.read("\r\n");
    EXPECT_EQ(pbx->command("manager fail"), "OK\n");
    EXPECT_NE(m.action("Action: Login\r\nUsername: admin\r\nSecret: adminpass\r\nEvents: off\r\n\r\n")
                  .find("Response: Error"),
              std::string::npos);
    EXPECT_EQ(pbx->command("manager delay 300"), "OK\n");
    std::string quick = m.action(
        "Action: Login\r\nUsername: admin\r\nSecret: adminpass\r\n"
        "Events: off\r\n\r\n",
        "never");
    EXPECT_NE(quick.find("Response: Success"), std::string::npos);
    EXPECT_EQ(pbx->command("manager drop"), "OK\n");
    EXPECT_EQ(m.read("never", 1000), "");  // closed
    EXPECT_TRUE(eventually([&] { return pbx->command("manager actions").find("Login") != std::string::npos; }));
    EXPECT_EQ(pbx->command("manager bogus").substr(0, 3), "ERR");
    EXPECT_EQ(pbx->command("manager delay 999999").substr(0, 3), "ERR");
}

TEST_F(ManagerLink, TextsAndClosesAreThoseOfTheReferenceManager) {
    ManagerClient m(pbx->managerPort());
    ASSERT_TRUE(m.connected());
    EXPECT_EQ(m.read("\r\n"), "Asterisk Call Manager/11.0.0\r\n");
    // Before a login: refused, and the connection stays.
    EXPECT_EQ(m.action("Action: Ping\r\nActionID: P0\r\n\r\n"),
              "Response: Error\r\nActionID: P0\r\nMessage: Permission denied\r\n\r\n");
    // With events on, FullyBooted follows the response.
    std::string login = m.action(
        "Action: Login\r\nActionID: L1\r\nUsername: admin\r\n"
        "Secret: adminpass\r\n\r\n",
        "Status: Fully Booted\r\n\r\n");
    EXPECT_EQ(login.rfind("Response: Success\r\nActionID: L1\r\nMessage: Authentication accepted\r\n\r\n"
                          "Event: FullyBooted\r\nPrivilege: system,all\r\n",
                          0),
              0u)
        << login;
    EXPECT_EQ(m.action("Action: Login\r\nActionID: L4\r\nUsername: admin\r\nSecret: adminpass\r\n\r\n"),
              "Response: Success\r\nActionID: L4\r\nMessage: Already authenticated\r\n\r\n");
    EXPECT_EQ(m.action("Action: Logoff\r\nActionID: LO1\r\n\r\n"),
              "Response: Goodbye\r\nActionID: LO1\r\nMessage: Thanks for all the fish.\r\n\r\n");
    EXPECT_EQ(m.read("never", 500), "");  // closed

    // With events off, only the response.
    ManagerClient quiet(pbx->managerPort());
    quiet.read("\r\n");
    EXPECT_EQ(
        quiet.action("Action: Login\r\nUsername: admin\r\nSecret: adminpass\r\nEvents: off\r\n\r\n", "never"),
        "Response: Success\r\nMessage: Authentication accepted\r\n\r\n");
}

TEST_F(ManagerLink, ARefusedLoginIsAnsweredAboutASecondLaterAndClosed) {
    ManagerClient m(pbx->managerPort());
    m.read("\r\n");
    const auto sent = std::chrono::steady_clock::now();
    EXPECT_EQ(
        m.action("Action: Login\r\nActionID: f1\r\nUsername: admin\r\nSecret: wrong\r\n\r\n", "\r\n\r\n", 3000),
        "Response: Error\r\nActionID: f1\r\nMessage: Authentication failed\r\n\r\n");
    const auto waited =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - sent).count();
    EXPECT_GE(waited, 900);
    EXPECT_LT(waited, 2000);
    EXPECT_EQ(m.read("never", 500), "");  // closed
}

TEST_F(ManagerLink, QueueDialectListsPeersFromTheRegistrar) {
    pbx->stop();
    startPbx(testConfig("[general]\nmanagerdialect = queues\nqueues = sales,support\n"));
    ManagerClient m(pbx->managerPort());
    m.read("\r\n");
    m.action("Action: Login\r\nUsername: admin\r\nSecret: adminpass\r\nEvents: off\r\n\r\n");
    const std::string peerList = "Action: IAXpeerlist\r\nActionID: p\r\n\r\n";
    std::string list = m.action(peerList, "ListItems");
    EXPECT_NE(list.find("ObjectName: 2001\r\nChanObjectType: peer\r\nIPaddress: (null)\r\n"), std::string::npos)
        << list;
    auto phone = registered("2001", "secret1");
    list = m.action(peerList, "ListItems");
    EXPECT_NE(list.find("ObjectName: 2001\r\nChanObjectType: peer\r\nIPaddress: 127.0.0.1\r\nMask: (null)\r\n"
                        "Port: " +
                        std::to_string(phone->port()) + "\r\n"),
              std::string::npos)
        << list;
    EXPECT_NE(m.action("Action: IAXExtState\r\nExten: 2001\r\n\r\n").find("Invalid/unknown command: IAXExtState"),
              std::string::npos);
    EXPECT_NE(m.action("Action: QueueAdd\r\nQueue: support\r\nInterface: IAX2/2001\r\n\r\n", "queue\r\n\r\n")
                  .find("Message: Added interface to queue"),
              std::string::npos);
}

}  // namespace
}  // namespace labpbx::test
