// A small blocking IPv4 TCP client layer for the one manager link. Every
// operation returns a result code (0 success, a positive code from the table
// that socket_getErrorMsg() turns into text). No locks: the caller makes sure
// that only one exchange uses the link at a time (the manager session does).
//
// Handles are POSIX descriptors. A link socket is never descriptor 0, so 0
// keeps its meaning "no session"; the wait, read and drain operations take -1
// as "no handle" and treat any other value below 1 as a handle that is not a
// socket (a disconnect-class failure).
#pragma once

#include <cstdint>

enum SocketResult : int {
    SO_OK = 0,
    SO_BIND_ERROR = 1,
    SO_CLOSE_ERROR = 2,
    SO_CONNECT_ERROR = 3,
    SO_CONNECTION_CLOSED = 4,
    SO_NOT_READY = 5,
    SO_REJECTED = 6,
    SO_GETHOSTBYNAME_ERROR = 7,
    SO_GETHOSTNAME_ERROR = 8,
    SO_MEMORY_ERROR = 9,
    SO_INVALID_READ_SIZE = 10,
    SO_SELECT_ERROR = 11,
    SO_SEND_TOO_BIG = 12,
    SO_RESULT_TIMEOUT = 13,
    SO_INVALID_HOST = 14,
    SO_INVALID_PORT = 15,
    SO_INVALID_MSG_TYPE = 16,
    SO_INVALID_MSG_SIZE = 17,
    SO_INVALID_READ_BUFFER = 18,
    SO_INVALID_SEND_BUFFER = 19,
    SO_INVALID_SOCKET = 20,
    SO_INVALID_TRANSACTION = 21,
    SO_LISTEN_ERROR = 22,
    SO_READ_TIMEOUT = 23,
    SO_RETRY_LIMIT = 24,
    SO_SEND_ERROR = 25,
    SO_SEND_PARTIAL = 26,
    SO_DISCONNECTED = 27,
    SO_SOCKET_ERROR = 28,
    SO_SEND_FAILED = 29,
    SO_UNCLASSIFIED = 30,
};

// Results of utl_purgeMsg (callers ignore them).
enum PurgeResult : int {
    PURGE_NOTHING_READ = 0,
    PURGE_NOTHING_PENDING = 1,
    PURGE_CHUNK_DROPPED = 2,
};

// Read chunks are at most this many bytes; caller buffers hold one more.
constexpr int kSocketChunkSize = 1023;
constexpr int kSocketBufferSize = 1024;

// "No handle" for the wait, read and drain operations.
constexpr int kNoSocket = -1;

// The one manager link handle; 0 when there is no session. Written by
// utl_connect2server and by the manager session when it closes the link.
extern int g_acmSocket;

// Text of a result code; codes outside 0..30 give the out-of-range text.
const char* socket_getErrorMsg(int code);

// Socket library start and stop. POSIX needs neither: so_init always
// returns 0 and so_cleanup does nothing.
int so_init();
void so_cleanup();

// Host name or dotted IPv4 address to an address in network byte order
// (first number of the dotted form in the lowest-addressed byte).
int utl_getipaddress(const char* host, uint32_t* address);

// Connects a new IPv4 TCP socket and stores it in g_acmSocket. The connect
// has no time-out of its own. A send on the socket never blocks longer than
// kSendTimeoutSeconds.
int utl_connect2server(uint32_t address, int port);
constexpr int kSendTimeoutSeconds = 5;

// Waits at most the given seconds for the socket to be readable.
int utl_waitMsg(int socket, int seconds);

// One read of at most 1023 bytes into buffer (>= 1024 bytes), NUL appended.
// seconds > 0: wait that long first; 0 or less: the read blocks.
int utl_readMsg(int socket, char* buffer, int seconds);

// One send of 1 to 1023 bytes; nothing is retried.
int utl_sentmsg(int socket, const char* data, int length);

// Reads and throws away at most one pending chunk, waiting at most the given
// microseconds for it. Returns a PurgeResult.
int utl_purgeMsg(int socket, long microseconds);

// True for the error numbers that mean the connection is gone.
bool utl_isDisconnectError(int error);

// Every IPv4 address of the workstation's interfaces, loopback addresses
// last, as "a.b.c.d, e.f.g.h". Addresses that do not fit whole into the
// buffer (capacity bytes) are left out.
int utl_getlocalipaddresses(char* buffer, int capacity);
