// Arbitrary manager replies for the manager session's exchanges.
//
// Input: a mode byte, a script byte, then reply chunks, each a two-byte
// big-endian length and that many bytes. A peer on loopback sends the first
// chunk as the greeting and one chunk after each action it receives; when
// the chunks run out (or a chunk is empty) it closes its sending side, so no
// read ever waits for its time-out.
//   mode bit 0: extension check instead of agent login
//   mode bit 1: an agent ID that is a full interface name
//   script: four 2-bit steps after the session opened: 0 mode change,
//           1 mailbox count, 2 agent and manager log-off, 3 manager log-off
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "agent/manager_session.h"
#include "agent/socket_layer.h"
#include "app/settings.h"

namespace {

int listener() {
    static int fd = [] {
        const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(s, 4);
        return s;
    }();
    return fd;
}

int listenerPort() {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(listener(), reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

void sendAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

// Greets with the first chunk and answers every action with the next one.
void runPeer(const std::vector<std::string>& chunks) {
    pollfd waiting{listener(), POLLIN, 0};
    if (poll(&waiting, 1, 1000) <= 0) return;
    const int fd = accept4(listener(), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    size_t next = 0;
    auto answer = [&] {
        if (next < chunks.size() && !chunks[next].empty()) {
            sendAll(fd, chunks[next++]);
        } else {
            next = chunks.size();
            shutdown(fd, SHUT_WR);
        }
    };
    answer();
    char action[2048];
    while (recv(fd, action, sizeof action, 0) > 0) answer();
    close(fd);
}

void configure(uint8_t mode) {
    g_settings = defaultSettings();
    copyText(g_settings.host, "127.0.0.1");
    copyText(g_settings.user, "2001");
    copyText(g_settings.agid, (mode & 2) ? "SIP/2001" : "1001");
    copyText(g_settings.acmUser, "queueopr");
    copyText(g_settings.acmPass, "bramwick");
    copyText(g_settings.vmbxNumber, "2001");
    // Lines are formatted but the folder does not exist, so none is kept.
    copyText(g_settings.debugLogDir, "/nonexistent-quendra-fuzz/");
    g_settings.acmPort = listenerPort();
    g_settings.acmReadTimer = 1;
    g_settings.acmDelayB4Read = 0;
    g_settings.debug = 1;
    g_settings.linkDebug = 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint8_t mode = data[0];
    const uint8_t script = data[1];
    std::vector<std::string> chunks;
    for (size_t at = 2; at + 2 <= size && chunks.size() < 16;) {
        size_t length = (static_cast<size_t>(data[at]) << 8) | data[at + 1];
        at += 2;
        if (length > size - at) length = size - at;
        chunks.emplace_back(reinterpret_cast<const char*>(data + at), length);
        at += length;
    }

    configure(mode);
    g_acmSocket = 0;
    std::thread peer(runPeer, chunks);
    char address[kInUseAddressSize];
    const int opened = init_iaxAgiSocket(mode & 1, address);
    if (opened == 0 || opened == MGR_EXT_UNUSED || opened == MGR_EXT_NOT_DEFINED || opened == MGR_EXT_IN_USE) {
        for (int step = 0; step < 4 && g_acmSocket > 0; ++step) {
            switch ((script >> (2 * step)) & 3) {
                case 0:
                    changeAgentMode("Ready", "false");
                    break;
                case 1:
                    checkMWI("default");
                    break;
                case 2:
                    agi_Logout(g_settings.agid);
                    break;
                case 3:
                    agi_Logout(nullptr);
                    break;
            }
        }
    }
    if (g_acmSocket > 0) close(g_acmSocket);
    g_acmSocket = 0;
    peer.join();
    return 0;
}
