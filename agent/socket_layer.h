// A small blocking IPv4 TCP client layer for the one manager link. Every
// operation returns a result code (0 success, a positive code from the table
// that socket_getErrorMsg() turns into text). No locks: the caller makes sure
// that only one exchange uses the link at a time.
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

// Read chunks are at most this many bytes; caller buffers hold one more.
constexpr int kSocketChunkSize = 1023;
constexpr int kSocketBufferSize = 1024;

// The one manager link handle; 0 when there is no session.
extern int g_acmSocket;

const char* socket_getErrorMsg(int code);
int so_init();
void so_cleanup();
int utl_getipaddress(const char* host, uint32_t* address);
int utl_connect2server(uint32_t address, int port);
int utl_waitMsg(int socket, int seconds);
int utl_readMsg(int socket, char* buffer, int seconds);
int utl_sentmsg(int socket, const char* data, int length);
int utl_purgeMsg(int socket, long microseconds);
bool utl_isDisconnectError(int error);
int utl_getlocalipaddresses(char* buffer, int capacity);
