// The socket layer's link operations: connect, wait, read, send, drain, and
// the result texts. Name resolution and the local address list live in
// socket_addresses.cpp.
#include "agent/socket_layer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

int g_acmSocket = 0;

namespace {

// Indexed by result code; the wording, capitals included, is fixed because
// callers show it in their own log lines and boxes.
constexpr const char* kResultTexts[] = {
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
constexpr unsigned kResultTextCount = sizeof kResultTexts / sizeof kResultTexts[0];
static_assert(kResultTextCount == SO_UNCLASSIFIED + 1, "one text per result code");

constexpr const char* kOutOfRangeText = "socket_getErrorMsg(error code out of range)/application error Code";

enum class WaitOutcome { Failed, TimedOut, Exception, Readable };

struct WaitResult {
    WaitOutcome outcome;
    int error;  // errno of a failed wait, or the socket's pending error
};

int pendingSocketError(int fd) {
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
    return error;
}

// Waits until the descriptor is readable or has an exception condition
// (urgent data), at most the given microseconds. A reset or closed peer
// counts as readable: the read that follows reports it.
WaitResult waitForInput(int fd, long long micros) {
    if (fd < 0) return {WaitOutcome::Failed, EBADF};
    if (micros < 0) micros = 0;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::microseconds(micros);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now());
        const long long leftNs = left.count() > 0 ? left.count() : 0;
        timespec timeout{static_cast<time_t>(leftNs / 1000000000LL), static_cast<long>(leftNs % 1000000000LL)};
        pollfd entry{fd, POLLIN | POLLPRI, 0};
        const int ready = ppoll(&entry, 1, &timeout, nullptr);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return {WaitOutcome::Failed, errno};
        }
        if (ready == 0) return {WaitOutcome::TimedOut, 0};
        if (entry.revents & POLLNVAL) return {WaitOutcome::Failed, EBADF};
        if (entry.revents & POLLPRI) return {WaitOutcome::Exception, pendingSocketError(fd)};
        if (entry.revents & (POLLIN | POLLERR | POLLHUP)) return {WaitOutcome::Readable, 0};
        return {WaitOutcome::Exception, pendingSocketError(fd)};
    }
}

ssize_t receiveOnce(int fd, char* chunk) {
    for (;;) {
        const ssize_t n = recv(fd, chunk, kSocketChunkSize, 0);
        if (n >= 0 || errno != EINTR) return n;
    }
}

// Completes a connect that a signal interrupted: the kernel goes on with it,
// and its outcome is the socket's pending error once it is writable.
bool finishInterruptedConnect(int fd) {
    for (;;) {
        pollfd entry{fd, POLLOUT, 0};
        const int ready = poll(&entry, 1, -1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        return pendingSocketError(fd) == 0;
    }
}

}  // namespace

const char* socket_getErrorMsg(int code) {
    const unsigned index = static_cast<unsigned>(code);
    return index < kResultTextCount ? kResultTexts[index] : kOutOfRangeText;
}

int so_init() {
    return SO_OK;
}

void so_cleanup() {}

bool utl_isDisconnectError(int error) {
    switch (error) {
        case ECONNRESET:
        case ECONNABORTED:
        case ENOTCONN:
        case ESHUTDOWN:
        case ETIMEDOUT:
        case ENETDOWN:
        case ENETRESET:
        case EINVAL:
        case ENOTSOCK:
        case EBADF:
        case EPIPE:
            return true;
        default:
            return false;
    }
}

int utl_connect2server(uint32_t address, int port) {
    if (address == 0) return SO_INVALID_HOST;
    if (port < 1 || port > 65535) return SO_INVALID_PORT;

    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return SO_SOCKET_ERROR;
    if (fd == 0) {
        // Descriptor 0 means "no session" to the callers: move the socket.
        const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 1);
        close(fd);
        if (moved < 0) return SO_SOCKET_ERROR;
        fd = moved;
    }
    const timeval sendTimeout{kSendTimeoutSeconds, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);

    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<uint16_t>(port));
    peer.sin_addr.s_addr = address;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        if (errno != EINTR || !finishInterruptedConnect(fd)) {
            close(fd);
            return SO_CONNECT_ERROR;
        }
    }
    g_acmSocket = fd;
    return SO_OK;
}

int utl_waitMsg(int socket, int seconds) {
    if (socket == kNoSocket) return SO_INVALID_SOCKET;
    if (seconds < 0) seconds = 0;
    const WaitResult wait = waitForInput(socket < 1 ? -1 : socket, seconds * 1000000LL);
    switch (wait.outcome) {
        case WaitOutcome::Failed:
            return utl_isDisconnectError(wait.error) ? SO_CONNECTION_CLOSED : SO_SELECT_ERROR;
        case WaitOutcome::TimedOut:
            return SO_READ_TIMEOUT;
        case WaitOutcome::Exception:
            return utl_isDisconnectError(wait.error) ? SO_CONNECTION_CLOSED : SO_SOCKET_ERROR;
        case WaitOutcome::Readable:
            return SO_OK;
    }
    return SO_SOCKET_ERROR;
}

int utl_readMsg(int socket, char* buffer, int seconds) {
    if (socket == kNoSocket) return SO_INVALID_SOCKET;
    if (!buffer) return SO_INVALID_READ_BUFFER;
    if (seconds > 0) {
        const int waited = utl_waitMsg(socket, seconds);
        if (waited != SO_OK) return waited;
    }
    if (socket < 1) return SO_CONNECTION_CLOSED;  // not a socket

    char chunk[kSocketBufferSize];
    const ssize_t n = receiveOnce(socket, chunk);
    if (n == 0) return SO_DISCONNECTED;
    if (n < 0) return utl_isDisconnectError(errno) ? SO_CONNECTION_CLOSED : SO_SOCKET_ERROR;
    std::memcpy(buffer, chunk, static_cast<size_t>(n));
    buffer[n] = '\0';
    return SO_OK;
}

int utl_sentmsg(int socket, const char* data, int length) {
    if (socket == 0) return SO_INVALID_SOCKET;
    if (!data || length <= 0) return SO_INVALID_SEND_BUFFER;
    if (length > kSocketChunkSize) return SO_SEND_TOO_BIG;
    if (socket < 0) return SO_CONNECTION_CLOSED;  // not a socket

    ssize_t sent;
    do {
        sent = send(socket, data, static_cast<size_t>(length), MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0) return utl_isDisconnectError(errno) ? SO_CONNECTION_CLOSED : SO_SEND_ERROR;
    if (sent < length) return SO_SEND_PARTIAL;
    return SO_OK;
}

int utl_purgeMsg(int socket, long microseconds) {
    if (socket == kNoSocket || socket < 1) return PURGE_NOTHING_READ;
    const WaitResult wait = waitForInput(socket, microseconds);
    if (wait.outcome == WaitOutcome::TimedOut) return PURGE_NOTHING_PENDING;
    if (wait.outcome != WaitOutcome::Readable) return PURGE_NOTHING_READ;
    char chunk[kSocketBufferSize];
    receiveOnce(socket, chunk);
    return PURGE_CHUNK_DROPPED;
}
