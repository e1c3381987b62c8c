#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <thread>

#include "agent/socket_layer.h"
#include "labpbx/manager/manager_interface.h"
#include "platform_fakes.h"
#include "session_fixture.h"

namespace {

using labpbx::ReplyPlan;

TEST(SocketResultTexts, EveryCodeAndTheOutOfRangeText) {
    const char* expected[] = {
        "successful",
        "bind() function error",
        "close handle with error",
        "connect() function error",
        "connection already closed",
        "connection not ready for transaction",
        "connection request is rejected",
        "error in gethostbyname()",
        "error in gethostname()",
        "error in memory allocation",
        "invalid read msg size",
        "error in read msg select() function",
        "send msg size too big",
        "get result time-out",
        "invalid host name or IP address",
        "invalid IP port value",
        "invalid message type received",
        "invalid message size received",
        "invalid read msg address header/size",
        "invalid send msg address/size",
        "invalid socket handle",
        "invalid transaction id",
        "listen() function error",
        "read msg (select()) timeout",
        "retry limits expired",
        "send() function error",
        "send() complete only partial data",
        "socket disconnection detected",
        "socket() function error",
        "Socket send function failed",
        "Unclassified error encountered",
    };
    ASSERT_EQ(sizeof expected / sizeof expected[0], 31u);
    for (int code = 0; code <= 30; ++code) EXPECT_STREQ(socket_getErrorMsg(code), expected[code]) << code;
    for (int code : {31, 32, 1000, INT_MAX, -1, -12, INT_MIN}) {
        EXPECT_STREQ(socket_getErrorMsg(code),
                     "socket_getErrorMsg(error code out of range)/application error Code")
            << code;
    }
}

TEST(SocketDisconnectClass, ExactlyTheConnectionLossErrors) {
    for (int error : {ECONNRESET, ECONNABORTED, ENOTCONN, ESHUTDOWN, ETIMEDOUT, ENETDOWN, ENETRESET, EINVAL,
                      ENOTSOCK, EBADF, EPIPE}) {
        EXPECT_TRUE(utl_isDisconnectError(error)) << error;
    }
    for (int error : {0, EAGAIN, EINTR, ECONNREFUSED, EHOSTUNREACH, ENETUNREACH, ENOMEM, EACCES, 10054}) {
        EXPECT_FALSE(utl_isDisconnectError(error)) << error;
    }
}

TEST(SocketStart, SoInitAlwaysSucceeds) {
    EXPECT_EQ(so_init(), SO_OK);
    so_cleanup();
    EXPECT_EQ(so_init(), SO_OK);
}

std::string dotted(uint32_t address) {
    char text[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

TEST(SocketHostAddress, DottedFormsNeedNoLookup) {
    const int lookups = fakes::nameLookups;
    uint32_t address = 0xdeadbeef;
    EXPECT_EQ(utl_getipaddress("192.168.1.300", &address), SO_INVALID_HOST);
    EXPECT_EQ(utl_getipaddress("999999999999.1.1.1", &address), SO_INVALID_HOST);

    ASSERT_EQ(utl_getipaddress("10.0.0.1", &address), SO_OK);
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&address);
    EXPECT_EQ(bytes[0], 10);
    EXPECT_EQ(bytes[1], 0);
    EXPECT_EQ(bytes[2], 0);
    EXPECT_EQ(bytes[3], 1);

    // Four numbers are read; what follows them does not count.
    ASSERT_EQ(utl_getipaddress("1.2.3.4.5", &address), SO_OK);
    EXPECT_EQ(dotted(address), "1.2.3.4");
    ASSERT_EQ(utl_getipaddress("0.0.0.0", &address), SO_OK);
    EXPECT_EQ(address, 0u);
    EXPECT_EQ(fakes::nameLookups, lookups);

    EXPECT_EQ(utl_getipaddress(nullptr, &address), SO_INVALID_HOST);
}

TEST(SocketHostAddress, OtherHostsAreLookedUp) {
    uint32_t address = 0;
    int lookups = fakes::nameLookups;
    // Three numbers are not a dotted address: the name lookup decides.
    utl_getipaddress("10.1.2", &address);
    EXPECT_EQ(fakes::nameLookups, lookups + 1);
    EXPECT_EQ(fakes::lastLookup(), "10.1.2");

    ASSERT_EQ(utl_getipaddress("localhost", &address), SO_OK);
    EXPECT_EQ(dotted(address), "127.0.0.1");

    EXPECT_EQ(utl_getipaddress("pbx.unresolvable.test", &address), SO_GETHOSTBYNAME_ERROR);
    EXPECT_EQ(utl_getipaddress("pbx.noaddress.test", &address), SO_INVALID_HOST);
    EXPECT_EQ(fakes::lastLookup(), "pbx.noaddress.test");

    // A digits-and-dots text longer than the scratch buffer is a name too.
    lookups = fakes::nameLookups;
    const std::string longDigits(70, '1');
    utl_getipaddress(longDigits.c_str(), &address);
    EXPECT_EQ(fakes::nameLookups, lookups + 1);
}

TEST(SocketConnect, BadPortOrAddressMakesNoSocket) {
    g_acmSocket = 0;
    const int sockets = fakes::socketCalls;
    uint32_t loopback = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(utl_connect2server(loopback, 0), SO_INVALID_PORT);
    EXPECT_EQ(utl_connect2server(loopback, 65536), SO_INVALID_PORT);
    EXPECT_EQ(utl_connect2server(loopback, -5), SO_INVALID_PORT);
    EXPECT_EQ(utl_connect2server(0, 5038), SO_INVALID_HOST);
    EXPECT_EQ(fakes::socketCalls, sockets);
    EXPECT_EQ(g_acmSocket, 0);
}

// A loopback port where nothing listens.
int closedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

TEST(SocketConnect, ClosedLoopbackPortFailsAtOnce) {
    g_acmSocket = 0;
    const auto start = SteadyClock::now();
    EXPECT_EQ(utl_connect2server(htonl(INADDR_LOOPBACK), closedPort()), SO_CONNECT_ERROR);
    EXPECT_LT(msSince(start), 4500);
    EXPECT_EQ(g_acmSocket, 0);
}

// The socket layer against the lab manager on loopback.
class SocketLinkTest : public SessionTest {
protected:
    int connectToServer() {
        EXPECT_EQ(utl_connect2server(htonl(INADDR_LOOPBACK), server.port()), SO_OK);
        EXPECT_GT(g_acmSocket, 0);
        return g_acmSocket;
    }
    void greetWith(ReplyPlan plan) {
        server.setGreetingScript([plan](int) { return std::optional<ReplyPlan>(plan); });
    }
    char buffer[kSocketBufferSize];
};

TEST_F(SocketLinkTest, InvalidHandlesAndBuffers) {
    EXPECT_EQ(utl_waitMsg(kNoSocket, 1), SO_INVALID_SOCKET);
    EXPECT_EQ(utl_readMsg(kNoSocket, buffer, 1), SO_INVALID_SOCKET);
    EXPECT_EQ(utl_sentmsg(0, "x", 1), SO_INVALID_SOCKET);
    EXPECT_EQ(utl_purgeMsg(kNoSocket, 100), PURGE_NOTHING_READ);
    // 0 and other negative values are no socket: the disconnect class.
    EXPECT_EQ(utl_readMsg(0, buffer, 0), SO_CONNECTION_CLOSED);
    EXPECT_EQ(utl_readMsg(0, buffer, 1), SO_CONNECTION_CLOSED);
    EXPECT_EQ(utl_waitMsg(-7, 1), SO_CONNECTION_CLOSED);
    EXPECT_EQ(utl_sentmsg(-1, "x", 1), SO_CONNECTION_CLOSED);
    EXPECT_EQ(utl_purgeMsg(0, 100), PURGE_NOTHING_READ);

    const int fd = connectToServer();
    EXPECT_EQ(utl_readMsg(fd, nullptr, 1), SO_INVALID_READ_BUFFER);
    EXPECT_EQ(utl_sentmsg(fd, nullptr, 5), SO_INVALID_SEND_BUFFER);
    EXPECT_EQ(utl_sentmsg(fd, "x", 0), SO_INVALID_SEND_BUFFER);
    EXPECT_EQ(utl_sentmsg(fd, "x", -3), SO_INVALID_SEND_BUFFER);
}

TEST_F(SocketLinkTest, SendSizes) {
    const int fd = connectToServer();
    const std::string largest(kSocketChunkSize, 'a');
    EXPECT_EQ(utl_sentmsg(fd, largest.c_str(), kSocketChunkSize), SO_OK);
    ASSERT_TRUE(server.waitForBytes(1023, 2000));

    const std::string tooBig(1024, 'b');
    EXPECT_EQ(utl_sentmsg(fd, tooBig.c_str(), 1024), SO_SEND_TOO_BIG);
    EXPECT_EQ(utl_sentmsg(fd, tooBig.c_str(), INT_MAX), SO_SEND_TOO_BIG);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(server.bytesReceived(), 1023u);
}

TEST_F(SocketLinkTest, LongReplyIsReadInChunks) {
    std::string reply;
    for (int i = 0; i < 1500; ++i) reply += static_cast<char>('A' + i % 26);
    greetWith({labpbx::sendStep(reply)});
    const int fd = connectToServer();
    ASSERT_EQ(utl_waitMsg(fd, 2), SO_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // all 1500 bytes are here

    ASSERT_EQ(utl_readMsg(fd, buffer, 2), SO_OK);
    EXPECT_EQ(std::string(buffer), reply.substr(0, 1023));
    ASSERT_EQ(utl_readMsg(fd, buffer, 2), SO_OK);
    EXPECT_EQ(std::string(buffer), reply.substr(1023));
    EXPECT_EQ(utl_waitMsg(fd, 1), SO_READ_TIMEOUT);
}

TEST_F(SocketLinkTest, DrainTakesOneChunkAtATime) {
    greetWith({labpbx::sendStep(std::string(1500, 'x'))});
    const int fd = connectToServer();
    ASSERT_EQ(utl_waitMsg(fd, 2), SO_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(utl_purgeMsg(fd, 100), PURGE_CHUNK_DROPPED);
    EXPECT_EQ(utl_purgeMsg(fd, 100), PURGE_CHUNK_DROPPED);
    EXPECT_EQ(utl_purgeMsg(fd, 100), PURGE_NOTHING_PENDING);
    // A drain never waits much longer than asked.
    const auto start = SteadyClock::now();
    EXPECT_EQ(utl_purgeMsg(fd, 2000), PURGE_NOTHING_PENDING);
    EXPECT_LT(msSince(start), 1500);
}

TEST_F(SocketLinkTest, ReadTimeOutsAndBlockingRead) {
    greetWith({labpbx::pauseStep(300), labpbx::sendStep("hello")});
    const int fd = connectToServer();
    // The greeting comes after 300 ms: a 100 ms drain finds nothing...
    auto start = SteadyClock::now();
    EXPECT_EQ(utl_purgeMsg(fd, 100000), PURGE_NOTHING_PENDING);
    EXPECT_GE(msSince(start), 90);
    // ...and a read with time-out 0 blocks until the data is there.
    ASSERT_EQ(utl_readMsg(fd, buffer, 0), SO_OK);
    EXPECT_GE(msSince(start), 250);
    EXPECT_STREQ(buffer, "hello");

    start = SteadyClock::now();
    EXPECT_EQ(utl_readMsg(fd, buffer, 1), SO_READ_TIMEOUT);
    EXPECT_GE(msSince(start), 950);
    EXPECT_LT(msSince(start), 4500);
    EXPECT_EQ(utl_waitMsg(fd, 1), SO_READ_TIMEOUT);
}

TEST_F(SocketLinkTest, OrderlyCloseAndReset) {
    greetWith({labpbx::sendStep("bye"), labpbx::closeStep()});
    int fd = connectToServer();
    ASSERT_EQ(utl_readMsg(fd, buffer, 2), SO_OK);
    EXPECT_STREQ(buffer, "bye");
    EXPECT_EQ(utl_readMsg(fd, buffer, 2), SO_DISCONNECTED);
    EXPECT_EQ(utl_readMsg(fd, buffer, 0), SO_DISCONNECTED);
    close(fd);

    greetWith({labpbx::resetStep()});
    fd = connectToServer();
    EXPECT_EQ(utl_waitMsg(fd, 2), SO_OK);  // a reset shows as readable
    EXPECT_EQ(utl_readMsg(fd, buffer, 2), SO_CONNECTION_CLOSED);
    // Sending on the reset link reports the loss as well.
    EXPECT_EQ(utl_sentmsg(fd, "Action: Ping\r\n\r\n", 16), SO_CONNECTION_CLOSED);
    // A drain on it reads nothing useful and says so.
    EXPECT_NE(utl_purgeMsg(fd, 100), PURGE_NOTHING_PENDING);
    close(fd);
}

}  // namespace
