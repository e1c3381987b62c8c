// The control interface's listener: a TCP server on a loopback port that
// reads one command a line and writes the handler's reply. Runs on the
// event loop; lines longer than kMaxLine close the connection.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "labpbx/pbx/event_loop.h"

namespace labpbx {

class ControlServer {
public:
    // Takes one command line (without its line end) and returns the whole
    // reply, every line ending in "\n".
    using Handler = std::function<std::string(const std::string& line)>;
    static constexpr size_t kMaxLine = 4096;
    static constexpr size_t kMaxClients = 32;

    ControlServer(EventLoop& loop, Handler handler);
    ~ControlServer();

    // Binds and listens; port 0 takes an ephemeral port. False on failure
    // with error filled.
    bool listen(const std::string& address, uint16_t port, std::string& error);
    uint16_t port() const { return port_; }
    void close();
    size_t socketCount() const { return (listenFd_ >= 0 ? 1 : 0) + clients_.size(); }

private:
    struct Client {
        std::string input;
        std::string output;
        bool closing = false;
    };
    void onAccept();
    void onReadable(int fd);
    void flush(int fd);
    void drop(int fd);

    EventLoop& loop_;
    Handler handler_;
    int listenFd_ = -1;
    uint16_t port_ = 0;
    std::map<int, Client> clients_;
};

}  // namespace labpbx
